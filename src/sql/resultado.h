// What a console line came to, and the one place that decides from it whether
// the console goes on and with which exit status it ends: a console fed by a
// pipe or a file ends as it always has, one at a terminal forgives, and a
// batch (-c, -f) stops at its first failure unless told to go on.
#pragma once

enum class Resultado {
  hecho,            // it ran as asked
  fallo_sentencia,  // the server refused a statement (its error shown), or its reply cannot be shown
  carga_rechazada,  // the server refused a batch of a load ("error. se cancela")
  fallo_local,      // a local failure, said: a file that cannot be opened, a line refused
  fallo_grave,      // the same, of the kinds that have always ended a console fed by a pipe: an
                    // output file or the trace that cannot be opened, no memory, a reply that does
                    // not expand
  fin,              // quit or kill
};

enum class ModoConsola {
  tuberia,   // lines from a pipe or a file: every byte and status as always
  terminal,  // lines typed at a terminal: only quit, kill and the end of input end the console
  lote,      // -c and -f: results and failures apart, statuses for scripts
};

// The exit statuses of a batch beyond those of every run.
constexpr int SALIDA_SENTENCIA = 3;  // a statement (or a load's batch) that the server refused

// True when a script that has come to r so far is to stop before its next
// statement: in a batch without --sigue, at its first failure. At the prompt
// a script always goes on.
bool guion_se_detiene(Resultado r);

// The console's end, decided line by line.
class Politica {
 public:
  Politica(ModoConsola modo, bool sigue_tras_fallo) : modo_(modo), sigue_tras_fallo_(sigue_tras_fallo) {}
  // After a line: true when the console reads (or runs) the next one; false
  // when it ends, with estado() as its exit status.
  bool sigue(Resultado r);
  // The status to end with: after sigue() gave false, or at the end of the
  // input (of a batch's list). quit and kill end a pipe's or a terminal's
  // console with 1, as the end of input does; a batch ends with the status of
  // its first failure, 0 when there was none.
  int estado() const;

 private:
  ModoConsola modo_;
  bool sigue_tras_fallo_;
  int primer_fallo_ = 0;  // a batch's status: that of its first failure
};

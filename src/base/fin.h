// The one way out of the program: every fatal end and every normal end of a run
// goes through termina(), which first runs the closing steps that the parts of
// the program registered (the log, ...), then flushes the standard
// streams and ends the process with the given status. Tests can catch the end
// instead.
#pragma once

// The exit statuses of the program, one name for each reason a run ends with.
constexpr int SALIDA_BIEN = 0;       // a transfer that ended normally; --help and --version
constexpr int SALIDA_ERROR = 1;      // a parameter, file, name, lock or batch refused; the console's ends
constexpr int SALIDA_CONEXION = -1;  // a connection not made or lost, a broken frame (255 to the shell)
constexpr int SALIDA_SENAL =
    128;  // added to the signal of an interruption: 130, 143; 141 for a closed stdout
// The status of a run ended by the interruption `senal` (plat_interrupcion).
constexpr int salida_de_senal(int senal) {
  return SALIDA_SENAL + senal;
}

// Ends the process with exit status `estado` (negative values reach the shell as
// their low 8 bits: -1 is 255). A closing step that fails turns SALIDA_BIEN
// into SALIDA_ERROR.
// Never returns.
[[noreturn]] void termina(int estado);
// Prints the message on standard output, then ends as termina() does.
[[noreturn]] __attribute__((format(printf, 2, 3))) void termina_con(int estado, const char* formato, ...);

// A closing step: writes out or closes what must not be lost, and returns false
// after printing why it failed. Steps run once, the last registered first; a
// step registered twice runs once. A step may itself end the run (termina):
// the remaining steps then still run, once. Steps run on the thread that ends
// the run; a second thread that ends it meanwhile waits for the end.
using PasoCierre = bool (*)();
void registra_cierre(PasoCierre paso);

// For tests: while a handler is set, termina() calls it instead of ending the
// process, after the closing steps. The handler must not return (a test throws
// from it).
using ManejadorFin = void (*)(int estado);
void establece_manejador_fin(ManejadorFin manejador);

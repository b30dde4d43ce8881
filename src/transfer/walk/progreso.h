// The progress of a transfer run on standard error: one line rewritten in
// place while objects arrive, and a summary at the end. Both appear when
// standard error is a terminal, or when VORTCP_PROGRESO is 1 (0 turns them
// off). Standard output and vortcp.log are never touched: the line is erased
// before each result line is completed and at the end. One line for the run,
// whatever number of sessions feed it: a Progreso is a value the run owns,
// and any session's thread may call these on it (its mutex guards it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

// What one walk has added to the counts of the run.
struct Aportacion {
  int64_t objetos = 0;
  int64_t incompletos = 0;
  int64_t registros = 0;
  int64_t bytes = 0;
  int64_t sin_cambios = 0;
};

// The line's state, guarded by Progreso::cerrojo.
struct EstadoProgreso {
  bool activo = false;
  // Standard output is the same terminal: the half of the result line that
  // waits in its buffer (a terminal's output goes out at each line end) is
  // shown at the start of the progress line, where it will appear.
  bool sobre_salida = false;
  // Standard error is a terminal: the names in the line go through the
  // terminal filter (a file asked for with VORTCP_PROGRESO=1 gets them as
  // they are).
  bool filtra = false;
  int64_t inicio_ms = 0;
  int64_t ultimo_ms = 0;
  int64_t objetos = 0;
  int64_t incompletos = 0;
  int64_t registros = 0;
  int64_t bytes = 0;  // of the whole run
  int64_t bytes_objeto = 0;
  bool incremental = false;  // an incremental run: the summary counts the unchanged objects
  int64_t sin_cambios = 0;
  // The planned totals of a run through several sessions (con_plan).
  bool con_plan = false;
  int64_t objetos_plan = 0;
  int64_t bytes_plan = 0;
  char ruta[256] = "";
  char mitad[320] = "";
  size_t dibujado = 0;  // characters of the line now on the terminal
};

struct Progreso {
  std::mutex cerrojo;  // guards e
  EstadoProgreso e;
};

// Reads VORTCP_PROGRESO and the terminals, and starts the run's clock.
void inicia_progreso(Progreso& p);
// The run's planned totals (a run through several sessions): the progress
// line then shows the objects and bytes done against them, and no object of
// its own (several are being received at once).
void progreso_plan(Progreso& p, int64_t objetos, int64_t bytes);
// Takes a walk's part out of the counts: the first try of a unit that is
// tried again, whose objects come again.
void progreso_retira(Progreso& p, const Aportacion& a);
// Adds a walk's part back, or the part of objects that never arrived.
void progreso_suma(Progreso& p, const Aportacion& a);
// Redraws the line when it is due (at most ten times a second): for a run
// whose sessions may all be waiting.
void progreso_refresca(Progreso& p);
// An object begins: its path, and the first half of its result line (shown
// at the start of the progress line when standard output is the same
// terminal, where the result line will be completed).
void progreso_objeto(Progreso& p, const char* ruta, const char* mitad);
// n more bytes of the current object are written; the line is redrawn at
// most ten times a second.
void progreso_bytes(Progreso& p, int64_t n);
// Erases the progress line (before anything else is printed on the console).
void borra_progreso(Progreso& p);
// The current object is done: its records and whether it was left incomplete.
void progreso_fin_objeto(Progreso& p, int64_t registros, bool incompleto);
// n more objects found unchanged by an incremental run (its comparison's at
// the start, then those its walks skip): from the first call on, the
// summary says how many.
void progreso_sin_cambios(Progreso& p, int64_t n);
// The summary line, "Total: ...", after erasing the progress line; "; N sin
// cambios" after its count of incomplete objects in an incremental run. On
// standard error when the progress line is shown; in vortcp.log always.
void imprime_resumen(Progreso& p);
// The run's counts so far.
Aportacion totales(Progreso& p);

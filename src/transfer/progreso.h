// The progress of a transfer run on standard error: one line rewritten in
// place while objects arrive, and a summary at the end. Both appear when
// standard error is a terminal, or when VORTCP_PROGRESO is 1 (0 turns them
// off). Standard output and vortcp.log are never touched: the line is erased
// before each result line is completed and at the end. One line for the
// run: any session's thread may call these.
#pragma once

#include <cstdint>

// What one walk has added to the counts of the run.
struct Aportacion {
  int64_t objetos = 0;
  int64_t incompletos = 0;
  int64_t registros = 0;
  int64_t bytes = 0;
  int64_t sin_cambios = 0;
};

// Reads VORTCP_PROGRESO and the terminals, and starts the run's clock.
void inicia_progreso();
// The run's planned totals (a run through several sessions): the progress
// line then shows the objects and bytes done against them, and no object of
// its own (several are being received at once).
void progreso_plan(int64_t objetos, int64_t bytes);
// Takes a walk's part out of the counts: the first try of a unit that is
// tried again, whose objects come again.
void progreso_retira(const Aportacion& a);
// Redraws the line when it is due (at most ten times a second): for a run
// whose sessions may all be waiting.
void progreso_refresca();
// An object begins: its path, and the first half of its result line (shown
// at the start of the progress line when standard output is the same
// terminal, where the result line will be completed).
void progreso_objeto(const char* ruta, const char* mitad);
// n more bytes of the current object are written; the line is redrawn at
// most ten times a second.
void progreso_bytes(int64_t n);
// Erases the progress line (before anything else is printed on the console).
void borra_progreso();
// The current object is done: its records and whether it was left incomplete.
void progreso_fin_objeto(int64_t registros, bool incompleto);
// n more objects found unchanged by an incremental run (its comparison's at
// the start, then those its walks skip): from the first call on, the
// summary says how many.
void progreso_sin_cambios(int64_t n);
// The summary line, "Total: ...", after erasing the progress line; "; N sin
// cambios" after its count of incomplete objects in an incremental run.
void imprime_resumen();

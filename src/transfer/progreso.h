// The progress of a transfer run on standard error: one line rewritten in
// place while objects arrive, and a summary at the end. Both appear when
// standard error is a terminal, or when VORTCP_PROGRESO is 1 (0 turns them
// off). Standard output and vortcp.log are never touched: the line is erased
// before each result line is completed and at the end. One line for the
// run: any session's thread may call these.
#pragma once

#include <cstdint>

// Reads VORTCP_PROGRESO and the terminals, and starts the run's clock.
void inicia_progreso();
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
// The summary line, "Total: ...", after erasing the progress line.
void imprime_resumen();

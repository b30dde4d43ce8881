// Where each kind of console output goes: the one place that decides it. The
// writers (the result display, the CSV writer, the script runner, the backup
// loader) take a stream and know nothing of where it leads.
//
//   kind                                no file   table file   bcp file   CSV file
//   console statement line              -         file         file       -
//   result rows, CSV column names       screen    file         file       file
//   summaries, rows affected, errors    screen    file         -          screen
//   script statement lines "[...]"      screen    file         file       screen
//   load totals                         screen    file         -          screen
//
// A bcp file holds the statement lines and the rows only; a CSV file holds
// the result sets only. Trace lines, descriptor lines and the console's own
// messages always go to the screen.
#pragma once

#include <cstdio>

// The copy of a console statement line, once it is to run: the output file,
// but not a CSV one; nullptr without one.
FILE* destino_eco();
// Result rows, blanks, delimiters and row ends, and the CSV line of column
// names: the output file while one is open, else the screen.
FILE* destino_filas();
// "( %d filas )", "%d filas afectadas.", "Error: ..." and the totals of a
// load: the screen with no output file or a CSV one; the output file when
// delimb is non-zero; nowhere (nullptr) in a bcp file.
FILE* destino_avisos();
// True when those lines go to the screen. The screen alone also gets the line
// end that answers a code 100 and a load's running count ("%d.."); an output
// file gets a load's totals as rows-affected lines instead.
bool avisos_en_pantalla();
// Writes a summary, error or rows-affected line to destino_avisos().
__attribute__((format(printf, 1, 2))) void escribe_aviso(const char* formato, ...);
// A script's statement line "[%s]": the output file (a bcp one too) unless it
// is a CSV one; else the screen.
FILE* destino_guion();
// The statement line of a script's last statement, the one the file ended
// in before its ";": the screen, whatever the output.
FILE* destino_guion_inacabado();

// True once the run is to end: Ctrl-C or a termination request was recorded,
// or standard output was found closed (its buffer is written first, so that a
// pipe whose reader ended shows). Statements, scripts and loads stop there
// and the console ends the run.
bool ejecucion_cortada();

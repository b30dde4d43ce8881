// Where each kind of console output goes, and in which form (the table or
// CSV): the one place that decides it. The writers (the result display, the
// CSV writer, the script runners, the backup loader) take a stream and know
// nothing of where it leads.
//
// At the prompt (a pipe, a file or a terminal):
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
//
// In a batch (-c, -f) standard output carries the results alone, and every
// other line the program prints lands on standard error (base/pantalla.h):
//
//   kind                                results   where they go
//   result rows, column names           -o, an output file, or standard output
//   rows affected, load totals          with the rows, but not beside CSV or bcp rows
//   errors                              standard error
//   summaries, statement lines, the     nowhere
//   console's own messages
#pragma once

#include <cstdio>

// True when FORMATO asks for CSV ("csv", in either case). Read anew at every
// call, so that the set command takes effect at the next statement.
bool formato_csv();
// The same, for a query about to run: any value other than empty and csv
// prints "Formato desconocido (%s)\n" and gives the table display.
bool formato_csv_de_consulta();

// True when the table display of a query gets its line of column names:
// CABECERA=1 asks for it, CABECERA=0 not; unset or empty, a batch has it and
// the prompt not. Read anew at every query, as FORMATO.
bool cabecera_de_consulta();

// The screen: the pager while a result goes through it, else standard
// output. Every line below that goes "to the screen" goes here.
FILE* pantalla();
// The pager a result goes through from now on (nullptr: none any more).
void usa_paginador(FILE* paginador);
// The command of the pager: $PAGER, or the system's (less -FRX) when PAGER
// is unset; nullptr when PAGER is empty, or there is none to use.
const char* orden_de_paginador();
// True when result rows go to the screen (no output file is open).
bool filas_a_la_pantalla();

// The copy of a console statement line, once it is to run: the output file,
// but not a CSV one; nullptr without one, and in a batch.
FILE* destino_eco();
// Result rows, blanks, delimiters and row ends, and the column names: the
// output file while one is open, else the screen (in a batch, the results'
// standard output).
FILE* destino_filas();
// "( %d filas )": the screen with no output file or a CSV one; the output
// file when delimb is non-zero; nowhere (nullptr) in a bcp file, and in a
// batch.
FILE* destino_resumen();
// "Error: ...": as the summaries, but standard error in a batch.
FILE* destino_error();
// "%d filas afectadas." and the totals of a load: as the summaries, but in a
// batch with the rows of a table display (nowhere beside CSV or bcp rows).
FILE* destino_afectadas();
// True when those lines go to the screen at the prompt. The screen alone also
// gets the line end that answers a code 100 and a load's running count
// ("%d.."); an output file gets a load's totals as rows-affected lines
// instead.
bool avisos_en_pantalla();
// Writes the formatted text onto f; nothing when f is nullptr.
__attribute__((format(printf, 2, 3))) void escribe_en(FILE* f, const char* formato, ...);
// A script's statement line "[%s]": the output file (a bcp one too) unless it
// is a CSV one; else the screen. Nowhere in a batch.
FILE* destino_guion();
// The statement line of a script's last statement, the one the file ended
// in before its ";": the screen, whatever the output; nowhere in a batch.
FILE* destino_guion_inacabado();
// The console's own lines that are neither results nor failures (the echo of
// set, "Establecida salida ...", a load's table name, the blank lines of
// scripts and loads): the screen, nowhere in a batch.
FILE* destino_charla();

// True once the run is to end: Ctrl-C or a termination request was recorded,
// or standard output was found closed (its buffer is written first, so that a
// pipe whose reader ended shows). Statements, scripts and loads stop there
// and the console ends the run.
bool ejecucion_cortada();

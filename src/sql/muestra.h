// The result display of a query: the column descriptors of a 02 reply and the
// rows of a block, written onto a FILE*; and where each kind of line goes.
// Nothing here knows of sockets.
#pragma once

#include <cstdio>

#include "sql/cursores.h"
#include "sql/respuesta.h"

// Where rows, blanks, delimiters and row ends go: the output file while one is
// open, else the screen.
FILE* destino_filas();
// Where the summary, error and rows-affected lines go: the screen with no
// output file or with FORMATO=csv; the output file when delimb is non-zero;
// nowhere (nullptr) in a bcp file, which holds nothing but rows.
FILE* destino_avisos();
// Writes a summary, error or rows-affected line to destino_avisos().
__attribute__((format(printf, 1, 2))) void escribe_aviso(const char* formato, ...);
// Writes "Error: %d [%s]\n\n" for the error part of the reply.
void escribe_error(const Mensaje& r);

// Parses the descriptor block of a 02 reply (its length D at offset 16, the
// block from offset 21) into area: names upper-cased and cut to
// MAX_NOMBRE_COLUMNA, widths as the reply gives them (see ancho_no_valido).
// Prints one descriptor line onto `pantalla` when dict is 1 and again when
// test is 1. Returns the number of columns described; only the first
// MAX_COLUMNAS are stored, and area.ultima_columna is -1 when there are more
// (the rows cannot be shown).
int lee_columnas(const Mensaje& r, AreaCursor& area, int dict, int test, FILE* pantalla);
// The first width of area above MAX_ANCHO_COLUMNA, or 0 when there is none.
// Rows of such an area are not to be shown.
int32_t ancho_no_valido(const AreaCursor& area);

// Writes `filas` rows of the reply from offset `posicion` onto f, one value
// per column of area, each padded to its width (one more for a value that
// begins with "-") and followed by the delimiter (" %c " with delimb non-zero,
// which also puts "%c " before each row; "%c" otherwise). Values end at the
// byte 0xAF or at their width. A row is written only when all its values lie
// in the received payload (each reaches its 0xAF or its width there) and it
// takes at least one byte of it: the display stops at the first row that does
// not, whatever the count claims. On a terminal, control bytes of the values
// show as "?". The widths of area must not exceed MAX_ANCHO_COLUMNA. Returns
// the number of rows written.
int muestra_filas(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area, char delim,
                  int delimb);

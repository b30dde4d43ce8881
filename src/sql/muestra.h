// The result display of a query: the column descriptors of a 02 reply, the
// one walk over the rows of a block that every writer of rows uses, and the
// table layout of those rows, written onto a FILE*. Where each kind of line
// goes is destinos.h's. Nothing here knows of sockets.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sql/cursores.h"
#include "sql/respuesta.h"

// Writes "Error: %d [%s]\n\n" for the error part of the reply to
// destino_error().
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

// One value of a row: its bytes in the reply (up to its end byte 0xAF or its
// width) and the width it is shown in (its column's, one more when it begins
// with "-").
struct ValorFila {
  const char* bytes;
  long largo;
  long ancho;
};

// The rows of a block of a reply, one whole row at a time: `filas` rows from
// offset `posicion`, one value per column of area. A row is given only when
// all its values lie in the received payload (each reaches its 0xAF or its
// width there) and it takes at least one byte of it: the walk ends at the
// first row that does not, whatever the count claims. Every writer of rows
// (the table, CSV) reads them through this, so they show the same rows.
class FilasDeBloque {
 public:
  FilasDeBloque(const Mensaje& r, int posicion, int filas, const AreaCursor& area)
      : r_(r), area_(area), pos_(posicion), quedan_(filas) {}
  // The values of the next row into valores (area.ultima_columna + 1 of
  // them, at most MAX_COLUMNAS). False when no row is left.
  bool siguiente(ValorFila* valores);

 private:
  const Mensaje& r_;
  const AreaCursor& area_;
  long pos_;
  int quedan_;
};

// How the table display lays its lines out.
struct FormaTabla {
  char delim;     // the field delimiter
  int delimb;     // non-zero: " %c " after each value and "%c " before each row; else "%c" after each value
  bool cabecera;  // a line of column names (and a rule) above the rows; every column then at least as
                  // wide as its name
  bool vertical;  // one line per column, "NAME | value", under a line "-[ FILA n ]"
};

// Writes the line of column names of area and a rule line of "-" as long as
// it onto f: each name padded to its column's width (the name's own when that
// is longer), framed by the delimiters as the rows are.
void escribe_cabecera(FILE* f, const AreaCursor& area, const FormaTabla& forma);
// Writes the rows of the block (FilasDeBloque) onto f, each value padded to
// its width and followed by the delimiter as forma says. On a terminal,
// control bytes of the values show as "?". The widths of area must not
// exceed MAX_ANCHO_COLUMNA. Returns the number of rows written.
int muestra_filas(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area,
                  const FormaTabla& forma);
// The same rows one line per column (forma.vertical): each row under a line
// "-[ FILA n ]" that numbers it from *numero on (which moves on), then
// "NAME | value" per column, the names padded to the longest, the values
// without their trailing blanks. Returns the number of rows written.
int muestra_filas_verticales(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area,
                             const FormaTabla& forma, int* numero);
// The lines a row takes in the table layout: its width, delimiters included.
long ancho_de_fila(const AreaCursor& area, const FormaTabla& forma);

// A table the program itself made (the console's \d and \dt), written as a
// result is: a line of names, a rule, the rows, each column as wide as its
// widest value or name. Values are the server's text.
void escribe_tabla_local(FILE* f, const std::vector<std::string>& nombres,
                         const std::vector<std::vector<std::string>>& filas, const FormaTabla& forma);

// The CSV form of a query's result (FORMATO=csv, chosen by destinos.h): a line
// of column names, then one line per row, the values separated by commas and
// quoted as RFC 4180 has it. Like the table display, it writes onto a FILE*
// and knows no sockets.
#pragma once

#include <cstddef>
#include <cstdio>

#include "base/contexto.h"
#include "sql/cursores.h"
#include "sql/respuesta.h"

// Writes the CSV field of a value of n bytes into destino (capacity cap, a
// NUL after it): the value without its trailing blanks; between double
// quotes, each quote doubled, when it holds a comma, a double quote, a CR or
// a LF. An empty value (the reply's NULL) is an empty unquoted field. Returns
// the field's length; with cap below 2n + 3 the field may be cut.
size_t campo_csv(const char* valor, size_t n, char* destino, size_t cap);

// Writes the line of column names of area onto f.
void escribe_cabecera_csv(FILE* f, const AreaCursor& area);
// Writes `filas` rows of the reply from offset `posicion` onto f as CSV
// lines: the rows of the table display, read through the same walk
// (FilasDeBloque, muestra.h), so a row cut by the end of the received payload
// is not written either. Returns the number of rows written.
int muestra_filas_csv(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area);

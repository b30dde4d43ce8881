// Queries the program reads for itself (the server's catalogue for a
// transfer, the console's \d and \dt, the names that Tab completes): message
// 02 and its fetches of 03 to the end, each row handed to the caller, nothing
// shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sql/muestra.h"

enum class Lectura {
  bien,           // every row was read (an opening reply of code 100: a query without rows)
  error_sql,      // the server refused the statement: its code in *codigo
  fallo,          // a failed exchange, or a reply that is not what the query gives
  sin_respuesta,  // with a limit: a reply that did not begin within it (it stays on its way)
  no_valida       // replies that contradict themselves or never end, or a row the caller refused
};

// More rows than this in one reading make it not valid: the program reads
// catalogues, never a table's data, and a reply that never ends must not
// fill the memory.
constexpr long MAX_FILAS_LEIDAS = 1000000;

// Takes the values of one row (`columnas` of them); false stops the reading
// (no_valida: a row that is none).
using PorFila = std::function<bool(const ValorFila* valores)>;

// Reads the query. The reply must have `columnas` columns (any number for
// -1), none wider than the widest column of the server, and every block as
// many whole rows as it says. With plazo_ms above 0 each reply must begin to
// arrive within that many milliseconds (intercambio_sql.h): one that does not
// gives sin_respuesta, and the reading ends there. no_valida, its reason (a
// Spanish phrase) in *motivo when it is not nullptr: a row that por_fila
// refuses, a block that says more rows follow and holds none, more than
// MAX_FILAS_LEIDAS rows, or the end (code 100) right after a block that said
// more rows follow.
Lectura lee_consulta(const char* sentencia, int columnas, int* codigo, const PorFila& por_fila,
                     int plazo_ms = 0, const char** motivo = nullptr);

// The same for a statement as typed (converted to the CP1252 the server takes
// first; one that cannot be is fallo), every value of every row kept as
// text without the blanks that pad it.
Lectura lee_filas_de_texto(const std::string& sentencia, int columnas,
                           std::vector<std::vector<std::string>>* filas, int* codigo, int plazo_ms = 0);
// Names as a list of SQL literals: 'A', 'B' (quotes doubled).
std::string literales_sql(const std::vector<std::string>& nombres);

// Queries the program reads for itself (the server's catalogue for a
// transfer, the console's \d and \dt, the names that Tab completes): message
// 02 and its fetches of 03 to the end, each row handed to the caller, nothing
// shown.
#pragma once

#include <cstddef>
#include <cstdint>
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

// More bytes than this of rows kept as text (lee_filas_de_texto, the bytes
// of the values and what holds them) make a reading not valid: a reply that
// never ends must not exhaust the memory before it reaches MAX_FILAS_LEIDAS.
constexpr size_t MAX_BYTES_LEIDOS = 64u << 20;

// Takes the values of one row (`columnas` of them); false stops the reading
// (no_valida: a row that is none).
using PorFila = std::function<bool(const ValorFila* valores)>;

// Reads the query. The reply must have `columnas` columns (any number for
// -1), none wider than the widest column of the server, and every block as
// many whole rows as it says. With limite_ms above 0 (a time of
// plat_reloj_ms) the whole reading, the query and all its fetches, ends by
// then (intercambio_sql.h): a reply not come whole by then gives
// sin_respuesta, and the reading ends there. no_valida, its reason (a
// Spanish phrase) in *motivo when it is not nullptr: a row that por_fila
// refuses, a block that says more rows follow and holds none, more than
// MAX_FILAS_LEIDAS rows, or the end (code 100) right after a block that said
// more rows follow.
Lectura lee_consulta(const char* sentencia, int columnas, int* codigo, const PorFila& por_fila,
                     int64_t limite_ms = 0, const char** motivo = nullptr);

// The same for a statement as typed (converted to the CP1252 the server takes
// first; one that cannot be is fallo), every value of every row kept as
// text without the blanks that pad it. Rows that would keep more than
// max_bytes make the reading no_valida (the rows kept so far stay in filas).
// *bytes, when not nullptr, gets the bytes the rows kept take.
Lectura lee_filas_de_texto(const std::string& sentencia, int columnas,
                           std::vector<std::vector<std::string>>* filas, int* codigo, int64_t limite_ms = 0,
                           size_t max_bytes = MAX_BYTES_LEIDOS, size_t* bytes = nullptr);
// Names as a list of SQL literals: 'A', 'B' (quotes doubled).
std::string literales_sql(const std::vector<std::string>& nombres);

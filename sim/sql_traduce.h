// What the SQL side needs from SQLite beyond running statements: DB2 habits
// rewritten for SQLite, SQLite errors turned into DB2 SQL codes with Spanish
// texts, and result values and column descriptors in the client's layout.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

struct ErrorSql {
  int codigo;         // DB2-style SQLCODE: negative error, 100 no rows
  std::string texto;  // Spanish, UTF-8
};

// DB2 forms that SQLite does not know: LIB/TABLE system naming (for the known
// libraries), FETCH FIRST n ROWS ONLY, CURRENT DATE/TIME/TIMESTAMP, a trailing
// isolation clause and the final ";".
std::string adapta_sql(const std::string& sql, const std::vector<std::string>& bibliotecas);

// The SQL code and text of an SQLite error message.
ErrorSql error_de_sqlite(const std::string& mensaje);

// A result column as the client's descriptor shows it.
struct Columna {
  std::string nombre;  // CP1252, without "-" and "!"
  int tipo = 448;      // DB2 SQLTYPE number
  int ancho = 1;       // display width: the longest value (a leading "-" not counted)
  int escala = 0;      // decimals
};

// Reads the columns' names, types and scales of a prepared statement.
std::vector<Columna> columnas_de(sqlite3_stmt* st);
// The text of column i of the current row, CP1252, at most `tope` bytes, with
// no 0xAF or NUL in it (0xAF ends a value on the wire).
std::string valor_de(sqlite3_stmt* st, int i, const Columna& col, size_t tope);
// "name-type-width-scale!" for every column.
std::string descriptores(const std::vector<Columna>& cols);

// The SQL catalogue views QSYS2.SYSTABLES, QSYS2.SYSCOLUMNS and
// QSYS2.SYSTABLESTAT, as an IBM i answers them (the same column names and
// types, the same codes), made from the SQLite schema of the session's
// libraries: a table per view in an in-memory database attached as QSYS2,
// filled again whenever a statement names one of them, so that a table made
// in the session shows. Texts come from the schema's own comments: "-- text"
// on the line of CREATE TABLE is the table's, on the line of a column the
// column's.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

// True when the statement names QSYS2.SYSTABLES, QSYS2.SYSCOLUMNS or
// QSYS2.SYSTABLESTAT (in any case, "." or "/" as the separator).
bool nombra_vistas_catalogo(const std::string& sql);

// Attaches QSYS2 to db (once) and fills the three views from the schemas of
// `bibliotecas` (schema names of db). False, with error set, when SQLite
// refuses.
bool prepara_vistas_catalogo(sqlite3* db, const std::vector<std::string>& bibliotecas, std::string& error);

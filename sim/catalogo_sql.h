// The two statements of the server's SQL catalogue that a client plans a
// parallel or incremental run from, answered from the simulated catalogue
// (sistema.db) as an IBM i answers them:
//   SELECT OBJNAME, OBJTYPE, OBJSIZE
//     FROM TABLE(QSYS2.OBJECT_STATISTICS('LIB', '*FILE *MSGF')) X
//     [WHERE OBJNAME = 'FILE'] ORDER BY OBJNAME
//   SELECT SYSTEM_TABLE_NAME, SYSTEM_TABLE_MEMBER, SOURCE_TYPE, DATA_SIZE,
//          LAST_CHANGE_TIMESTAMP FROM QSYS2.SYSPARTITIONSTAT
//     WHERE SYSTEM_TABLE_SCHEMA = 'LIB' [AND SYSTEM_TABLE_NAME = 'FILE'] ORDER BY 1, 2
// SQLite has no such tables: any other text goes to SQLite as usual.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "sql_traduce.h"

enum class Catalogo {
  NINGUNA,   // not a catalogue statement
  OBJETOS,   // QSYS2.OBJECT_STATISTICS: one row per file and message file
  MIEMBROS,  // QSYS2.SYSPARTITIONSTAT: one row per member
};

struct PeticionCatalogo {
  std::string biblioteca;  // upper case
  std::string archivo;     // upper case; empty: every file
  bool archivos = true;    // OBJECT_STATISTICS lists *FILE objects
  bool mensajes = true;    // and *MSGF objects
};

// Which catalogue statement `sql` is, read without regard to case and blanks
// (a trailing ";" or isolation clause allowed); p gets its library, file and
// object types.
Catalogo reconoce_catalogo(const std::string& sql, PeticionCatalogo& p);

// The result of a recognised statement: columns with the widths that the
// catalogue declares (not those of the values), and the rows in the reply's
// layout (every value CP1252 and ended by 0xAF, CHAR columns padded), in the
// EBCDIC order that the server sorts by. An unknown library has no rows.
void lee_catalogo(sqlite3* cat, Catalogo cual, const PeticionCatalogo& p, std::vector<Columna>& columnas,
                  std::vector<std::string>& filas);

// The console's backslash commands, never sent to the server: \d and \dt
// describe and list tables from the server's catalogue views (QSYS2.SYSCOLUMNS,
// QSYS2.SYSTABLES, QSYS2.SYSTABLESTAT); \x, \timing and \pager set how
// results are shown; \? lists them. They exist at a terminal and in a batch;
// from a pipe such a line is a statement, as it always was.
#pragma once

#include <string>
#include <vector>

#include "sql/resultado.h"

// Runs a line that begins with a backslash. An unknown command or a value
// that is not one of the command's is said ("Orden no valida (%s)...",
// "Valor no valido (%s)...") and a local failure; a table that the catalogue
// does not know, too; a catalogue that refuses or cannot be read, a
// statement's failure.
Resultado ejecuta_barra(const char* linea);

// The libraries whose tables a name without library is looked for in, in
// order: WWW_CURLIB, then those of WWW_LIBL (A/B/C), each once, upper case.
std::vector<std::string> bibliotecas_de_busqueda();

// The type of a column as \d shows it: the catalogue's DATA_TYPE with its
// length, and its scale for DECIMAL and NUMERIC ("DECIMAL(9,2)",
// "CHAR(8)", "INTEGER").
std::string tipo_de_columna(const std::string& tipo, const std::string& largo, const std::string& escala);

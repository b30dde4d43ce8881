// The names Tab completes in a statement at a terminal: after FROM, JOIN,
// INTO, UPDATE, TABLE and \d the tables of WWW_CURLIB and the library list
// (after "LIB.", those of LIB); elsewhere the columns of the tables the line
// names. Names come from the server's catalogue views the first time they
// are needed and are kept for the session; a catalogue that has not answered
// within 2 seconds gives nothing that time, and its late reply is dropped
// before the next exchange (intercambio_sql.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The longest a Tab waits for the catalogue, every exchange of its reading
// together (the query, its fetches, a late reply dropped first).
constexpr int PLAZO_CATALOGO_MS = 2000;
// The most the session keeps of the catalogue's names, in bytes (those of
// the rows read, and what holds them): a reading that would pass it gives
// nothing, that time and after, instead of filling the memory.
constexpr size_t MAX_BYTES_NOMBRES = 8u << 20;

// What the word before the cursor is, read from the line alone.
enum class ClaseNombre { ninguna, tabla, columna };
struct ContextoNombre {
  ClaseNombre clase = ClaseNombre::ninguna;
  std::string biblioteca;           // tabla: the library typed before it ("LIB."), upper case
  std::vector<std::string> tablas;  // columna: the tables whose columns fit ("T" or "LIB.T"), upper case
};
// The line up to `largo` bytes, the cursor at `cursor`: the word being
// completed is the run of name characters just before the cursor. Tables are
// those the whole line names after FROM, JOIN, INTO, UPDATE and TABLE (a
// comma goes on with FROM's list); a qualifier before the word ("C." of an
// alias, or of a table) keeps only that table's columns.
ContextoNombre contexto_de_nombre(const char* linea, size_t largo, size_t cursor);

// The line editor's Tab (PalabrasConsola::nombres): the names for the word
// before the cursor, each once, into nombres (at most max); their count. The
// pointers stay valid for the session.
int nombres_para_completar(const char* linea, size_t largo, size_t cursor, const char** nombres, int max);

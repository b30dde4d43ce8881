// The server's catalogue of a library, read through an SQL session: the files
// of the library with their sizes (QSYS2.OBJECT_STATISTICS) and the members of
// its files with source type, size and last change (QSYS2.SYSPARTITIONSTAT),
// each query fetched to its end and its values read as the console reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/catalogo.h"
#include "sql/muestra.h"

enum class LecturaCatalogo {
  bien,
  no_disponible,          // a failed exchange, any SQL error, a reply that is not the catalogue's
  no_valido,              // replies that contradict themselves or never end, or a row that is none
  biblioteca_desconocida  // the catalogue lists no file of the library
};

// The longest reason a catalogue that is not valid is given.
constexpr int TAM_MOTIVO_CATALOGO = 128;

// The two statements for the library (and the file, when not empty), names
// without their padding. A quote in a name is doubled, as SQL writes it.
void sentencia_objetos(char* dest, size_t cap, const char* biblioteca, const char* archivo);
void sentencia_miembros(char* dest, size_t cap, const char* biblioteca, const char* archivo);

// Reads the catalogue into *c over the SQL session that the handshake opened.
// Nothing is shown. Objects are keyed by name and type: a file and a message
// file may share a name, and member rows belong to the file. A file or a
// member listed twice counts once. A file that only the member query names
// (made between the two queries) is added with its members. A run that
// names a file whose library the server does not have is told so as a run
// of the whole library is (biblioteca_desconocida): the library is then
// looked for without the file. no_valido, with its reason in motivo: a row
// that is none, a block that says more rows follow and holds none, more
// than MAX_FILAS_LEIDAS rows (lectura.h), or the end (code 100) right after
// a block that said more rows follow.
LecturaCatalogo lee_catalogo(const char* biblioteca, const char* archivo, Catalogo* c,
                             char (&motivo)[TAM_MOTIVO_CATALOGO]);

// The pieces, for tests: a row of the object query (OBJNAME, OBJTYPE,
// OBJSIZE) and one of the member query (SYSTEM_TABLE_NAME,
// SYSTEM_TABLE_MEMBER, SOURCE_TYPE, DATA_SIZE, LAST_CHANGE_TIMESTAMP). False
// for a row that is not one: a name longer than 10 characters or empty, an
// object type other than *FILE and *MSGF, a size that is not decimal digits,
// a time stamp that is neither YYYY-MM-DD-HH.MM.SS[.ffffff] nor
// YYYY-MM-DD HH:MM:SS (an empty one gives no date).
bool fila_de_objeto(const ValorFila* v, ArchivoCatalogo* a);
bool fila_de_miembro(const ValorFila* v, char (&archivo)[TAM_NOMBRE_CATALOGO], MiembroCatalogo* m);

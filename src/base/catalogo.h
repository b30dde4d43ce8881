// What the server's own catalogue says of one library: its files with their
// class and size, and the members of each with their source type, size and
// change date and time. The SQL side fills it from two catalogue queries; the
// transfer side plans a run of several sessions (and an incremental run) from
// it. Plain values: names are the catalogue's, at most 10 characters, blanks
// removed.
#pragma once

#include <cstdint>
#include <vector>

constexpr int TAM_NOMBRE_CATALOGO = 11;  // a name of the library's objects and the NUL

enum class ClaseArchivo {
  fuente,   // a source file: its members have a source type
  datos,    // a data file
  mensajes  // a message file (*MSGF): no members
};

struct MiembroCatalogo {
  char nombre[TAM_NOMBRE_CATALOGO];
  char tipo[TAM_NOMBRE_CATALOGO];  // source type; empty for a member of a data file
  int64_t tamano;                  // bytes, as the catalogue gives them
  char fecha[9];                   // change date YYYYMMDD; empty when the catalogue gave none
  char hora[7];                    // change time HHMMSS
};

struct ArchivoCatalogo {
  char nombre[TAM_NOMBRE_CATALOGO];
  ClaseArchivo clase;
  int64_t tamano;                         // the object's size
  std::vector<MiembroCatalogo> miembros;  // in the catalogue's order
};

struct Catalogo {
  char biblioteca[TAM_NOMBRE_CATALOGO];
  std::vector<ArchivoCatalogo> archivos;  // in the catalogue's order
};

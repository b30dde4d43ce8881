// An incremental run: the server's catalogue against the library's index.
// An object whose change date and time equal its index line's, and whose
// local file exists, is unchanged and not asked for; each file with new or
// changed objects is asked for since the earliest change among them; the
// index lines of the run's scope that the catalogue no longer lists are the
// objects deleted on the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/catalogo.h"
#include "platform/plataforma.h"
#include "transfer/plan.h"

// What the comparison reads of an index line, trailing blanks removed.
struct EntradaIndice {
  char archivo[TAM_NOMBRE_CATALOGO];
  char miembro[TAM_NOMBRE_CATALOGO];
  char tipo[8];   // the source type as the server gave it; "MSG" for a message file
  char fecha[9];  // the change date YYYYMMDD, "" when the line has none
  char hora[7];
};

// The entry of an index line of `biblioteca` (name without padding) of
// `largo` bytes, its line end not counted. False for a comment, a line of
// another library, or one too short to hold the key.
bool entrada_de_linea(const char* linea, size_t largo, const char* biblioteca, EntradaIndice* e);

// The places of the index entries sorted by key (file, member), one for each
// key: its last line, the one in force. busca_por_clave finds the place of
// the entry in force of a key in them, or gives -1.
std::vector<uint32_t> ordena_por_clave(const std::vector<EntradaIndice>& indice);
long busca_por_clave(const std::vector<EntradaIndice>& indice, const std::vector<uint32_t>& orden,
                     const char* archivo, const char* miembro);

// Whether a local file exists (the platform's, or a test's).
using ExisteFichero = bool (*)(const char* ruta);

// The class of an index line: its file's in the catalogue when the catalogue
// lists the file. Else type MSG with no member is a message file; a member
// whose local copy exists as a source member (LIB/FILE/MBR.ext) or as a data
// member (its .ebc) is of that class, since a raw data member carries its
// physical file's type (PF) just as a DDS source does; with neither, a blank
// type is a data member and any other a source member.
ClaseArchivo clase_de_entrada(const EntradaIndice& e, const Catalogo& catalogo, ExisteFichero existe);

struct Eliminado {
  EntradaIndice entrada;
  std::string ruta;  // its local path
};

struct Comparacion {
  Plan plan;                // the units to ask for, largest first, each with its dates
  int64_t sin_cambios = 0;  // objects in scope found unchanged
  std::vector<std::string>
      recibiria;  // the local paths of what is to be received, in a one-session run's order
  std::vector<Eliminado>
      eliminados;  // index lines of the scope the catalogue no longer lists, in index order
};

// Compares the catalogue of the run's library (mode `icodigo`, narrowed to
// `archivo` when it is not empty: a file's name, or a generic "PREFIX*"; for
// `sesiones` sessions) with the index entries of that library. With
// `incremental` false every object in scope is to be received (a dry run or
// a mirror of a full run) and the plan is the full one; deletions are found
// either way, among the index lines of the scope's mode and files. fechad
// and horad are the run's own (as typed, blanks removed): objects changed
// before them are out of scope, and a unit is never asked for earlier.
Comparacion compara_con_indice(const Catalogo& catalogo, int32_t icodigo, const char* archivo,
                               const char* fechad, const char* horad,
                               const std::vector<EntradaIndice>& indice, ExisteFichero existe, int sesiones,
                               bool incremental);

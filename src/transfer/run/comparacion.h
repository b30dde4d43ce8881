// The comparison of a run with the library's index before it transfers: the
// server's catalogue against the index lines. An object whose change date
// and time equal its index line's, and whose local copy is still the one
// that run wrote, is unchanged (sin_cambios.h) and not asked for in an
// incremental run; each file with new or changed objects is asked for since
// the earliest change among them; the index lines of the run's scope that
// the catalogue no longer lists are the objects deleted on the server. A
// pure function of its inputs (the local files are asked through `existe`
// and `intacta`).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/catalogo.h"
#include "transfer/index/entradas.h"
#include "transfer/index/sin_cambios.h"
#include "transfer/run/plan.h"

// The class of an index line: its file's in the catalogue when the catalogue
// lists the file. Else type MSG with no member is a message file; a member
// whose local copy exists as a source member (LIB/FILE/MBR.ext) or as a data
// member (its .ebc) is of that class, since a raw data member carries its
// physical file's type (PF) just as a DDS source does; with neither, a blank
// type is a data member and any other a source member.
ClaseArchivo clase_de_entrada(const EntradaIndice& e, const Catalogo& catalogo, ExisteFichero existe);

// What a run compares: its mode, its file, its dates, its sessions.
struct Alcance {
  int32_t icodigo;      // 95 source members, 97 data files, 94 everything
  const char* archivo;  // "" for every file, a file's name, or a generic "PREFIX*"
  const char* fechad;   // the run's own FECHAD and HORAD, as typed, blanks removed:
  const char* horad;    //   objects changed before them are out of scope
  int sesiones;         // the sessions the plan is cut for
  bool incremental;     // only what changed; else every object in scope is received
  bool detalle;         // each object received or unchanged described (a_recibir, iguales)
};

// An object of the catalogue as a comparison judged it.
struct ObjetoComparado {
  std::string ruta;  // its local path
  ClaseArchivo clase;
  char archivo[TAM_NOMBRE_CATALOGO];
  char miembro[TAM_NOMBRE_CATALOGO];  // "" for a message file
  char tipo[TAM_NOMBRE_CATALOGO];
  char fecha[9];  // its change date and time in the catalogue ("" for none)
  char hora[7];
};

// The characters of a source type a transfer header carries.
constexpr size_t LARGO_TIPO_CABECERA = 4;

struct CopiaVieja {
  std::string vieja;  // the copy under the old type's extension
  std::string nueva;  // where the member comes under its type now
};

struct Eliminado {
  EntradaIndice entrada;
  std::string ruta;  // its local path
  ClaseArchivo clase;
};

struct Comparacion {
  Plan plan;                // the units to ask for, largest first, each with its dates
  int64_t sin_cambios = 0;  // objects in scope found unchanged
  std::vector<std::string>
      recibiria;  // the local paths of what is to be received, in a one-session run's order
  std::vector<Eliminado>
      eliminados;  // index lines of the scope the catalogue no longer lists, in index order
  // The copies of source members whose source type changed on the server
  // since their index line, under the old type's extension: the member is
  // received again under the new one (nueva), and the old copy (vieja) is in
  // the way.
  std::vector<CopiaVieja> otro_tipo;
  // With Alcance::detalle: what is to be received (recibiria's objects, in
  // its order) and what was found unchanged.
  std::vector<ObjetoComparado> a_recibir;
  std::vector<ObjetoComparado> iguales;
};

// Compares the catalogue of the run's library with the index entries of that
// library for the run's scope. Without `incremental` every object in scope
// is to be received (a dry run or a mirror of a full run) and the plan is
// the full one; deletions are found either way, among the index lines of the
// scope's mode and files, complete ones only (a line of a member names its
// member: a damaged line names no object to remove). A unit is never asked
// for earlier than the run's own FECHAD and HORAD.
// The local files are asked through `existe`, and whether a copy is still
// the one its run wrote through `intacta`.
Comparacion compara_con_indice(const Catalogo& catalogo, const Alcance& alcance,
                               const std::vector<EntradaIndice>& indice, ExisteFichero existe,
                               CopiaIntacta intacta);

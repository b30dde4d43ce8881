// What every walk of a run shares: the indexes, the local tree, the progress
// line and the incremental skip. A Compartido is a value the run owns (as a
// Sesion is a value of one session) and hands to each walk; each of its
// parts guards itself. The parts are defined here; what is done with them
// is their modules' (indices.h, arbol.h, progreso.h, salto.h, informe.h).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/catalogo.h"
#include "transfer/index/indices.h"
#include "transfer/walk/progreso.h"

// What the run has made and locked of the local tree (arbol.h).
struct Arbol {
  // The directories asked for in this run: a library of thousands of members
  // makes each of them once, not once per member.
  struct {
    std::mutex cerrojo;  // guards hechos
    std::unordered_set<std::string> hechos;
  } directorios;
  // The libraries this run holds the lock of. Its mutex is held while a
  // library's lock is taken (a wait included): another session's header of
  // the same library waits for the outcome. plat_bloquea is called only so.
  struct {
    std::mutex cerrojo;  // guards tomadas
    std::unordered_set<std::string> tomadas;
  } bibliotecas;
};

// What the walk's skip (salto.h) needs besides the index: the library, and
// the paths of what the comparison expected to receive, sorted (a skip of
// one of them is an object more found unchanged; the others it counted
// already). Filled before any session starts, only read afterwards: no lock.
struct Salto {
  bool activo = false;
  char biblioteca[TAM_NOMBRE_CATALOGO] = "";
  std::vector<std::string> esperados;
};

// One object of the run's report (informe.h): what happened to it.
struct EntradaInforme {
  std::string ruta;  // its local path, as the run's lines show it
  ClaseArchivo clase;
  bool convertido = false;  // a converted data file (.dta)
  char archivo[TAM_NOMBRE_CATALOGO] = "";
  char miembro[TAM_NOMBRE_CATALOGO] = "";
  char tipo[TAM_NOMBRE_CATALOGO] = "";  // the source type; "MSG" for a message file
  const char* estado = "";              // nuevo, cambiado, sin_cambios, incompleto, ...
  int64_t registros = 0;
  int64_t bytes = 0;
  char fecha[9] = "";  // the change date YYYYMMDD and time HHMMSS, "" when unknown
  char hora[7] = "";
};

// What the run's report is made of (VORTCP_INFORME): only kept when one is
// asked for. Every session's walk adds to it.
struct Informe {
  bool activo = false;
  std::mutex cerrojo;  // guards what follows
  std::vector<EntradaInforme> objetos;
  // What an object was before this run wrote it (nuevo, cambiado or
  // sin_cambios), judged the first time one of its headers came: a unit
  // tried again finds the line its first try recorded.
  std::unordered_map<std::string, const char*> previo;
  // The objects the run's plan expects to receive, and the units lost for
  // good (file, generic member name): of them, what never came is
  // sin_transferir.
  std::vector<EntradaInforme> previstos;
  std::vector<std::pair<std::string, std::string>> perdidas;
};

struct Compartido {
  Indices indices;
  Arbol arbol;
  Progreso progreso;
  Salto salto;
  Informe informe;
  // The index is updated: no source type filter on the command line (a run
  // that keeps one type leaves the index alone). Set before any walk starts.
  bool indexa = true;
  // A mirror's copies under an older source type (the old path, the new
  // one): each is removed at the run's end once its member came under the
  // new path, so that the member is never without a copy.
  std::vector<std::pair<std::string, std::string>> copias_viejas;
};

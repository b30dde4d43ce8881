// A run that compares the server's catalogue with the library's index
// before it transfers: an incremental run (only what changed is asked for),
// a mirror (what the server deleted goes locally too) and a dry run (the
// plan is said, nothing is written). The comparison is comparacion.h's;
// this is what the run does with it.
#pragma once

#include "base/catalogo.h"
#include "transfer/run/comparacion.h"
#include "transfer/run/peticion.h"
#include "transfer/walk/compartido.h"

struct OpcionesComparacion {
  bool incremental = false;  // VORTCP_INCREMENTAL: only what changed
  bool espejo = false;       // VORTCP_ESPEJO: what the server deleted is removed with its index line
  bool simula = false;       // VORTCP_SIMULA: the plan only
};

// The catalogue of the request's library has been read: takes the library's
// lock (not in a dry run), reads its index, compares the two for the run's
// mode, file (`archivo`: "", a name or a generic "PREFIX*"), FECHAD and
// HORAD, and then:
// - a dry run prints "Recibiria: %s\n" for each object that would be
//   received, in a one-session run's order, the deletions' lines, and
//   "Recibiria %d objetos; %d sin cambios; %d eliminados en el servidor\n",
//   and ends with SALIDA_BIEN having written nothing of the tree;
// - any other run says or mirrors each deletion (espejo.h), then runs the
//   plan with `sesiones` sessions (transfiere_en_sesiones).
// Returns the run's exit status. A lock or an index that cannot be had ends
// the run with SALIDA_ERROR (its message printed). The catalogue is emptied
// once compared (the plan holds what it needs). The run's report, when
// kept, gets the objects found unchanged, the deletions and, in a dry run,
// what would be received.
[[nodiscard]] int transfiere_lo_cambiado(Compartido& comun, const Peticion& p, Catalogo* catalogo,
                                         const char* archivo, int sesiones,
                                         const OpcionesComparacion& opciones);

// An object of a comparison as an entry of the run's report, in state estado.
EntradaInforme entrada_de(const ObjetoComparado& o, const char* estado);

// A run that compares the server's catalogue with the library's index
// before it transfers: an incremental run (only what changed is asked for),
// a mirror (what the server deleted goes locally too) and a dry run (the plan
// is said, nothing is written). The comparison is incremental.h's; this is
// what the run does with it, and the walk's skip of the unchanged objects
// that the server sends all the same.
#pragma once

#include "base/catalogo.h"
#include "transfer/recorrido.h"

struct OpcionesComparacion {
  bool incremental = false;  // VORTCP_INCREMENTAL: only what changed
  bool espejo = false;       // VORTCP_ESPEJO: what the server deleted is removed with its index line
  bool simula = false;       // VORTCP_SIMULA: the plan only
};

// The catalogue of the run's library has been read: takes the library's
// lock (not in a dry run), reads its index, compares the two for the run's
// mode, file (`archivo`: "", a name or a generic "PREFIX*"), FECHAD and
// HORAD, and then:
// - a dry run prints "Recibiria: %s\n" for each object that would be
//   received, in a one-session run's order, the deletions' lines, and
//   "Recibiria %d objetos; %d sin cambios; %d eliminados en el servidor\n",
//   and ends with SALIDA_BIEN having written nothing of the tree;
// - any other run prints each deletion ("Eliminado en el servidor: %s\n"; a
//   mirror removes the file and drops its index line: "Eliminado: %s\n",
//   or "Imposible borrar (%s)\n" and the run goes on to end with
//   SALIDA_ERROR), console and log, then runs the plan with `sesiones`
//   sessions (transfiere_en_sesiones), which ends the run.
// A lock or an index that cannot be had ends the run with SALIDA_ERROR (its
// message printed).
// The catalogue is emptied once compared (the plan holds what it needs).
[[noreturn]] void transfiere_lo_cambiado(Catalogo* catalogo, const char* archivo, int sesiones,
                                         const OpcionesComparacion& opciones);

// For the handlers of headers 01 and 03 in an incremental run: true when the
// object of header c, whose local path is ruta, is unchanged: its header's
// change date and time equal those of its line in the index, and its local
// file exists. The handler then opens nothing and answers "OK", so that its
// blocks, with no file open, are answered and dropped; the object counts as
// unchanged (once: not again when the comparison counted it already). False
// in any other run.
bool salta_sin_cambios(Recorrido& r, const Cabecera& c, const char* ruta);

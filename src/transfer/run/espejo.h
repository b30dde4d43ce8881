// The objects a comparison found deleted on the server: said on the console
// and in the log, or, with a mirror, removed with their index lines.
#pragma once

#include <vector>

#include "transfer/run/comparacion.h"
#include "transfer/walk/compartido.h"

// A line of the plan or of a deletion, "<que><ruta><cierre>\n": on the
// console (names through the terminal filter) and in the log, under the
// lines' lock.
void linea_de_comparacion(const char* que, const char* ruta, const char* cierre = "");

enum class Borrado {
  bien,            // every deletion said, or removed
  no_borrado,      // a file stayed (its reason said): the run ends with SALIDA_ERROR
  indice_fallido,  // the index could not be read (said): the run ends now, with SALIDA_ERROR
  interrumpido     // Ctrl-C or SIGTERM: the deletions stopped after the one under way
};
// Says each deletion ("Eliminado en el servidor: %s\n"), and each copy under
// an older source type ("Copia con otro tipo: %s\n"); with espejo, removes
// each deletion instead ("Eliminado: %s\n"), its index line with it, and
// keeps each older copy for the run's end (quita_copias_viejas). Only a
// regular file is removed, never a folder, and never through a symbolic
// link on its way ("No se borra a traves de un enlace (%s)\n"); a file that
// stays says "Imposible borrar (%s)\n" and the others go on. Console and
// log.
// The report, when kept, gets each deletion (eliminado_en_servidor, or
// eliminado when removed).
Borrado trata_eliminados(Compartido& c, const char* biblioteca, const Comparacion& r, bool espejo);
// The run's end: each older copy a mirror kept is removed ("Eliminado:
// %s\n") when its member came under the new path; otherwise it stays, said
// ("Copia con otro tipo: %s\n"). False when one could not be removed (its
// reason said).
bool quita_copias_viejas(Compartido& c);
// A deletion as an entry of the report, in state estado.
void anota_eliminado(Informe& i, const Eliminado& e, const char* estado);

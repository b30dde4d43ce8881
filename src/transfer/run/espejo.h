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
  bien,           // every deletion said, or removed
  no_borrado,     // a file stayed ("Imposible borrar (%s)\n" said): the run ends with SALIDA_ERROR
  indice_fallido  // the index could not be read (said): the run ends now, with SALIDA_ERROR
};
// Says each deletion ("Eliminado en el servidor: %s\n"), or, with espejo,
// removes its file (a regular file, never a folder) and drops its index
// line ("Eliminado: %s\n"; "Imposible borrar (%s)\n" when the file stays,
// and the others go on), console and log.
Borrado trata_eliminados(Compartido& c, const char* biblioteca, const std::vector<Eliminado>& eliminados,
                         bool espejo);

// The walk's skip in an incremental run: the server sends the objects of a
// file changed since a date, a superset of what changed; those its
// comparison found unchanged (the run's Salto, compartido.h) are answered
// and not written.
#pragma once

#include "base/catalogo.h"

struct Cabecera;
struct Recorrido;

// For the handlers of headers 01 and 03 in an incremental run: true when the
// object of header c, whose local path is ruta, is unchanged (sin_cambios,
// against its line in force in the index). The handler then opens nothing
// and answers "OK", so that its blocks, with no file open, are answered and
// dropped; the object counts as unchanged (once: not again when the
// comparison counted it already). A line this run recorded is not
// unchanged: a unit tried again receives again what its first try
// completed. False in any other run.
// The report, when kept, gets the object (of class clase) as sin_cambios.
bool salta_sin_cambios(Recorrido& r, const Cabecera& c, const char* ruta, ClaseArchivo clase);

// The local tree of a run: the checks a header must pass before anything is
// written for it (names that would leave the tree, one run per library), the
// library's folders and its lock. What the run has made and locked is kept in
// its Arbol (compartido.h).
#pragma once

struct Cabecera;
struct Compartido;
struct Recorrido;

// The checks of a header before anything is written for it. False when the
// run must end: a name that would lead outside the local tree or that is one
// of the program's own folders (see primer_nombre_no_valido) prints "Nombre no
// valido recibido del servidor (%s)\n"; a library that another run holds for
// more than 10 seconds prints "Biblioteca %s en uso por otra transferencia\n".
// The walk's open object is then left incomplete first (antes_de_un_fallo).
// The library's first header takes the run's lock on it (toma_biblioteca).
bool acepta_cabecera(Recorrido& r, const Cabecera& c);
// The library's lock for the rest of the run (\LIB and \LIB\xvoras made for
// it): at once when this run holds it already. When another run holds it,
// the indexes with updates are written first and "Esperando a otra
// transferencia de la biblioteca %s\n" goes once to standard error before
// the wait. False after the message, as acepta_cabecera (r: the walk whose
// object a failure leaves incomplete, or nullptr); false with no message
// when an interruption cut the wait short (plat_interrupcion says so).
bool toma_biblioteca(Compartido& c, Recorrido* r, const char* biblioteca);
// Creates a directory of the local tree, once per run: a path already made
// or found is not asked again. False after "Imposible crear el directorio
// (%s)\n".
bool asegura_directorio(Compartido& c, Recorrido* r, const char* ruta);
// Creates \LIB, \LIB\xvoras, \LIB\xpanta and \LIB\xlista (asegura_directorio).
bool crea_directorios_biblioteca(Recorrido& r, const char* biblioteca);

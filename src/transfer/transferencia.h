// What the handlers of the transfer walk share: the message in hand, the
// answer "OK", the checks and directories of a header, and the handlers.
// The open object and its result line are objeto.h's.
#pragma once

#include <cstddef>

#include "platform/plataforma.h"
#include "transfer/recorrido.h"
#include "transfer/xinfo.h"
#include "wire/lector.h"
#include "wire/sesion.h"

// --- The walk (lista.cpp) -----------------------------------------------------
// The message now in the session's buffer, bounded by what arrived (s.largo),
// its names and numbers read through ebc_fija.
Mensaje mensaje_actual(const Sesion& s);
// Sends "OK" and receives the next message into the session's buffer. A
// failed exchange sets s.fallo and leaves no message (s.largo 0).
void responde_ok(Sesion& s);
// The header of the message in hand, read once: code 01 and 03 (one layout),
// 05 (library and file only) or 07 (a message file: no member, type "MSG").
Cabecera lee_cabecera(const Mensaje& m, int codigo);

// --- Local files (ficheros.cpp) ---------------------------------------------------
// The checks of a header before anything is written for it. False when the
// run must end: a name that would lead outside the local tree or that is one
// of the program's own folders (see primer_nombre_no_valido) prints "Nombre no
// valido recibido del servidor (%s)\n"; a library that another run holds for
// more than 10 seconds prints "Biblioteca %s en uso por otra transferencia\n".
// An object still open is then left incomplete first (antes_de_un_fallo). The
// library's first header takes the run's lock on it; when another run holds
// it, the indexes with updates are written first and "Esperando a otra
// transferencia de la biblioteca %s\n" goes once to standard error before
// the wait.
bool acepta_cabecera(const Cabecera& c);
// The library's lock for the rest of the run, as the library's first header
// takes it (\LIB and \LIB\xvoras made for it): at once when this run holds
// it already. False after the message, as acepta_cabecera.
bool toma_biblioteca(const char* biblioteca);
// Creates a directory of the local tree, once per run: a path already made
// or found is not asked again. False after "Imposible crear el directorio
// (%s)\n".
bool asegura_directorio(const char* ruta);
// Forgets the directories and the library locks of the run (tests and
// fuzzers run many transfers in one process).
void olvida_directorios();
// Creates \LIB, \LIB\xvoras, \LIB\xpanta and \LIB\xlista (asegura_directorio).
bool crea_directorios_biblioteca(const char* biblioteca);
// True when the index is to be updated: no type filter on the command line.
bool indice_sin_filtro();
// The index entry of the object of header c, when the index is to be
// updated: the library's index prepared (prepara_xinfo) and the line built
// into linea; otherwise linea is left empty. False as prepara_xinfo.
bool prepara_entrada(const Cabecera& c, char (&linea)[LARGO_LINEA_XINFO + 2]);

// --- Handlers --------------------------------------------------------------------
// Each reads the message in hand (a header handler gets the header the walk
// read from it), does its work and ends with responde_ok, so the next message
// is in the session's buffer when it returns true. False, with the message
// unanswered and the reason printed, when the run must end with exit status
// 1: a refused name, a local file that cannot be opened, written or closed,
// or an index failure; a block fails only on a write. The walk then ends the
// run.
bool abre_miembro(Recorrido& r, const Cabecera& c);   // 01 (miembros.cpp)
bool graba_texto(Recorrido& r);                       // 02 and 08 (registros.cpp)
bool abre_ebcdic(Recorrido& r, const Cabecera& c);    // 03 (datos.cpp)
bool graba_ebcdic(Recorrido& r);                      // 04 (registros.cpp)
bool trata_datos(Recorrido& r, const Cabecera& c);    // 05 and its data block (datos.cpp)
bool abre_mensajes(Recorrido& r, const Cabecera& c);  // 07 (mensajes.cpp)
void muestra_spool(Recorrido& r, int codigo);         // 67 or 68, the layout it names (registros.cpp)

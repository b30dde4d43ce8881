// What the handlers of the transfer walk share: the message in hand, the
// answer "OK", the one open local file with its counters, and the result line.
#pragma once

#include <cstddef>

#include "platform/plataforma.h"
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
// The open object is complete (the next header arrived, or the end code):
// completa_objeto, then its result line is completed with the counts, on the
// console and in the log (the counters go back to 0), then its index entry is
// recorded. False when one of them failed (the reason printed).
bool cierra_fichero();
// Prints the first half of a result line, "Obtiene: " and the path padded to
// 30 characters, on the console and, when en_log, into the log.
void imprime_obtiene(const char* ruta, bool en_log);
// Prints "%s%s <literal>" with the grouped count right-aligned in ancho
// columns, on the console and, when en_log, into the log.
void imprime_cuenta(long long cuenta, int ancho, const char* literal, bool en_log);

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
bool acepta_cabecera(const char* biblioteca, const char* archivo, const char* miembro, const char* tipo);
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
// Opens the object whose path is ruta, in binary for raw copies: its working
// file "<ruta>.parcial" is created anew. fecha (or nullptr) is the header's
// change date, given to the file once complete; linea_indice (or nullptr) the
// index entry of biblioteca to record once complete. False after "Imposible
// abrir (%s)\n" with ruta. Whatever way the run ends while the object is
// open, a closing step of termina leaves it incomplete (deja_incompleto).
bool abre_objeto(const char* ruta, bool binario, const FechaHora* fecha, const char* biblioteca,
                 const char* linea_indice);
// What a header says of its object beside its names: the source type ("MSG"
// for a message file), the description, and the change date and time.
struct Cabecera {
  const char* tipo;
  const char* texto;
  const char* fecha;
  const char* hora;
};
// The index entry of the object that ctx's *_actual names denote (miembro
// for the member field: "" for a message file), when the index is to be
// updated: the library's index prepared (prepara_xinfo) and the line built
// into linea; otherwise linea is left empty. False as prepara_xinfo.
bool prepara_entrada(const Cabecera& c, const char* miembro, char (&linea)[LARGO_LINEA_XINFO + 2]);
// abre_objeto with the header's change date (when it is a valid one) and the
// entry prepara_entrada built (none when linea is empty).
bool abre_objeto_de_cabecera(const char* ruta, bool binario, const Cabecera& c, const char* linea);
// The open object is a converted data file (its count line differs).
void marca_convertido();
// Writes n bytes into the open object. A failure removes its working file and
// gives false after "Error al grabar (%s)\n" with the object's path.
bool graba_bytes(const void* datos, size_t n);
// Writes n bytes of CP1252 text for a person: as they are, or in UTF-8 when
// the run writes UTF-8 (VORTCP_CODIFICACION). *escritos gets the bytes that
// reached the file. Fails as graba_bytes.
bool graba_texto_persona(const unsigned char* texto, size_t n, size_t* escritos);
// The object is complete: its file is closed (checked), given its date and
// moved over its path. Fails as graba_bytes does, a failed move too (a
// directory at the path, say): its working file is removed after "Error al
// grabar (%s)\n".
bool completa_objeto();
// Records the complete object's index entry. False as registra_xinfo.
bool registra_objeto();
// The walk ends with the object open (a failed exchange, an interruption, a
// closed standard output, a refused header, an index that cannot be
// written): its file is closed, its counts line printed and logged, then
// "Incompleto: %s\n" with the working file's path. Its bytes stay there; the
// earlier copy and index entry stay as they were. A failed close is a failed
// write (false). With no object open it does nothing (true).
bool deja_incompleto();
// A failure that ends the run is about to be printed: an object still open is
// left incomplete first (deja_incompleto), so that its counts complete the
// half of its result line already shown and its "Incompleto" line comes
// before the failure's, and the progress line is erased.
void antes_de_un_fallo();

// --- Handlers --------------------------------------------------------------------
// Each reads the message in hand, does its work and ends with responde_ok, so
// the next message is in the session's buffer when it returns true. False, with the
// message unanswered and the reason printed, when the run must end with exit
// status 1: a refused name, a local file that cannot be opened, written or
// closed, or an index failure (actualiza_xinfo); a block fails only on a
// write. The walk then ends the run.
bool abre_miembro(Sesion& s);               // 01 (miembros.cpp)
bool graba_texto(Sesion& s);                // 02 and 08 (registros.cpp)
bool abre_ebcdic(Sesion& s);                // 03 (datos.cpp)
bool graba_ebcdic(Sesion& s);               // 04 (registros.cpp)
bool trata_datos(Sesion& s);                // 05 and its data block (datos.cpp)
bool abre_mensajes(Sesion& s);              // 07 (mensajes.cpp)
void muestra_spool(Sesion& s, int codigo);  // 67 or 68, the layout it names (registros.cpp)

// What the handlers of the transfer walk share: the message in hand, the
// answer "OK", the one open local file with its counters, and the result line.
#pragma once

#include <cstddef>

#include "wire/lector.h"

// --- The walk (lista.cpp) -----------------------------------------------------
// The message now in ctx.sbuffer, bounded by what arrived (ctx.ilen_recibido),
// its names and numbers read through ebc_fija.
Mensaje mensaje_actual();
// Sends "OK" and receives the next message into ctx.sbuffer. A failed exchange
// sets ctx.fallo_intercambio and leaves no message (ctx.ilen_recibido 0).
void responde_ok();
// Closes the open local file and completes its result line with the counts,
// on the console and in the log; the counters go back to 0. A failed close
// prints "Error al grabar (%s)\n" and gives false (no counts shown).
bool cierra_fichero();
// Prints the first half of a result line, "Obtiene: " and the path padded to
// 30 characters, on the console and, when en_log, into the log.
void imprime_obtiene(const char* ruta, bool en_log);
// Prints "%s%s <literal>" with the grouped count right-aligned in ancho
// columns, on the console and, when en_log, into the log.
void imprime_cuenta(long long cuenta, int ancho, const char* literal, bool en_log);

// --- Local files (ficheros.cpp) ---------------------------------------------------
// False, after "Nombre no valido recibido del servidor (%s)\n", when a header
// name would lead outside the local tree (see primer_nombre_no_valido); an
// open file is closed and reported first (false too when that close fails).
bool comprueba_nombres(const char* biblioteca, const char* archivo, const char* miembro, const char* tipo);
// Creates a directory of the local tree, once per run: a path already asked
// for is not asked again. Failures are ignored (a file that then cannot be
// opened reports them).
void asegura_directorio(const char* ruta);
// Forgets the directories asked for (tests and fuzzers run many transfers in
// one process).
void olvida_directorios();
// Creates \LIB, \LIB\xvoras, \LIB\xpanta and \LIB\xlista (asegura_directorio).
void crea_directorios_biblioteca(const char* biblioteca);
// True when the index is to be updated: no type filter on the command line.
bool indice_sin_filtro();
// Opens ruta with mode "w" as the transfer's open file (binario for raw
// copies). False after "Imposible abrir (%s)\n".
bool abre_fichero_actual(const char* ruta, bool binario);
// Writes n bytes into the open file. False after "Error al grabar (%s)\n" with
// the open file's path.
bool graba_bytes(const void* datos, size_t n);
// Flushes and closes the open file. Fails as graba_bytes does.
bool cierra_fichero_actual();

// --- Handlers --------------------------------------------------------------------
// Each reads the message in hand, does its work and ends with responde_ok, so
// the next message is in ctx.sbuffer when it returns true. False, with the
// message unanswered and the reason printed, when the run must end with exit
// status 1: a refused name, a local file that cannot be opened, written or
// closed, or an index failure (actualiza_xinfo); a block fails only on a
// write. The walk then ends the run.
bool abre_miembro();             // 01 (miembros.cpp)
bool graba_texto();              // 02 and 08 (registros.cpp)
bool abre_ebcdic();              // 03 (datos.cpp)
bool graba_ebcdic();             // 04 (registros.cpp)
bool trata_datos();              // 05 and its data block (datos.cpp)
bool abre_mensajes();            // 07 (mensajes.cpp)
void muestra_spool(int codigo);  // 67 or 68, the layout it names (registros.cpp)

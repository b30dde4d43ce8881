// What the unit tests need from the operating system beyond the platform layer,
// the same on POSIX and on Windows: a connected pair of loopback sockets,
// setting and removing environment variables, and scratch directories.
#pragma once

#include <string>

#include "platform/plataforma.h"

// A connected pair of TCP sockets on 127.0.0.1, Nagle off: par[0] for the code
// under test, par[1] for the test's side. false when it cannot be made.
bool crea_par_sockets(socket_t par[2]);
// Sends every byte of datos on s; false on a failure.
bool envia_todo(socket_t s, const std::string& datos);
// Everything the other end has sent so far: reads until nothing more arrives
// within a few milliseconds.
std::string lee_pendiente(socket_t s);
// Ends the test's side: the other end sees the peer close (its receive gives 0)
// even when bytes it sent were never read. s becomes SOCKET_INVALIDO.
void cierra_extremo(socket_t& s);

// Sets or removes a variable of this process. On Windows an empty value removes
// the variable, which reads the same as empty through toma_env.
void pon_variable(const char* nombre, const char* valor);
void quita_variable(const char* nombre);

// A new empty directory under the system's temporary directory, its name
// starting with prefijo; "" on failure. borra_arbol removes it with its content.
std::string crea_directorio_temporal(const char* prefijo);
void borra_arbol(const std::string& ruta);

// Captures standard output like GoogleTest's CaptureStdout, but reads it back
// in binary: a text-mode read on Windows would stop at a 0x1A byte, and the
// tables' dumps print every byte value. The line ends the text-mode stream
// wrote (CR LF on Windows) come back as "\n".
void captura_salida();
std::string salida_capturada();

// Makes a fresh, empty directory the current one, such that the program's own
// paths ("\LIB1\xvoras\xinfo": from the current directory on POSIX, from the
// root of the current drive on Windows) land in it. On Windows that directory
// is the drive root named by VORTCP_RAIZ_PRUEBAS (a drive kept for the tests,
// which scripts/windows.sh maps; emptied here); without it the result is "",
// and the test should skip. sale_del_arbol_temporal goes back and removes
// what the test left.
std::string entra_en_arbol_temporal();
void sale_del_arbol_temporal();
// A path of the local tree in POSIX form ("LIB1/xvoras/xinfo") as the program
// prints it on this platform ("\LIB1\xvoras\xinfo" on Windows).
std::string ruta_mostrada(const std::string& relativa);
// The bytes of a local text file with CR LF line ends turned into "\n" on
// Windows (checking none came alone); "" when it cannot be read.
std::string lee_texto_local(const std::string& ruta);

// True in the Windows build: for the few checks whose right answer differs.
bool en_windows();

// The platform layer: every call vortcp makes to the operating system (sockets,
// the pause, directories, paths, files, clock, environment and the ANSI/OEM code
// pages) goes through these functions. plataforma_posix.cpp implements them for
// POSIX; a Windows build supplies the same functions in a file of its own.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

using socket_t = intptr_t;
constexpr socket_t SOCKET_INVALIDO = -1;

// --- Sockets -----------------------------------------------------------------
// Starts the socket library; returns 0, or the library's error code.
int plat_inicia_red();
// A new IPv4 stream socket, or SOCKET_INVALIDO.
socket_t plat_crea_socket();
// The error code of the last failed socket call (errno on POSIX).
int plat_error_red();
// True when a socket error code only means "the operation would block".
bool plat_error_es_bloqueo(int codigo);
// Reads a dotted IPv4 address into *direccion (network byte order); false when
// the text is not one.
bool plat_direccion_punteada(const char* nombre, uint32_t* direccion);
// Looks a host name up (IPv4 only, first address); false when it is not found.
bool plat_busca_host(const char* nombre, uint32_t* direccion);
// Connects to the address and port (only its low 16 bits count). 0 or -1.
int plat_conecta(socket_t s, uint32_t direccion, int puerto);
// Hands all n bytes to the socket, looping on short writes and interruptions.
// Returns n, or -1 on failure (plat_error_red tells why) or once an
// interruption is recorded.
long plat_envia(socket_t s, const void* datos, size_t n);
// One receive of at most n bytes: the count, 0 when the peer closed, -1 on
// failure. Interruptions by other signals are retried; once Ctrl-C or a
// termination request has been recorded (plat_interrupcion), -1.
long plat_recibe(socket_t s, void* destino, size_t n);
// Waits at most max_ms milliseconds until the socket holds at least `faltan`
// bytes ready to be received, or the peer has closed, or the connection has
// failed, or an interruption is recorded; whichever comes first. No CPU is
// used while it waits. The caller's next receive takes what is there.
void plat_espera_datos(socket_t s, size_t faltan, int max_ms);
void plat_cierra_socket(socket_t s);

// Test seams for fuzzers and tests: while set, plat_recibe and plat_envia call
// these instead of the socket, and plat_espera_datos returns at once when the
// wait is switched off. Not used by the program itself.
using FuenteRecepcion = long (*)(socket_t s, void* destino, size_t n);
using DestinoEnvio = long (*)(socket_t s, const void* datos, size_t n);
void plat_establece_red_prueba(FuenteRecepcion fuente, DestinoEnvio destino);
void plat_establece_pausa_prueba(bool pausa_activa);

// --- Interruptions ---------------------------------------------------------------
// From this call on, Ctrl-C and a termination request (SIGINT and SIGTERM; the
// console's Ctrl-C, Ctrl-Break and close events on Windows) no longer end the
// process: they are recorded, and the socket calls that wait give up.
void plat_vigila_interrupciones();
// 0, or the signal number of the first interruption recorded: 2 for Ctrl-C,
// 15 for a termination request. The shell's exit status for it is 128 + n.
int plat_interrupcion();

// --- Time ---------------------------------------------------------------------
// Milliseconds of a clock that only moves forward (not the time of day).
int64_t plat_reloj_ms();
struct FechaHora {
  int anio, mes, dia, hora, minuto, segundo; // anio is the full year
};
FechaHora plat_fecha_hora_local();

// --- Paths, directories and files -----------------------------------------------
// Formats a local path with the program's own path formats (backslash
// separated, a leading backslash meaning the root of the tree) and turns it
// into a path of this platform. Returns false, with an empty destination, when
// the result does not fit.
bool plat_ruta(char* destino, size_t capacidad, const char* formato, ...)
    __attribute__((format(printf, 3, 4)));
bool plat_ruta_v(char* destino, size_t capacidad, const char* formato, va_list args);
template <size_t N>
__attribute__((format(printf, 2, 3))) bool plat_ruta(char (&destino)[N], const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  bool ok = plat_ruta_v(destino, N, formato, args);
  va_end(args);
  return ok;
}
// Creates a directory; an existing directory, or any failure, is not reported
// (a later open of a file in it reports the problem).
void plat_crea_directorio(const char* ruta);
// Opens a local text file (mode "r", "w" or "a"): LF line ends here, CR LF on
// Windows.
FILE* plat_abre_texto(const char* ruta, const char* modo);
// Opens a local file whose bytes are stored exactly as written.
FILE* plat_abre_binario(const char* ruta, const char* modo);
// Reads up to n bytes of a text file opened for reading, with the line ends
// read as LF (a CR right before a LF is dropped, as text mode does on
// Windows). NUL bytes come through. Returns the count; 0 at the end of the file
// or on a read error (ferror tells which).
size_t plat_lee_texto(FILE* f, char* destino, size_t n);
// Reads one line of a text file like fgets (at most capacidad - 1 characters,
// the line feed kept), dropping a carriage return right before the line feed so
// that files made on Windows read as they do there. NULL at the end of file.
char* plat_lee_linea(char* destino, int capacidad, FILE* f);
// Reads the next piece of a line of a text file: its bytes up to and including
// the line feed, at most capacidad - 1 of them, then a terminator. NUL bytes of
// the file are stored like any other, so the count returned is the only length
// of the piece; 0 at the end of the file or on a read error (ferror tells
// which). A CR right before a LF is dropped, as plat_lee_linea does.
size_t plat_lee_trozo(char* destino, size_t capacidad, FILE* f);
// Replaces destino by origen in one atomic step. false on failure.
bool plat_reemplaza_fichero(const char* origen, const char* destino);
void plat_borra_fichero(const char* ruta);
// Closes a file that was written to. true when every byte written reached the
// file: the buffer is flushed first, since a full disk often shows only then.
bool plat_cierra_escrito(FILE* f);
// True when the stream writes to a terminal (a console window on Windows),
// false for a file or a pipe.
bool plat_es_terminal(FILE* f);
// The number and the description of the last runtime error.
int plat_errno();
const char* plat_describe_error();

// --- Environment ------------------------------------------------------------------
// The value of a variable, or NULL when it is not set.
const char* plat_getenv(const char* nombre);
// The console's set command: "NAME=value" sets NAME, "NAME=" removes it. The
// name matches without regard to case, as on Windows.
void plat_putenv(const char* texto);

// --- Code pages (test dumps only) ---------------------------------------------------
// The OEM byte of the ANSI byte c, or -1 when it has no exact counterpart.
int plat_ansi_a_oem(unsigned char c);
// The ANSI byte of the OEM byte c, or -1 when it has no exact counterpart.
int plat_oem_a_ansi(unsigned char c);

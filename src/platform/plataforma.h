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
// The result of plat_recibe_con_plazo when nothing arrived in time.
constexpr long PLAT_SIN_DATOS = -2;
// One receive as plat_recibe, but waiting at most max_ms (above 0) for its
// first byte: PLAT_SIN_DATOS when nothing arrived in that time. On POSIX the
// wait is the socket's receive time-out, which stays on the socket: the
// caller keeps in *plazo_ms the time-out it has set on s (0 for a socket that
// has none yet), and it is set again only when max_ms differs, so that while
// data flows a receive makes no more system calls than plat_recibe does;
// plat_recibe itself goes on waiting across such time-outs. Windows waits in
// select and leaves *plazo_ms alone.
long plat_recibe_con_plazo(socket_t s, void* destino, size_t n, int max_ms, int* plazo_ms);
// Asks the stack to acknowledge at once what the socket has received instead
// of after its delayed-acknowledgement timer: a frame that the server writes
// in several small sends (Nagle holds each piece until the one before is
// acknowledged) then does not cost that timer once per piece. Called after a
// receive that leaves a frame incomplete. Linux: TCP_QUICKACK, which the
// stack clears by itself, hence at every such receive. Windows: nothing here;
// plat_conecta asks the socket to acknowledge every segment
// (SIO_TCP_SET_ACK_FREQUENCY 1) for its whole life.
void plat_acusa_recibo(socket_t s);
// Waits at most max_ms milliseconds until the socket holds at least `faltan`
// bytes ready to be received, or the peer has closed, or the connection has
// failed, or an interruption is recorded; whichever comes first. It sleeps
// between checks, but not for long: on POSIX it wakes every 200 microseconds
// while the frame is incomplete (and ends early when part of it came and then
// nothing for one such slice); on Windows it naps 1 ms at a time while part
// of it is there. The caller's next receive takes what is there.
void plat_espera_datos(socket_t s, size_t faltan, int max_ms);
// Ends the connection of s in both directions without closing the socket
// (shutdown): a receive or send that waits on it in another thread returns
// at once, with 0 or a failure. A signal reaches one thread only, so this is
// how a run stops the sessions of its other threads. The socket is still
// closed by its owner (plat_cierra_socket); the caller makes sure it has not
// been closed yet, since its number may belong to another socket then.
void plat_corta_socket(socket_t s);
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
// For a thread that runs one session of a run through several: Ctrl-C and a
// termination request are taken by another thread of the process (the one
// that watches them and stops the sessions), never by this one, so that none
// of its calls (a connect, a receive) is cut short by the signal itself.
// Windows: nothing to do (the console's handler runs in a thread of its own).
void plat_hilo_sin_interrupciones();
// Forgets the interruption recorded, so that the socket calls work again and
// the next one is recorded anew (Ctrl-C at the console's prompt only drops the
// line being typed).
void plat_olvida_interrupcion();
// The interruption number of a standard output that failed (SIGPIPE's): the
// shell's exit status for a closed one is 141.
constexpr int SALIDA_CERRADA = 13;
// Records that standard output has failed (a pipe whose reader ended, or an
// output that cannot be written) as an interruption of its own,
// SALIDA_CERRADA, unless one is recorded already: the socket calls then give
// up as they do for Ctrl-C.
void plat_registra_salida_cerrada();
// After a write onto f has failed: true when f leads to a pipe or a socket
// whose reader has gone (POSIX: the descriptor polls as failed or hung up;
// Windows: it is a pipe), false for an output that could not take the bytes
// (a full disk, an I/O error, a device that refuses them).
bool plat_salida_sin_lector(FILE* f);
// The first call of the program: a write to a closed pipe must fail (and be
// seen as a closed standard output), not end the process with SIGPIPE.
void plat_inicia_proceso();

// --- Lines typed at a terminal ---------------------------------------------------
// The words that Tab completes at the console: command words at the start of a
// line, after the command word "set " the names of the settings, and later in
// a line the names that `nombres` gives.
struct PalabrasConsola {
  const char* const* comandos;  // in the case the list shows them
  int num_comandos;
  const char* const* ajustes;
  int num_ajustes;
  // The names that may complete the word before the cursor (a table or
  // column name), given the line (`largo` bytes) and the cursor's offset in
  // it: at most max of them into nombres, their count returned (0 for none).
  // It may take a while (it asks the server), never long. nullptr: no names.
  int (*nombres)(const char* linea, size_t largo, size_t cursor, const char** nombres, int max);
};
// Starts line editing when standard input and standard output are both
// terminals: libedit on POSIX, with completion and with the history kept in
// "$HOME/.vortcp_historial" (none without HOME); the console window's own
// editing and history on Windows. Returns false, and does nothing at all,
// otherwise: lines are then read with plat_lee_linea. The words must outlive
// the run.
bool plat_editor_inicia(const PalabrasConsola& palabras);
enum class LecturaEditor {
  linea,        // a line was read
  fin,          // end of input (Ctrl-D on an empty line): a line end shown
  interrumpida  // an interruption was recorded while waiting: the line typed
                // so far is dropped, a line end shown, the interruption left
                // recorded for the caller
};
// Only after plat_editor_inicia returned true: shows the prompt and reads one
// line. The line goes into destino without its line end (a CR right before
// it dropped too), cut to capacidad - 1 characters; *largo gets its whole
// length. The line is added to the history.
LecturaEditor plat_editor_lee_linea(const char* prompt, char* destino, size_t capacidad, size_t* largo);

// --- The console at a terminal ----------------------------------------------------
// The size of the terminal that standard output is, in lines and columns.
// False when standard output is no terminal or the size is not known.
bool plat_tamano_terminal(int* filas, int* columnas);
// Starts the pager: the command (run by the system's shell) reads what is
// written to the stream returned, on its standard input, and shows it on the
// terminal. Standard output is flushed first. NULL when it cannot start.
FILE* plat_abre_paginador(const char* orden);
// The pager when PAGER is not set: less -FRX on POSIX; none (nullptr) on
// Windows, which has no pager of its own that would suit.
const char* plat_paginador_por_omision();
// Closes the pager's stream and waits for the pager to end (the user leaves
// it). Writes that failed because the pager ended early are no failure.
void plat_cierra_paginador(FILE* paginador);
// From plat_aplaza_ctrl_c(true) on, a first Ctrl-C is only noted
// (plat_ctrl_c_aplazado tells) and cuts no wait: the receive that runs goes
// on, so that the session stays in step. A second Ctrl-C is recorded as
// plat_vigila_interrupciones records it. plat_aplaza_ctrl_c(false) goes back
// to that, and forgets the note. Only after plat_vigila_interrupciones.
void plat_aplaza_ctrl_c(bool aplaza);
bool plat_ctrl_c_aplazado();

// --- Randomness -------------------------------------------------------------------
// Fills n bytes from the system's random generator (getrandom or /dev/urandom;
// RtlGenRandom on Windows). False when it cannot: destino is then left as it
// was.
bool plat_aleatorio(void* destino, size_t n);
// Gives the memory freed so far back to the system where the allocator can
// (a run that has just freed a large table, before its heaviest part).
void plat_devuelve_memoria();

// --- Time ---------------------------------------------------------------------
// Milliseconds of a clock that only moves forward (not the time of day).
int64_t plat_reloj_ms();
// Microseconds of the same kind of clock (statement timing).
int64_t plat_reloj_us();
struct FechaHora {
  int anio, mes, dia, hora, minuto, segundo;  // anio is the full year
};
FechaHora plat_fecha_hora_local();
// The same in UTC.
FechaHora plat_fecha_hora_utc();
// strftime's fields of `formato` (%Y, %m, %d, %H, %M, %S, ...) filled from f
// into dest (cap bytes). False when the result does not fit.
bool plat_formatea_fecha(char* dest, size_t cap, const char* formato, const FechaHora& f);
// Whether the file at ruta carries the local date and time f as its
// modification time, as plat_pon_fecha_abierto gives it: within 2 seconds
// (file systems that keep even seconds), or whatever it carries when f is
// no local time a file can be given (the hour skipped when clocks go
// forward). False when the file cannot be looked at or is no regular file
// (as plat_es_fichero).
bool plat_tiene_fecha(const char* ruta, const FechaHora& f);

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
// Creates a directory. True when it was made or is there already as a
// directory (a link to one counts); false otherwise (plat_errno tells why).
bool plat_crea_directorio(const char* ruta);
// Opens a local text file (mode "r", "w" or "a"): LF line ends here, CR LF on
// Windows.
FILE* plat_abre_texto(const char* ruta, const char* modo);
// Opens a local text file for reading (as plat_abre_texto with "r") only
// when the path names a regular file, a link to one included. A directory, a
// FIFO, a device or a socket there gives NULL with plat_errno EISDIR (a
// directory) or EINVAL (the others), without opening it, so without waiting
// on it; a missing file gives NULL with ENOENT, as fopen does.
FILE* plat_abre_lectura_regular(const char* ruta);
// True when the path names a regular file (a link to one included): not a
// directory, a device or anything else, and not missing.
bool plat_es_fichero(const char* ruta);
// True when a folder on the way to ruta, or ruta itself, is a symbolic link
// (a reparse point on Windows: a link or a junction): what is removed there
// may lie outside the tree. Each step of a relative path is looked at from
// the current folder, each of an absolute one from the root.
bool plat_ruta_con_enlace(const char* ruta);
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
// Creates ruta anew for writing (text or binary as plat_abre_texto and
// plat_abre_binario): whatever is at that path first (an old file, a planted
// link) is removed, never written through, and the new file is created only
// if nothing is there. NULL on failure.
FILE* plat_crea_nuevo(const char* ruta, bool binario);
// Sets the modification time of a file open for writing to the local date
// and time f, once what it buffers is written (no write may follow, or it
// moves the time again). False when f is not a valid local time (a
// nonexistent day or hour included) or the call fails; the file then keeps its
// time.
bool plat_pon_fecha_abierto(FILE* fichero, const FechaHora& f);
// Takes an exclusive lock on the file ruta (created when missing), waiting at
// most max_ms (0: not at all) for another process to let it go. The lock
// file is never opened through a link: a link or anything else that is not a
// regular file at ruta is removed first (as plat_crea_nuevo does), a
// directory there is a failure. The lock is held until the process ends.
// The locks taken are remembered by the process: callers do not ask from two
// threads at once (the transfer asks under its mutex of the library locks).
// interrumpido: an interruption was recorded (plat_interrupcion) while it
// waited.
enum class Bloqueo { tomado, ocupado, fallo, interrumpido };
Bloqueo plat_bloquea(const char* ruta, int max_ms);
// Reads the next piece of a line of a text file: its bytes up to and including
// the line feed, at most capacidad - 1 of them, then a terminator. NUL bytes of
// the file are stored like any other, so the count returned is the only length
// of the piece; 0 at the end of the file or on a read error (ferror tells
// which). A CR right before a LF is dropped, as plat_lee_linea does.
size_t plat_lee_trozo(char* destino, size_t capacidad, FILE* f);
// Replaces destino by origen in one atomic step (a link at destino is
// replaced, not followed). false on failure.
bool plat_reemplaza_fichero(const char* origen, const char* destino);
void plat_borra_fichero(const char* ruta);
// Closes a file that was written to. true when every byte written reached the
// file: the buffer is flushed first, since a full disk often shows only then.
bool plat_cierra_escrito(FILE* f);
// True when the stream writes to a terminal (a console window on Windows),
// false for a file or a pipe.
bool plat_es_terminal(FILE* f);
// Sets the process's standard output apart for the caller: returns a new
// stream (text mode) on it, and points descriptor 1, which stdout writes to,
// at standard error, stdout itself left unbuffered so that its lines and
// those written to stderr keep their order. Called before anything is written
// to stdout. NULL, with nothing changed, when the descriptors cannot be
// duplicated.
FILE* plat_aparta_salida_estandar();
// The number and the description of the last runtime error. The text stays
// valid on the calling thread until its next call; other threads' calls do
// not touch it.
int plat_errno();
const char* plat_describe_error();

// --- Environment ------------------------------------------------------------------
// The value of a variable, or NULL when it is not set.
const char* plat_getenv(const char* nombre);
// The variable that names the language of the table file: LANG on Windows;
// on POSIX, where LANG is the locale, VORTCP_LANG when it is set and not
// empty, else LANG.
const char* plat_variable_idioma();
// True where LANG is the system's locale (POSIX: "C.UTF-8", "es_ES.UTF-8"),
// so that a table file named by it is not what the user meant; false where
// LANG is the program's own setting (Windows).
bool plat_lang_es_regional();
// The console's set command: "NAME=value" sets NAME, "NAME=" removes it. The
// name matches without regard to case, as on Windows.
void plat_putenv(const char* texto);

// --- Code pages ----------------------------------------------------------------------
// The OEM byte of the ANSI byte c, or -1 when it has no exact counterpart
// (the test dumps).
int plat_ansi_a_oem(unsigned char c);
// The ANSI byte of the OEM byte c, or -1 when it has no exact counterpart.
int plat_oem_a_ansi(unsigned char c);
// Turns n bytes of CP1252 text into UTF-8 in destino, which holds at least
// 3 * n bytes (no CP1252 character takes more). The five byte values CP1252
// leaves without a character become the control characters of the same
// value, as Windows converts them. Returns the bytes written.
size_t plat_cp1252_a_utf8(const char* origen, size_t n, char* destino);
// Turns n bytes of UTF-8 text into CP1252 in destino (at most n bytes come
// out). Returns the length, or -1 when the text holds a character that CP1252
// cannot write, or is not valid UTF-8: nothing is replaced.
long plat_utf8_a_cp1252(const char* origen, size_t n, char* destino);

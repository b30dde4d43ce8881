// Message framing: a frame is ten decimal length characters (counting
// themselves) followed by the payload, at most TAM_TRAMA bytes in all. Two pairs
// of operations share the frame and the session's pending store (the bytes
// that arrived after a frame): the transfer pair (traces into the session's
// trace) and the SQL pair (traces on the console). Each works on the Sesion
// it is given and on nothing else of the process but the settings.
#pragma once

#include <mutex>

#include "wire/sesion.h"

// The lock of the transfer trace: the sessions of a run share its file, so
// each record (a line of the framing, or a message written in pieces by
// wire/intercambio.cpp) is written whole under it.
std::mutex& cerrojo_traza();

// Sends len payload bytes in one frame. Length characters always in EBCDIC; the
// payload converted with asc_fija when en_ebcdic is 1. Returns len, or -1 on
// failure ("send() failed with error %d\n") or for a payload above MAX_CARGA.
// carga may be the session's own buffer.
int Env_VORTCP(Sesion& s, const char* carga, int len, int en_ebcdic);
// Receives one frame into buf (at least TAM_TRAMA + 1 bytes, the session's
// buffer or another): the payload, unconverted, at offset 0 and a NUL after
// it. Returns the payload length, or -1 on failure (the reason printed on
// standard output, unless the run interrupted or cut the session itself,
// Sesion::cortada): a failed or closed connection, or a frame length below 10
// or above TAM_TRAMA ("Longitud de trama no valida (%d)\n"); also the two ends
// of a wait (below): the limit reached, or a task that failed.
int Rec_VORTCP(Sesion& s, char* buf);
// Sends a NUL-terminated text in one frame, converted with tabla_asc (length
// characters with asc_fija) when en_ebcdic is 1. Returns the text length or -1.
int Env_VORTCP_sql(Sesion& s, const char* texto, int en_ebcdic);
// The result of Rec_VORTCP_sql for a compressed reply that does not expand:
// the frame was received whole (the session is still in step), and the
// codec's message ("Fatal error during code expansion.\n") has been printed.
// The caller ends the run with SALIDA_ERROR.
constexpr int RECEPCION_NO_EXPANDIDA = -2;
// The result of Rec_VORTCP_sql for a frame that has not come whole by its
// deadline (or before an interruption): the session is still in step. What came of the frame is kept in
// the session (Sesion::empezada_*), and the next receive goes on with it
// from there: its payload then holds, before the bytes that receive takes,
// whatever buf held (the caller drops that frame).
constexpr int RECEPCION_A_DESTIEMPO = -3;
// Receives one frame into buf (at least TAM_TRAMA + 1 bytes), converted with
// ebc_fija when WWW_EBCDIC is 1; with comprimido 1 the payload is LZW-expanded
// first. Returns the payload length as received, -1 on the failures of
// Rec_VORTCP (reported at test level 1 only), or RECEPCION_NO_EXPANDIDA.
// With limite_ms above 0 (a time of plat_reloj_ms) the receive waits for no
// byte past it: RECEPCION_A_DESTIEMPO when the frame is not whole by then
// (the bytes that have come are always taken first), or when an
// interruption is recorded meanwhile.
int Rec_VORTCP_sql(Sesion& s, char* buf, int comprimido, int icompri, int64_t limite_ms = 0);

// --- While a receive waits for the server ----------------------------------------
// Both receives (either pair) wait for the server in steps of PERIODO_ESPERA_MS
// and, between two steps, run the waiting task of their thread and watch the
// run's limit. While data flows nothing of this costs a system call: on POSIX
// the step is the socket's receive time-out, set once (plat_recibe_con_plazo).
constexpr int PERIODO_ESPERA_MS = 250;

// The waiting task: run by a receive of this thread after each step that
// brought nothing, and while a frame arrives in pieces spread over more than a
// step, so at most PERIODO_ESPERA_MS apart while the wait lasts (and not at
// all while whole frames flow: whoever registered it runs the same work
// between messages). It runs between two receive calls, on the receiving
// thread, and must neither send nor receive on the session.
//   true:  the wait goes on.
//   false: the receive gives up at once: result -1 with no message of its
//          own (the task has said why; its owner keeps the reason, so that
//          its caller tells this end from a lost connection). The frame being
//          read is dropped; bytes already set aside for a later frame stay in
//          the pending store.
// `dato` is handed to the task as given. The registration is per thread (each
// session thread registers its own, for the one session it runs); nullptr
// removes it.
using TareaEspera = bool (*)(void* dato);
void establece_tarea_espera(TareaEspera tarea, void* dato);

// The run's limit of silence, VORTCP_ESPERA: a receive that gets nothing for
// limite_s seconds (1 to 86400; 0: no limit) gives the session up: "Sin
// respuesta del servidor en %d s\n" on standard error, at any test level,
// and the result -1 with no other message; the caller treats it as a lost
// connection. One value for every thread of the run.
void establece_limite_espera(int limite_s);
int limite_espera();

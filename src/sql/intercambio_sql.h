// The one exchange of the SQL session: a message out, its reply back, with the
// exchange lines of the test levels. Every SQL message of the program (the
// handshake, queries, commands, scripts and loads) goes through it.
//
// The policy for a lost connection: a failed send or receive loses the
// session. The exchange returns -1 (the framing's only failure result, never a
// value taken from a received length), and from then on every exchange
// returns it at once without sending anything, so that no later message is
// written into a broken or out-of-step connection. The callers go back to
// their own callers (a script tries its next statement and finds the session
// lost, a load stops), and the console ends the run with exit status -1 as
// soon as the line being run returns to the prompt, saying so on standard
// error at test level 0; start-up ends it at once, saying so the same way.
//
// The exchange works on the one SQL session of the process, set at start
// (establece_sesion_sql): the console's, or the session that reads the
// server's catalogue; its commands do not pass it along.
#pragma once

#include "wire/lector.h"
#include "wire/sesion.h"

// The SQL session from now on; its failed flag is the lost session's.
void establece_sesion_sql(Sesion& s);
// The SQL session set at start. Its buffer is where the console builds its
// messages and receives their replies.
Sesion& sesion_sql();

// How the message is traced before it goes out (test level 1 or more).
enum class TrazaEnvio {
  simple,      // "Envia : [%s]"
  con_ebcdic,  // "Envia ebcdic(%d) : [%s]", with the session's EBCDIC setting
};

// Sends the NUL-terminated message in buffer (capacity TAM_TRAMA + 1: the
// session's buffer, or one of the caller's) and
// receives its reply into the same buffer; with comprimida the reply is
// LZW-expanded. Returns the receive's result: the reply's length, or the
// negative result of the send or receive that failed (also when the session
// was lost before). envia_sql and recibe_sql are its two halves, for the one
// command that shows a line between them.
int intercambia_sql(char* buffer, TrazaEnvio traza, bool comprimida);
// The send: the trace line before it, "Enviado: rc=%d [%s]" after it (test
// level 1 or more). Returns the send's result.
int envia_sql(const char* buffer, TrazaEnvio traza);
// The receive into buffer. Returns its result: for a compressed reply that
// does not expand RECEPCION_NO_EXPANDIDA (trama.h), which does not lose the
// session; the caller ends the run with SALIDA_ERROR.
int recibe_sql(char* buffer, bool comprimida);

// The receive of recibe_sql (no compression) that waits for no byte past
// limite_ms, a time of plat_reloj_ms. A reply that has not come whole by
// then (not begun, or begun and not ended) gives RECEPCION_A_DESTIEMPO
// (wire/trama.h) and is left on its way: the next exchange receives the
// rest of it, and drops it, before it sends anything; an interruption
// recorded meanwhile ends the wait the same way. Several exchanges under
// one deadline (a query and its fetches) so hold up their caller no longer
// than it allows, however the server spreads its replies.
int recibe_sql_hasta(char* buffer, int64_t limite_ms);

// Before a message whose reply may not be waited for past limite_ms: true
// when no reply is left on its way, those that come whole by then received
// and dropped first; false when one has not (nothing is sent then).
bool libre_hasta(int64_t limite_ms);

// True once an exchange failed (the session's failed flag).
bool sesion_perdida();
// The end of a run whose session is lost (at start-up or at the console):
// "Conexion perdida con el servidor.\n" on standard error at test level 0
// (at level 1 the framing has said why; otherwise the end would be silent).
// Returns the exit status to end with: the failed exchange's result.
int estado_de_sesion_perdida();

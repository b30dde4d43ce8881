// The connection to the server: the start of sockets, the connection settings
// and the tables, the optional session broker and the socket of a session,
// each connection over TLS when the run asks for it.
// Nothing here ends the run: each step returns the exit status to end it
// with, its message printed, and the caller ends it.
#pragma once

#include "wire/sesion.h"

// The steps before the first session of a run, once: starts sockets, reads
// MULTIAS, BASE, SERVPORT, SERVIDOR and VORTCP_ESPERA (the receive's limit of
// silence, trama.h; a value that is not 1 to 86400: "Valor no valido en la
// variable VORTCP_ESPERA (%s)\n"), VORTCP_TLS (unset, empty or 0: plain TCP;
// 1: TLS; anything else refused the same way) and with TLS its companions
// VORTCP_TLS_CA, VORTCP_TLS_CERT, VORTCP_TLS_CLAVE and VORTCP_TLS_NOMBRE (a
// file that cannot be used is a value refused), and builds the code page
// tables. Returns SALIDA_BIEN; SALIDA_CONEXION when sockets or TLS do not
// start; SALIDA_ERROR for a setting refused or too long, or no table file.
// The settings are only read after it.
[[nodiscard]] int prepara_conexion();
// Opens one session: asks the broker for the port of a free one when MULTIAS
// starts with 1, then connects s.sd. The broker's reply must come within 30
// seconds (VORTCP_ESPERA when shorter) and hold a five-digit offset that gives
// a port up to 65535 ("Respuesta no valida del intermediario (%s)\n"). With
// TLS, both connections make their handshake right after the connect, within
// the same time, and s.tls carries the session's; a handshake that fails
// says "Conexion TLS rechazada (%s)\n" on standard error, with the reason,
// before anything else is sent. Returns SALIDA_BIEN, or SALIDA_CONEXION after
// the message of what failed (the broker, the look-up, the connect, TLS),
// with no socket left open.
[[nodiscard]] int abre_sesion(Sesion& s);
// A later session of a run through several, opened as abre_sesion does but
// without the lines of the first session (the broker's, the look-up's and
// the connection's): abierta, or sin_sesion_libre when the broker has no free
// session (nothing printed, *maximo its maximum of sessions), or fallida
// after the message of what failed, with no socket left open. A later
// session's failure is printed once per run, the first time; later ones
// fail silently.
enum class OtraSesion { abierta, sin_sesion_libre, fallida };
[[nodiscard]] OtraSesion abre_otra_sesion(Sesion& s, int32_t* maximo);
// The message of a broker without a free session, "(2) Error de conexion
// ... Superado el numero maximo de sesiones definidas (%d).\n" and a line end,
// with SERVIDOR, SERVPORT and the broker's maximum.
void imprime_sin_sesion_libre(int32_t maximo);
// True when sessions come from the session broker (MULTIAS starts with 1).
bool hay_intermediario();
// Ends the session's TLS connection, if any, and closes its socket (the end
// of a transfer run).
void cierra_sesion(Sesion& s);
// Makes a Sesion used before ready for another connection: no socket, no TLS
// connection and no receive time-out, no failure and no cut, no payload and nothing pending
// from the framing. Its trace is kept. The socket is not closed here: it has
// been closed already (cierra_sesion), or was never opened.
void reinicia_sesion(Sesion& s);

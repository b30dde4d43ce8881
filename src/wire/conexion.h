// The connection to the server: the start of sockets, the connection settings
// and the tables, the optional session broker and the socket of a session.
#pragma once

#include "wire/sesion.h"

// The steps before the first session of a run, once: starts sockets, reads
// MULTIAS, BASE, SERVPORT, SERVIDOR and VORTCP_ESPERA (the receive's limit of
// silence, trama.h; a value that is not 1 to 86400 ends the run with "Valor no
// valido en la variable VORTCP_ESPERA (%s)\n", exit status 1) and builds the
// code page tables. The settings are only read after it.
void prepara_conexion();
// Opens one session: asks the broker for the port of a free one when MULTIAS
// starts with 1, then connects s.sd. The broker's reply must come within 30
// seconds (VORTCP_ESPERA when shorter) and hold a five-digit offset that gives
// a port up to 65535 ("Respuesta no valida del intermediario (%s)\n", exit
// status -1). Every failure ends the run with its message.
void abre_sesion(Sesion& s);
// prepara_conexion, then abre_sesion: the one session of a run.
void conecta_sesion(Sesion& s);
// Closes the session's socket (the end of a transfer run).
void cierra_sesion(Sesion& s);

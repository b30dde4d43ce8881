// The connection to the server: the start of sockets, the connection settings
// and the tables, the optional session broker and the session socket.
#pragma once

// Starts sockets, reads MULTIAS, BASE, SERVPORT, SERVIDOR and VORTCP_ESPERA
// (the receive's limit of silence, trama.h; a value that is not 1 to 86400
// ends the run with "Valor no valido en la variable VORTCP_ESPERA (%s)\n",
// exit status 1), builds the code page tables, asks the broker when MULTIAS
// starts with 1 and connects ctx.sd. The broker's reply must come within 30
// seconds (VORTCP_ESPERA when shorter) and hold a five-digit offset that
// gives a port up to 65535 ("Respuesta no valida del intermediario (%s)\n",
// exit status -1). Every failure ends the run with its message.
void conecta_sesion();
// Closes the session socket (the end of a transfer run).
void cierra_sesion();

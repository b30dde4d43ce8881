// The connection to the server: the start of sockets, the connection settings
// and the tables, the optional session broker and the session socket.
#pragma once

// Starts sockets, reads MULTIAS, BASE, SERVPORT and SERVIDOR, builds the code
// page tables, asks the broker when MULTIAS starts with 1 and connects ctx.sd.
// Every failure ends the run with its message.
void conecta_sesion();
// Closes the session socket (the end of a transfer run).
void cierra_sesion();

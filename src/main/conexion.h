// The connection to the server: the start of sockets, the connection settings
// and the tables, the optional session broker, the session socket and, in WEB
// mode, the two-message handshake.
#pragma once

// Starts sockets, reads MULTIAS, BASE, SERVPORT and SERVIDOR, builds the code
// page tables, asks the broker when MULTIAS starts with 1 and connects ctx.sd.
// Every failure ends the run with its message.
void conecta_sesion();
// WEB mode: claims cursor slot 1, sends messages 01 and 20 and reads their
// replies. A failed exchange ends the run with the framing's negative result.
void saludo_web();

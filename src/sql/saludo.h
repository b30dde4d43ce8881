// The handshake that opens the SQL session in WEB mode: messages 01 (the
// library list and the buffer size) and 20 (the options).
#pragma once

#include <cstdint>

// The buffer size announced when WWW_BUFSIZE is not set: the console's, and a
// batch's (blocks near a frame's size, the reply's own fields left room).
constexpr int32_t BUFER_CONSOLA = 4096;
constexpr int32_t BUFER_LOTE = 28000;

// Claims cursor slot 1, reads the session settings, sends messages 01 and 20
// and reads their replies. Returns 0; SALIDA_ERROR after the message of a
// setting too long or of no memory for the slot (the caller ends the run with
// it); or the negative result of the exchange that failed (the caller ends
// the run as for a lost session). The buffer size announced is WWW_BUFSIZE,
// or bufer_sin_ajuste when it is not set.
[[nodiscard]] int saludo_web(int32_t bufer_sin_ajuste = BUFER_CONSOLA);

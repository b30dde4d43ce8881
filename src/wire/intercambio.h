// The traced exchange of the transfer code: the transfer pair of the framing on
// a session, with one more trace line per message at test level 1.
#pragma once

#include "wire/sesion.h"

// Sends nbuffer payload bytes (buffer may be the session's own). A failure is
// reported only by the framing's own line; it sets s.fallo.
void envia_as(Sesion& s, const char* buffer, int nbuffer, int en_ebcdic);
// Receives one frame into s.buffer and its length into s.largo (0 after a
// failure, which also sets s.fallo and leaves the buffer's earlier content
// in place).
void recibe_as(Sesion& s);

// The traced exchange of the transfer code: the transfer pair of the framing on
// the session socket, with one more trace line per message at test level 1.
#pragma once

// Sends nbuffer payload bytes. A failure is reported only by the framing's own
// line; it sets ctx.fallo_intercambio.
void envia_as(const char* buffer, int nbuffer, int en_ebcdic);
// Receives one frame into ctx.sbuffer and its length into ctx.ilen_recibido
// (0 after a failure, which also sets ctx.fallo_intercambio and leaves
// sbuffer's earlier content in place).
void recibe_as();

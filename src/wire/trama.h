// Message framing: a frame is ten decimal length characters (counting
// themselves) followed by the payload, at most TAM_TRAMA bytes in all. Two pairs
// of operations share the frame and the pending store (the bytes that arrived
// after a frame): the transfer pair (traces into "trace") and the SQL pair
// (traces on the console).
#pragma once

#include "platform/plataforma.h"

// Sends len payload bytes in one frame. Length characters always in EBCDIC; the
// payload converted with asc_fija when en_ebcdic is 1. Returns len, or -1 on
// failure ("send() failed with error %d\n") or for a payload above MAX_CARGA.
int Env_VORTCP(socket_t s, const char* carga, int len, int en_ebcdic);
// Receives one frame into buf (at least TAM_TRAMA + 1 bytes): the payload,
// unconverted, at offset 0 and a NUL after it. Returns the payload length, or
// -1 on failure (the reason printed on standard output): a failed or closed
// connection, or a frame length below 10 or above TAM_TRAMA
// ("Longitud de trama no valida (%d)\n").
int Rec_VORTCP(socket_t s, char* buf);
// Sends a NUL-terminated text in one frame, converted with tabla_asc (length
// characters with asc_fija) when en_ebcdic is 1. Returns the text length or -1.
int Env_VORTCP_sql(socket_t s, const char* texto, int en_ebcdic);
// Receives one frame into buf (at least TAM_TRAMA + 1 bytes), converted with
// ebc_fija when WWW_EBCDIC is 1; with comprimido 1 the payload is LZW-expanded
// first. Returns the payload length as received, or -1 on the failures of
// Rec_VORTCP (reported at test level 1 only).
int Rec_VORTCP_sql(socket_t s, char* buf, int comprimido, int icompri);

// How many bytes wait in the pending store (tests and traces).
int bytes_pendientes();
// Empties the pending store (fuzzers, which run many sessions in one process).
void descarta_pendientes();

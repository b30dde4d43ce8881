// The client's built-in code page tables as the simulator knows them, and
// the simulator's own reader of the client's table file ebcdic.<LANG>. They
// are kept apart from the client's code on purpose: a table or a reading rule
// that both sides took from one place would let a fault in it pass unseen.
#pragma once

#include <cstdio>

// EBCDIC to ASCII: what the client applies to everything it reads.
extern const unsigned char ebc_cliente[256];
// ASCII to EBCDIC: what the client applies to its length digits, its
// transfer request and its "OK" (and, amended by the table file, to its SQL
// text).
extern const unsigned char asc_cliente[256];

// Reads the table file as the client does and calls aplica(ebcdic, ascii)
// for every mapping line, in file order. Lines are taken whole: a line
// that holds a NUL byte, and a last line without its line feed, are not used;
// comments ("#", "$"), empty lines and lines whose fields do not read as a
// byte are skipped. Returns false when the file cannot be opened or read.
bool lee_fichero_tabla(const char* ruta, void (*aplica)(int ebcdic, int ascii));

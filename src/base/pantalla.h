// Bytes that came from the server and are shown to the user (spool, result
// values, error texts, the replies of CMD): on a terminal the control bytes
// among them could move the cursor, retitle the window or remap keys, so they
// are shown as "?" there. Files and pipes get the bytes unchanged, but for the
// code page of a UTF-8 run.
#pragma once

#include <cstddef>
#include <cstdio>

// True for the bytes a terminal would act on: below 0x20 other than tab and
// line feed, and 0x7F.
inline bool es_control(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F;
}

// The byte as a terminal is to show it: "?" for a control byte.
inline char visible(char c) {
  return es_control((unsigned char)c) ? '?' : c;
}

// Writes n bytes from the server (CP1252 text) onto f; when f is a terminal,
// control bytes are written as "?"; in a UTF-8 run (VORTCP_CODIFICACION) the
// text is written in UTF-8, on a terminal or not.
void escribe_del_servidor(FILE* f, const void* datos, size_t n);
// The same for a caller that writes many pieces onto f and has asked once
// whether it is a terminal.
void escribe_del_servidor(FILE* f, const void* datos, size_t n, bool terminal);

// Text that a person wrote (a console line, a script, a backup file) as the
// CP1252 that the program's tables take: in a UTF-8 run it is read as UTF-8
// and converted, otherwise copied. The result (at most n bytes) goes into
// destino, which holds n + 1. False, after "Caracter no representable en CP1252
// en (%s)\n" with `donde`, when a character has no CP1252 form (nothing is
// replaced).
bool de_persona(const char* texto, size_t n, char* destino, const char* donde);

// True once a write to standard output has failed (a pipe whose reader
// ended): the first time, the closed output is recorded as an interruption
// (plat_registra_salida_cerrada), so that the waits give up and the run ends
// as an interrupted one does, with exit status 141. A buffered stdout fails
// only when its buffer is written: callers ask after each unit of work.
bool salida_estandar_cerrada();

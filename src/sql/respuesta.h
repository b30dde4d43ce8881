// The bounded reader of a received SQL reply: every field is read within the
// payload length that the receive returned. A field that lies past the end
// reads as blanks (a number as 0); one that straddles the end is cut there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "main/texto.h"

struct Respuesta {
  const char* datos;  // the payload, at offset 0
  int largo;          // bytes received (a failed or empty receive gives 0)
};

// The bytes of [offset, offset + ancho) that were received: the count, and
// the start in *inicio. 0 when none is.
inline int resp_tramo(const Respuesta& r, long offset, long ancho, const char** inicio) {
  if (offset < 0 || ancho <= 0 || offset >= r.largo) return 0;
  long fin = offset + ancho;
  if (fin > r.largo) fin = r.largo;
  *inicio = r.datos + offset;
  return (int)(fin - offset);
}

// A decimal field read as atoi reads it.
inline int32_t resp_entero(const Respuesta& r, long offset, long ancho) {
  const char* p = nullptr;
  int n = resp_tramo(r, offset, ancho, &p);
  return n > 0 ? lee_entero_n(p, (size_t)n) : 0;
}

// The byte at pos, or -1 past the end of what was received.
inline int resp_byte(const Respuesta& r, long pos) {
  return pos >= 0 && pos < r.largo ? (unsigned char)r.datos[pos] : -1;
}

// A fixed field of ancho characters into dest (capacity >= ancho + 1), with
// blanks for the part that was not received.
inline void resp_texto(const Respuesta& r, long offset, int ancho, char* dest, size_t cap) {
  const char* p = nullptr;
  int n = resp_tramo(r, offset, ancho, &p);
  size_t k = 0;
  for (; k + 1 < cap && k < (size_t)ancho; k++) dest[k] = k < (size_t)n ? p[k] : ' ';
  if (cap > 0) dest[k] = '\0';
}

// Fields common to the replies of messages 02, 04 and 05.
inline int32_t resp_cursor(const Respuesta& r) {
  return resp_entero(r, 5, 3);
}
inline bool resp_es_error(const Respuesta& r) {
  const char* p = nullptr;
  return resp_tramo(r, 13, 3, &p) == 3 && memcmp(p, "ERR", 3) == 0;
}
// The SQL code of an error part (offset 16, six characters, sign first); on
// success the same field holds the number of rows affected or inserted.
inline int32_t resp_codigo(const Respuesta& r) {
  return resp_entero(r, 16, 6);
}

// The message text of an error part: from offset 22 when the code carries a
// minus sign, else from offset 16, up to offset 16 plus the length at offset
// 8. Returns its received length (0 when it is empty) and its start.
inline int resp_texto_error(const Respuesta& r, const char** inicio) {
  long desde = resp_byte(r, 16) == '-' ? 22 : 16;
  long hasta = 16 + (long)resp_entero(r, 8, 5);
  *inicio = "";
  return resp_tramo(r, desde, hasta - desde, inicio);
}

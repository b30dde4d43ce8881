// The fields common to the SQL replies (of messages 02, 04 and 05), read
// through the bounded reader of received bytes: a field that lies past the
// end of the reply reads as blanks (a number as 0).
#pragma once

#include <cstring>

#include "wire/lector.h"

// An SQL reply of `largo` bytes in `buffer` (a failed receive gives none).
inline Mensaje respuesta_de(const char* buffer, int largo) {
  return mensaje_de(buffer, largo);
}

inline int32_t resp_cursor(const Mensaje& r) {
  return lee_numero(r, 5, 3);
}
inline bool resp_es_error(const Mensaje& r) {
  const char* p = nullptr;
  return lee_tramo(r, 13, 3, &p) == 3 && memcmp(p, "ERR", 3) == 0;
}
// The SQL code of an error part (offset 16, six characters, sign first); on
// success the same field holds the number of rows affected or inserted.
inline int32_t resp_codigo(const Mensaje& r) {
  return lee_numero(r, 16, 6);
}

// The message text of an error part: from offset 22 when the code carries a
// minus sign, else from offset 16, up to offset 16 plus the length at offset
// 8. Returns its received length (0 when it is empty) and its start.
inline int resp_texto_error(const Mensaje& r, const char** inicio) {
  long desde = lee_byte(r, 16) == '-' ? 22 : 16;
  long hasta = 16 + (long)lee_numero(r, 8, 5);
  *inicio = "";
  return lee_tramo(r, desde, hasta - desde, inicio);
}

// The rows part of a reply that carries rows: where its rows begin, how many
// the reply says it holds, and its "more" flag (0: another block is to be
// fetched with message 03; 1: this is the last). An opening reply (of 02)
// has them after its descriptor block, whose length is at offset 16; a fetch
// reply (of 03) has them at offset 13, where an error part has its "ERR".
struct BloqueRespuesta {
  int posicion;
  int filas;
  int sigue;
};
inline BloqueRespuesta resp_bloque(const Mensaje& r, bool apertura) {
  if (!apertura) return BloqueRespuesta{19, lee_numero(r, 13, 5), lee_numero(r, 18, 1)};
  int d = lee_numero(r, 16, 5);
  return BloqueRespuesta{27 + d, lee_numero(r, 21L + d, 5), lee_numero(r, 26L + d, 1)};
}

// The one bounded reader of received bytes: every field taken from a received
// payload (a transfer message, an SQL reply, the broker's reply, the column
// descriptors) goes through it, so nothing is read past the bytes that
// actually arrived, whatever the lengths inside the payload claim.
#pragma once

#include <cstddef>
#include <cstdint>

// A received payload: its bytes, how many arrived, and the table that turns
// the bytes of its names and numbers into ASCII (nullptr: they are ASCII).
struct Mensaje {
  const unsigned char* datos;
  int32_t largo;
  const unsigned char* tabla;
};

// A payload of `largo` bytes at `datos` (a negative length reads as nothing).
inline Mensaje mensaje_de(const char* datos, int largo, const unsigned char* tabla = nullptr) {
  return Mensaje{(const unsigned char*)datos, largo > 0 ? largo : 0, tabla};
}

// The byte at pos, translated, or -1 past the end of what was received.
inline int lee_byte(const Mensaje& m, long pos) {
  if (pos < 0 || pos >= m.largo) return -1;
  return m.tabla != nullptr ? m.tabla[m.datos[pos]] : m.datos[pos];
}

// The received bytes of [offset, offset + ancho), untranslated: their count,
// and their start in *inicio. 0 (and *inicio untouched) when none arrived.
inline int lee_tramo(const Mensaje& m, long offset, long ancho, const char** inicio) {
  if (offset < 0 || ancho <= 0 || offset >= m.largo) return 0;
  long fin = offset + ancho;
  if (fin > m.largo) fin = m.largo;
  *inicio = (const char*)m.datos + offset;
  return (int)(fin - offset);
}

// The ancho bytes from offset on, translated, into dest (cut to what dest
// holds). A byte beyond the received length reads as a blank. With recorta,
// trailing blanks are removed (names, texts); without, the field keeps its
// width (dates and times).
void lee_texto(const Mensaje& m, long offset, int ancho, bool recorta, char* dest, size_t cap);
template <size_t N>
void lee_texto(const Mensaje& m, long offset, int ancho, bool recorta, char (&dest)[N]) {
  lee_texto(m, offset, ancho, recorta, dest, N);
}

// A decimal field of ancho characters read as atoi would (leading blanks and
// a sign taken, stops at the first non-digit); the part beyond the received
// length reads as blanks, so a field that did not arrive reads as 0.
int32_t lee_numero(const Mensaje& m, long offset, long ancho);

// The first position in [desde, hasta) whose translated byte is `byte`, or
// hasta; hasta is cut to the received length first.
long busca_byte(const Mensaje& m, long desde, long hasta, int byte);

// The data bytes of a block that start at inicio and claim to end at fin
// (exclusive), untranslated: their start, with their count in *n. The end is
// cut to the received length, and an end below inicio makes an empty block, so
// *n is never negative. Only those *n bytes may be read.
inline const unsigned char* datos_de_bloque(const Mensaje& m, long inicio, long fin, int32_t* n) {
  long hasta = fin > m.largo ? m.largo : fin;
  *n = hasta > inicio ? (int32_t)(hasta - inicio) : 0;
  return *n > 0 ? m.datos + inicio : m.datos;
}

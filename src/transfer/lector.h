// The one bounded reader of received transfer messages: every field a handler
// takes from a message goes through it, so nothing is read past the bytes that
// actually arrived, whatever the lengths inside the message claim.
#pragma once

#include <cstddef>
#include <cstdint>

// A received payload: its bytes, how many arrived, and the table that turns
// the EBCDIC of its names and numbers into ASCII.
struct Mensaje {
  const unsigned char* datos;
  int32_t largo;
  const unsigned char* tabla;
};

// The ancho bytes from offset on, translated, into dest (cut to what dest
// holds). A byte beyond the received length reads as a blank. With recorta,
// trailing blanks are removed (names, texts); without, the field keeps its
// width (dates and times).
void lee_texto(const Mensaje& m, int offset, int ancho, bool recorta, char* dest, size_t cap);
template <size_t N>
void lee_texto(const Mensaje& m, int offset, int ancho, bool recorta, char (&dest)[N]) {
  lee_texto(m, offset, ancho, recorta, dest, N);
}

// A decimal field of ancho characters read as atoi would (leading blanks and
// a sign taken, stops at the first non-digit); a field beyond the received
// length reads as 0.
int32_t lee_numero(const Mensaje& m, int offset, int ancho);

// How many data bytes a block really carries when its data start at inicio
// and the block claims to end at fin (exclusive): fin is cut to the received
// length, and a fin below inicio makes an empty block. Never negative.
int32_t bytes_de_datos(const Mensaje& m, int inicio, int32_t fin);

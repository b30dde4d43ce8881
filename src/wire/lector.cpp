// The bounded reader of received bytes (lector.h). A field beyond the received
// length reads as blanks; no length inside a payload can make a read go past
// what arrived.
#include "wire/lector.h"

#include "base/texto.h"

void lee_texto(const Mensaje& m, long offset, int ancho, bool recorta, char* dest, size_t cap) {
  if (cap == 0) return;
  size_t k = 0;
  for (int i = 0; i < ancho && k + 1 < cap; i++) {
    int b = lee_byte(m, offset + i);
    dest[k++] = b < 0 ? ' ' : (char)b;
  }
  dest[k] = '\0';
  if (recorta) quita_blancos(dest);
}

int32_t lee_numero(const Mensaje& m, long offset, long ancho) {
  char campo[16];
  // atoi stops long before 15 characters of a number that fits.
  lee_texto(m, offset, ancho < 15 ? (int)ancho : 15, false, campo);
  return lee_entero(campo);
}

long busca_byte(const Mensaje& m, long desde, long hasta, int byte) {
  if (hasta > m.largo) hasta = m.largo;
  if (desde < 0) desde = 0;
  while (desde < hasta && lee_byte(m, desde) != byte) desde++;
  return desde < hasta ? desde : hasta;
}

// The bounded reader of received transfer messages (lector.h). A field beyond
// the received length reads as blanks; no length inside a message can make a
// read go past what arrived.
#include "transfer/lector.h"

#include "main/texto.h"

static unsigned char byte_traducido(const Mensaje& m, int posicion) {
  if (posicion < 0 || posicion >= m.largo) return ' ';
  return m.tabla[m.datos[posicion]];
}

void lee_texto(const Mensaje& m, int offset, int ancho, bool recorta, char* dest, size_t cap) {
  if (cap == 0) return;
  size_t k = 0;
  for (int i = 0; i < ancho && k + 1 < cap; i++) dest[k++] = (char)byte_traducido(m, offset + i);
  dest[k] = '\0';
  if (recorta) quita_blancos(dest);
}

int32_t lee_numero(const Mensaje& m, int offset, int ancho) {
  char campo[16];
  lee_texto(m, offset, ancho < 15 ? ancho : 15, false, campo);
  return lee_entero(campo);
}

int32_t bytes_de_datos(const Mensaje& m, int inicio, int32_t fin) {
  if (fin > m.largo) fin = m.largo;
  return fin > inicio ? fin - inicio : 0;
}

// Whole lines of a text file over the platform's piece reader (lineas.h).
#include "base/lineas.h"

#include <cstring>

#include "base/utf8.h"
#include "platform/plataforma.h"

namespace {

constexpr char MARCA_FIN = 0x1A;  // Ctrl-Z, the old end-of-file mark of text files

}  // namespace

bool lee_linea_entera(FILE* f, char* dest, size_t cap, LineaLeida* linea, bool marca_fin) {
  size_t n = plat_lee_trozo(dest, cap, f);
  if (n == 0) return false;
  LineaLeida l{};
  l.con_fin = dest[n - 1] == '\n';
  if (l.con_fin) dest[--n] = '\0';
  l.largo = l.guardados = n;
  l.nulo = memchr(dest, '\0', n) != nullptr;
  l.ultimo = n > 0 ? dest[n - 1] : '\0';
  char penultimo = n > 1 ? dest[n - 2] : '\0';
  // A line longer than the buffer: the rest is read to its end, looked at and
  // dropped, a piece at a time.
  char resto[4096];
  while (!l.con_fin) {
    size_t k = plat_lee_trozo(resto, sizeof resto, f);
    if (k == 0) break;
    l.con_fin = resto[k - 1] == '\n';
    if (l.con_fin) k--;
    if (k == 0) continue;
    if (memchr(resto, '\0', k) != nullptr) l.nulo = true;
    penultimo = k > 1 ? resto[k - 2] : l.ultimo;
    l.ultimo = resto[k - 1];
    l.largo += k;
  }
  // Only a line without a line feed ends at the end of the file.
  if (marca_fin && !l.con_fin && l.ultimo == MARCA_FIN) {
    l.largo--;
    if (l.guardados > l.largo) {
      l.guardados = l.largo;
      dest[l.guardados] = '\0';
    }
    l.ultimo = l.largo > 0 ? penultimo : '\0';
    if (l.largo == 0) return false;
  }
  *linea = l;
  return true;
}

bool quita_bom(char* dest, LineaLeida* l) {
  if (!empieza_con_bom(dest, l->guardados)) return false;
  memmove(dest, dest + LARGO_BOM, l->guardados - LARGO_BOM + 1);
  l->guardados -= LARGO_BOM;
  l->largo -= LARGO_BOM;
  if (l->largo == 0) l->ultimo = '\0';
  return true;
}

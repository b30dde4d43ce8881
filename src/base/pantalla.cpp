// Server bytes shown to the user (pantalla.h).
#include "base/pantalla.h"

#include "platform/plataforma.h"

void escribe_del_servidor(FILE* f, const void* datos, size_t n) {
  const char* p = (const char*)datos;
  if (!plat_es_terminal(f)) {
    fwrite(p, 1, n, f);
    return;
  }
  char trozo[4096];
  while (n > 0) {
    size_t k = n < sizeof trozo ? n : sizeof trozo;
    for (size_t i = 0; i < k; i++) trozo[i] = visible(p[i]);
    fwrite(trozo, 1, k, f);
    p += k;
    n -= k;
  }
}

// Server bytes shown to the user (pantalla.h).
#include "base/pantalla.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "platform/plataforma.h"

namespace {

// Writes n bytes onto f a piece at a time, in one write each, not a byte at a
// time: a line that another thread prints meanwhile falls between pieces, not
// between bytes. On a terminal control bytes become "?"; with utf8 each
// piece is converted from CP1252.
void escribe_en_trozos(FILE* f, const char* p, size_t n, bool terminal, bool utf8) {
  if (!terminal && !utf8) {
    fwrite(p, 1, n, f);
    return;
  }
  char trozo[4096];
  char en_utf8[3 * sizeof trozo];
  while (n > 0) {
    size_t k = n < sizeof trozo ? n : sizeof trozo;
    for (size_t i = 0; i < k; i++) trozo[i] = terminal ? visible(p[i]) : p[i];
    if (utf8) {
      fwrite(en_utf8, 1, plat_cp1252_a_utf8(trozo, k, en_utf8), f);
    } else {
      fwrite(trozo, 1, k, f);
    }
    p += k;
    n -= k;
  }
}

}  // namespace

void escribe_del_servidor(FILE* f, const void* datos, size_t n) {
  escribe_del_servidor(f, datos, n, es_terminal_de_la_ejecucion(f));
}

void escribe_del_servidor(FILE* f, const void* datos, size_t n, bool terminal) {
  escribe_en_trozos(f, (const char*)datos, n, terminal, ctx.utf8);
}

std::mutex& cerrojo_salida() {
  static std::mutex cerrojo;
  return cerrojo;
}

bool es_terminal_de_la_ejecucion(FILE* f) {
  // Asked from any session's thread: two that ask at once get the same answer.
  static std::atomic<int> salida{-1}, error{-1};
  std::atomic<int>* visto = f == stdout ? &salida : f == stderr ? &error : nullptr;
  if (visto == nullptr) return plat_es_terminal(f);
  if (visto->load() < 0) visto->store(plat_es_terminal(f) ? 1 : 0);
  return visto->load() == 1;
}

void escribe_nombres(FILE* f, const char* texto) {
  escribe_en_trozos(f, texto, strlen(texto), es_terminal_de_la_ejecucion(f), false);
}

void imprime_del_servidor(FILE* f, const char* formato, ...) {
  char texto[4096];
  va_list args;
  va_start(args, formato);
  formatea_v(texto, sizeof texto, formato, args);
  va_end(args);
  escribe_nombres(f, texto);
}

bool de_persona(const char* texto, size_t n, char* destino, const char* donde) {
  if (!ctx.utf8) {
    memmove(destino, texto, n);
    destino[n] = '\0';
    return true;
  }
  long k = plat_utf8_a_cp1252(texto, n, destino);
  if (k < 0) {
    printf("Caracter no representable en CP1252 en (%s)\n", donde);
    return false;
  }
  destino[k] = '\0';
  return true;
}

namespace {
FILE* resultados = nullptr;  // a batch's results, once set apart
// How the results' standard output failed, seen by the first thread that
// found it failed.
enum FalloSalida : int { sin_fallo, sin_lector, no_grabada };
std::atomic<int> fallo_salida{sin_fallo};
}  // namespace

bool aparta_resultados() {
  resultados = plat_aparta_salida_estandar();
  return resultados != nullptr;
}

FILE* salida_de_resultados() {
  return resultados != nullptr ? resultados : stdout;
}

bool salida_estandar_cerrada() {
  FILE* f = salida_de_resultados();
  if (ferror(f) == 0) return false;
  int ninguno = sin_fallo;
  fallo_salida.compare_exchange_strong(ninguno, plat_salida_sin_lector(f) ? sin_lector : no_grabada);
  plat_registra_salida_cerrada();
  return true;
}

int informa_fallo_salida_estandar() {
  if (fallo_salida.load() == no_grabada) {
    fprintf(stderr, "Error al grabar (salida estandar)\n");
    return SALIDA_ERROR;
  }
  fprintf(stderr, "Salida estandar cerrada.\n");
  return salida_de_senal(SALIDA_CERRADA);
}

// The one way out of the program; see fin.h.
#include "main/fin.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

static ManejadorFin manejador_fin = nullptr;

void establece_manejador_fin(ManejadorFin manejador) { manejador_fin = manejador; }

void termina(int estado) {
  fflush(stdout);
  fflush(stderr);
  if (manejador_fin != nullptr) {
    manejador_fin(estado);
  }
  // exit() flushes and closes every open stream: the log, the trace, the
  // transfer's open file and the console's output file.
  exit(estado);
}

void termina_con(int estado, const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  vprintf(formato, args);
  va_end(args);
  termina(estado);
}

// The console's streams on Windows (plataforma.h): a batch's standard output
// set apart for its results, through the runtime's descriptors.
#include <io.h>

#include <cstdio>

#include "platform/plataforma.h"

FILE* plat_aparta_salida_estandar() {
  fflush(stdout);
  int copia = _dup(_fileno(stdout));
  if (copia < 0) return nullptr;
  // Text mode, as stdout: its lines end in CR LF as every other line shown.
  FILE* resultados = _fdopen(copia, "w");
  if (resultados == nullptr) {
    _close(copia);
    return nullptr;
  }
  if (_dup2(_fileno(stderr), _fileno(stdout)) != 0) {
    fclose(resultados);
    return nullptr;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  return resultados;
}

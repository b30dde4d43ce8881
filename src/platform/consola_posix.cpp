// The console's streams on POSIX (plataforma.h): a batch's standard output set
// apart for its results.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/plataforma.h"

FILE* plat_aparta_salida_estandar() {
  fflush(stdout);
  int copia = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (copia < 0) return nullptr;
  FILE* resultados = fdopen(copia, "w");
  if (resultados == nullptr) {
    close(copia);
    return nullptr;
  }
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    fclose(resultados);
    return nullptr;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  return resultados;
}

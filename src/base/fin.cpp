// The one way out of the program; see fin.h.
#include "base/fin.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

constexpr int MAX_PASOS = 8;
PasoCierre pasos[MAX_PASOS];
int num_pasos = 0;
ManejadorFin manejador_fin = nullptr;
// Guards the steps and the end itself: a thread that ends the run while
// another does waits for the process to end. Recursive, since a step may end
// the run itself; never destroyed, since exit() runs with it held.
std::recursive_mutex& cerrojo_fin() {
  static std::recursive_mutex* cerrojo = new std::recursive_mutex;
  return *cerrojo;
}

// Runs the registered steps, the last first. Each step is taken off the list
// before it runs, so that a step which ends the run itself is not run again
// by that second end.
bool cierra_todo() {
  bool bien = true;
  while (num_pasos > 0) {
    PasoCierre paso = pasos[--num_pasos];
    if (!paso()) bien = false;
  }
  return bien;
}

}  // namespace

void registra_cierre(PasoCierre paso) {
  std::lock_guard<std::recursive_mutex> cerrojo(cerrojo_fin());
  for (int i = 0; i < num_pasos; i++)
    if (pasos[i] == paso) return;
  if (num_pasos < MAX_PASOS) pasos[num_pasos++] = paso;
}

void establece_manejador_fin(ManejadorFin manejador) {
  manejador_fin = manejador;
}

void termina(int estado) {
  std::lock_guard<std::recursive_mutex> cerrojo(cerrojo_fin());
  // A run that was ending well and could not close what it wrote fails;
  // one that was failing already keeps its own status.
  if (!cierra_todo() && estado == SALIDA_BIEN) estado = SALIDA_ERROR;
  fflush(stdout);
  fflush(stderr);
  if (manejador_fin != nullptr) {
    manejador_fin(estado);
  }
  // exit() flushes and closes every other open stream: the trace, the
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

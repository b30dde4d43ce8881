// The console's streams and terminal on POSIX (plataforma.h): a batch's
// standard output set apart for its results, the terminal's size, the pager
// (popen), Ctrl-C put off while rows are shown (a handler of its own with
// SA_RESTART), and a microsecond clock.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

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

bool plat_tamano_terminal(int* filas, int* columnas) {
  struct winsize w;
  if (isatty(STDOUT_FILENO) != 1 || ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) != 0 || w.ws_row == 0 ||
      w.ws_col == 0)
    return false;
  *filas = w.ws_row;
  *columnas = w.ws_col;
  return true;
}

FILE* plat_abre_paginador(const char* orden) {
  fflush(stdout);
  return popen(orden, "w");
}

const char* plat_paginador_por_omision() {
  return "less -FRX";
}

void plat_cierra_paginador(FILE* paginador) {
  pclose(paginador);
}

namespace {

struct sigaction accion_anterior;
volatile sig_atomic_t ctrl_c_anotado = 0;
bool aplazado = false;

// The first Ctrl-C is noted; a second one goes to the handler of before, as
// if it had come alone.
void anota_ctrl_c(int) {
  if (ctrl_c_anotado) {
    sigaction(SIGINT, &accion_anterior, nullptr);
    raise(SIGINT);
    return;
  }
  ctrl_c_anotado = 1;
}

}  // namespace

void plat_aplaza_ctrl_c(bool aplaza) {
  if (aplaza == aplazado) return;
  if (aplaza) {
    ctrl_c_anotado = 0;
    struct sigaction accion;
    memset(&accion, 0, sizeof accion);
    accion.sa_handler = anota_ctrl_c;
    sigemptyset(&accion.sa_mask);
    // A receive or a write to the terminal that a noted Ctrl-C interrupts
    // goes on.
    accion.sa_flags = SA_RESTART;
    sigaction(SIGINT, &accion, &accion_anterior);
  } else {
    sigaction(SIGINT, &accion_anterior, nullptr);
    ctrl_c_anotado = 0;
  }
  aplazado = aplaza;
}

bool plat_ctrl_c_aplazado() {
  return ctrl_c_anotado != 0;
}

int64_t plat_reloj_us() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

// The console's streams and terminal on Windows (plataforma.h): a batch's
// standard output set apart for its results through the runtime's
// descriptors, the console window's size, the pager (_popen), Ctrl-C put off
// while rows are shown (a control handler before the one that records it),
// and a microsecond clock.
// winsock2.h must come before windows.h, which would bring in the old winsock.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on
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

bool plat_tamano_terminal(int* filas, int* columnas) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
  *filas = info.srWindow.Bottom - info.srWindow.Top + 1;
  *columnas = info.srWindow.Right - info.srWindow.Left + 1;
  return *filas > 0 && *columnas > 0;
}

FILE* plat_abre_paginador(const char* orden) {
  fflush(stdout);
  return _popen(orden, "wt");
}

const char* plat_paginador_por_omision() {
  return nullptr;
}

void plat_cierra_paginador(FILE* paginador) {
  _pclose(paginador);
}

namespace {

volatile LONG ctrl_c_anotado = 0;
bool aplazado = false;

// Runs before the handler that records interruptions: the first Ctrl-C stops
// here, noted; anything else, and a second Ctrl-C, goes on to that one.
BOOL WINAPI anota_ctrl_c(DWORD evento) {
  if (evento != CTRL_C_EVENT) return FALSE;
  return InterlockedCompareExchange(&ctrl_c_anotado, 1, 0) == 0 ? TRUE : FALSE;
}

}  // namespace

void plat_aplaza_ctrl_c(bool aplaza) {
  if (aplaza == aplazado) return;
  InterlockedExchange(&ctrl_c_anotado, 0);
  SetConsoleCtrlHandler(anota_ctrl_c, aplaza ? TRUE : FALSE);
  aplazado = aplaza;
}

bool plat_ctrl_c_aplazado() {
  return ctrl_c_anotado != 0;
}

int64_t plat_reloj_us() {
  static LARGE_INTEGER frecuencia = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER ahora;
  QueryPerformanceCounter(&ahora);
  return (int64_t)(ahora.QuadPart / frecuencia.QuadPart * 1000000 +
                   ahora.QuadPart % frecuencia.QuadPart * 1000000 / frecuencia.QuadPart);
}

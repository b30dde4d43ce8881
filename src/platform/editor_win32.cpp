// Lines typed at the console window on Windows (plataforma.h): the window's
// own line editing and history (arrows, F7), read through the runtime as any
// other standard input; only Ctrl-C needs care here.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/plataforma.h"

bool plat_editor_inicia(const PalabrasConsola&) {
  DWORD modo = 0;
  // A console, not a pipe, a file or NUL (which _isatty takes for a device).
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &modo) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &modo) != 0;
}

// Ctrl-C aborts the console read, which then looks like the end of input;
// the control handler that records it runs in a thread of its own and may come
// a little later. Waits for it at most a quarter of a second.
static bool interrumpida_en_la_lectura() {
  for (int i = 0; i < 50 && plat_interrupcion() == 0; i++) Sleep(5);
  return plat_interrupcion() != 0;
}

LecturaEditor plat_editor_lee_linea(const char* prompt, char* destino, size_t capacidad, size_t* largo) {
  fputs(prompt, stdout);
  fflush(stdout);
  *largo = 0;
  if (capacidad < 2) return LecturaEditor::fin;
  if (fgets(destino, (int)capacidad, stdin) == nullptr || plat_interrupcion() != 0) {
    clearerr(stdin);
    if (!interrumpida_en_la_lectura()) return LecturaEditor::fin;
    fputc('\n', stdout);
    fflush(stdout);
    return LecturaEditor::interrumpida;
  }
  size_t n = strlen(destino);
  bool completa = n > 0 && destino[n - 1] == '\n';
  if (completa) destino[--n] = '\0';
  size_t total = n;
  // The rest of a line longer than the buffer only counts for its length.
  while (!completa) {
    char resto[4096];
    if (fgets(resto, (int)sizeof resto, stdin) == nullptr) break;
    size_t k = strlen(resto);
    completa = k > 0 && resto[k - 1] == '\n';
    total += completa ? k - 1 : k;
  }
  if (n > 0 && destino[n - 1] == '\r') destino[--n] = '\0';
  *largo = total;
  return LecturaEditor::linea;
}

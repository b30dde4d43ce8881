// Line editing at a terminal on POSIX (plataforma.h): libedit reads the
// console's lines, with its history kept in "$HOME/.vortcp_historial" (only
// when that is a regular file, or missing), Tab completion of the console's
// words and of the names the console gives, and reads of its own so that
// Ctrl-C is never missed while a line is typed.
#include <errno.h>
#include <fcntl.h>
#include <histedit.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/plataforma.h"

namespace {

constexpr int LINEAS_HISTORIAL = 1000;

EditLine* editor = nullptr;
History* historial = nullptr;
HistEvent evento;
PalabrasConsola palabras;
char prompt_actual[64];
// Empty when HOME is not set: the history then lives for the run only.
char ruta_historial[PATH_MAX];

char* da_prompt(EditLine*) {
  return prompt_actual;
}

// One character of standard input for libedit. The wait is a pselect with
// SIGINT and SIGTERM blocked outside it: an interruption that comes while the
// line is typed ends the wait at once, whenever it comes (between a check of
// the flag and a plain read it would be missed until the next key).
int lee_caracter(EditLine*, wchar_t* c) {
  sigset_t vigiladas, anterior;
  sigemptyset(&vigiladas);
  sigaddset(&vigiladas, SIGINT);
  sigaddset(&vigiladas, SIGTERM);
  char bytes[MB_LEN_MAX];
  size_t n = 0;
  for (;;) {
    sigprocmask(SIG_BLOCK, &vigiladas, &anterior);
    if (plat_interrupcion() != 0) {
      sigprocmask(SIG_SETMASK, &anterior, nullptr);
      errno = EINTR;
      return -1;
    }
    fd_set legibles;
    FD_ZERO(&legibles);
    FD_SET(STDIN_FILENO, &legibles);
    int r = pselect(STDIN_FILENO + 1, &legibles, nullptr, nullptr, nullptr, &anterior);
    sigprocmask(SIG_SETMASK, &anterior, nullptr);
    if (r < 0) {
      // Other signals (a resized window, a job continued) are libedit's.
      if (errno == EINTR) continue;
      return -1;
    }
    ssize_t k = read(STDIN_FILENO, bytes + n, 1);
    if (k < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (k < 0) return -1;
    if (k == 0) return 0;
    n++;
    mbstate_t estado;
    memset(&estado, 0, sizeof estado);
    size_t m = mbrtowc(c, bytes, n, &estado);
    if (m == (size_t)-2 && n < sizeof bytes) continue;
    if (m == (size_t)-1 || m == (size_t)-2) {
      // Not a character of the terminal's encoding: dropped, as libedit does.
      n = 0;
      continue;
    }
    return 1;
  }
}

bool iguales_sin_caja(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; i++) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = (char)(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = (char)(y - 'a' + 'A');
    if (x != y || x == '\0') return false;
  }
  return true;
}

// The letters a completion adds take the case of the letters typed (lower
// case when there are both); with none typed, the list's own.
char en_la_caja(char c, const char* tecleado, size_t n) {
  bool mayusculas = false, minusculas = false;
  for (size_t i = 0; i < n; i++) {
    if (tecleado[i] >= 'A' && tecleado[i] <= 'Z') mayusculas = true;
    if (tecleado[i] >= 'a' && tecleado[i] <= 'z') minusculas = true;
  }
  if (minusculas && c >= 'A' && c <= 'Z') return (char)(c - 'A' + 'a');
  if (mayusculas && !minusculas && c >= 'a' && c <= 'z') return (char)(c - 'a' + 'A');
  return c;
}

// Completes the n characters at texto (the word before the cursor) with the
// words of the list that begin with them: with one, the word and `final`;
// with several, what they share; when that is nothing more, it lists them
// (the first LISTA_MAXIMA).
unsigned char completa_con(EditLine* e, const char* texto, size_t n, const char* const* lista, int num,
                           const char* final_unico) {
  constexpr int LISTA_MAXIMA = 200;
  int primera = -1, cuantas = 0;
  size_t comun = 0;
  for (int i = 0; i < num; i++) {
    if (strlen(lista[i]) < n || !iguales_sin_caja(lista[i], texto, n)) continue;
    if (primera < 0) {
      primera = i;
      comun = strlen(lista[i]);
    } else {
      size_t k = n;
      while (k < comun && iguales_sin_caja(lista[i] + k, lista[primera] + k, 1)) k++;
      comun = k;
    }
    cuantas++;
  }
  if (cuantas == 0) return CC_ERROR;

  char anadido[256];
  size_t a = 0;
  for (size_t k = n; k < comun && a + 2 < sizeof anadido; k++)
    anadido[a++] = en_la_caja(lista[primera][k], texto, n);
  anadido[a] = '\0';
  if (cuantas == 1) snprintf(anadido + a, sizeof anadido - a, "%s", final_unico);
  if (anadido[0] != '\0') {
    el_insertstr(e, anadido);
    return CC_REFRESH;
  }
  if (cuantas == 1) return CC_NORM;
  fputc('\n', stdout);
  int mostradas = 0;
  for (int i = 0; i < num && mostradas < LISTA_MAXIMA; i++) {
    if (strlen(lista[i]) >= n && iguales_sin_caja(lista[i], texto, n)) {
      printf("%s  ", lista[i]);
      mostradas++;
    }
  }
  if (cuantas > mostradas) printf("(y %d mas)", cuantas - mostradas);
  fputc('\n', stdout);
  return CC_REDISPLAY;
}

bool es_de_nombre(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
         c == '@' || c == '$' || (unsigned char)c >= 0x80;
}

// Tab: completes the word before the cursor. The first word of a line with
// the command words; after "set " with the names of the settings (and their
// "="); a later word with the names the console gives (tables, columns) and
// a blank after one that alone fits.
unsigned char completa(EditLine* e, int) {
  const LineInfo* li = el_line(e);
  const char* texto = li->buffer;
  size_t n = (size_t)(li->cursor - li->buffer);
  // The console removes leading blanks before it looks at a line.
  while (n > 0 && *texto == ' ') {
    texto++;
    n--;
  }
  if (n >= 4 && iguales_sin_caja(texto, "set ", 4)) {
    if (memchr(texto + 4, ' ', n - 4) != nullptr || memchr(texto + 4, '=', n - 4) != nullptr) return CC_ERROR;
    return completa_con(e, texto + 4, n - 4, palabras.ajustes, palabras.num_ajustes, "=");
  }
  if (memchr(texto, ' ', n) == nullptr)
    return completa_con(e, texto, n, palabras.comandos, palabras.num_comandos, "");
  if (palabras.nombres == nullptr) return CC_ERROR;
  static const char* nombres[20000];
  size_t cursor = (size_t)(li->cursor - li->buffer);
  int num = palabras.nombres(li->buffer, (size_t)(li->lastchar - li->buffer), cursor, nombres,
                             (int)(sizeof nombres / sizeof nombres[0]));
  size_t ini = cursor;
  while (ini > 0 && es_de_nombre(li->buffer[ini - 1])) ini--;
  return completa_con(e, li->buffer + ini, cursor - ini, nombres, num, " ");
}

// Ctrl-D: the end of input on an empty line (without the "^D" that libedit's
// own binding shows), otherwise the character under the cursor is deleted.
unsigned char fin_o_borra(EditLine* e, int) {
  const LineInfo* li = el_line(e);
  if (li->buffer == li->lastchar) return CC_EOF;
  if (li->cursor == li->lastchar) return CC_ERROR;
  el_cursor(e, 1);
  el_deletestr(e, 1);
  return CC_REFRESH;
}

// The history is written whole after every line, through a file of this
// process moved over the old one, readable by its owner only (it holds what
// was typed, passwords of CONNECT statements included).
void guarda_historial() {
  if (ruta_historial[0] == '\0') return;
  char temporal[PATH_MAX + 16];
  if (snprintf(temporal, sizeof temporal, "%s.%ld", ruta_historial, (long)getpid()) >= (int)sizeof temporal)
    return;
  unlink(temporal);
  int fd = open(temporal, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return;
  FILE* f = fdopen(fd, "w");
  if (f == nullptr) {
    close(fd);
    unlink(temporal);
    return;
  }
  bool bien = history(historial, &evento, H_SAVE_FP, f) >= 0;
  bien = plat_cierra_escrito(f) && bien;
  if (!bien || rename(temporal, ruta_historial) != 0) unlink(temporal);
}

// Reads the history file into the history, when it is a regular file. A
// FIFO, a device or a directory at its path (a link to one included) gives
// no history for the session: ruta_historial is emptied, so that nothing is
// read from it (a FIFO would wait for a writer for ever, a device could be
// read without end) and nothing is moved over it. A missing file is made by
// the first save.
void carga_historial() {
  struct stat info;
  if (stat(ruta_historial, &info) != 0) return;
  if (!S_ISREG(info.st_mode)) {
    ruta_historial[0] = '\0';
    return;
  }
  // What is read is the file just looked at: opened without waiting and
  // looked at again, then read through its descriptor.
  int fd = open(ruta_historial, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return;
  char por_descriptor[32];
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ruta_historial[0] = '\0';
  } else if (snprintf(por_descriptor, sizeof por_descriptor, "/dev/fd/%d", fd) < (int)sizeof por_descriptor &&
             access(por_descriptor, R_OK) == 0) {
    history(historial, &evento, H_LOAD, por_descriptor);
  } else {
    history(historial, &evento, H_LOAD, ruta_historial);
  }
  close(fd);
}

bool solo_blancos(const char* linea) {
  return linea[strspn(linea, " ")] == '\0';
}

}  // namespace

bool plat_editor_inicia(const PalabrasConsola& p) {
  if (isatty(STDIN_FILENO) != 1 || isatty(STDOUT_FILENO) != 1) return false;
  // libedit drops every byte that is not a character of the locale: in the
  // C locale each letter outside ASCII (ñ, á) typed would be lost.
  const char* local = setlocale(LC_CTYPE, "");
  if (local == nullptr || strcmp(local, "C") == 0 || strcmp(local, "POSIX") == 0)
    setlocale(LC_CTYPE, "C.UTF-8");

  editor = el_init("vortcp", stdin, stdout, stderr);
  if (editor == nullptr) return false;
  palabras = p;
  historial = history_init();
  history(historial, &evento, H_SETSIZE, LINEAS_HISTORIAL);
  history(historial, &evento, H_SETUNIQUE, 1);
  const char* home = getenv("HOME");
  ruta_historial[0] = '\0';
  if (home != nullptr && home[0] != '\0' &&
      snprintf(ruta_historial, sizeof ruta_historial, "%s/.vortcp_historial", home) >=
          (int)sizeof ruta_historial)
    ruta_historial[0] = '\0';
  if (ruta_historial[0] != '\0') carga_historial();

  el_set(editor, EL_EDITOR, "emacs");
  el_set(editor, EL_PROMPT, da_prompt);
  el_set(editor, EL_HIST, history, historial);
  // libedit puts the terminal back as it was on ^Z, and in edit mode again
  // when the job goes on.
  el_set(editor, EL_SIGNAL, 1);
  el_set(editor, EL_GETCFN, lee_caracter);
  el_set(editor, EL_ADDFN, "vortcp-completa", "Completa la palabra", completa);
  el_set(editor, EL_ADDFN, "vortcp-fin", "Fin de la entrada o borra", fin_o_borra);
  el_set(editor, EL_BIND, "^I", "vortcp-completa", nullptr);
  el_set(editor, EL_BIND, "^D", "vortcp-fin", nullptr);
  // The user's ~/.editrc, as in every program that uses libedit.
  el_source(editor, nullptr);
  return true;
}

LecturaEditor plat_editor_lee_linea(const char* prompt, char* destino, size_t capacidad, size_t* largo) {
  snprintf(prompt_actual, sizeof prompt_actual, "%s", prompt);
  // The terminal in edit mode before the prompt shows (libedit would show it
  // first): keys typed once it is there are all read as keys.
  el_set(editor, EL_PREP_TERM, 1);
  int n = 0;
  const char* linea = el_gets(editor, &n);
  *largo = 0;
  if (capacidad > 0) destino[0] = '\0';
  if (plat_interrupcion() != 0 || linea == nullptr || n <= 0) {
    bool interrumpida = plat_interrupcion() != 0;
    fputc('\n', stdout);
    fflush(stdout);
    return interrumpida ? LecturaEditor::interrumpida : LecturaEditor::fin;
  }
  size_t k = strlen(linea);
  if (k > 0 && linea[k - 1] == '\n') k--;
  if (k > 0 && linea[k - 1] == '\r') k--;
  *largo = k;
  if (capacidad == 0) return LecturaEditor::linea;
  size_t copia = k < capacidad - 1 ? k : capacidad - 1;
  memcpy(destino, linea, copia);
  destino[copia] = '\0';
  if (!solo_blancos(destino)) {
    // H_SETUNIQUE leaves out a copy of the line before.
    history(historial, &evento, H_ENTER, destino);
    guarda_historial();
  }
  return LecturaEditor::linea;
}

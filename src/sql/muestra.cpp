// The result display: descriptor parsing and row formatting onto a FILE*, and
// the routing of rows and of summary lines between the screen and the output
// file. Rows are gathered in a buffer and written with fwrite.
#include "sql/muestra.h"

#include <cstdarg>
#include <cstring>

#include "base/contexto.h"
#include "base/texto.h"
#include "sql/csv.h"

FILE* destino_filas() {
  return ctx.isalida == 1 ? ctx.fsalida : stdout;
}

FILE* destino_avisos() {
  // A CSV file holds the result alone: the lines about it go to the screen.
  if (ctx.isalida != 1 || formato_csv()) return stdout;
  return ctx.delimb != 0 ? ctx.fsalida : nullptr;
}

void escribe_aviso(const char* formato, ...) {
  FILE* f = destino_avisos();
  if (f == nullptr) return;
  va_list args;
  va_start(args, formato);
  vfprintf(f, formato, args);
  va_end(args);
}

void escribe_error(const Mensaje& r) {
  const char* texto = "";
  int n = resp_texto_error(r, &texto);
  escribe_aviso("Error: %d [%.*s]\n\n", resp_codigo(r), n, texto);
}

// The number in [desde, hasta) of the reply, read as atoi reads it.
static int32_t numero_entre(const Mensaje& r, long desde, long hasta) {
  const char* p = nullptr;
  int n = lee_tramo(r, desde, hasta - desde, &p);
  return n > 0 ? lee_entero_n(p, (size_t)n) : 0;
}

int lee_columnas(const Mensaje& r, AreaCursor& area, int dict, int test, FILE* pantalla) {
  int d = lee_numero(r, 16, 5);
  // The block runs from offset 21; the parse stops one short of its last
  // byte (the final "!"), and never past what was received.
  long fin_largo = 20L + d;
  long fin = fin_largo < r.largo ? fin_largo : r.largo;
  long pos = 21;
  int k = -1;
  while (pos < fin) {
    long fin_nombre = busca_byte(r, pos, fin, '-');
    long ini_nombre = pos;
    pos = fin_nombre < fin ? fin_nombre + 1 : fin;
    long fin1 = busca_byte(r, pos, fin, '-');
    int32_t numero1 = numero_entre(r, pos, fin1);
    pos = fin1 < fin ? fin1 + 1 : fin;
    long fin2 = busca_byte(r, pos, fin, '-');
    int32_t ancho = numero_entre(r, pos, fin2);
    pos = fin2 < fin ? fin2 + 1 : fin;
    long fin3 = busca_byte(r, pos, fin, '!');
    int32_t numero3 = numero_entre(r, pos, fin3);
    pos = fin3 < fin ? fin3 + 1 : fin;
    k++;

    // No value of a payload can be wider than a frame: a larger width would
    // only pad every row with blanks.
    if (ancho > TAM_TRAMA) ancho = TAM_TRAMA;
    ColumnDesc columna;
    const char* nombre = nullptr;
    long largo_nombre = fin_nombre - ini_nombre;
    if (largo_nombre > MAX_NOMBRE_COLUMNA) largo_nombre = MAX_NOMBRE_COLUMNA;
    int tomado = lee_tramo(r, ini_nombre, largo_nombre, &nombre);
    if (tomado > 0) memcpy(columna.nombre, nombre, (size_t)tomado);
    columna.nombre[tomado] = '\0';
    a_mayusculas(columna.nombre);
    columna.numero1 = numero1;
    columna.ancho = ancho;
    columna.numero3 = numero3;
    if (k < MAX_COLUMNAS) area.columnas[k] = columna;

    if (dict == 1) fprintf(pantalla, "\t(%d)  %s  %d  %d  %d\n", k, columna.nombre, numero1, ancho, numero3);
    if (test == 1) fprintf(pantalla, "\t(%d)  %s  %d  %d  %d\n", k, columna.nombre, numero1, ancho, numero3);
  }
  area.ultima_columna = k < MAX_COLUMNAS ? k : -1;
  return k + 1;
}

namespace {

// Output gathered for one fwrite, so that a large result costs few calls.
class Salida {
 public:
  explicit Salida(FILE* f) : f_(f) {}
  ~Salida() { vacia(); }
  void pon(char c) {
    if (n_ == sizeof buf_) vacia();
    buf_[n_++] = c;
  }
  void blancos(long n) {
    while (n > 0) {
      if (n_ == sizeof buf_) vacia();
      long k = (long)sizeof buf_ - (long)n_;
      if (k > n) k = n;
      memset(buf_ + n_, ' ', (size_t)k);
      n_ += (size_t)k;
      n -= k;
    }
  }
  void vacia() {
    if (n_ > 0) fwrite(buf_, 1, n_, f_);
    n_ = 0;
  }

 private:
  FILE* f_;
  size_t n_ = 0;
  char buf_[65536];
};

}  // namespace

int muestra_filas(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area, char delim,
                  int delimb) {
  static const int FIN_VALOR = 0xAF;
  Salida salida(f);
  long pos = posicion;
  int escritas = 0;
  for (int fila = 0; fila < filas && pos >= 0 && pos < r.largo; fila++) {
    if (delimb != 0) {
      salida.pon(delim);
      salida.pon(' ');
    }
    for (int c = 0; c <= area.ultima_columna; c++) {
      long w = area.columnas[c].ancho;
      if (lee_byte(r, pos) == '-') w++;
      long n = 0;
      int b;
      while (n < w && (b = lee_byte(r, pos)) >= 0 && b != FIN_VALOR) {
        salida.pon((char)b);
        pos++;
        n++;
      }
      if (n < w) salida.blancos(w - n);
      if (lee_byte(r, pos) == FIN_VALOR) pos++;
      if (delimb != 0) {
        salida.pon(' ');
        salida.pon(delim);
        salida.pon(' ');
      } else {
        salida.pon(delim);
      }
    }
    salida.pon('\n');
    escritas++;
  }
  return escritas;
}

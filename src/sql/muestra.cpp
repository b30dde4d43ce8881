// The result display: descriptor parsing, the walk over the rows of a block,
// and the table layout of rows onto a FILE*. Rows are gathered in a buffer and
// written with fwrite.
#include "sql/muestra.h"

#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "sql/destinos.h"

void escribe_error(const Mensaje& r) {
  FILE* f = destino_error();
  if (f == nullptr) return;
  const char* texto = "";
  int n = resp_texto_error(r, &texto);
  // The text is the server's: up to its first NUL, as "%s" would print it.
  const char* nulo = (const char*)memchr(texto, '\0', (size_t)n);
  if (nulo != nullptr) n = (int)(nulo - texto);
  fprintf(f, "Error: %d [", resp_codigo(r));
  escribe_del_servidor(f, texto, (size_t)n);
  fputs("]\n\n", f);
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

    // The name is the server's: shown safely on a terminal, and in UTF-8
    // when the run writes it.
    for (int vez = (dict == 1) + (test == 1); vez > 0; vez--) {
      fprintf(pantalla, "\t(%d)  ", k);
      escribe_del_servidor(pantalla, columna.nombre, strlen(columna.nombre));
      fprintf(pantalla, "  %d  %d  %d\n", numero1, ancho, numero3);
    }
  }
  area.ultima_columna = k < MAX_COLUMNAS ? k : -1;
  return k + 1;
}

int32_t ancho_no_valido(const AreaCursor& area) {
  for (int c = 0; c <= area.ultima_columna; c++)
    if (area.columnas[c].ancho > MAX_ANCHO_COLUMNA) return area.columnas[c].ancho;
  return 0;
}

namespace {

// Output gathered for one fwrite, so that a large result costs few calls.
// Value bytes go through pon_valor: on a terminal a control byte shows as "?".
class Salida {
 public:
  explicit Salida(FILE* f) : f_(f), terminal_(plat_es_terminal(f)) {}
  ~Salida() { vacia(); }
  void pon(char c) {
    if (n_ == sizeof buf_) vacia();
    buf_[n_++] = c;
  }
  void pon_valores(const char* p, size_t n) {
    while (n > 0) {
      if (n_ == sizeof buf_) vacia();
      size_t k = sizeof buf_ - n_ < n ? sizeof buf_ - n_ : n;
      if (terminal_) {
        for (size_t i = 0; i < k; i++) buf_[n_ + i] = visible(p[i]);
      } else {
        memcpy(buf_ + n_, p, k);
      }
      n_ += k;
      p += k;
      n -= k;
    }
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
    if (n_ > 0 && ctx.utf8) {
      static char utf8[3 * sizeof buf_];
      fwrite(utf8, 1, plat_cp1252_a_utf8(buf_, n_, utf8), f_);
    } else if (n_ > 0) {
      fwrite(buf_, 1, n_, f_);
    }
    n_ = 0;
  }

 private:
  FILE* f_;
  bool terminal_;
  size_t n_ = 0;
  char buf_[65536];
};

constexpr int FIN_VALOR = 0xAF;

// The width of the value that starts at pos in a column of width ancho.
long ancho_del_valor(const Mensaje& r, long pos, long ancho) {
  return lee_byte(r, pos) == '-' ? ancho + 1 : ancho;
}

// The value that starts at pos in a column whose value is w bytes at most: its
// bytes up to its end byte (0xAF) or its width, through the bounded reader.
// Returns how many it has, its start in *valor, and in *entero whether it lies
// whole in what was received (its width, or its end byte, reached).
long valor_en(const Mensaje& r, long pos, long w, const char** valor, bool* entero) {
  *valor = "";
  int k = lee_tramo(r, pos, w, valor);
  const char* fin = k > 0 ? (const char*)memchr(*valor, FIN_VALOR, (size_t)k) : nullptr;
  long n = fin != nullptr ? fin - *valor : k;
  *entero = fin != nullptr || k == w;
  return n;
}

}  // namespace

bool FilasDeBloque::siguiente(ValorFila* valores) {
  if (quedan_ <= 0) return false;
  long pos = pos_;
  for (int c = 0; c <= area_.ultima_columna; c++) {
    ValorFila& v = valores[c];
    v.ancho = ancho_del_valor(r_, pos, area_.columnas[c].ancho);
    bool entero;
    v.largo = valor_en(r_, pos, v.ancho, &v.bytes, &entero);
    // A row cut by the end of the payload is not a row the server sent.
    if (!entero) {
      quedan_ = 0;
      return false;
    }
    pos += v.largo;
    if (lee_byte(r_, pos) == FIN_VALOR) pos++;
  }
  // Nor is one that takes none of it (no columns, or only empty values
  // without their end byte): else a count of 99,999 would make as many lines.
  if (pos <= pos_) {
    quedan_ = 0;
    return false;
  }
  pos_ = pos;
  quedan_--;
  return true;
}

namespace {

// The width a column is shown in: its own, or its name's when a line of names
// stands above it and the name is longer.
long ancho_mostrado(const ColumnDesc& c, long ancho, const FormaTabla& forma) {
  long nombre = forma.cabecera ? (long)strlen(c.nombre) : 0;
  return ancho > nombre ? ancho : nombre;
}

void pon_delimitador(Salida& salida, const FormaTabla& forma) {
  if (forma.delimb != 0) {
    salida.pon(' ');
    salida.pon(forma.delim);
    salida.pon(' ');
  } else {
    salida.pon(forma.delim);
  }
}

void pon_inicio_de_fila(Salida& salida, const FormaTabla& forma) {
  if (forma.delimb != 0) {
    salida.pon(forma.delim);
    salida.pon(' ');
  }
}

}  // namespace

void escribe_cabecera(FILE* f, const AreaCursor& area, const FormaTabla& forma) {
  long largo = forma.delimb != 0 ? 2 : 0;
  {
    Salida salida(f);
    pon_inicio_de_fila(salida, forma);
    for (int c = 0; c <= area.ultima_columna; c++) {
      const ColumnDesc& col = area.columnas[c];
      long n = (long)strlen(col.nombre);
      long ancho = ancho_mostrado(col, col.ancho, forma);
      salida.pon_valores(col.nombre, (size_t)n);
      salida.blancos(ancho - n);
      pon_delimitador(salida, forma);
      largo += ancho + (forma.delimb != 0 ? 3 : 1);
    }
    salida.pon('\n');
  }
  // The rule is as long as the line of names, its last blank left out.
  if (forma.delimb != 0) largo--;
  for (long i = 0; i < largo; i++) fputc('-', f);
  fputc('\n', f);
}

int muestra_filas(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area,
                  const FormaTabla& forma) {
  Salida salida(f);
  FilasDeBloque bloque(r, posicion, filas, area);
  ValorFila valores[MAX_COLUMNAS];
  int escritas = 0;
  while (bloque.siguiente(valores)) {
    pon_inicio_de_fila(salida, forma);
    for (int c = 0; c <= area.ultima_columna; c++) {
      const ValorFila& v = valores[c];
      salida.pon_valores(v.bytes, (size_t)v.largo);
      long ancho = ancho_mostrado(area.columnas[c], v.ancho, forma);
      if (v.largo < ancho) salida.blancos(ancho - v.largo);
      pon_delimitador(salida, forma);
    }
    salida.pon('\n');
    escritas++;
  }
  return escritas;
}

int muestra_filas_verticales(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area,
                             const FormaTabla& forma, int* numero) {
  long ancho_nombres = 0;
  for (int c = 0; c <= area.ultima_columna; c++) {
    long n = (long)strlen(area.columnas[c].nombre);
    if (n > ancho_nombres) ancho_nombres = n;
  }
  Salida salida(f);
  FilasDeBloque bloque(r, posicion, filas, area);
  ValorFila valores[MAX_COLUMNAS];
  int escritas = 0;
  while (bloque.siguiente(valores)) {
    long ancho_valores = 0;
    for (int c = 0; c <= area.ultima_columna; c++) {
      ValorFila& v = valores[c];
      while (v.largo > 0 && v.bytes[v.largo - 1] == ' ') v.largo--;
      if (v.largo > ancho_valores) ancho_valores = v.largo;
    }
    char titulo[40];
    int n = formatea(titulo, "-[ FILA %d ]", ++*numero);
    salida.pon_valores(titulo, (size_t)n);
    for (long i = n; i < ancho_nombres + 3 + ancho_valores; i++) salida.pon('-');
    salida.pon('\n');
    for (int c = 0; c <= area.ultima_columna; c++) {
      const ColumnDesc& col = area.columnas[c];
      long largo_nombre = (long)strlen(col.nombre);
      salida.pon_valores(col.nombre, (size_t)largo_nombre);
      salida.blancos(ancho_nombres - largo_nombre);
      salida.pon(' ');
      salida.pon(forma.delim);
      salida.pon(' ');
      salida.pon_valores(valores[c].bytes, (size_t)valores[c].largo);
      salida.pon('\n');
    }
    escritas++;
  }
  return escritas;
}

long ancho_de_fila(const AreaCursor& area, const FormaTabla& forma) {
  long ancho = forma.delimb != 0 ? 2 : 0;
  for (int c = 0; c <= area.ultima_columna; c++) {
    const ColumnDesc& col = area.columnas[c];
    ancho += ancho_mostrado(col, col.ancho, forma) + (forma.delimb != 0 ? 3 : 1);
  }
  return ancho;
}

void escribe_tabla_local(FILE* f, const std::vector<std::string>& nombres,
                         const std::vector<std::vector<std::string>>& filas, const FormaTabla& forma) {
  std::vector<size_t> anchos;
  for (const std::string& n : nombres) anchos.push_back(n.size());
  for (const auto& fila : filas)
    for (size_t c = 0; c < fila.size() && c < anchos.size(); c++)
      if (fila[c].size() > anchos[c]) anchos[c] = fila[c].size();
  size_t largo = forma.delimb != 0 ? 2 : 0;
  auto linea = [&](const std::vector<std::string>& valores) {
    Salida salida(f);
    pon_inicio_de_fila(salida, forma);
    for (size_t c = 0; c < anchos.size(); c++) {
      const std::string& v = c < valores.size() ? valores[c] : std::string();
      salida.pon_valores(v.data(), v.size());
      salida.blancos((long)(anchos[c] - v.size()));
      pon_delimitador(salida, forma);
    }
    salida.pon('\n');
  };
  linea(nombres);
  for (size_t a : anchos) largo += a + (forma.delimb != 0 ? 3 : 1);
  if (forma.delimb != 0) largo--;
  for (size_t i = 0; i < largo; i++) fputc('-', f);
  fputc('\n', f);
  for (const auto& fila : filas) linea(fila);
}

// The CSV writer of query results; see csv.h.
#include "sql/csv.h"

#include <cstring>

#include "base/pantalla.h"
#include "platform/plataforma.h"
#include "sql/muestra.h"

namespace {

// A value is at most a frame long; quoted with every byte a quote, twice
// that and the two quotes.
char campo[2 * TAM_TRAMA + 3];

void escribe_campo(FILE* f, const char* valor, size_t n, bool terminal) {
  size_t k = campo_csv(valor, n, campo, sizeof campo);
  // Values and names are the server's: control bytes shown safely on a
  // terminal, UTF-8 when the run writes it.
  escribe_del_servidor(f, campo, k, terminal);
}

}  // namespace

size_t campo_csv(const char* valor, size_t n, char* destino, size_t cap) {
  if (cap == 0) return 0;
  while (n > 0 && valor[n - 1] == ' ') n--;
  bool comillas = false;
  for (size_t i = 0; i < n && !comillas; i++) {
    char c = valor[i];
    comillas = c == ',' || c == '"' || c == '\r' || c == '\n';
  }
  size_t k = 0;
  auto pon = [&](char c) {
    if (k + 1 < cap) destino[k++] = c;
  };
  if (comillas) pon('"');
  for (size_t i = 0; i < n; i++) {
    if (valor[i] == '"') pon('"');
    pon(valor[i]);
  }
  if (comillas) pon('"');
  destino[k] = '\0';
  return k;
}

void escribe_cabecera_csv(FILE* f, const AreaCursor& area) {
  bool terminal = plat_es_terminal(f);
  for (int c = 0; c <= area.ultima_columna; c++) {
    if (c > 0) fputc(',', f);
    escribe_campo(f, area.columnas[c].nombre, strlen(area.columnas[c].nombre), terminal);
  }
  fputc('\n', f);
}

int muestra_filas_csv(FILE* f, const Mensaje& r, int posicion, int filas, const AreaCursor& area) {
  bool terminal = plat_es_terminal(f);
  FilasDeBloque bloque(r, posicion, filas, area);
  ValorFila valores[MAX_COLUMNAS];
  int escritas = 0;
  while (bloque.siguiente(valores)) {
    for (int c = 0; c <= area.ultima_columna; c++) {
      if (c > 0) fputc(',', f);
      escribe_campo(f, valores[c].bytes, (size_t)valores[c].largo, terminal);
    }
    fputc('\n', f);
    escritas++;
  }
  return escritas;
}

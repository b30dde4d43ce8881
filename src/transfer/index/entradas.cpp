// Index lines read as entries, and their order by key (entradas.h).
#include "transfer/index/entradas.h"

#include <algorithm>
#include <cstring>

#include "transfer/index/linea.h"

namespace {

int compara_clave(const EntradaIndice& a, const EntradaIndice& b) {
  int c = strcmp(a.archivo, b.archivo);
  return c != 0 ? c : strcmp(a.miembro, b.miembro);
}

}  // namespace

bool entrada_de_linea(const char* linea, size_t largo, const char* biblioteca, EntradaIndice* e) {
  if (largo > 0 && linea[0] == '#') return false;
  if (largo < 22) return false;
  char b[TAM_NOMBRE_CATALOGO];
  campo_xinfo(linea, largo, XINFO_BIBLIOTECA, b, sizeof b);
  if (strcmp(b, biblioteca) != 0) return false;
  *e = EntradaIndice{};
  campo_xinfo(linea, largo, XINFO_ARCHIVO, e->archivo, sizeof e->archivo);
  campo_xinfo(linea, largo, XINFO_MIEMBRO, e->miembro, sizeof e->miembro);
  campo_xinfo(linea, largo, XINFO_TIPO, e->tipo, sizeof e->tipo);
  campo_xinfo(linea, largo, XINFO_FECHA, e->fecha, sizeof e->fecha);
  campo_xinfo(linea, largo, XINFO_HORA, e->hora, sizeof e->hora);
  return e->archivo[0] != '\0';
}

std::vector<uint32_t> ordena_por_clave(const std::vector<EntradaIndice>& indice) {
  std::vector<uint32_t> orden(indice.size());
  for (uint32_t i = 0; i < orden.size(); i++) orden[i] = i;
  std::stable_sort(orden.begin(), orden.end(),
                   [&](uint32_t a, uint32_t b) { return compara_clave(indice[a], indice[b]) < 0; });
  // Of the lines of one key, the last (the most recent) is the one in force.
  size_t n = 0;
  for (size_t i = 0; i < orden.size(); i++) {
    if (n > 0 && compara_clave(indice[orden[n - 1]], indice[orden[i]]) == 0) n--;
    orden[n++] = orden[i];
  }
  orden.resize(n);
  orden.shrink_to_fit();
  return orden;
}

long busca_por_clave(const std::vector<EntradaIndice>& indice, const std::vector<uint32_t>& orden,
                     const char* archivo, const char* miembro) {
  auto menor = [&](uint32_t p, int) {
    int c = strcmp(indice[p].archivo, archivo);
    return c < 0 || (c == 0 && strcmp(indice[p].miembro, miembro) < 0);
  };
  auto it = std::lower_bound(orden.begin(), orden.end(), 0, menor);
  if (it == orden.end() || strcmp(indice[*it].archivo, archivo) != 0 ||
      strcmp(indice[*it].miembro, miembro) != 0)
    return -1;
  return (long)*it;
}

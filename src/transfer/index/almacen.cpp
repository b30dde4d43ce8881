// The lines of one library's index held in memory (almacen.h).
#include "transfer/index/almacen.h"

#include <algorithm>
#include <cstring>

#include "transfer/index/hash.h"
#include "transfer/index/linea.h"

namespace {

constexpr uint32_t MUERTA = 0x80000000u;
// A chain longer than this is no accident of a random key: the buckets are
// rebuilt under a new one (at most once per doubling of the lines, so that
// lines that truly share a key, which a hand-made index can hold, cost one
// rebuild and no more).
constexpr size_t CADENA_MAXIMA = 32;
// The text of the lines lives in blocks of this size (a longer line gets a
// block of its own): a library of 20,000 members keeps the whole process
// under 8 MB.
constexpr size_t TAM_BLOQUE = 1 << 18;

uint32_t siguiente(const LineaAlmacen& l) {
  return l.siguiente & ~MUERTA;
}

uint32_t cubo_de(const Almacen& a, const char* linea, size_t largo) {
  return (uint32_t)(hash_clave(a.clave, linea, largo) & (a.cubos.size() - 1));
}

void encadena(Almacen& a, uint32_t i) {
  LineaAlmacen& l = a.lineas[i];
  const char* p = bytes_de(a, l);
  if (l.largo > 0 && p[0] == '#') return;
  uint32_t c = cubo_de(a, p, l.largo);
  l.siguiente = a.cubos[c];
  a.cubos[c] = i;
}

// Rebuilds the buckets for the lines there are, at most half full.
void rehace_cubos(Almacen& a) {
  size_t n = 64;
  while (n < 2 * a.lineas.size()) n *= 2;
  std::vector<uint32_t>().swap(a.cubos);
  a.cubos.assign(n, SIN_LINEA);
  for (uint32_t i = 0; i < a.lineas.size(); i++) {
    if (!viva(a.lineas[i])) continue;
    a.lineas[i].siguiente = SIN_LINEA;
    encadena(a, i);
  }
}

// Room for n bytes at the end of the text: the last block, or a new one.
void sitio(std::vector<BloqueTexto>& bloques, size_t n) {
  if (!bloques.empty() && bloques.back().capacidad - bloques.back().usado >= n) return;
  size_t capacidad = n > TAM_BLOQUE ? n : TAM_BLOQUE;
  bloques.push_back(BloqueTexto{std::unique_ptr<char[]>(new char[capacidad]), capacidad, 0});
}

}  // namespace

void inicia_almacen(Almacen& a, const uint64_t (&clave)[2]) {
  a = Almacen{};
  memcpy(a.clave, clave, sizeof a.clave);
  rehace_cubos(a);
}

bool viva(const LineaAlmacen& l) {
  return (l.siguiente & MUERTA) == 0;
}

const char* bytes_de(const Almacen& a, const LineaAlmacen& l) {
  return a.bloques[l.bloque].datos.get() + l.inicio;
}

void agrega_linea(Almacen& a, const char* p, size_t n, uint64_t marca) {
  sitio(a.bloques, n);
  BloqueTexto& b = a.bloques.back();
  memcpy(b.datos.get() + b.usado, p, n);
  a.lineas.push_back(
      LineaAlmacen{(uint32_t)(a.bloques.size() - 1), (uint32_t)b.usado, (uint32_t)n, SIN_LINEA, marca});
  b.usado += n;
  a.vivas++;
  if (a.lineas.size() * 2 > a.cubos.size()) {
    rehace_cubos(a);
  } else {
    encadena(a, (uint32_t)(a.lineas.size() - 1));
  }
}

// The live lines are copied, in order, into new blocks, and each old block
// is freed as soon as all its lines are copied: at no time are both copies
// whole.
void compacta(Almacen& a) {
  size_t muertas = a.lineas.size() - a.vivas;
  if (muertas < 1024 || muertas * 8 < a.vivas) return;
  std::vector<BloqueTexto> nuevos;
  size_t escritas = 0;
  for (size_t i = 0; i < a.lineas.size(); i++) {
    LineaAlmacen l = a.lineas[i];
    // Every line of the blocks before this line's is copied by now.
    for (uint32_t b = 0; b < l.bloque; b++) a.bloques[b].datos.reset();
    if (!viva(l)) continue;
    sitio(nuevos, l.largo);
    BloqueTexto& destino = nuevos.back();
    memcpy(destino.datos.get() + destino.usado, bytes_de(a, l), l.largo);
    a.lineas[escritas++] =
        LineaAlmacen{(uint32_t)(nuevos.size() - 1), (uint32_t)destino.usado, l.largo, SIN_LINEA, l.marca};
    destino.usado += l.largo;
  }
  a.bloques.swap(nuevos);
  a.lineas.resize(escritas);
  a.lineas.shrink_to_fit();
  rehace_cubos(a);
}

// Dead lines met in the chain are unlinked on the way.
size_t quita_clave(Almacen& a, const char* nueva, size_t largo) {
  uint32_t c = cubo_de(a, nueva, largo);
  uint32_t* enlace = &a.cubos[c];
  size_t recorridas = 0, quitadas = 0;
  while (*enlace != SIN_LINEA) {
    recorridas++;
    LineaAlmacen& l = a.lineas[*enlace];
    uint32_t despues = siguiente(l);
    if (viva(l) && claves_iguales(bytes_de(a, l), l.largo, nueva, largo)) {
      l.siguiente |= MUERTA;
      a.vivas--;
      quitadas++;
    }
    if (!viva(l)) {
      *enlace = despues;
    } else {
      enlace = &l.siguiente;
    }
  }
  if (recorridas > CADENA_MAXIMA && a.lineas.size() >= 2 * a.lineas_al_cambiar_clave) {
    a.lineas_al_cambiar_clave = a.lineas.size();
    clave_al_azar(a.clave);
    rehace_cubos(a);
  }
  return quitadas;
}

// A chain holds its lines newest first: the first of the key is the one in
// force.
const LineaAlmacen* linea_vigente(const Almacen& a, const char* clave, size_t largo) {
  for (uint32_t i = a.cubos[cubo_de(a, clave, largo)]; i != SIN_LINEA; i = siguiente(a.lineas[i])) {
    const LineaAlmacen& l = a.lineas[i];
    if (viva(l) && claves_iguales(bytes_de(a, l), l.largo, clave, largo)) return &l;
  }
  return nullptr;
}

// The lines this run recorded are the live lines from the first one it
// recorded on: every line of the file was read before the first was
// recorded, and a recorded line goes last, its earlier line of the same key
// dropped. The marks of one unit grow with its lines, so a unit keeps the
// order they were received in.
bool ordena_por_marcas(Almacen& a) {
  size_t desde = 0;
  while (desde < a.lineas.size() && (!viva(a.lineas[desde]) || a.lineas[desde].marca == 0)) desde++;
  std::vector<LineaAlmacen> cola;
  for (size_t i = desde; i < a.lineas.size(); i++)
    if (viva(a.lineas[i])) cola.push_back(a.lineas[i]);
  auto por_marca = [](const LineaAlmacen& x, const LineaAlmacen& y) { return x.marca < y.marca; };
  if (std::is_sorted(cola.begin(), cola.end(), por_marca)) return false;
  std::stable_sort(cola.begin(), cola.end(), por_marca);
  a.lineas.resize(desde);
  a.lineas.insert(a.lineas.end(), cola.begin(), cola.end());
  rehace_cubos(a);
  return true;
}

size_t cadena_mas_larga(const Almacen& a) {
  size_t maxima = 0;
  for (uint32_t cabeza : a.cubos) {
    size_t n = 0;
    for (uint32_t i = cabeza; i != SIN_LINEA; i = siguiente(a.lineas[i])) n++;
    if (n > maxima) maxima = n;
  }
  return maxima;
}

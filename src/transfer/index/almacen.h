// The lines of one library's index held in memory: every line in file order,
// dropped lines marked dead until the next compaction, and the entry lines
// (not the "#" ones) chained by the keyed hash of their key, so that the
// lines of a key are found at once whatever the size of the library. The
// text of the lines lives in large blocks: a growing index never copies what
// it holds. A plain value; whoever holds it guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr uint32_t SIN_LINEA = 0x7FFFFFFFu;  // no line (the top bit of `siguiente` marks a dead line)

// One line: its bytes in a block, without the line end.
struct LineaAlmacen {
  uint32_t bloque;
  uint32_t inicio;  // offset in the block
  uint32_t largo;
  uint32_t siguiente;  // next line in the same hash bucket, or SIN_LINEA; the top bit: the line is dead
  // 0 for a line read from the file; for a line this run recorded, 1 + the
  // mark it was recorded with (the order of a one-session run).
  uint64_t marca;
};

struct BloqueTexto {
  std::unique_ptr<char[]> datos;
  size_t capacidad;
  size_t usado;
};

struct Almacen {
  std::vector<BloqueTexto> bloques;
  std::vector<LineaAlmacen> lineas;
  std::vector<uint32_t> cubos;  // a power of two in size
  uint64_t clave[2] = {0, 0};   // of the hash of its buckets
  size_t lineas_al_cambiar_clave = 0;
  size_t vivas = 0;
};

// An empty store whose buckets hash with `clave`.
void inicia_almacen(Almacen& a, const uint64_t (&clave)[2]);
bool viva(const LineaAlmacen& l);
const char* bytes_de(const Almacen& a, const LineaAlmacen& l);
// Adds a line of n bytes last (marca as LineaAlmacen::marca).
void agrega_linea(Almacen& a, const char* p, size_t n, uint64_t marca = 0);
// Drops every live line with the key of `nueva` (largo bytes) and returns how
// many. A chain found longer than is likely by chance makes the store take a
// new key.
size_t quita_clave(Almacen& a, const char* nueva, size_t largo);
// Drops the dead lines once they are an eighth of the live ones, so that a
// run which replaces every entry of a big library keeps its memory near what
// the live lines need.
void compacta(Almacen& a);
// The live line in force of the key of `clave` (largo bytes, at least the 31
// characters of the key), the one recorded last; nullptr when there is none.
const LineaAlmacen* linea_vigente(const Almacen& a, const char* clave, size_t largo);
// Puts the lines this run recorded in the order of their marks (stable); the
// lines read from the file keep their places before them. True when the
// order changed.
bool ordena_por_marcas(Almacen& a);
// The most lines one bucket chains (tests).
size_t cadena_mas_larga(const Almacen& a);

// The keyed hash of index keys (hash.h).
#include "transfer/index/hash.h"

#include <cstring>

#include "platform/plataforma.h"
#include "transfer/index/linea.h"

namespace {

uint64_t rota(uint64_t x, int b) {
  return (x << b) | (x >> (64 - b));
}

void ronda_sip(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
  v0 += v1;
  v1 = rota(v1, 13);
  v1 ^= v0;
  v0 = rota(v0, 32);
  v2 += v3;
  v3 = rota(v3, 16);
  v3 ^= v2;
  v0 += v3;
  v3 = rota(v3, 21);
  v3 ^= v0;
  v2 += v1;
  v1 = rota(v1, 17);
  v1 ^= v2;
  v2 = rota(v2, 32);
}

}  // namespace

uint64_t siphash_1_3(const uint64_t (&clave)[2], const unsigned char* m, size_t n) {
  uint64_t v0 = 0x736f6d6570736575ULL ^ clave[0];
  uint64_t v1 = 0x646f72616e646f6dULL ^ clave[1];
  uint64_t v2 = 0x6c7967656e657261ULL ^ clave[0];
  uint64_t v3 = 0x7465646279746573ULL ^ clave[1];
  size_t enteras = n - n % 8;
  for (size_t i = 0; i < enteras; i += 8) {
    uint64_t w = 0;
    for (int k = 7; k >= 0; k--) w = (w << 8) | m[i + (size_t)k];
    v3 ^= w;
    ronda_sip(v0, v1, v2, v3);
    v0 ^= w;
  }
  uint64_t ultima = (uint64_t)(n & 0xFF) << 56;
  for (size_t k = 0; k < n % 8; k++) ultima |= (uint64_t)m[enteras + k] << (8 * k);
  v3 ^= ultima;
  ronda_sip(v0, v1, v2, v3);
  v0 ^= ultima;
  v2 ^= 0xFF;
  for (int r = 0; r < 3; r++) ronda_sip(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

uint64_t hash_clave(const uint64_t (&clave)[2], const char* linea, size_t largo) {
  unsigned char campos[3 * 11];
  size_t n = 0;
  static const size_t offsets[] = {1, 11, 21};
  for (size_t offset : offsets) {
    size_t k = campo_clave(linea, largo, offset);
    memcpy(campos + n, linea + offset, k);
    n += k;
    campos[n++] = 0xFF;
  }
  return siphash_1_3(clave, campos, n);
}

void clave_al_azar(uint64_t (&clave)[2]) {
  if (plat_aleatorio(clave, sizeof clave)) return;
  uint64_t local = 0;
  uint64_t mezcla = (uint64_t)plat_reloj_ms() * 0x9E3779B97F4A7C15ULL;
  clave[0] ^= mezcla ^ (uint64_t)(uintptr_t)&clave;
  clave[1] ^= rota(mezcla, 29) ^ (uint64_t)(uintptr_t)&local;
}

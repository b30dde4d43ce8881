// LZW compression written for the simulator alone: the dictionary is a map
// from (code of the string so far, next byte) to the code of the longer
// string, so that nothing here follows the client's hashing.
#include "lzw_sim.h"

#include <cstdint>
#include <unordered_map>

namespace {
constexpr unsigned PRIMER_CODIGO = 256;
constexpr unsigned ULTIMO_CODIGO = 4094;
constexpr unsigned CODIGO_FIN = 4095;

// Packs 12-bit codes most significant bit first; bits that do not fill a
// last byte are dropped.
struct Empaquetador {
  std::string salida;
  uint32_t bits = 0;
  int cuantos = 0;

  void pon(unsigned codigo) {
    bits = (bits << 12) | (codigo & 0xFFF);
    cuantos += 12;
    while (cuantos >= 8) {
      cuantos -= 8;
      salida += static_cast<char>((bits >> cuantos) & 0xFF);
    }
    bits &= (1u << cuantos) - 1;
  }
};
}  // namespace

std::string comprime_lzw_sim(const std::string& datos) {
  Empaquetador e;
  if (!datos.empty()) {
    std::unordered_map<uint32_t, unsigned> diccionario;
    diccionario.reserve(ULTIMO_CODIGO - PRIMER_CODIGO + 1);
    unsigned siguiente = PRIMER_CODIGO;
    unsigned actual = static_cast<unsigned char>(datos[0]);
    for (size_t i = 1; i < datos.size(); i++) {
      unsigned c = static_cast<unsigned char>(datos[i]);
      uint32_t clave = (actual << 8) | c;
      auto hay = diccionario.find(clave);
      if (hay != diccionario.end()) {
        actual = hay->second;
        continue;
      }
      if (siguiente <= ULTIMO_CODIGO) diccionario.emplace(clave, siguiente++);
      e.pon(actual);
      actual = c;
    }
    e.pon(actual);
  }
  e.pon(CODIGO_FIN);
  e.pon(0);
  return e.salida;
}

// expande_lzw on arbitrary input, into output buffers of exactly the size it is
// told (the receive path's 30,000 bytes, the start-up round trip's 4,096, or a
// small one), so that any write past them is caught. A corrupt stream may fail
// with its fatal message (the caller ends the run); it may not read or write
// out of bounds, nor end the run itself.
//
// Input: byte 0 gives the leading uncompressed count (low 3 bits) and the
// output size (bits 3-4); the rest is the compressed payload.
#include <vector>

#include "comun.h"
#include "wire/lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  Entrada e = parte_entrada(datos, n, 1);
  static const int capacidades[4] = {TAM_TRAMA, 4096, 64, 1};
  int inicio = e.cabecera[0] & 7;
  int capacidad = capacidades[(e.cabecera[0] >> 3) & 3];
  // Exact-size copies: a read past ilen or a write past the capacity is seen.
  std::vector<unsigned char> entrada(e.resto, e.resto + e.nresto);
  std::vector<unsigned char> salida((size_t)capacidad);
  bool bien = false;
  try {
    bien = expande_lzw(entrada.data(), inicio, (int)entrada.size(), salida.data(), capacidad);
  } catch (const FinPrograma&) {
    hallazgo("la expansion termino el programa por si misma");
  }
  if (bien) COMPRUEBA(ifs_iin.salida >= 0 && ifs_iin.salida <= capacidad);
  return 0;
}

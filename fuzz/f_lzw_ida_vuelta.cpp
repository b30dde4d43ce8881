// The round trip of the codec: expande_lzw(comprime_lzw(x)) == x for inputs up
// to 29,000 bytes (the largest reply that still expands within a frame
// buffer), with a leading uncompressed count chosen by the first byte.
#include <cstring>
#include <vector>

#include "comun.h"
#include "wire/lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  if (n > 29000) return -1;
  int ilen = (int)n;
  int inicio = n > 0 ? datos[0] % 8 : 0;
  if (inicio > ilen) inicio = ilen;
  // Twelve bits per byte at worst, the end code and the closing code.
  int capacidad = inicio + ((ilen - inicio) * 12 + 24) / 8 + 1;
  std::vector<unsigned char> comprimido((size_t)capacidad);
  int clen = comprime_lzw(datos, inicio, ilen, comprimido.data(), capacidad);
  COMPRUEBA(clen >= inicio && clen <= capacidad);

  std::vector<unsigned char> entrada(comprimido.begin(), comprimido.begin() + clen);
  std::vector<unsigned char> salida((size_t)TAM_TRAMA);
  bool bien = false;
  try {
    bien = expande_lzw(entrada.data(), inicio, clen, salida.data(), TAM_TRAMA);
  } catch (const FinPrograma&) {
    hallazgo("la expansion de un flujo bien formado termino el programa");
  }
  if (!bien) hallazgo("la expansion de un flujo bien formado fallo");
  COMPRUEBA(ifs_iin.salida == ilen);
  COMPRUEBA(memcmp(salida.data(), datos, n) == 0);
  return 0;
}

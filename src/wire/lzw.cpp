// The LZW codec of compressed replies: fixed 12-bit codes packed most
// significant bit first, a dictionary of codes 256 to 4094 that is never reset,
// and 4095 as the end code. The tables are allocated once and reused.
#include "wire/lzw.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/contexto.h"

namespace {

constexpr int TAM_TABLA = 5021;      // prime: the compressor's hash table
constexpr int PRIMER_CODIGO = 256;   // first dictionary code
constexpr int ULTIMO_CODIGO = 4094;  // last dictionary code
constexpr int CODIGO_FIN = 4095;
// The longest string of a well-formed stream is 3840 bytes (3839 entries on a
// first byte), plus one for a code used in the same step that defines it.
constexpr int TAM_PILA = 4000;

int32_t* tabla_codigos = nullptr;           // compressor: code stored in each slot, -1 when empty
int32_t* tabla_prefijos = nullptr;          // prefix code of each slot (compressor) or code (expander)
unsigned char* tabla_caracteres = nullptr;  // last character of each slot or code
unsigned char pila_descodifica[TAM_PILA];   // one dictionary string, last character first

void limpia_tablas() {
  for (int i = 0; i < TAM_TABLA; i++) tabla_codigos[i] = -1;
  memset(tabla_prefijos, 0, TAM_TABLA * sizeof tabla_prefijos[0]);
  memset(tabla_caracteres, 0, TAM_TABLA);
}

// A stream that cannot be expanded: says so, and gives the expansion's
// failure result.
bool error_expansion() {
  printf("Fatal error during code expansion.\n");
  return false;
}

// Reads the packed codes of one expansion. Bytes beyond the input's length
// read as 0: the reads run one or two bytes ahead of the code just decoded.
struct LectorCodigos {
  const unsigned char* entrada;
  int ilen;
  int posicion;  // bytes taken so far, those beyond ilen included
  uint32_t bits = 0;
  int nbits = 0;

  int lee() {
    while (nbits <= 24) {
      uint32_t byte = posicion < ilen ? entrada[posicion] : 0;
      bits |= byte << (24 - nbits);
      posicion++;
      nbits += 8;
    }
    int codigo = (int)(bits >> 20);
    bits <<= 12;
    nbits -= 12;
    return codigo;
  }
};

// Packs codes into the output of one compression. Fails, once and for good,
// when a byte would not fit.
struct EscritorCodigos {
  unsigned char* salida;
  int capacidad;
  int posicion;
  uint32_t bits = 0;
  int nbits = 0;
  bool lleno = false;

  void escribe(int codigo) {
    bits |= (uint32_t)codigo << (20 - nbits);
    nbits += 12;
    while (nbits >= 8) {
      if (posicion >= capacidad) {
        lleno = true;
      } else {
        salida[posicion++] = (unsigned char)(bits >> 24);
      }
      bits <<= 8;
      nbits -= 8;
    }
  }
};

// The slot of the pair (prefix, character) in the compressor's hash table:
// the slot that holds it, or the empty slot where it belongs.
int busca_slot(int prefijo, int caracter) {
  int indice = (caracter << 4) ^ prefijo;  // below 4096
  int paso = indice == 0 ? 1 : TAM_TABLA - indice;
  for (;;) {
    if (tabla_codigos[indice] == -1) return indice;
    if (tabla_prefijos[indice] == prefijo && tabla_caracteres[indice] == caracter) return indice;
    indice -= paso;
    if (indice < 0) indice += TAM_TABLA;
  }
}

// Pushes the string of a code onto the stack above `alto`, last character
// first, and returns the new height; -1 for a chain that would overrun the
// stack (only a corrupt stream has one: its prefixes may even loop).
int apila_cadena(int codigo, int alto) {
  while (codigo >= PRIMER_CODIGO) {
    if (alto >= TAM_PILA) return -1;
    pila_descodifica[alto++] = tabla_caracteres[codigo];
    codigo = tabla_prefijos[codigo];
  }
  if (alto >= TAM_PILA) return -1;
  pila_descodifica[alto++] = (unsigned char)codigo;
  return alto;
}

}  // namespace

PosicionesLzw ifs_iin;

bool reserva_tablas_lzw() {
  if (tabla_codigos != nullptr && tabla_prefijos != nullptr && tabla_caracteres != nullptr) return true;
  if (tabla_codigos == nullptr) tabla_codigos = new (std::nothrow) int32_t[TAM_TABLA];
  if (tabla_prefijos == nullptr) tabla_prefijos = new (std::nothrow) int32_t[TAM_TABLA];
  if (tabla_caracteres == nullptr) tabla_caracteres = new (std::nothrow) unsigned char[TAM_TABLA];
  return tabla_codigos != nullptr && tabla_prefijos != nullptr && tabla_caracteres != nullptr;
}

bool inicia_lzw() {
  if (!reserva_tablas_lzw()) {
    printf("Fatal error allocating table space!\n");
    return false;
  }

  // The start-up round trip: its outcome is neither compared nor used.
  static const char texto[] = "070110028Biblioteca &1 no encontrada.";
  unsigned char original[4096];
  unsigned char comprimido[4096];
  int largo = (int)sizeof texto - 1;
  memcpy(original, texto, (size_t)largo);
  int ilen = comprime_lzw(original, 0, largo, comprimido, (int)sizeof comprimido);
  return expande_lzw(comprimido, 0, ilen, original, (int)sizeof original);
}

int comprime_lzw(const unsigned char* entrada, int inicio, int ilen, unsigned char* salida, int capacidad) {
  if (ilen < 0) ilen = 0;
  if (inicio < 0) inicio = 0;
  if (inicio > ilen) inicio = ilen;
  ifs_iin.entrada = 0;
  ifs_iin.salida = 0;
  if (inicio > capacidad || !reserva_tablas_lzw()) return -1;

  limpia_tablas();
  int siguiente = PRIMER_CODIGO;
  if (inicio > 0) memcpy(salida, entrada, (size_t)inicio);
  EscritorCodigos escritor{salida, capacidad, inicio};

  // No data after the leading bytes gives the end code alone, which expands
  // to nothing.
  if (ilen > inicio) {
    int actual = entrada[inicio];
    for (int i = inicio + 1; i < ilen; i++) {
      int c = entrada[i];
      int slot = busca_slot(actual, c);
      if (tabla_codigos[slot] != -1) {
        actual = tabla_codigos[slot];
        continue;
      }
      if (siguiente <= ULTIMO_CODIGO) {
        tabla_codigos[slot] = siguiente++;
        tabla_prefijos[slot] = actual;
        tabla_caracteres[slot] = (unsigned char)c;
      }
      escritor.escribe(actual);
      if (escritor.lleno) return -1;
      actual = c;
    }
    escritor.escribe(actual);
  }
  // The code 0 after the end code pushes the end code's last bits out; what is
  // left, fewer than 8 bits, is dropped.
  escritor.escribe(CODIGO_FIN);
  escritor.escribe(0);
  if (escritor.lleno) return -1;

  ifs_iin.entrada = ilen;
  ifs_iin.salida = escritor.posicion;
  return escritor.posicion;
}

bool expande_lzw(const unsigned char* entrada, int inicio, int ilen, unsigned char* salida, int capacidad) {
  // The tables come from inicia_lzw; a caller that skipped it gets them here.
  if (!reserva_tablas_lzw()) {
    printf("Fatal error allocating table space!\n");
    return false;
  }
  limpia_tablas();
  int siguiente = PRIMER_CODIGO;
  // A silent run (a console batch) prints no progress of its own.
  if (!ctx.silencioso) printf("Expanding...\n");

  int copia = inicio < 0 ? 0 : inicio;
  if (copia > ilen) copia = ilen < 0 ? 0 : ilen;
  if (copia > capacidad) return error_expansion();
  if (copia > 0) memcpy(salida, entrada, (size_t)copia);
  ifs_iin.entrada = copia;
  ifs_iin.salida = copia;
  if (!ctx.silencioso) printf("inicio inicio=%d  ilen=%d\n", inicio, ilen);

  LectorCodigos lector{entrada, ilen, copia};
  int escritos = copia;
  // A code is decoded only while the input position is at most ilen: that lets
  // every data code of a well-formed stream through and stops at its end code,
  // the first code included (a stream of no data codes expands to nothing).
  int viejo = lector.lee();
  if (lector.posicion <= ilen) {
    // The first code is always a single byte; a corrupt one above 255 is
    // written as its low byte.
    int caracter = viejo & 0xFF;
    if (escritos >= capacidad) return error_expansion();
    salida[escritos++] = (unsigned char)caracter;
    int nuevo = lector.lee();
    while (lector.posicion <= ilen) {
      int alto = 0;
      if (nuevo >= siguiente) {
        // A code defined by this very step (or, in a corrupt stream, not at
        // all): the string of the previous code and its own first character.
        pila_descodifica[alto++] = (unsigned char)caracter;
        alto = apila_cadena(viejo, alto);
      } else {
        alto = apila_cadena(nuevo, alto);
      }
      if (alto < 0) return error_expansion();
      caracter = pila_descodifica[alto - 1];
      if (alto > capacidad - escritos) return error_expansion();
      while (alto > 0) salida[escritos++] = pila_descodifica[--alto];

      if (siguiente <= ULTIMO_CODIGO) {
        tabla_prefijos[siguiente] = viejo;
        tabla_caracteres[siguiente] = (unsigned char)caracter;
        siguiente++;
      }
      viejo = nuevo;
      nuevo = lector.lee();
    }
  }
  ifs_iin.entrada = lector.posicion;
  ifs_iin.salida = escritos;
  return true;
}

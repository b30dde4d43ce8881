// Unit tests of the LZW codec: the exact byte vectors, round trips, the full
// dictionary and corrupt streams, which must fail (the caller ends the run)
// without ever writing past the output or reading past the input, and
// without ending the process themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/fin.h"
#include "wire/lzw.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct FinPrograma {
  int estado;
};
// The codec must not end the run itself: a call of termina fails the test.
[[noreturn]] void lanza_fin(int estado) {
  throw FinPrograma{estado};
}

Bytes bytes_de(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes comprime(const Bytes& entrada, int inicio = 0) {
  Bytes salida(entrada.size() * 2 + 16);
  int n = comprime_lzw(entrada.data(), inicio, (int)entrada.size(), salida.data(), (int)salida.size());
  EXPECT_GE(n, 0);
  salida.resize(n < 0 ? 0 : (size_t)n);
  return salida;
}

// Expands into a buffer of `capacidad` bytes followed by guard bytes, checks
// that the guard is intact and returns what was written. The input lives in a
// heap block of its size (one byte more for an empty one), so a read past it
// shows under ASan.
Bytes expande(const Bytes& entrada, int capacidad, int inicio = 0) {
  std::unique_ptr<unsigned char[]> en(new unsigned char[entrada.size() + 1]);
  if (!entrada.empty()) memcpy(en.get(), entrada.data(), entrada.size());
  Bytes salida((size_t)capacidad + 64, 0xA5);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(expande_lzw(en.get(), inicio, (int)entrada.size(), salida.data(), capacidad));
  testing::internal::GetCapturedStdout();
  for (size_t i = (size_t)capacidad; i < salida.size(); i++) EXPECT_EQ(salida[i], 0xA5) << "guard " << i;
  salida.resize((size_t)ifs_iin.salida);
  return salida;
}

// Packs codes as the wire carries them: 12 bits each, most significant first,
// the last incomplete byte dropped.
Bytes empaqueta(const std::vector<int>& codigos) {
  Bytes r;
  uint32_t bits = 0;
  int n = 0;
  for (int c : codigos) {
    bits = (bits << 12) | (uint32_t)c;
    n += 12;
    while (n >= 8) {
      r.push_back((unsigned char)(bits >> (n - 8)));
      n -= 8;
    }
  }
  return r;
}

// The codes of a compressed stream up to its end code, which must be followed
// by a code 0 and nothing more than the bits of that code.
std::vector<int> desempaqueta(const Bytes& flujo) {
  std::vector<int> codigos;
  size_t bit = 0;
  for (;;) {
    EXPECT_LE((bit + 12 + 7) / 8, flujo.size() + 1);
    int c = 0;
    for (int k = 0; k < 12; k++, bit++) {
      size_t b = bit / 8;
      int v = b < flujo.size() ? (flujo[b] >> (7 - bit % 8)) & 1 : 0;
      c = (c << 1) | v;
    }
    if (c == 4095) break;
    codigos.push_back(c);
  }
  EXPECT_EQ(flujo.size(), (12 * (codigos.size() + 2)) / 8);
  return codigos;
}

class Lzw : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(reserva_tablas_lzw());
    establece_manejador_fin(lanza_fin);
  }
  void TearDown() override { establece_manejador_fin(nullptr); }

  // Expects the expansion to fail with the codec's fatal message, leaving the
  // end of the run to its caller.
  void espera_error(const Bytes& flujo, int capacidad, int inicio = 0) {
    Bytes en(flujo);
    Bytes salida((size_t)capacidad + 64, 0xA5);
    testing::internal::CaptureStdout();
    bool bien = true;
    int estado = -100;
    try {
      bien = expande_lzw(en.data(), inicio, (int)en.size(), salida.data(), capacidad);
    } catch (const FinPrograma& f) {
      estado = f.estado;
    }
    std::string texto = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(bien);
    EXPECT_EQ(estado, -100) << "the codec ended the run itself";
    EXPECT_NE(texto.find("Fatal error during code expansion.\n"), std::string::npos) << texto;
    for (size_t i = (size_t)capacidad; i < salida.size(); i++) ASSERT_EQ(salida[i], 0xA5) << "guard " << i;
  }
};

TEST_F(Lzw, VectoresConocidos) {
  struct Caso {
    const char* texto;
    Bytes flujo;
  } casos[] = {
      {"abc", {0x06, 0x10, 0x62, 0x06, 0x3F, 0xFF, 0x00}},
      {"aaaaaaa", {0x06, 0x11, 0x00, 0x10, 0x10, 0x61, 0xFF, 0xF0, 0x00}},
      {"a", {0x06, 0x1F, 0xFF, 0x00}},
  };
  for (auto& c : casos) {
    Bytes flujo = comprime(bytes_de(c.texto));
    EXPECT_EQ(flujo, c.flujo) << c.texto;
    EXPECT_EQ(ifs_iin.salida, (int)c.flujo.size());
    EXPECT_EQ(expande(c.flujo, 100), bytes_de(c.texto)) << c.texto;
    EXPECT_EQ(ifs_iin.salida, (int)strlen(c.texto));
  }
}

TEST_F(Lzw, ExpansionImprimeSusDosLineas) {
  Bytes flujo = {0x06, 0x10, 0x62, 0x06, 0x3F, 0xFF, 0x00};
  unsigned char salida[16];
  testing::internal::CaptureStdout();
  EXPECT_TRUE(expande_lzw(flujo.data(), 0, 7, salida, sizeof salida));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Expanding...\ninicio inicio=0  ilen=7\n");

  testing::internal::CaptureStdout();
  EXPECT_TRUE(inicia_lzw());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Expanding...\ninicio inicio=0  ilen=58\n");
  EXPECT_EQ(ifs_iin.salida, 37);
}

TEST_F(Lzw, LosPrimerosBytesPasanSinCambio) {
  Bytes datos = {0x01, 0x02, 0xFF, 0x00};
  for (char c : std::string("abcabcabc")) datos.push_back((unsigned char)c);
  Bytes flujo = comprime(datos, 4);
  ASSERT_GE(flujo.size(), 4u);
  EXPECT_EQ(Bytes(flujo.begin(), flujo.begin() + 4), Bytes(datos.begin(), datos.begin() + 4));
  EXPECT_EQ(Bytes(flujo.begin() + 4, flujo.end()), comprime(bytes_de("abcabcabc")));
  EXPECT_EQ(expande(flujo, 100, 4), datos);
}

TEST_F(Lzw, SinDatosNoSaleNada) {
  // No data codes at all: only the leading bytes come out, never a stray byte.
  EXPECT_EQ(comprime(Bytes{}), (Bytes{0xFF, 0xF0, 0x00}));
  EXPECT_TRUE(expande(Bytes{0xFF, 0xF0, 0x00}, 10).empty());
  EXPECT_TRUE(expande(Bytes{}, 10).empty());
  EXPECT_EQ(expande(bytes_de("HEAD"), 10, 4), bytes_de("HEAD"));
}

TEST_F(Lzw, IdaYVueltaDeDatosAleatorios) {
  std::mt19937 azar(1234);
  const int largos[] = {1, 2, 3, 17, 500, 4096, 12000, 29000};
  const int alfabetos[] = {2, 4, 26, 256};
  for (int largo : largos) {
    for (int alfabeto : alfabetos) {
      Bytes datos((size_t)largo);
      for (auto& b : datos) b = (unsigned char)('a' + azar() % alfabeto);
      Bytes flujo = comprime(datos);
      std::vector<int> codigos = desempaqueta(flujo);
      // Each code is a byte or one the dictionary already holds.
      for (size_t k = 0; k < codigos.size(); k++) ASSERT_LT(codigos[k], 256 + (int)k) << k;
      ASSERT_EQ(expande(flujo, 30000), datos) << largo << " " << alfabeto;
    }
  }
}

TEST_F(Lzw, DiccionarioLlenoSigueEnUso) {
  // Random bytes fill the dictionary (3839 entries) within the first few
  // thousand codes; the repeat afterwards must still decode through the codes
  // assigned before it was full.
  std::mt19937 azar(99);
  Bytes datos(15000);
  for (auto& b : datos) b = (unsigned char)azar();
  datos.insert(datos.end(), datos.begin(), datos.begin() + 10000);
  Bytes flujo = comprime(datos);
  std::vector<int> codigos = desempaqueta(flujo);
  ASSERT_GT(codigos.size(), 3839u + 1000u);
  int mayor = 0;
  for (int c : codigos) mayor = std::max(mayor, c);
  EXPECT_EQ(mayor, 4094);
  EXPECT_EQ(expande(flujo, 30000), datos);
}

TEST_F(Lzw, CadenasMasLargasDeUnFlujoValido) {
  // 'a', then every code in the step that defines it: code k stands for
  // k - 254 letters, up to 3840 for 4094; 4094 once more once it is defined.
  std::vector<int> codigos = {'a'};
  for (int k = 256; k <= 4094; k++) codigos.push_back(k);
  codigos.push_back(4094);
  codigos.push_back(4095);
  codigos.push_back(0);
  size_t esperado = 1 + (3840u * 3841u / 2 - 1) + 3840;
  Bytes salida = expande(empaqueta(codigos), (int)esperado);
  ASSERT_EQ(salida.size(), esperado);
  EXPECT_EQ(salida, Bytes(esperado, 'a'));
}

TEST_F(Lzw, SalidaPequenaTerminaSinDesbordar) {
  Bytes datos = bytes_de("abcabcabcabcabcaaaaaaaaaaaaaaaaaaaaaaaaaazyx");
  Bytes flujo = comprime(datos);
  for (int capacidad = 0; capacidad < (int)datos.size(); capacidad++) espera_error(flujo, capacidad);
  EXPECT_EQ(expande(flujo, (int)datos.size()), datos);
  // The leading bytes alone may already not fit.
  espera_error(bytes_de("HEADER"), 2, 4);
}

TEST_F(Lzw, CodigosIndefinidosTerminanSinDesbordar) {
  // Code 300 over and over: once entry 300 is defined its prefix is 300 itself,
  // a loop that only the stack limit stops.
  espera_error(empaqueta(std::vector<int>(200, 300)), 30000);
  // The same near the top of the dictionary, after some 3700 entries that
  // each stand for an undefined code and one byte.
  espera_error(empaqueta(std::vector<int>(4000, 4000)), 30000);
}

TEST_F(Lzw, FlujoAleatorioNuncaDesborda) {
  std::mt19937 azar(7);
  for (int vuelta = 0; vuelta < 200; vuelta++) {
    Bytes flujo(1 + azar() % 3000);
    for (auto& b : flujo) b = (unsigned char)azar();
    Bytes salida((size_t)30000 + 64, 0xA5);
    testing::internal::CaptureStdout();
    if (expande_lzw(flujo.data(), 0, (int)flujo.size(), salida.data(), 30000)) {
      EXPECT_LE(ifs_iin.salida, 30000);
    }
    testing::internal::GetCapturedStdout();
    for (size_t i = 30000; i < salida.size(); i++) ASSERT_EQ(salida[i], 0xA5);
  }
}

TEST_F(Lzw, CompresionQueNoCabeDevuelveMenosUno) {
  Bytes datos = bytes_de("abcdefghijklmnop");
  Bytes salida(64, 0xA5);
  for (int capacidad : {0, 1, 10, 26}) {
    EXPECT_EQ(comprime_lzw(datos.data(), 0, (int)datos.size(), salida.data(), capacidad), -1) << capacidad;
    for (size_t i = (size_t)capacidad; i < salida.size(); i++) ASSERT_EQ(salida[i], 0xA5);
  }
  EXPECT_EQ(comprime_lzw(datos.data(), 0, (int)datos.size(), salida.data(), 27), 27);
}

}  // namespace

// Unit tests of the bounded reader of received messages: nothing is read past
// the received length, whatever the message claims.
#include <gtest/gtest.h>

#include <cstring>

#include "wire/lector.h"

namespace {
// An identity table keeps the tests readable; the walk passes ebc_fija.
struct Identidad {
  unsigned char t[256];
  Identidad() {
    for (int i = 0; i < 256; i++) t[i] = (unsigned char)i;
  }
};
const Identidad identidad;

Mensaje de(const char* texto, int largo = -1) {
  return Mensaje{(const unsigned char*)texto, largo < 0 ? (int32_t)strlen(texto) : largo, identidad.t};
}
}  // namespace

TEST(Lector, CamposDentroYFueraDelMensaje) {
  // The received length stops before the bytes after it, which are not part
  // of this message.
  const char buffer[] = "0100105LIB1  SRCXXXXXXXX";
  Mensaje m = de(buffer, 16);
  char campo[32];
  lee_texto(m, 7, 6, true, campo);
  EXPECT_STREQ(campo, "LIB1");
  lee_texto(m, 7, 6, false, campo);
  EXPECT_STREQ(campo, "LIB1  ");
  lee_texto(m, 13, 10, true, campo);
  EXPECT_STREQ(campo, "SRC");
  lee_texto(m, 13, 10, false, campo);
  EXPECT_STREQ(campo, "SRC       ");
  lee_texto(m, 40, 4, false, campo);
  EXPECT_STREQ(campo, "    ");
  lee_texto(m, 40, 4, true, campo);
  EXPECT_STREQ(campo, "");
  // The destination bounds the copy too.
  char corto[4];
  lee_texto(m, 7, 10, false, corto);
  EXPECT_STREQ(corto, "LIB");
}

TEST(Lector, NumerosComoAtoi) {
  Mensaje m = de("0200012  -12x7ab");
  EXPECT_EQ(lee_numero(m, 0, 2), 2);
  EXPECT_EQ(lee_numero(m, 2, 5), 12);
  EXPECT_EQ(lee_numero(m, 7, 5), -12);
  EXPECT_EQ(lee_numero(m, 12, 2), 0);  // "x7": no number
  EXPECT_EQ(lee_numero(m, 13, 5), 7);  // "7ab" and two bytes beyond the message
  EXPECT_EQ(lee_numero(m, 16, 5), 0);  // wholly beyond
  // A code cut by the end of the message: "0" and a blank read as 0.
  EXPECT_EQ(lee_numero(de("0", 1), 0, 2), 0);
  EXPECT_EQ(lee_numero(de("", 0), 0, 2), 0);
}

// The data bytes datos_de_bloque gives for a block from inicio to fin.
static int32_t cuenta(const Mensaje& m, long inicio, long fin) {
  int32_t n = -1;
  datos_de_bloque(m, inicio, fin, &n);
  return n;
}

TEST(Lector, BloqueCortadoALoRecibido) {
  Mensaje m = de("0200020abc");  // claims 20, carries 10
  EXPECT_EQ(cuenta(m, 7, 20), 3);
  EXPECT_EQ(cuenta(m, 7, 9), 2);
  EXPECT_EQ(cuenta(m, 7, 7), 0);
  EXPECT_EQ(cuenta(m, 7, 3), 0);  // L below its header: empty
  EXPECT_EQ(cuenta(m, 12, 99999), 0);
  EXPECT_EQ(cuenta(m, 7, -5), 0);
}

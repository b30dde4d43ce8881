// Unit tests of the library marker replacement of scripts.
#include <gtest/gtest.h>

#include <string>

#include "sql/fsql.h"

namespace {
std::string sustituye(const std::string& texto, const char* marca = "%CURLIB%", const char* valor = "LIB",
                      size_t cap = 256, size_t* largo = nullptr) {
  char buf[256];
  snprintf(buf, sizeof buf, "%s", texto.c_str());
  size_t n = sustituye_texto(marca, valor, buf, cap);
  if (largo) *largo = n;
  return buf;
}
}  // namespace

TEST(SustituyeTexto, UnaVezMayusculasAntesQueMinusculas) {
  EXPECT_EQ(sustituye("select * from %CURLIB%.T1"), "select * from LIB.T1");
  EXPECT_EQ(sustituye("%curlib%.A, %CURLIB%.B"), "%curlib%.A, LIB.B");
  EXPECT_EQ(sustituye("%curlib%.A, %curlib%.B"), "LIB.A, %curlib%.B");
  EXPECT_EQ(sustituye("%Curlib%.A"), "%Curlib%.A");
  EXPECT_EQ(sustituye("x %CURLIB%", "%CURLIB%", "UNA_BIBLIOTECA_LARGA"), "x UNA_BIBLIOTECA_LARGA");
  EXPECT_EQ(sustituye("%CURLIB%%CURLIB%", "%CURLIB%", ""), "%CURLIB%");
}

TEST(SustituyeTexto, CortaALaCapacidad) {
  size_t largo = 0;
  EXPECT_EQ(sustituye("ab%CURLIB%cd", "%CURLIB%", "0123456789", 10, &largo), "ab0123456");
  EXPECT_EQ(largo, 14u);
  EXPECT_EQ(sustituye("ab%CURLIB%cd", "%CURLIB%", "012", 7, &largo), "ab012c");
  EXPECT_EQ(largo, 7u);
  EXPECT_EQ(sustituye("ab", "%CURLIB%", "x", 10, &largo), "ab");
  EXPECT_EQ(largo, 2u);
}

// Unit tests of the bounded text and environment helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "base/texto.h"
#include "portatil.h"

TEST(PonPuntos, AgrupaDeTresEnTres) {
  char r[32];
  const char* casos[][2] = {{"0", "0"},
                            {"123", "123"},
                            {"1234", "1.234"},
                            {"123456", "123.456"},
                            {"1000000", "1.000.000"},
                            {"2147483647", "2.147.483.647"}};
  for (auto& c : casos) {
    pon_puntos(r, c[0]);
    EXPECT_STREQ(r, c[1]) << c[0];
  }
}

TEST(PonPuntos, NoPasaDelDestino) {
  char r[4];
  memset(r, 'x', sizeof r);
  pon_puntos(r, "1234567");
  EXPECT_EQ(strlen(r), 3u);
  EXPECT_STREQ(r, "1.2");
}

TEST(ExtraeCampo, CortaRellenaYQuitaBlancos) {
  char r[32];
  extrae_campo(r, "ABCD      rest", 0, 10, 0);
  EXPECT_STREQ(r, "ABCD");
  extrae_campo(r, "ABCD      rest", 0, 10, 1);
  EXPECT_STREQ(r, "ABCD      ");
  extrae_campo(r, "AB\nCD", 0, 5, 1);
  EXPECT_STREQ(r, "AB   ");
  extrae_campo(r, "X         ", 0, 10, 0);
  EXPECT_STREQ(r, "X");
  extrae_campo(r, "abc", 3, 2, 0);
  EXPECT_STREQ(r, "");
  extrae_campo(r, "abc", 4, 2, 1);
  EXPECT_STREQ(r, "");
  extrae_campo(r, "          ", 0, 10, 0);
  EXPECT_STREQ(r, "");
}

TEST(ExtraeCampo, NoPasaDelDestino) {
  char r[4];
  extrae_campo(r, "ABCDEFGHIJ", 0, 10, 1);
  EXPECT_STREQ(r, "ABC");
}

TEST(QuitaBlancos, SoloEspaciosFinales) {
  char a[] = "   ";
  quita_blancos(a);
  EXPECT_STREQ(a, "");
  char b[] = "a b  ";
  quita_blancos(b);
  EXPECT_STREQ(b, "a b");
  char c[] = "a\t";
  quita_blancos(c);
  EXPECT_STREQ(c, "a\t");
  char d[] = "";
  quita_blancos(d);
  EXPECT_STREQ(d, "");
}

TEST(Mayusculas, SoloLetrasAscii) {
  char a[] = "abc-1\xf1z";
  a_mayusculas(a);
  EXPECT_STREQ(a, "ABC-1\xf1Z");
  a_minusculas(a);
  EXPECT_STREQ(a, "abc-1\xf1z");
}

TEST(LlenaBlancos, AcotadoPorElDestino) {
  char r[5];
  llena_blancos(r, 3);
  EXPECT_STREQ(r, "   ");
  llena_blancos(r, 0);
  EXPECT_STREQ(r, "");
  llena_blancos(r, -2);
  EXPECT_STREQ(r, "");
  llena_blancos(r, 100);
  EXPECT_STREQ(r, "    ");
}

TEST(LeeEntero, ComoAtoiSinDesbordar) {
  EXPECT_EQ(lee_entero("  42abc"), 42);
  EXPECT_EQ(lee_entero("-7"), -7);
  EXPECT_EQ(lee_entero("+7"), 7);
  EXPECT_EQ(lee_entero("abc"), 0);
  EXPECT_EQ(lee_entero(""), 0);
  EXPECT_EQ(lee_entero("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(lee_entero("-99999999999999999999"), INT32_MIN);
  EXPECT_EQ(lee_entero_n("12345", 3), 123);
  EXPECT_EQ(lee_entero_n("  ", 2), 0);
}

TEST(TomaEnv, VaciaYDefinida) {
  char r[16];
  quita_variable("VORTCP_PRUEBA_X");
  EXPECT_TRUE(toma_env(r, "VORTCP_PRUEBA_X"));
  EXPECT_STREQ(r, "");
  pon_variable("VORTCP_PRUEBA_X", "");
  EXPECT_TRUE(toma_env(r, "VORTCP_PRUEBA_X"));
  EXPECT_STREQ(r, "");
  EXPECT_FALSE(env_no_vacia("VORTCP_PRUEBA_X"));
  pon_variable("VORTCP_PRUEBA_X", "12ab");
  EXPECT_TRUE(toma_env(r, "VORTCP_PRUEBA_X"));
  EXPECT_STREQ(r, "12ab");
  EXPECT_EQ(toma_env_entero("VORTCP_PRUEBA_X"), 12);
  // Too long: the caller is told, the message printed, the start kept.
  pon_variable("VORTCP_PRUEBA_X", "0123456789abcdefXYZ");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(toma_env(r, "VORTCP_PRUEBA_X"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Valor demasiado largo en la variable VORTCP_PRUEBA_X\n");
  EXPECT_STREQ(r, "0123456789abcde");
  quita_variable("VORTCP_PRUEBA_X");
}

TEST(CopiaTexto, CortaYTermina) {
  char r[4];
  EXPECT_EQ(copia_texto(r, "abcdef"), 6u);
  EXPECT_STREQ(r, "abc");
  EXPECT_EQ(formatea(r, "%d", 12345), 5);
  EXPECT_STREQ(r, "123");
}

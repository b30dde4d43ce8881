// Unit tests of the local names made from server names: the refusal of names
// that would leave the local tree, and the source type to extension table.
#include <gtest/gtest.h>

#include "transfer/walk/nombres.h"

TEST(ExtensionDeTipo, FilasFijasYResto) {
  const char* casos[][2] = {
      {"RPGL", "ile"},
      {"rpgl", "ile"},
      {"CBL", "cbo"},
      {"cbl", "cbo"},
      {"CPY", "cpy"},
      {"DSPF", "pan"},
      {"dspf", "pan"},
      {"PRTF", "prt"},
      {"CLP", "cl"},
      {"clp", "cl"},
      {"PF", "dds"},
      {"LF", "dds"},
      {"pf", "dds"},
      {"lf", "dds"},
      {"RPG", "rpg"},
      {"CLLE", "clle"},
      {"CMD", "cmd"},
      {"TXT", "txt"},
      {"SQLR", "sqlr"},
      // Mixed case matches no row: its own lower-case form.
      {"Dspf", "dspf"},
      {"Rpgl", "rpgl"},
      {"Pf", "pf"},
      {"", ""},
  };
  for (auto& c : casos) {
    char ext[8];
    extension_de_tipo(c[0], ext);
    EXPECT_STREQ(ext, c[1]) << "tipo [" << c[0] << "]";
  }
}

TEST(NombreValido, RechazaLoQueSaldriaDelArbol) {
  for (const char* malo : {".", "..", "A/B", "/", "A\\B", "C:", "AB\x01", "\x1f", "A\tB", "../X"}) {
    EXPECT_FALSE(nombre_valido(malo)) << malo;
  }
  for (const char* bueno : {"", "LIB1", "QGPL", "A.B", "...", "#LIB", "MI$ARCH", "A B", "\xC7"}) {
    EXPECT_TRUE(nombre_valido(bueno)) << bueno;
  }
}

TEST(NombreValido, PrimerNombreRechazado) {
  EXPECT_EQ(primer_nombre_no_valido("LIB", "SRC", "MBR", "RPGL"), nullptr);
  EXPECT_EQ(primer_nombre_no_valido("LIB", "", "", ""), nullptr);
  EXPECT_EQ(primer_nombre_no_valido("LIB", "SRC", nullptr, nullptr), nullptr);
  const char* vacia = "";
  EXPECT_EQ(primer_nombre_no_valido(vacia, "SRC", "MBR", "RPGL"), vacia);
  const char* puntos = "..";
  EXPECT_EQ(primer_nombre_no_valido("LIB", puntos, "MBR", "RPGL"), puntos);
  const char* barra = "A/B";
  EXPECT_EQ(primer_nombre_no_valido("LIB", "SRC", barra, "RPGL"), barra);
  const char* tipo = "../";
  EXPECT_EQ(primer_nombre_no_valido("LIB", "SRC", "MBR", tipo), tipo);
}

// The catalogue's rows as the plan takes them: names, types, sizes and the
// two forms of a time stamp; rows that are not the catalogue's are refused.
#include <gtest/gtest.h>

#include <cstring>

#include "sql/catalogo.h"

namespace {

ValorFila valor(const char* texto) {
  return ValorFila{texto, (long)strlen(texto), (long)strlen(texto)};
}

TEST(Catalogo, SentenciasConYSinArchivo) {
  char s[1024];
  sentencia_objetos(s, sizeof s, "DEMO      ", "          ");
  EXPECT_STREQ(
      s,
      "SELECT OBJNAME, OBJTYPE, OBJSIZE FROM TABLE(QSYS2.OBJECT_STATISTICS('DEMO', '*FILE *MSGF')) X "
      "ORDER BY OBJNAME");
  sentencia_miembros(s, sizeof s, "DEMO      ", "QRPGLESRC ");
  EXPECT_STREQ(
      s,
      "SELECT SYSTEM_TABLE_NAME, SYSTEM_TABLE_MEMBER, SOURCE_TYPE, DATA_SIZE, LAST_CHANGE_TIMESTAMP FROM "
      "QSYS2.SYSPARTITIONSTAT WHERE SYSTEM_TABLE_SCHEMA = 'DEMO' AND SYSTEM_TABLE_NAME = 'QRPGLESRC' "
      "ORDER BY 1, 2");
  // A quote in a name cannot end the literal.
  sentencia_objetos(s, sizeof s, "A'B", "");
  EXPECT_NE(strstr(s, "OBJECT_STATISTICS('A''B', "), nullptr);
}

TEST(Catalogo, FilasDeObjetosYDeMiembros) {
  ArchivoCatalogo a;
  ValorFila f[] = {valor("QRPGLESRC "), valor("*FILE     "), valor("  524288")};
  ASSERT_TRUE(fila_de_objeto(f, &a));
  EXPECT_STREQ(a.nombre, "QRPGLESRC");
  EXPECT_EQ(a.tamano, 524288);
  ValorFila m[] = {valor("MENSAJES"), valor("*MSGF"), valor("")};
  ASSERT_TRUE(fila_de_objeto(m, &a));
  EXPECT_EQ(a.clase, ClaseArchivo::mensajes);
  EXPECT_EQ(a.tamano, 0);
  ValorFila malos[][3] = {{valor("NOMBREDEONCE"), valor("*FILE"), valor("1")},
                          {valor(""), valor("*FILE"), valor("1")},
                          {valor("X"), valor("*PGM"), valor("1")},
                          {valor("X"), valor("*FILE"), valor("-1")}};
  for (auto& fila : malos) EXPECT_FALSE(fila_de_objeto(fila, &a));

  char archivo[TAM_NOMBRE_CATALOGO];
  MiembroCatalogo x;
  ValorFila db2[] = {valor("QRPGLESRC"), valor("FACTURA"), valor("RPGLE"), valor("1200"),
                     valor("2026-12-09-14.05.33.123456")};
  ASSERT_TRUE(fila_de_miembro(db2, archivo, &x));
  EXPECT_STREQ(archivo, "QRPGLESRC");
  EXPECT_STREQ(x.tipo, "RPGLE");
  EXPECT_STREQ(x.fecha, "20261209");
  EXPECT_STREQ(x.hora, "140533");
  ValorFila iso[] = {valor("VENTAS"), valor("V2024"), valor(""), valor("90"), valor("2024-01-31 23:59:59")};
  ASSERT_TRUE(fila_de_miembro(iso, archivo, &x));
  EXPECT_STREQ(x.tipo, "");
  EXPECT_STREQ(x.fecha, "20240131");
  EXPECT_STREQ(x.hora, "235959");
  ValorFila torcida[] = {valor("VENTAS"), valor("V2024"), valor(""), valor("90"),
                         valor("2024-01-31T23:59:59")};
  EXPECT_FALSE(fila_de_miembro(torcida, archivo, &x));
}

}  // namespace

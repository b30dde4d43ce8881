// Unit tests of the backup loader's pure pieces: the table name of a file, the
// record reader (field count of the first record, records spanning lines,
// surplus separators, CR LF, NUL, end of file, overlong records), the row
// encoding and the layout of message 05.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sql/backup.h"

namespace {

struct Registro {
  std::string texto;
  int separadores;
};

// Every record of `contenido` as the loader reads them: up to the first
// empty record, the end of the file or an overlong record (-1 in `largo`).
std::vector<Registro> registros(const std::string& contenido, int* largo_final = nullptr) {
  FILE* f = tmpfile();
  fwrite(contenido.data(), 1, contenido.size(), f);
  rewind(f);
  LectorBackup l;
  l.f = f;
  std::vector<Registro> v;
  static char buf[MAX_REGISTRO + 1];
  int seps = 0;
  int n;
  for (;;) {
    n = lee_registro(l, buf, &seps);
    if (n <= 0) break;
    v.push_back({buf, seps});
    if (l.fin) break;
  }
  if (largo_final) *largo_final = n;
  fclose(f);
  return v;
}

std::vector<std::string> textos(const std::vector<Registro>& v) {
  std::vector<std::string> t;
  for (auto& r : v) t.push_back(r.texto);
  return t;
}

std::string fila(const std::string& registro) {
  char buf[MAX_REGISTRO + 64];
  int n = codifica_fila(registro.c_str(), buf, sizeof buf);
  return n < 0 ? "<no cabe>" : std::string(buf, (size_t)n);
}

}  // namespace

TEST(TablaDeFichero, NombreTrasElUltimoSeparador) {
  char t[MAX_TABLA + 1];
  tabla_de_fichero("CLIENTES.2011.dat", t, sizeof t);
  EXPECT_STREQ(t, "CLIENTES");
  tabla_de_fichero("c:\\datos\\T1.dat", t, sizeof t);
  EXPECT_STREQ(t, "T1");
  tabla_de_fichero("dir/sub\\mix/T2.x", t, sizeof t);
  EXPECT_STREQ(t, "T2");
  tabla_de_fichero("sinpunto", t, sizeof t);
  EXPECT_STREQ(t, "sinpunto");
  tabla_de_fichero("dir/.oculto", t, sizeof t);
  EXPECT_STREQ(t, "");
  tabla_de_fichero("dir/", t, sizeof t);
  EXPECT_STREQ(t, "");
  std::string largo(MAX_TABLA, 'T');
  tabla_de_fichero((largo + ".dat").c_str(), t, sizeof t);
  EXPECT_EQ(std::string(t), largo);
  tabla_de_fichero((largo + "T.dat").c_str(), t, sizeof t);
  EXPECT_STREQ(t, "");
}

TEST(LeeRegistro, LineasYCampos) {
  // The first record fixes three fields; a later record spans lines until it
  // holds them, and empty lines between records disappear.
  auto v = registros("1~A~B\r\n2~C\n~D\n\n\n3~E~F\n");
  EXPECT_EQ(textos(v), (std::vector<std::string>{"1~A~B", "2~C~D", "3~E~F"}));
  EXPECT_EQ(v[1].separadores, 2);
  // A last record without a line end, and a single record without one.
  EXPECT_EQ(textos(registros("1~A\n2~B")), (std::vector<std::string>{"1~A", "2~B"}));
  EXPECT_EQ(textos(registros("1~A")), (std::vector<std::string>{"1~A"}));
  EXPECT_TRUE(registros("").empty());
  // Empty lines are skipped wherever they are: before the first record, and
  // between records of one field.
  EXPECT_EQ(textos(registros("\r\n\n1~A~B\n2~C~D\n")), (std::vector<std::string>{"1~A~B", "2~C~D"}));
  EXPECT_EQ(textos(registros("a\nb\n\nc\n")), (std::vector<std::string>{"a", "b", "c"}));
  // One 0x1A at the very end is the end of the file; anywhere else it is data.
  EXPECT_EQ(textos(registros("1~A\n2~B\n\x1a")), (std::vector<std::string>{"1~A", "2~B"}));
  EXPECT_EQ(textos(registros("1~A\n2~B\x1a")), (std::vector<std::string>{"1~A", "2~B"}));
  EXPECT_EQ(textos(registros("1~A\n2~\x1a\x1a\n")), (std::vector<std::string>{"1~A", "2~\x1a\x1a"}));
}

TEST(LeeRegistro, SeparadorDeMasYRetornos) {
  // A surplus separator ends the record; the byte after it is dropped.
  auto v = registros("1~A\n2~B~Xrest\n");
  EXPECT_EQ(textos(v), (std::vector<std::string>{"1~A", "2~B~", "rest"}));
  EXPECT_EQ(v[1].separadores, 2);
  // A lone CR ends a line without eating the next record's first byte.
  EXPECT_EQ(textos(registros("1~A\r2~B\r3~C")), (std::vector<std::string>{"1~A", "2~B", "3~C"}));
}

TEST(LeeRegistro, RegistroDemasiadoLargo) {
  int largo = 0;
  std::string justo(MAX_REGISTRO, 'x');
  EXPECT_EQ(registros(justo + "\n", &largo).size(), 1u);
  auto v = registros("1~A\n" + std::string(MAX_REGISTRO - 1, 'y') + "~z\n3~C\n", &largo);
  EXPECT_EQ(v.size(), 1u);
  EXPECT_EQ(largo, -1);
}

TEST(CodificaFila, CamposTrasElPrimero) {
  const std::string M = "\xAE";
  EXPECT_EQ(fila("1~A~B"), M + "A" + M + "B" + M);
  // Trailing blanks go, leading blanks stay; a final separator gives an
  // empty field; no separator gives the single byte 0xAE.
  EXPECT_EQ(fila("1~  x  ~"), M + "  x" + M + M);
  EXPECT_EQ(fila("solo"), M);
  EXPECT_EQ(fila("1~~"), M + M + M);
  char poco[3];
  EXPECT_EQ(codifica_fila("1~AB", poco, sizeof poco), -1);
}

TEST(Mensaje05, Cabecera) {
  char m[128];
  const std::string lote =
      "\xAE"
      "A\xAE"
      "BC\xAE";
  int n = construye_mensaje_05(m, sizeof m, "T1", 1, 2, lote.data(), (int)lote.size());
  // The length field is 4 more than the message: 38 for 34 characters.
  ASSERT_EQ(n, 34);
  EXPECT_EQ(std::string(m, 26 + 2), std::string("05001001   38  2T1    1    2"));
  EXPECT_EQ(std::string(m + 28, 6), lote);
  EXPECT_EQ(construye_mensaje_05(m, 30, "T1", 1, 2, lote.data(), (int)lote.size()), -1);
}

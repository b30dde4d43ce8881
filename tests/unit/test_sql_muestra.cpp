// Unit tests of the result display: descriptor parsing, row layout onto a
// FILE*, and the stop at the end of the received payload.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/contexto.h"
#include "sql/muestra.h"

namespace {

// Everything written to a temporary FILE* by f.
template <typename F>
std::string captura(F f) {
  FILE* t = tmpfile();
  f(t);
  fflush(t);
  std::string s;
  rewind(t);
  int c;
  while ((c = getc(t)) != EOF) s.push_back((char)c);
  fclose(t);
  return s;
}

// A 02 reply carrying the descriptor block `bloque`; `resto` follows it.
std::string respuesta_02(const std::string& bloque, const std::string& resto = "") {
  char d[8];
  snprintf(d, sizeof d, "%5d", (int)bloque.size());
  return "02001001" + std::string("00000") + "   " + d + bloque + resto;
}

AreaCursor area_de(std::initializer_list<int> anchos) {
  AreaCursor a{};
  a.ultima_columna = -1;
  for (int w : anchos) a.columnas[++a.ultima_columna].ancho = w;
  return a;
}

std::string filas(const std::string& datos, int n, const AreaCursor& a, char delim, int delimb,
                  int* escritas = nullptr) {
  Mensaje r = respuesta_de(datos.data(), (int)datos.size());
  return captura([&](FILE* f) {
    int k = muestra_filas(f, r, 0, n, a, FormaTabla{delim, delimb, false, false});
    if (escritas) *escritas = k;
  });
}

const std::string AF = "\xAF";

}  // namespace

TEST(MuestraFilas, AnchosSignoYDelimitadores) {
  AreaCursor a = area_de({3, 2});
  std::string fila = "AB" + AF + "-5" + AF;
  // A leading "-" widens the value by one; the default layout puts "| "
  // before the row and " | " after every value.
  EXPECT_EQ(filas(fila, 1, a, '|', 1), "| AB  | -5  | \n");
  EXPECT_EQ(filas(fila, 1, a, '~', 0), "AB ~-5 ~\n");
  // Two rows line up; a value that fills its width still has its 0xAF
  // skipped, and an empty value (NULL) is all blanks.
  std::string dos = "ABC" + AF + AF + "X" + AF + "12" + AF;
  EXPECT_EQ(filas(dos, 2, a, '|', 1), "| ABC |    | \n| X   | 12 | \n");
  EXPECT_EQ(filas("-123" + AF + "-1" + AF, 1, a, ';', 0), "-123;-1 ;\n");
}

TEST(MuestraFilas, SoloFilasQueCabenEnLoRecibido) {
  AreaCursor a = area_de({2, 2});
  int escritas = 0;
  // Ten rows announced, one and a half received: the cut row is not shown.
  std::string datos = "A" + AF + "B" + AF + "C" + AF;
  EXPECT_EQ(filas(datos, 10, a, '~', 0, &escritas), "A ~B ~\n");
  EXPECT_EQ(escritas, 1);
  // A last value that fills its width ends at the payload's end without its
  // 0xAF; one short of its width there is cut.
  EXPECT_EQ(filas("A" + AF + "BC", 2, a, '~', 0, &escritas), "A ~BC~\n");
  EXPECT_EQ(filas("A" + AF + "B", 2, a, '~', 0, &escritas), "");
  EXPECT_EQ(filas("", 5, a, '~', 0, &escritas), "");
  EXPECT_EQ(escritas, 0);
  // Rows that take no byte of the payload (no columns, or empty values of
  // width 0 without their 0xAF) are not rows at all, however many are
  // announced.
  EXPECT_EQ(filas("ab", 99999, area_de({}), '|', 1, &escritas), "");
  EXPECT_EQ(filas("ab", 99999, area_de({0}), '|', 1, &escritas), "");
  EXPECT_EQ(filas(AF + AF + "ab", 99999, area_de({0}), '|', 1, &escritas), "|  | \n|  | \n");
}

TEST(MuestraFilas, ValorSinFinalSigueEnElSiguiente) {
  // A value longer than its width runs into the next column, as received.
  AreaCursor a = area_de({2, 3});
  EXPECT_EQ(filas("ABCD" + AF, 1, a, '~', 0), "AB~CD ~\n");
}

TEST(LeeColumnas, NombresNumerosYLineasDict) {
  std::string r02 = respuesta_02("nombre-1-10-0!Id-2-3-4!");
  Mensaje r = respuesta_de(r02.data(), (int)r02.size());
  AreaCursor a{};
  std::string s = captura([&](FILE* f) { EXPECT_EQ(lee_columnas(r, a, 1, 1, f), 2); });
  EXPECT_EQ(a.ultima_columna, 1);
  EXPECT_STREQ(a.columnas[0].nombre, "NOMBRE");
  EXPECT_EQ(a.columnas[0].numero1, 1);
  EXPECT_EQ(a.columnas[0].ancho, 10);
  EXPECT_EQ(a.columnas[1].numero3, 4);
  // dict 1 and test 1: each line twice.
  EXPECT_EQ(s, "\t(0)  NOMBRE  1  10  0\n\t(0)  NOMBRE  1  10  0\n\t(1)  ID  2  3  4\n\t(1)  ID  2  3  4\n");
  s = captura([&](FILE* f) { lee_columnas(r, a, 0, 2, f); });
  EXPECT_EQ(s, "");
}

TEST(LeeColumnas, LimitesDelBloqueYDeLoRecibido) {
  // No columns.
  std::string vacia = respuesta_02("");
  Mensaje r = respuesta_de(vacia.data(), (int)vacia.size());
  AreaCursor a{};
  EXPECT_EQ(lee_columnas(r, a, 0, 0, stdout), 0);
  EXPECT_EQ(a.ultima_columna, -1);

  // D claims more than was received: the parse stops at the end.
  std::string corta = "02001001" + std::string("00000") + "   " + "99999" + "A-1-5-0!B-1-";
  r = respuesta_de(corta.data(), (int)corta.size());
  EXPECT_EQ(lee_columnas(r, a, 0, 0, stdout), 2);
  EXPECT_STREQ(a.columnas[1].nombre, "B");
  EXPECT_EQ(a.columnas[1].ancho, 0);

  // Long names are cut; widths are kept as given, and one above the widest
  // column of the database marks the reply as a lying one.
  std::string largo(300, 'n');
  std::string r02 = respuesta_02(largo + "-1-32766-0!B-1-32767-0!C-1-999999-0!");
  r = respuesta_de(r02.data(), (int)r02.size());
  EXPECT_EQ(lee_columnas(r, a, 0, 0, stdout), 3);
  EXPECT_EQ(std::string(a.columnas[0].nombre), std::string(MAX_NOMBRE_COLUMNA, 'N'));
  EXPECT_EQ(a.columnas[0].ancho, MAX_ANCHO_COLUMNA);
  EXPECT_EQ(ancho_no_valido(a), 32767);
  a.ultima_columna = 0;
  EXPECT_EQ(ancho_no_valido(a), 0);
}

TEST(LeeColumnas, MasDeCientoCincuenta) {
  std::string bloque;
  for (int i = 0; i < MAX_COLUMNAS + 1; i++) bloque += "C-1-1-0!";
  std::string r02 = respuesta_02(bloque);
  Mensaje r = respuesta_de(r02.data(), (int)r02.size());
  AreaCursor a{};
  EXPECT_EQ(lee_columnas(r, a, 0, 0, stdout), MAX_COLUMNAS + 1);
  EXPECT_EQ(a.ultima_columna, -1);
}

TEST(MuestraFilas, CabeceraEnsanchaLasColumnasAlNombre) {
  AreaCursor a = area_de({3, 1});
  snprintf(a.columnas[0].nombre, sizeof a.columnas[0].nombre, "A");
  snprintf(a.columnas[1].nombre, sizeof a.columnas[1].nombre, "NUM");
  FormaTabla forma{'|', 1, true, false};
  EXPECT_EQ(captura([&](FILE* f) { escribe_cabecera(f, a, forma); }), "| A   | NUM | \n-------------\n");
  std::string fila = "xy" + AF + "-5" + AF;
  Mensaje r = respuesta_de(fila.data(), (int)fila.size());
  // The rows take the width of the names over them, a "-" included.
  EXPECT_EQ(captura([&](FILE* f) { muestra_filas(f, r, 0, 1, a, forma); }), "| xy  | -5  | \n");
  EXPECT_EQ(ancho_de_fila(a, forma), 14);
  forma = FormaTabla{'~', 0, true, false};
  EXPECT_EQ(captura([&](FILE* f) { escribe_cabecera(f, a, forma); }), "A  ~NUM~\n--------\n");
}

TEST(MuestraFilas, UnaLineaPorColumnaNumeradaEntreBloques) {
  AreaCursor a = area_de({5, 2});
  snprintf(a.columnas[0].nombre, sizeof a.columnas[0].nombre, "NOMBRE");
  snprintf(a.columnas[1].nombre, sizeof a.columnas[1].nombre, "N");
  std::string datos = "Ana  " + AF + "1" + AF + "Luis " + AF + "22" + AF;
  Mensaje r = respuesta_de(datos.data(), (int)datos.size());
  int numero = 7;
  std::string s = captura([&](FILE* f) {
    EXPECT_EQ(muestra_filas_verticales(f, r, 0, 2, a, FormaTabla{'|', 1, false, true}, &numero), 2);
  });
  // Values lose their padding; the rule reaches the longest line of the row.
  EXPECT_EQ(s, "-[ FILA 8 ]-\nNOMBRE | Ana\nN      | 1\n-[ FILA 9 ]--\nNOMBRE | Luis\nN      | 22\n");
  EXPECT_EQ(numero, 9);
}

TEST(TablaLocal, ColumnasTanAnchasComoSuValorMasLargo) {
  std::string s = captura([&](FILE* f) {
    escribe_tabla_local(f, {"COLUMNA", "TIPO"}, {{"ID", "INTEGER"}, {"DESCRIPCION", "CHAR(8)"}},
                        FormaTabla{'|', 1, true, false});
  });
  EXPECT_EQ(s,
            "| COLUMNA     | TIPO    | \n"
            "-------------------------\n"
            "| ID          | INTEGER | \n"
            "| DESCRIPCION | CHAR(8) | \n");
}

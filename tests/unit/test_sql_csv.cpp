// Unit tests of the CSV writer: the quoting of one field, and rows read from
// a reply as the table display reads them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sql/csv.h"

namespace {

std::string campo(const std::string& valor, size_t cap = 256) {
  char destino[256];
  size_t k = campo_csv(valor.data(), valor.size(), destino, cap);
  EXPECT_EQ(k, std::string(destino).size());
  return std::string(destino, k);
}

std::string filas_csv(const std::string& datos, int n, const AreaCursor& a, int* escritas) {
  Mensaje r = respuesta_de(datos.data(), (int)datos.size());
  FILE* t = tmpfile();
  *escritas = muestra_filas_csv(t, r, 0, n, a);
  std::string s;
  rewind(t);
  int c;
  while ((c = getc(t)) != EOF) s.push_back((char)c);
  fclose(t);
  return s;
}

const std::string AF = "\xAF";

}  // namespace

TEST(CampoCsv, ComillasSoloCuandoHacenFalta) {
  EXPECT_EQ(campo("ABC"), "ABC");
  // Fixed-width padding goes; leading blanks and inner ones stay.
  EXPECT_EQ(campo("  A B   "), "  A B");
  // An empty value and one of blanks only: an empty unquoted field (NULL).
  EXPECT_EQ(campo(""), "");
  EXPECT_EQ(campo("    "), "");
  EXPECT_EQ(campo("uno, dos"), "\"uno, dos\"");
  EXPECT_EQ(campo("di \"no\" "), "\"di \"\"no\"\"\"");
  EXPECT_EQ(campo("\""), "\"\"\"\"");
  EXPECT_EQ(campo("a\nb"), "\"a\nb\"");
  EXPECT_EQ(campo("a\rb"), "\"a\rb\"");
  // Other bytes, ';' and tabs included, are no reason to quote.
  EXPECT_EQ(campo("a;b\tc\xF1"), "a;b\tc\xF1");
}

TEST(CampoCsv, NuncaPasaDeLaCapacidad) {
  EXPECT_EQ(campo("\"\"\"", 5), "\"\"\"\"");
  EXPECT_EQ(campo("ABCDEF", 4), "ABC");
  char uno[1] = {'x'};
  EXPECT_EQ(campo_csv("AB", 2, uno, 1), 0u);
  EXPECT_EQ(uno[0], '\0');
}

TEST(FilasCsv, ValoresComoEnLaTablaYParadaAlFinal) {
  AreaCursor a{};
  a.ultima_columna = 2;
  a.columnas[0].ancho = 3;
  a.columnas[1].ancho = 3;
  a.columnas[2].ancho = 4;
  int escritas = 0;
  // A leading "-" widens the value by one; a value that fills its width
  // still has its 0xAF skipped; an empty value is NULL.
  std::string datos = "AB " + AF + "-12" + AF + AF + "ABC" + AF + "x,y" + AF + "Z" + AF;
  EXPECT_EQ(filas_csv(datos, 2, a, &escritas), "AB,-12,\nABC,\"x,y\",Z\n");
  EXPECT_EQ(escritas, 2);
  // Five rows announced, one and a bit received: the cut row is not written,
  // as the table does not show it (its missing values are not NULLs).
  EXPECT_EQ(filas_csv("A" + AF + "B" + AF + "C" + AF + "D", 5, a, &escritas), "A,B,C\n");
  EXPECT_EQ(escritas, 1);
  EXPECT_EQ(filas_csv("A" + AF + "B" + AF + "C" + AF + "D" + AF + "E" + AF + "F", 5, a, &escritas),
            "A,B,C\n");
  // Rows that take no byte of the payload are no rows, however many.
  EXPECT_EQ(filas_csv("ab", 99999, AreaCursor{}, &escritas), "");
  EXPECT_EQ(escritas, 0);
}

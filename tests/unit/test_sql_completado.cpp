// Unit tests of what Tab completes in a statement: tables after the words
// that tables follow, columns of the tables the line names (aliases and
// qualifiers included), nothing for the first word; and the type of a column
// as \d shows it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/barra.h"
#include "sql/completado.h"

namespace {

// The context at the "|" of the text (the cursor), which is taken out.
ContextoNombre en(const std::string& con_cursor) {
  size_t cursor = con_cursor.find('|');
  std::string linea = con_cursor.substr(0, cursor) + con_cursor.substr(cursor + 1);
  return contexto_de_nombre(linea.data(), linea.size(), cursor);
}

using V = std::vector<std::string>;

}  // namespace

TEST(ContextoNombre, TablasTrasSusPalabras) {
  for (const char* linea :
       {"SELECT * FROM CLI|", "select * from |", "SELECT * FROM A JOIN B|", "INSERT INTO T|", "UPDATE |",
        "LOCK TABLE X|", "\\d ART|", "SELECT * FROM A, B|", "SELECT * FROM A X, B Y, |"}) {
    ContextoNombre c = en(linea);
    EXPECT_EQ(c.clase, ClaseNombre::tabla) << linea;
    EXPECT_EQ(c.biblioteca, "") << linea;
  }
  ContextoNombre c = en("SELECT * FROM demo.CLI|");
  EXPECT_EQ(c.clase, ClaseNombre::tabla);
  EXPECT_EQ(c.biblioteca, "DEMO");
  // The comma of a column list is no table list.
  EXPECT_EQ(en("SELECT A, |FROM T").clase, ClaseNombre::columna);
}

TEST(ContextoNombre, ColumnasDeLasTablasDeLaLinea) {
  // The tables may come after the cursor; a literal holds no names.
  ContextoNombre c =
      en("SELECT NOM| FROM CLIENTES C JOIN hist.PEDIDOS AS P ON P.ID = C.ID WHERE X = 'FROM Y'");
  EXPECT_EQ(c.clase, ClaseNombre::columna);
  EXPECT_EQ(c.tablas, (V{"CLIENTES", "HIST.PEDIDOS"}));
  // A qualifier: an alias, or a table's own name.
  EXPECT_EQ(en("SELECT P.| FROM CLIENTES C JOIN HIST.PEDIDOS P").tablas, (V{"HIST.PEDIDOS"}));
  EXPECT_EQ(en("SELECT CLIENTES.NO| FROM CLIENTES, PEDIDOS").tablas, (V{"CLIENTES"}));
  EXPECT_EQ(en("UPDATE T1 SET C|").tablas, (V{"T1"}));
  // Nothing: a qualifier that names no table of the line, a line without
  // tables, and the first word (the console's own words).
  EXPECT_EQ(en("SELECT Z.| FROM CLIENTES").clase, ClaseNombre::ninguna);
  EXPECT_EQ(en("SELECT A|").clase, ClaseNombre::ninguna);
  EXPECT_EQ(en("SEL| FROM T").clase, ClaseNombre::ninguna);
}

TEST(TipoDeColumna, LargoYEscalaDondeLosHay) {
  EXPECT_EQ(tipo_de_columna("DECIMAL", "9", "2"), "DECIMAL(9,2)");
  EXPECT_EQ(tipo_de_columna("NUMERIC", "5", ""), "NUMERIC(5,0)");
  EXPECT_EQ(tipo_de_columna("CHAR", "8", ""), "CHAR(8)");
  EXPECT_EQ(tipo_de_columna("VARCHAR", "50", ""), "VARCHAR(50)");
  EXPECT_EQ(tipo_de_columna("INTEGER", "4", "0"), "INTEGER");
  EXPECT_EQ(tipo_de_columna("TIMESTMP", "26", "6"), "TIMESTMP");
}

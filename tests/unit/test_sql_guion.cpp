// Unit tests of the console as a command: how a script in the form SQL users
// write splits into statements and commands, the library marker, and the
// policy that decides how each kind of console ends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/contexto.h"
#include "base/fin.h"
#include "sql/guion.h"
#include "sql/resultado.h"

namespace {

// The pieces a script makes, each as "S:text" (a statement) or "O:text" (a
// command line).
std::vector<std::string> piezas(const std::vector<std::string>& lineas) {
  LectorGuion l;
  std::vector<std::string> out;
  auto anota = [&](PiezaGuion p) {
    if (p == PiezaGuion::sentencia) out.push_back("S:" + std::string(l.texto()));
    if (p == PiezaGuion::orden) out.push_back("O:" + std::string(l.texto()));
  };
  for (const std::string& linea : lineas) anota(l.toma(linea.data(), linea.size()));
  anota(l.termina());
  return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(LectorGuion, SentenciasDeVariasLineasYComentarios) {
  EXPECT_EQ(piezas({"-- informe", "SELECT NOMBRE", "  FROM CLIENTES   -- todos", "",
                    "\tWHERE A = 1 ;  -- fin", "UPDATE T SET N = 1; -- fin", "UPDATE T SET N = 2;"}),
            (V{"S:SELECT NOMBRE FROM CLIENTES WHERE A = 1", "S:UPDATE T SET N = 1", "S:UPDATE T SET N = 2"}));
  // A comment line inside a statement is dropped, wherever it is indented.
  EXPECT_EQ(piezas({"UPDATE T SET N = 1", "  -- solo los activos", " WHERE A = 1;"}),
            (V{"S:UPDATE T SET N = 1 WHERE A = 1"}));
  // The last statement needs no ";"; a lone ";" is nothing.
  EXPECT_EQ(piezas({";", "SELECT 1", "FROM T"}), (V{"S:SELECT 1 FROM T"}));
  // A ";" that does not end the line does not end the statement.
  EXPECT_EQ(piezas({"UPDATE A SET X = 1; UPDATE B SET Y = 2;"}),
            (V{"S:UPDATE A SET X = 1; UPDATE B SET Y = 2"}));
}

TEST(LectorGuion, ComillasGuardanPuntoYComaYGuiones) {
  EXPECT_EQ(piezas({"INSERT INTO T VALUES ('a; -- b', \"x--y\");"}),
            (V{"S:INSERT INTO T VALUES ('a; -- b', \"x--y\")"}));
  // A literal that ends its line goes on, blanks and all, on the next one.
  EXPECT_EQ(piezas({"INSERT INTO T VALUES ('uno;  ", "  dos -- tres');"}),
            (V{"S:INSERT INTO T VALUES ('uno;     dos -- tres')"}));
  // A doubled quote stays inside the literal.
  EXPECT_EQ(piezas({"SELECT 'it''s;' FROM T;", "SELECT 2"}), (V{"S:SELECT 'it''s;' FROM T", "S:SELECT 2"}));
}

TEST(LectorGuion, OrdenesSoloFueraDeUnaSentencia) {
  EXPECT_EQ(piezas({"  output res.txt", "set WWW_CURLIB=PRUEBAS", "SET SCHEMA DEMO;", "set PATH = X;",
                    "\\dt DEMO", "loadsql T1.dat", "Quit"}),
            (V{"O:output res.txt", "O:set WWW_CURLIB=PRUEBAS", "S:SET SCHEMA DEMO", "S:set PATH = X",
               "O:\\dt DEMO", "O:loadsql T1.dat", "O:Quit"}));
  // Inside a statement the same words are part of it.
  EXPECT_EQ(piezas({"SELECT *", "output", "FROM T;"}), (V{"S:SELECT * output FROM T"}));
  // Only the whole word: OUTPUTX is a statement.
  EXPECT_TRUE(es_orden_de_guion("cmd DSPJOB"));
  EXPECT_FALSE(es_orden_de_guion("outputx.txt"));
  EXPECT_FALSE(es_orden_de_guion("set =1"));
  EXPECT_FALSE(es_orden_de_guion("set"));
}

TEST(LectorGuion, SentenciaMasLargaQueElBuferSeCuentaEntera) {
  LectorGuion l;
  std::string linea(20000, 'x');
  EXPECT_EQ(l.toma(linea.data(), linea.size()), PiezaGuion::nada);
  EXPECT_EQ(l.toma(linea.data(), linea.size()), PiezaGuion::nada);
  EXPECT_EQ(l.toma(";", 1), PiezaGuion::sentencia);
  EXPECT_EQ(l.largo(), 40001u);
  EXPECT_EQ(std::string(l.texto()).size(), (size_t)TAM_TRAMA);
}

TEST(SustituyeTodas, CadaMarcaEnCualquierCaja) {
  char texto[128] = "INSERT INTO %CURLIB%.A SELECT * FROM %curlib%.B, %CurLib%.C";
  const char* esperado = "INSERT INTO DEMO.A SELECT * FROM DEMO.B, DEMO.C";
  EXPECT_EQ(sustituye_todas("DEMO", texto, sizeof texto), strlen(esperado));
  EXPECT_STREQ(texto, esperado);
  // A value that holds the marker is not replaced again.
  char otro[64] = "%CURLIB%%CURLIB%";
  sustituye_todas("%CURLIB%", otro, sizeof otro);
  EXPECT_STREQ(otro, "%CURLIB%%CURLIB%");
  char corto[12] = "%CURLIB%.T";
  EXPECT_EQ(sustituye_todas("BIBLIOTECA", corto, sizeof corto), 12u);
  EXPECT_STREQ(corto, "BIBLIOTECA.");
}

TEST(Politica, TuberiaComoSiempre) {
  for (Resultado r : {Resultado::hecho, Resultado::fallo_sentencia, Resultado::fallo_local}) {
    Politica p(ModoConsola::tuberia, false);
    EXPECT_TRUE(p.sigue(r));
  }
  for (Resultado r : {Resultado::fin, Resultado::carga_rechazada, Resultado::fallo_grave}) {
    Politica p(ModoConsola::tuberia, false);
    EXPECT_FALSE(p.sigue(r));
    EXPECT_EQ(p.estado(), SALIDA_ERROR);
  }
}

TEST(Politica, LoteParaEnElPrimerFalloSalvoConSigue) {
  Politica p(ModoConsola::lote, false);
  EXPECT_TRUE(p.sigue(Resultado::hecho));
  EXPECT_EQ(p.estado(), SALIDA_BIEN);
  EXPECT_FALSE(p.sigue(Resultado::fallo_sentencia));
  EXPECT_EQ(p.estado(), SALIDA_SENTENCIA);

  Politica local(ModoConsola::lote, false);
  EXPECT_FALSE(local.sigue(Resultado::fallo_local));
  EXPECT_EQ(local.estado(), SALIDA_ERROR);

  // --sigue: everything runs, and the first failure is the status, quit too.
  Politica sigue(ModoConsola::lote, true);
  EXPECT_TRUE(sigue.sigue(Resultado::carga_rechazada));
  EXPECT_TRUE(sigue.sigue(Resultado::fallo_grave));
  EXPECT_TRUE(sigue.sigue(Resultado::hecho));
  EXPECT_FALSE(sigue.sigue(Resultado::fin));
  EXPECT_EQ(sigue.estado(), SALIDA_SENTENCIA);

  Politica fin(ModoConsola::lote, false);
  EXPECT_FALSE(fin.sigue(Resultado::fin));
  EXPECT_EQ(fin.estado(), SALIDA_BIEN);
}

TEST(Politica, TerminalSoloTerminaConQuitOKill) {
  Politica p(ModoConsola::terminal, false);
  for (Resultado r : {Resultado::hecho, Resultado::fallo_sentencia, Resultado::carga_rechazada,
                      Resultado::fallo_local, Resultado::fallo_grave})
    EXPECT_TRUE(p.sigue(r));
  EXPECT_FALSE(p.sigue(Resultado::fin));
  EXPECT_EQ(p.estado(), SALIDA_ERROR);
}

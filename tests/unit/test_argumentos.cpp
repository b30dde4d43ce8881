// Unit tests of the command line: keywords and codes, positional names and
// options, padding and case, and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/argumentos.h"
#include "base/contexto.h"

namespace {

ResultadoArgumentos analiza(std::vector<std::string> args) {
  // The arguments outlive the analysis, as argv does: ctx keeps pointers into
  // them.
  static std::vector<std::string> guardados;
  guardados = std::move(args);
  guardados.insert(guardados.begin(), "vortcp");
  std::vector<const char*> argv;
  for (auto& a : guardados) argv.push_back(a.c_str());
  return analiza_argumentos((int)argv.size(), argv.data());
}

void espera_correcto(std::vector<std::string> args) {
  ASSERT_EQ(analiza(args), ResultadoArgumentos::correcto);
}

}  // namespace

TEST(Argumentos, CuentaFueraDeRangoPideElUso) {
  EXPECT_EQ(analiza({}), ResultadoArgumentos::uso);
  EXPECT_EQ(analiza({"MBR", "A", "B", "C", "D", "FECHAD", "1", "HORAD"}), ResultadoArgumentos::uso);
  EXPECT_EQ(analiza({"MBR", "A", "B", "C", "D", "FECHAD", "1"}), ResultadoArgumentos::correcto);
}

TEST(Argumentos, CodigoDeCadaPalabra) {
  const std::pair<const char*, int> casos[] = {
      {"MBR", 95},
      {"mbr", 95},
      {"ALL", 94},
      {"all", 94},
      {"DAT", 97},
      {"dat", 97},
      {"LISTA", 97},
      {"lista", 97},
      {"SPL", 66},
      {"spl", 66},
      {"SPF", 67},
      {"spf", 67},
      {"END", 96},
      {"end", 96},
      {"WEB", 54},
      {"web", 54},
      // DATOS asks for a data transfer: it must not end the server job.
      {"DATOS", 97},
      {"datos", 97}};
  for (auto& c : casos) {
    ctx.icodigo = 0;
    espera_correcto({c.first});
    EXPECT_EQ(ctx.icodigo, c.second) << c.first;
  }
}

TEST(Argumentos, PalabraDesconocidaOConMayusculasMezcladas) {
  for (const char* p : {"Mbr", "mBR", "Datos", "XYZ", "", "MBR ", "FECHAD"})
    EXPECT_EQ(analiza({p, "LIB1"}), ResultadoArgumentos::error_parametros) << p;
}

TEST(Argumentos, NombresRellenadosYEnMayusculas) {
  espera_correcto({"MBR", "lib1", "src", "mbr1", "abc"});
  EXPECT_STREQ(ctx.biblioteca, "LIB1      ");
  EXPECT_STREQ(ctx.archivo, "SRC       ");
  EXPECT_STREQ(ctx.miembro, "MBR1      ");
  EXPECT_STREQ(ctx.tipo, "abc ");  // tipo keeps its case
  EXPECT_STREQ(ctx.fechad, "");
  EXPECT_STREQ(ctx.horad, "");

  espera_correcto({"MBR"});
  EXPECT_STREQ(ctx.biblioteca, "          ");
  EXPECT_STREQ(ctx.tipo, "    ");

  espera_correcto({"DAT", "ABCDEFGHIJ", "\xe1\xf1o"});
  EXPECT_STREQ(ctx.biblioteca, "ABCDEFGHIJ");
  EXPECT_STREQ(ctx.archivo, "\xe1\xf1O       ");  // only ASCII letters change
}

TEST(Argumentos, NadaSeLeeTrasEND) {
  espera_correcto({"END", "LIB1", "FILE1", "FECHAD"});
  EXPECT_EQ(ctx.icodigo, 96);
  EXPECT_STREQ(ctx.biblioteca, "          ");
  EXPECT_STREQ(ctx.archivo, "          ");
  EXPECT_STREQ(ctx.miembro, "          ");
}

TEST(Argumentos, CamposDeUnaEjecucionAnteriorSeVacian) {
  espera_correcto({"MBR", "A", "B", "FECHAD", "20120131", "HORAD", "1"});
  espera_correcto({"MBR", "X"});
  EXPECT_STREQ(ctx.archivo, "          ");
  EXPECT_STREQ(ctx.tipo, "    ");
  EXPECT_STREQ(ctx.fechad, "");
}

TEST(Argumentos, FechadYHorad) {
  espera_correcto({"MBR", "LIB1", "FECHAD", "20120131", "HORAD", "235959"});
  EXPECT_STREQ(ctx.archivo, "          ");
  EXPECT_STREQ(ctx.fechad, "20120131");
  EXPECT_STREQ(ctx.horad, "235959");

  // The library takes the first argument whatever it says.
  espera_correcto({"MBR", "FECHAD", "20120131"});
  EXPECT_STREQ(ctx.biblioteca, "FECHAD    ");
  EXPECT_STREQ(ctx.archivo, "20120131  ");

  // HORAD is an option only after FECHAD's pair or four names.
  espera_correcto({"MBR", "LIB1", "HORAD", "123000"});
  EXPECT_STREQ(ctx.archivo, "HORAD     ");
  EXPECT_STREQ(ctx.miembro, "123000    ");
  EXPECT_STREQ(ctx.horad, "");

  espera_correcto({"DAT", "L", "F", "M", "T", "HORAD", "101500"});
  EXPECT_STREQ(ctx.horad, "101500");
  EXPECT_STREQ(ctx.fechad, "");

  // Left-over arguments are ignored, a later HORAD included.
  espera_correcto({"MBR", "L", "FECHAD", "1", "sobra", "HORAD", "2"});
  EXPECT_STREQ(ctx.fechad, "1");
  EXPECT_STREQ(ctx.horad, "");

  // Option values are kept as typed, whatever their length.
  espera_correcto({"MBR", "L", "FECHAD", "2012-01-31T00", "HORAD", "abc"});
  EXPECT_STREQ(ctx.fechad, "2012-01-31T00");
  EXPECT_STREQ(ctx.horad, "abc");
}

TEST(Argumentos, OpcionSinValor) {
  EXPECT_EQ(analiza({"MBR", "LIB1", "FECHAD"}), ResultadoArgumentos::error_parametros);
  EXPECT_EQ(analiza({"MBR", "LIB1", "FECHAD", "20120131", "HORAD"}), ResultadoArgumentos::error_parametros);
  EXPECT_EQ(analiza({"MBR", "A", "B", "C", "D", "HORAD"}), ResultadoArgumentos::error_parametros);
}

TEST(Argumentos, NombresQueNoCabenEnLaPeticion) {
  EXPECT_EQ(analiza({"MBR", "ABCDEFGHIJK"}), ResultadoArgumentos::error_parametros);
  EXPECT_EQ(analiza({"MBR", "L", "ABCDEFGHIJK"}), ResultadoArgumentos::error_parametros);
  EXPECT_EQ(analiza({"MBR", "L", "F", "ABCDEFGHIJK"}), ResultadoArgumentos::error_parametros);
  EXPECT_EQ(analiza({"MBR", "L", "F", "M", "ABCDE"}), ResultadoArgumentos::error_parametros);
  espera_correcto({"MBR", "L", "F", "M", "ABCD"});
}

TEST(Argumentos, ArgumentoDemasiadoLargo) {
  std::string largo(256, '1');
  EXPECT_EQ(analiza({"MBR", "L", "FECHAD", largo}), ResultadoArgumentos::error_parametros);
  EXPECT_EQ(analiza({"END", largo}), ResultadoArgumentos::error_parametros);
  espera_correcto({"MBR", "L", "FECHAD", std::string(255, '1')});
  EXPECT_EQ(std::string(ctx.fechad), std::string(255, '1'));
}

TEST(Argumentos, OpcionesDeWebEnSuOrdenYFueraDeLaCuenta) {
  // Eight -c and -f with their values, and a name: far past the seven
  // arguments of the other modes.
  espera_correcto({"WEB",      "-c",
                   "SELECT 1", "-f",
                   "-",        "--sigue",
                   "-o",       "x.csv",
                   "-c",       "-- nota",
                   "LIB1",     "--csv",
                   "-f",       "b.sql",
                   "-c",       "quit",
                   "-c",       "a",
                   "-c",       "b",
                   "-c",       std::string(400, 'x')});
  EXPECT_EQ(ctx.icodigo, 54);
  EXPECT_EQ(ctx.lote, 1);
  EXPECT_EQ(ctx.silencioso, 1);
  EXPECT_EQ(ctx.sigue_tras_fallo, 1);
  EXPECT_EQ(ctx.csv_lote, 1);
  EXPECT_STREQ(ctx.salida_lote, "x.csv");
  ASSERT_EQ(ctx.num_ordenes_lote, 8);
  const char* esperadas[][2] = {{"c", "SELECT 1"}, {"f", "-"}, {"c", "-- nota"}, {"f", "b.sql"},
                                {"c", "quit"},     {"c", "a"}, {"c", "b"}};
  for (int i = 0; i < 7; i++) {
    EXPECT_EQ(ctx.ordenes_lote[i].clase, esperadas[i][0][0]) << i;
    EXPECT_STREQ(ctx.ordenes_lote[i].texto, esperadas[i][1]) << i;
  }
  // A -c value is a console line, not a name: 255 characters do not bound it.
  EXPECT_EQ(strlen(ctx.ordenes_lote[7].texto), 400u);
  EXPECT_STREQ(ctx.biblioteca, "LIB1      ");

  // Without -c or -f it is the console at the prompt; the batch of an earlier
  // analysis is gone.
  espera_correcto({"web", "-o", "x.txt"});
  EXPECT_EQ(ctx.lote, 0);
  EXPECT_EQ(ctx.silencioso, 0);
  EXPECT_EQ(ctx.num_ordenes_lote, 0);
  EXPECT_STREQ(ctx.salida_lote, "x.txt");
}

TEST(Argumentos, OpcionesDeWebRechazadas) {
  for (auto args : std::vector<std::vector<std::string>>{{"WEB", "-x"},
                                                         {"WEB", "-c"},
                                                         {"WEB", "-c", "a", "-f"},
                                                         {"WEB", "--CSV"},
                                                         {"WEB", "-"},
                                                         {"WEB", "-o"}})
    EXPECT_EQ(analiza(args), ResultadoArgumentos::opcion_no_valida) << args.back();
  std::vector<std::string> muchas = {"WEB"};
  for (int i = 0; i <= RunContext::MAX_ORDENES_LOTE; i++) muchas.insert(muchas.end(), {"-c", "x"});
  EXPECT_EQ(analiza(muchas), ResultadoArgumentos::opcion_no_valida);
  // Other modes have no options: "-c" is a name there, and too many names
  // are still the usage text for WEB.
  EXPECT_EQ(analiza({"MBR", "-c"}), ResultadoArgumentos::correcto);
  EXPECT_EQ(analiza({"WEB", "-c", "x", "1", "2", "3", "4", "5", "6", "7"}), ResultadoArgumentos::uso);
}

// Unit tests of the queries the program reads for itself (sql/lectura.h)
// over a socket pair, a thread of the test playing the server: rows kept as
// text stop at their byte limit, and the reading gives up softly.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/contexto.h"
#include "portatil.h"
#include "sql/intercambio_sql.h"
#include "sql/lectura.h"

namespace {

std::string trama(const std::string& carga) {
  char slen[16];
  snprintf(slen, sizeof slen, "%.10d", (int)carga.size() + 10);
  return slen + carga;
}

// `n` rows of two values, "DEMO" and a name of 100 characters, as a block
// holds them.
std::string filas(int n) {
  std::string r;
  for (int i = 0; i < n; i++) r += "DEMO\xAF" + std::string(100, 'T') + "\xAF";
  return r;
}

// The reply to the query (more rows follow), then `bloques` replies to its
// fetches, `por_bloque` rows each, the last saying it is the last.
std::string respuestas(int bloques, int por_bloque) {
  std::string columnas = "TABLE_SCHEMA-0-10-0!TABLE_NAME-0-128-0!";
  char cabecera[64];
  snprintf(cabecera, sizeof cabecera,
           "02001000"
           "00000OK %5d",
           (int)columnas.size());
  char cuenta[16];
  snprintf(cuenta, sizeof cuenta, "%5d0", por_bloque);
  std::string r = trama(cabecera + columnas + cuenta + filas(por_bloque));
  for (int b = 1; b <= bloques; b++) {
    snprintf(cuenta, sizeof cuenta, "%5d%d", por_bloque, b == bloques ? 1 : 0);
    r += trama(std::string("03001001     ") + cuenta + filas(por_bloque));
  }
  return r;
}

class LecturaDeTexto : public ::testing::Test {
 protected:
  socket_t par[2] = {SOCKET_INVALIDO, SOCKET_INVALIDO};
  std::unique_ptr<Sesion> sesion = std::make_unique<Sesion>();
  std::thread servidor;
  void SetUp() override {
    ctx = RunContext{};
    quita_variable("WWW_EBCDIC");
    ASSERT_TRUE(crea_par_sockets(par));
    sesion->sd = par[0];
    establece_sesion_sql(*sesion);
  }
  void TearDown() override {
    if (servidor.joinable()) servidor.join();
    plat_cierra_socket(par[0]);
    cierra_extremo(par[1]);
  }
  // The server's replies, all written at once: they fit in the sockets'
  // buffers, read or not.
  void responde(const std::string& todo) {
    servidor = std::thread([this, todo] { envia_todo(par[1], todo); });
  }
};

}  // namespace

TEST_F(LecturaDeTexto, LasFilasGuardadasParanEnSuLimiteDeBytes) {
  // About 25 KB of rows: the program's own limit reads them all; one of
  // 8 KB stops the reading in its second block, with what is kept within
  // the limit and the session whole.
  responde(respuestas(7, 30));
  std::vector<std::vector<std::string>> guardadas;
  int codigo = 0;
  size_t bytes = 0;
  EXPECT_EQ(lee_filas_de_texto("SELECT", 2, &guardadas, &codigo, 0, MAX_BYTES_LEIDOS, &bytes), Lectura::bien);
  ASSERT_EQ(guardadas.size(), 240u);
  EXPECT_EQ(guardadas[239][1], std::string(100, 'T'));
  EXPECT_GT(bytes, 240u * 104);

  servidor.join();
  responde(respuestas(7, 30));
  guardadas.clear();
  EXPECT_EQ(lee_filas_de_texto("SELECT", 2, &guardadas, &codigo, 0, 8192, &bytes), Lectura::no_valida);
  EXPECT_LE(bytes, 8192u);
  EXPECT_GT(guardadas.size(), 30u);
  EXPECT_LT(guardadas.size(), 60u);
  EXPECT_FALSE(sesion_perdida());
}

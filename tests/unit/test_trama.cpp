// Framing over a socket pair: both pairs of operations, their conversions, the
// pending store, chunked arrival, refusals and the traced exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "main/contexto.h"
#include "portatil.h"
#include "wire/intercambio.h"
#include "wire/lzw.h"
#include "wire/tablas.h"
#include "wire/trama.h"

namespace {

std::string ebcdic(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = (char)asc_fija[(unsigned char)c];
  return r;
}

std::string trama(const std::string& carga, bool digitos_ebcdic) {
  char slen[16];
  snprintf(slen, sizeof slen, "%.10d", (int)carga.size() + 10);
  std::string largo = slen;
  return (digitos_ebcdic ? ebcdic(largo) : largo) + carga;
}

class Trama : public ::testing::Test {
 protected:
  socket_t par[2] = {SOCKET_INVALIDO, SOCKET_INVALIDO};
  void SetUp() override {
    ctx = RunContext{};
    ASSERT_TRUE(crea_par_sockets(par));
    ctx.sd = par[0];
    memcpy(ctx.tabla_asc, asc_fija, 256);
    memcpy(ctx.tabla_ebc, ebc_fija, 256);
    quita_variable("WWW_EBCDIC");
  }
  void TearDown() override {
    plat_cierra_socket(par[0]);
    cierra_extremo(par[1]);
    quita_variable("WWW_EBCDIC");
  }
  void escribe(const std::string& s) { ASSERT_TRUE(envia_todo(par[1], s)); }
  // Everything the client sent so far.
  std::string leido() { return lee_pendiente(par[1]); }
};

TEST_F(Trama, EnvioDeTransferenciaSiempreConDigitosEbcdic) {
  EXPECT_EQ(Env_VORTCP(ctx.sd, "hola!", 5, 1), 5);
  std::string r = leido();
  ASSERT_EQ(r.size(), 15u);
  EXPECT_EQ(r.substr(0, 10), std::string("\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF0\xF1\xF5"));
  EXPECT_EQ(r.substr(10), ebcdic("hola!"));

  // en_ebcdic 0 leaves the payload alone but still sends EBCDIC digits.
  EXPECT_EQ(Env_VORTCP(ctx.sd, "a\0b", 3, 0), 3);
  EXPECT_EQ(leido(), ebcdic("0000000013") + std::string("a\0b", 3));
}

TEST_F(Trama, EnvioSqlSigueLaSesionYLaTablaCargada) {
  EXPECT_EQ(Env_VORTCP_sql(ctx.sd, "abcd", 0), 4);
  EXPECT_EQ(leido(), "0000000014abcd");
  ctx.tabla_asc[(unsigned char)'a'] = 0x42;  // as a table file would
  EXPECT_EQ(Env_VORTCP_sql(ctx.sd, "ab", 1), 2);
  EXPECT_EQ(leido(), ebcdic("0000000012") + "\x42" + ebcdic("b"));
}

TEST_F(Trama, CargaDemasiadoGrandeNoSeEnvia) {
  std::string grande(MAX_CARGA + 1, 'x');
  testing::internal::CaptureStdout();
  EXPECT_EQ(Env_VORTCP(ctx.sd, grande.data(), (int)grande.size(), 1), -1);
  EXPECT_EQ(Env_VORTCP_sql(ctx.sd, grande.c_str(), 0), -1);
  std::string salida = testing::internal::GetCapturedStdout();
  EXPECT_EQ(salida, "Longitud de trama no valida (30001)\n");
  EXPECT_EQ(leido(), "");
  // The largest payload still goes out.
  std::string justo(MAX_CARGA, 'y');
  EXPECT_EQ(Env_VORTCP(ctx.sd, justo.data(), (int)justo.size(), 0), MAX_CARGA);
}

TEST_F(Trama, RecepcionDejaLaCargaSinConvertirYTerminada) {
  memset(ctx.sbuffer, 'Z', 64);
  escribe(trama(ebcdic("01ABC"), true));
  EXPECT_EQ(Rec_VORTCP(ctx.sd, ctx.sbuffer), 5);
  EXPECT_EQ(std::string(ctx.sbuffer, 6), ebcdic("01ABC") + std::string(1, '\0'));
}

TEST_F(Trama, TramaByteAByteConPausas) {
  std::string t = trama(ebcdic("OK que tal"), true);
  std::thread escritor([&] {
    for (char c : t) {
      ASSERT_TRUE(envia_todo(par[1], std::string(1, c)));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  auto inicio = std::chrono::steady_clock::now();
  int rc = Rec_VORTCP(ctx.sd, ctx.sbuffer);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - inicio);
  escritor.join();
  EXPECT_EQ(rc, 10);
  EXPECT_EQ(std::string(ctx.sbuffer, 10), ebcdic("OK que tal"));
  // The client pauses 50 ms between partial chunks, so the bytes come in a few
  // chunks, not one per byte; the whole frame takes at least one pause.
  EXPECT_GE(ms.count(), 50);
}

TEST_F(Trama, DosTramasEnUnaLecturaYLongitudPartida) {
  std::string a = trama(ebcdic("primera"), true);
  std::string b = trama(ebcdic("segunda"), true);
  std::string c = trama(ebcdic("tercera"), true);
  // The first write holds the first frame, the second whole and 4 of the
  // third's length characters.
  escribe(a + b + c.substr(0, 4));
  EXPECT_EQ(Rec_VORTCP(ctx.sd, ctx.sbuffer), 7);
  EXPECT_EQ(std::string(ctx.sbuffer), ebcdic("primera"));
  EXPECT_EQ(ctx.npila_recrc, (int)(b.size() + 4));
  // The second comes from the pending store alone (the socket holds nothing),
  // here through the SQL receive of an EBCDIC session.
  pon_variable("WWW_EBCDIC", "1");
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0), 7);
  EXPECT_EQ(std::string(ctx.sbuffer), "segunda");
  EXPECT_EQ(ctx.npila_recrc, 4);
  escribe(c.substr(4));
  EXPECT_EQ(Rec_VORTCP(ctx.sd, ctx.sbuffer), 7);
  EXPECT_EQ(std::string(ctx.sbuffer), ebcdic("tercera"));
  EXPECT_EQ(ctx.npila_recrc, 0);
}

TEST_F(Trama, CargaVaciaNoTocaElBuffer) {
  memset(ctx.sbuffer, 'Q', 300);
  escribe(trama("", true));
  EXPECT_EQ(Rec_VORTCP(ctx.sd, ctx.sbuffer), 0);
  EXPECT_EQ(ctx.sbuffer[0], 'Q');
  escribe(trama("", false));
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0), 0);
  EXPECT_EQ(std::string(ctx.sbuffer, 200), std::string(200, ' '));
  EXPECT_EQ(ctx.sbuffer[200], 'Q');
}

TEST_F(Trama, RecepcionSqlRellenaDoscientosBlancos) {
  memset(ctx.sbuffer, 'Q', 300);
  escribe(trama("hola", false));
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0), 4);
  EXPECT_EQ(std::string(ctx.sbuffer, 5), std::string("hola\0", 5));
  EXPECT_EQ(std::string(ctx.sbuffer + 5, 195), std::string(195, ' '));
  EXPECT_EQ(ctx.sbuffer[200], 'Q');
}

TEST_F(Trama, RecepcionSqlConvierteConLaTablaFijaSegunWwwEbcdic) {
  ctx.tabla_ebc[0xC1] = 'z';  // a table file changes the transfer side only
  pon_variable("WWW_EBCDIC", "1");
  escribe(trama(ebcdic("A1"), true));
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0), 2);
  EXPECT_STREQ(ctx.sbuffer, "A1");
  // Read afresh at every receive: set to 0, ASCII digits and no conversion.
  pon_variable("WWW_EBCDIC", "0");
  escribe(trama("\xC1", false));
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0), 1);
  EXPECT_STREQ(ctx.sbuffer, "\xC1");
}

TEST_F(Trama, ConexionCerradaYLongitudesNoValidas) {
  testing::internal::CaptureStdout();
  escribe(ebcdic("0000030001"));
  EXPECT_EQ(Rec_VORTCP(ctx.sd, ctx.sbuffer), -1);
  escribe(ebcdic("000000000x"));  // reads as 0: a negative result
  EXPECT_LT(Rec_VORTCP(ctx.sd, ctx.sbuffer), 0);
  cierra_extremo(par[1]);
  EXPECT_EQ(Rec_VORTCP(ctx.sd, ctx.sbuffer), -1);
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0), -1);
  std::string salida = testing::internal::GetCapturedStdout();
  EXPECT_EQ(salida, "Longitud de trama no valida (30001)\nConnection closed by client\n");
}

TEST_F(Trama, RespuestaComprimidaSeExpandeYConvierte) {
  std::string texto = "Trabajo 123456/QUSER/ZIZEZ en ejecucion";
  std::string ebc = ebcdic(texto);
  unsigned char comp[TAM_TRAMA];
  reserva_tablas_lzw();
  int n = comprime_lzw((const unsigned char*)ebc.data(), 0, (int)ebc.size(), comp, sizeof comp);
  ASSERT_GT(n, 0);
  pon_variable("WWW_EBCDIC", "1");
  escribe(trama(std::string((char*)comp, (size_t)n), true));
  testing::internal::CaptureStdout();
  EXPECT_EQ(Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 1, 0), n);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(std::string(ctx.sbuffer), texto);
}

TEST_F(Trama, IntercambioTrazadoANivelUno) {
  ctx.test = 1;
  ctx.ftrace = tmpfile();
  ASSERT_NE(ctx.ftrace, nullptr);
  envia_as("OK\0x", 4, 1);
  escribe(trama(ebcdic("02abc"), true));
  recibe_as();
  EXPECT_EQ(ctx.ilen_recibido, 5);
  EXPECT_EQ(std::string(ctx.sbuffer), ebcdic("02abc"));  // unconverted
  cierra_extremo(par[1]);
  testing::internal::CaptureStdout();
  recibe_as();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ctx.fallo_intercambio, 1);
  EXPECT_EQ(ctx.ilen_recibido, 0);
  rewind(ctx.ftrace);
  std::string t;
  char b[4096];
  size_t k;
  while ((k = fread(b, 1, sizeof b, ctx.ftrace)) > 0) t.append(b, k);
  fclose(ctx.ftrace);
  ctx.ftrace = nullptr;
  EXPECT_EQ(t,
            "Env_VORTCP: Inicio ilen(4), en_ebcdic(1)\n"
            "Env_VORTCP: slen(0000000014)\n"
            "Env_VORTCP: Final ilen(4)\n" +
                std::string("\tEnviado AS. nbuffer(4), rc(4) [OK\0x]\n", 38) +
                "Rec_VORTCP: Inicio\n"
                "Rec_VORTCP: rc(15)\n"
                "Rec_VORTCP: Final ilen_aux(15), ilen_vor(15), pila_recrc(0)\n"
                "\tRecibido AS. rc=5 [02abc]\n"
                "Rec_VORTCP: Inicio\n"
                "\tRecibido AS. rc=0 []\n");
}

}  // namespace

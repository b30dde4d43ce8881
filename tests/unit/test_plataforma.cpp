// The platform layer as the rest of the program relies on it, on both builds:
// the local path rule, text and raw files, the atomic replace over an existing
// file, the console's set command, the exact ANSI/OEM pairs, name look-ups
// and, on POSIX, the time limit of a receive that a signal cuts short.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/plataforma.h"
#include "portatil.h"

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#endif

namespace {

std::string crudo(const char* ruta) {
  std::ifstream f(ruta, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class FicherosLocales : public ::testing::Test {
 protected:
  void SetUp() override {
    if (entra_en_arbol_temporal().empty()) GTEST_SKIP() << "no scratch tree for the local paths";
  }
  void TearDown() override { sale_del_arbol_temporal(); }
};

TEST_F(FicherosLocales, RutaDelArbolYFicherosDeTextoYCrudos) {
  char dir[64], ruta[64];
  ASSERT_TRUE(plat_ruta(dir, "\\%s", "LIB1"));
  ASSERT_TRUE(plat_ruta(ruta, "\\%s\\%s.%s", "LIB1", "M1", "txt"));
  EXPECT_EQ(std::string(ruta), ruta_mostrada("LIB1/M1.txt"));
  plat_crea_directorio(dir);
  plat_crea_directorio(dir);  // an existing directory is no error

  FILE* f = plat_abre_texto(ruta, "w");
  ASSERT_NE(f, nullptr) << ruta;
  fputs("uno\ndos\n", f);
  fclose(f);
  // The tree is where the program's paths put it: LIB1 in the scratch tree.
  EXPECT_EQ(lee_texto_local("LIB1/M1.txt"), "uno\ndos\n");

  // Bytes a text stream would change go to a raw file exactly as written.
  const std::string bytes("\n\r\n\x1a\x00\xff", 6);
  FILE* b = plat_abre_binario("LIB1/M1.ebc", "w");
  ASSERT_NE(b, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), b);
  fclose(b);
  EXPECT_EQ(crudo("LIB1/M1.ebc"), bytes);

  // Lines come back without the CR of a CR LF, whichever platform wrote them,
  // and a lone CR stays.
  std::ofstream("LIB1/windows.txt", std::ios::binary) << "a\r\nb\rc\r\n\r\nfin";
  FILE* t = plat_abre_texto("LIB1/windows.txt", "r");
  ASSERT_NE(t, nullptr);
  char linea[16];
  std::string leido;
  while (plat_lee_linea(linea, sizeof linea, t) != nullptr) leido += std::string("[") + linea + "]";
  fclose(t);
  EXPECT_EQ(leido, "[a\n][b\rc\n][\n][fin]");

  // The piece read gives the count, so NUL bytes come through; a CR LF cut
  // by the capacity still reads as one LF.
  const char nulos[] = "a\0b\r\n12\r\nx";
  std::ofstream("LIB1/nulos.txt", std::ios::binary).write(nulos, sizeof nulos - 1);
  t = plat_abre_texto("LIB1/nulos.txt", "r");
  ASSERT_NE(t, nullptr);
  leido.clear();
  size_t n;
  while ((n = plat_lee_trozo(linea, 4, t)) > 0) leido += "[" + std::string(linea, n) + "]";
  fclose(t);
  EXPECT_EQ(leido, std::string("[a\0b][\n][12\n][x]", 16));
}

TEST_F(FicherosLocales, ReemplazoSobreUnFicheroExistente) {
  std::ofstream("xinfo", std::ios::binary) << "viejo";
  std::ofstream("xinfo.tmp", std::ios::binary) << "nuevo";
  EXPECT_TRUE(plat_reemplaza_fichero("xinfo.tmp", "xinfo"));
  EXPECT_EQ(crudo("xinfo"), "nuevo");
  EXPECT_FALSE(std::filesystem::exists("xinfo.tmp"));

  // A failure leaves the target alone and reports itself through errno, as
  // every other file call does.
  errno = 0;
  EXPECT_FALSE(plat_reemplaza_fichero("no_existe.tmp", "xinfo"));
  EXPECT_EQ(plat_errno(), ENOENT);
  EXPECT_EQ(crudo("xinfo"), "nuevo");
}

TEST(FicherosEscritos, CierreInformaDeUnaEscrituraPerdida) {
  if (en_windows()) GTEST_SKIP() << "no /dev/full; the full-disk runs of the e2e tests cover it";
  // The bytes wait in the stream's buffer: only the close can tell that the
  // device refused them.
  FILE* f = plat_abre_texto("/dev/full", "w");
  ASSERT_NE(f, nullptr);
  EXPECT_NE(fputs("linea\n", f), EOF);
  EXPECT_FALSE(plat_cierra_escrito(f));
}

TEST_F(FicherosLocales, NombresDeDispositivoNoSeEscriben) {
  // On Windows these names are devices in every directory, whatever the
  // extension: the data would go to the console or nowhere. Elsewhere they
  // are plain names.
  plat_crea_directorio("LIB1");
  for (const char* ruta : {"LIB1/CON.txt", "LIB1/nul", "LIB1/Com1.ebc", "AUX/M1.txt", "LIB1/lpt9 .prt"}) {
    errno = 0;
    FILE* f = plat_abre_binario(ruta, "w");
    if (en_windows()) {
      EXPECT_EQ(f, nullptr) << ruta;
      EXPECT_EQ(plat_errno(), EINVAL) << ruta;
    } else if (strncmp(ruta, "AUX/", 4) != 0) {
      EXPECT_NE(f, nullptr) << ruta;
    }
    if (f != nullptr) fclose(f);
  }
  // Names that only start like a device are files like any other.
  for (const char* ruta : {"LIB1/CONS.txt", "LIB1/COM0", "LIB1/NULO.txt"}) {
    FILE* f = plat_abre_texto(ruta, "w");
    EXPECT_NE(f, nullptr) << ruta;
    if (f != nullptr) fclose(f);
  }
}

TEST(Entorno, OrdenSetSinDistinguirMayusculas) {
  plat_putenv("vortcp_prueba_set=Valor Con Blancos");
  ASSERT_NE(plat_getenv("VORTCP_PRUEBA_SET"), nullptr);
  EXPECT_STREQ(plat_getenv("VORTCP_PRUEBA_SET"), "Valor Con Blancos");
  plat_putenv("Vortcp_Prueba_Set=");
  EXPECT_EQ(plat_getenv("VORTCP_PRUEBA_SET"), nullptr);
  plat_putenv("sin igual");  // not a setting: nothing happens
  plat_putenv("=x");
  EXPECT_EQ(plat_getenv("SIN IGUAL"), nullptr);
}

TEST(PaginasDeCodigos, SoloParesExactos) {
  // e acute is E9 in ANSI and 82 in the Western European console code page.
  EXPECT_EQ(plat_ansi_a_oem(0xE9), 0x82);
  EXPECT_EQ(plat_oem_a_ansi(0x82), 0xE9);
  int cambiados = 0;
  for (int c = 0; c < 256; c++) {
    int oem = plat_ansi_a_oem((unsigned char)c);
    if (oem >= 0) {
      EXPECT_EQ(plat_oem_a_ansi((unsigned char)oem), c) << c;
      cambiados += oem != c;
    }
    int ansi = plat_oem_a_ansi((unsigned char)c);
    if (ansi >= 0) {
      EXPECT_EQ(plat_ansi_a_oem((unsigned char)ansi), c) << c;
    }
  }
  EXPECT_GT(cambiados, 60);
  for (int c = 1; c < 128; c++) EXPECT_EQ(plat_ansi_a_oem((unsigned char)c), c) << c;
}

TEST(Red, DireccionesYNombres) {
  ASSERT_EQ(plat_inicia_red(), 0);
  uint32_t a = 0;
  ASSERT_TRUE(plat_direccion_punteada("127.0.0.1", &a));
  const unsigned char esperado[4] = {127, 0, 0, 1};  // network byte order
  EXPECT_EQ(memcmp(&a, esperado, 4), 0);
  EXPECT_FALSE(plat_direccion_punteada("servidor", &a));
  EXPECT_FALSE(plat_busca_host("", &a));
  a = 0;
  EXPECT_TRUE(plat_busca_host("localhost", &a));
  EXPECT_EQ(((const unsigned char*)&a)[0], 127);
}

#ifndef _WIN32
void sin_efecto(int) {}

// A descriptor that takes no receive time-out (a pipe) is waited on with poll.
// Another signal that cuts the poll short must neither end the wait early
// nor leave it to a receive without a limit: nothing comes, so the result is
// "no data" once the time is up.
TEST(Red, EsperaConPlazoSigueTrasOtraSenal) {
  int tubo[2];
  ASSERT_EQ(pipe(tubo), 0);
  struct sigaction nueva = {}, antes = {};
  nueva.sa_handler = sin_efecto;
  sigemptyset(&nueva.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &nueva, &antes), 0);
  std::atomic<bool> acabado{false};
  pthread_t esperando = pthread_self();
  std::thread senales([&] {
    while (!acabado) {
      pthread_kill(esperando, SIGUSR1);
      usleep(2000);
    }
  });
  char byte;
  int plazo = 0;
  int64_t desde = plat_reloj_ms();
  long r = plat_recibe_con_plazo(tubo[0], &byte, 1, 300, &plazo);
  int64_t esperado = plat_reloj_ms() - desde;
  acabado = true;
  senales.join();
  sigaction(SIGUSR1, &antes, nullptr);
  close(tubo[0]);
  close(tubo[1]);
  EXPECT_EQ(r, PLAT_SIN_DATOS);
  EXPECT_GE(esperado, 250);
}
#endif

}  // namespace

// Unit tests of the library index: the entry line, the century rule, the key
// rule, and the replacement of an index on disk (run in a temporary directory).
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/plataforma.h"
#include "portatil.h"
#include "transfer/index/indices.h"
#include "transfer/index/linea.h"

TEST(Xinfo, SigloDeLaFechaDeActualizacion) {
  char f[9];
  fecha_actualizacion(FechaHora{2090, 1, 2, 0, 0, 0}, f);
  EXPECT_STREQ(f, "20900102");
  fecha_actualizacion(FechaHora{1991, 12, 31, 0, 0, 0}, f);
  EXPECT_STREQ(f, "19911231");
  fecha_actualizacion(FechaHora{2000, 7, 9, 0, 0, 0}, f);
  EXPECT_STREQ(f, "20000709");
  fecha_actualizacion(FechaHora{2026, 3, 4, 0, 0, 0}, f);
  EXPECT_STREQ(f, "20260304");
}

TEST(Xinfo, LineaDeCientoVeinteCaracteres) {
  char l[LARGO_LINEA_XINFO + 2];
  std::string texto50(50, 'T');
  construye_linea_xinfo(l, "LIB1", "QRPGSRC", "PGM1", "RPGL", texto50.c_str(), "20120131", "101500",
                        FechaHora{2026, 12, 8, 9, 5, 7});
  std::string s(l);
  ASSERT_EQ(s.size(), 121u);
  EXPECT_EQ(s.substr(0, 37), "ALIB1      QRPGSRC   PGM1      RPGL  ");
  EXPECT_EQ(s.substr(37, 55), texto50 + "     ");
  EXPECT_EQ(s.substr(92),
            "20120131101500"
            "20261208"
            "090507\n");

  // Message file: blank member, type MSG; a date whose third character is a
  // blank is shown as 8 blanks.
  construye_linea_xinfo(l, "LIB1", "QCPFMSG", "", "MSG", "", "20 20131", "      ",
                        FechaHora{1999, 1, 1, 23, 59, 59});
  s = l;
  ASSERT_EQ(s.size(), 121u);
  EXPECT_EQ(s.substr(0, 37), "ALIB1      QCPFMSG             MSG   ");
  EXPECT_EQ(s.substr(92), std::string(14, ' ') + "19990101235959\n");
}

TEST(Xinfo, ReglaDeLaClave) {
  char nueva[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(nueva, "LIB1", "SRC", "M1", "RPGL", "", "", "", FechaHora{2026, 1, 1, 0, 0, 0});
  char otra[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(otra, "LIB1", "SRC", "M1", "CLP", "otro texto", "20200101", "000000",
                        FechaHora{2020, 1, 1, 0, 0, 0});
  EXPECT_TRUE(misma_clave(otra, nueva));
  construye_linea_xinfo(otra, "LIB1", "SRC", "m1", "RPGL", "", "", "", FechaHora{2026, 1, 1, 0, 0, 0});
  EXPECT_FALSE(misma_clave(otra, nueva));  // case counts
  construye_linea_xinfo(otra, "LIB1", "SRC", "", "RPGL", "", "", "", FechaHora{2026, 1, 1, 0, 0, 0});
  EXPECT_FALSE(misma_clave(otra, nueva));
  EXPECT_FALSE(misma_clave("\n", nueva));
  EXPECT_FALSE(misma_clave("", nueva));
  // A "#" line is never an entry, even when the rest reads like one.
  std::string comentario = std::string(nueva);
  comentario[0] = '#';
  EXPECT_FALSE(misma_clave(comentario.c_str(), nueva));
  // A short hand-written line holding the key counts.
  EXPECT_TRUE(misma_clave("XLIB1      SRC       M1\n", nueva));
}

namespace {
// The run's indexes, new for each test, and the calls of the tests on them.
std::unique_ptr<Indices> indices;
void descarta_indices() {
  indices = std::make_unique<Indices>();
}
bool prepara(const char* biblioteca) {
  FalloIndice fallo;
  return prepara_xinfo(*indices, biblioteca, &fallo);
}
bool registra(const char* biblioteca, const char* linea, uint64_t marca = 0) {
  FalloIndice fallo;
  return registra_xinfo(*indices, biblioteca, linea, marca, &fallo);
}
bool graba_todos() {
  return graba_indices(*indices, nullptr);
}

class XinfoEnDisco : public ::testing::Test {
 protected:
  // The index paths hang from the current directory (from the drive root on
  // Windows): the test works in a tree of its own.
  void SetUp() override {
    descarta_indices();
    if (entra_en_arbol_temporal().empty()) GTEST_SKIP() << "no scratch tree for the local paths";
    std::filesystem::create_directories("LIB1/xvoras");
  }
  void TearDown() override { sale_del_arbol_temporal(); }
  static bool existe(const char* ruta) { return std::filesystem::exists(ruta); }
  static std::string lee(const char* ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  static void escribe(const char* ruta, const std::string& contenido) {
    std::ofstream f(ruta, std::ios::binary);
    f << contenido;
  }
  // Lines of the index, each without its line end.
  static std::vector<std::string> lineas() {
    std::vector<std::string> r;
    std::istringstream s(lee_texto_local("LIB1/xvoras/xinfo"));
    for (std::string l; std::getline(s, l);) r.push_back(l);
    return r;
  }
};
}  // namespace

TEST_F(XinfoEnDisco, ComentariosLineasLargasYUltimaSinFin) {
  char vieja[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(vieja, "LIB1", "SRC", "M1", "RPGL", "viejo", "", "", FechaHora{2020, 1, 1, 0, 0, 0});
  std::string larga_m1 = std::string("ALIB1      SRC       M1        ") + std::string(3000, 'x');
  std::string larga_m2 = std::string("ALIB1      SRC       M2        ") + std::string(3000, 'y');
  // A Windows line end, an empty line, comments around the replaced entry, a
  // long line of the same key (dropped whole), a long line of another key
  // (kept whole) and a last line without a line end.
  escribe("LIB1/xvoras/xinfo", "# cabecera\r\n" + std::string(vieja) + "# nota de M1\n\n" + larga_m1 + "\n" +
                                   larga_m2 + "\n" + "ALIB1      SRC       M3 a mano");
  escribe("LIB1/xvoras/xinfo.tmp", "resto de una ejecucion anterior\n");
  FalloIndice fallo;
  ASSERT_TRUE(actualiza_xinfo(*indices, "LIB1", "SRC", "M1", "RPGL", "nuevo", "", "", &fallo));
  auto l = lineas();
  ASSERT_EQ(l.size(), 6u);
  EXPECT_EQ(l[0], "# cabecera");
  EXPECT_EQ(l[1], "# nota de M1");
  EXPECT_EQ(l[2], "");
  EXPECT_EQ(l[3], larga_m2);
  EXPECT_EQ(l[4], "ALIB1      SRC       M3 a mano");
  EXPECT_EQ(l[5].substr(0, 42), "ALIB1      SRC       M1        RPGL  nuevo");
  EXPECT_EQ(lee("LIB1/xvoras/xinfo").back(), '\n');
  EXPECT_FALSE(existe("LIB1/xvoras/xinfo.tmp"));
}

namespace {
// Runs the update as the first of a run and returns whether it went well,
// with the failure it described. The index prints nothing itself.
bool actualiza_primera(FalloIndice* fallo) {
  descarta_indices();
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  bool bien = actualiza_xinfo(*indices, "LIB1", "SRC", "M1", "RPGL", "", "", "", fallo);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  return bien;
}
}  // namespace

TEST_F(XinfoEnDisco, UnFalloDejaElIndiceComoEstaba) {
  FalloIndice fallo;
  // No index directory: the working file cannot be made.
  std::filesystem::remove_all("LIB1/xvoras");
  EXPECT_FALSE(actualiza_primera(&fallo));
  EXPECT_EQ(fallo.tipo, FalloIndice::Tipo::apertura);
  EXPECT_EQ(fallo.ruta, ruta_mostrada("LIB1/xvoras/xinfo.tmp"));
  EXPECT_EQ(fallo.codigo, ENOENT);

  // An index that cannot be read (here a directory in its place) is neither
  // replaced nor left with a working file beside it.
  std::filesystem::create_directories("LIB1/xvoras/xinfo");
  fallo = FalloIndice{};
  EXPECT_FALSE(actualiza_primera(&fallo));
  EXPECT_EQ(fallo.tipo, FalloIndice::Tipo::apertura);
  EXPECT_EQ(fallo.ruta, ruta_mostrada("LIB1/xvoras/xinfo"));
  EXPECT_TRUE(std::filesystem::is_directory("LIB1/xvoras/xinfo"));
  EXPECT_FALSE(existe("LIB1/xvoras/xinfo.tmp"));
}

TEST_F(XinfoEnDisco, ElPrimerObjetoCompletoDeUnaBibliotecaSinIndiceLlegaAlDisco) {
  // The header only tries the index (there is none and nothing to write);
  // the object completed a moment later must not wait a second for its
  // line: a kill then would lose it.
  ASSERT_TRUE(prepara("LIB1"));
  EXPECT_FALSE(existe("LIB1/xvoras/xinfo"));
  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, "LIB1", "SRC", "M1", "RPGL", "", "", "", FechaHora{2026, 1, 1, 0, 0, 0});
  ASSERT_TRUE(registra("LIB1", linea));
  auto l = lineas();
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0] + "\n", std::string(linea));
}

namespace {
// The bucket function the index used to have: FNV-1a over the key fields,
// each closed by 0xFF. Anyone could compute it, so anyone could pick names
// that share a bucket.
uint32_t fnv_antiguo(const std::string& archivo, const std::string& miembro) {
  uint32_t h = 2166136261u;
  for (const std::string& campo : {std::string("LIB1"), archivo, miembro}) {
    for (unsigned char c : campo) h = (h ^ c) * 16777619u;
    h = (h ^ 0xFFu) * 16777619u;
  }
  return h;
}

std::string linea_de(const std::string& miembro) {
  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, "LIB1", "SRC", miembro.c_str(), "RPGL", "", "", "",
                        FechaHora{2026, 1, 1, 0, 0, 0});
  return linea;
}

// Member names whose bucket under `cubo` agrees in the low 10 bits, so that
// they share one bucket of every table up to 1,024 buckets (512 lines).
template <typename Cubo>
std::vector<std::string> nombres_que_chocan(size_t cuantos, Cubo cubo) {
  std::vector<std::string> r;
  uint64_t objetivo = cubo("M0");
  char nombre[16];
  for (unsigned i = 0; r.size() < cuantos; i++) {
    snprintf(nombre, sizeof nombre, "M%u", i);
    if ((cubo(nombre) & 1023) == (objetivo & 1023)) r.push_back(nombre);
  }
  return r;
}
}  // namespace

TEST_F(XinfoEnDisco, NombresQueChocanNoAlarganLasCadenas) {
  // Names that shared a bucket under the old hash spread under the keyed one.
  auto fnv = nombres_que_chocan(400, [](const std::string& m) { return (uint64_t)fnv_antiguo("SRC", m); });
  ASSERT_TRUE(prepara("LIB1"));
  for (const auto& m : fnv) ASSERT_TRUE(registra("LIB1", linea_de(m).c_str()));
  EXPECT_LE(cadena_mas_larga(*indices, "LIB1"), 12u);

  // Even names chosen against a key known in advance do not make a long
  // chain: a chain past its bound makes the index draw a key of its own.
  descarta_indices();
  std::filesystem::remove("LIB1/xvoras/xinfo");
  fija_clave_indice(*indices, 0x0123456789ABCDEFull, 0xFEDCBA9876543210ull);
  auto conocida = nombres_que_chocan(
      400, [](const std::string& m) { return hash_clave_indice(*indices, linea_de(m).c_str()); });
  ASSERT_TRUE(prepara("LIB1"));
  for (const auto& m : conocida) ASSERT_TRUE(registra("LIB1", linea_de(m).c_str()));
  EXPECT_LE(cadena_mas_larga(*indices, "LIB1"), 34u);
  ASSERT_TRUE(graba_todos());
  auto l = lineas();
  ASSERT_EQ(l.size(), conocida.size());
  for (size_t i = 0; i < l.size(); i++) EXPECT_EQ(l[i] + "\n", linea_de(conocida[i]));
}

TEST_F(XinfoEnDisco, VariasSesionesRegistranEnElMismoIndice) {
  // Four sessions' threads record 300 members each into one library's index
  // while a fifth writes it out as the walks do between messages: every
  // entry is there once, each thread's in the order it recorded them.
  ASSERT_TRUE(prepara("LIB1"));
  constexpr int HILOS = 4, POR_HILO = 300;
  std::vector<std::thread> hilos;
  std::atomic<bool> fin{false};
  std::thread escritor([&] {
    while (!fin) {
      FalloIndice f;
      graba_indices_si_toca(*indices, &f);
    }
  });
  for (int h = 0; h < HILOS; h++) {
    hilos.emplace_back([h] {
      for (int i = 0; i < POR_HILO; i++) {
        char miembro[16], linea[LARGO_LINEA_XINFO + 2];
        snprintf(miembro, sizeof miembro, "H%dM%04d", h, i);
        construye_linea_xinfo(linea, "LIB1", "SRC", miembro, "RPGL", "", "", "",
                              FechaHora{2024, 1, 1, 0, 0, 0});
        registra("LIB1", linea);
      }
    });
  }
  for (auto& h : hilos) h.join();
  fin = true;
  escritor.join();
  ASSERT_TRUE(graba_todos());
  auto l = lineas();
  ASSERT_EQ(l.size(), (size_t)(HILOS * POR_HILO));
  int siguiente[HILOS] = {};
  for (const auto& linea : l) {
    int h = linea[22] - '0';
    ASSERT_TRUE(h >= 0 && h < HILOS) << linea;
    EXPECT_EQ(atoi(linea.substr(24, 4).c_str()), siguiente[h]++) << linea;
  }
}

namespace {
std::string entrada(const char* archivo, const char* miembro, const char* texto = "") {
  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, "LIB1", archivo, miembro, "CLP", texto, "", "",
                        FechaHora{2026, 1, 1, 0, 0, 0});
  return linea;
}
uint64_t marca(uint32_t unidad, uint32_t numero) {
  return ((uint64_t)unidad << 32) | numero;
}
}  // namespace

TEST_F(XinfoEnDisco, LasLineasDeLaEjecucionQuedanEnElOrdenDeSusMarcas) {
  // The lines the run does not touch (a comment, another file's entry) stay
  // where they are; the one it replaces goes, and the run's lines, recorded
  // as two sessions completed them, come after in the order of their marks.
  escribe("LIB1/xvoras/xinfo", "# cabecera\n" + entrada("SRC", "M2", "viejo") + entrada("OTRO", "X"));
  ASSERT_TRUE(prepara("LIB1"));
  ASSERT_TRUE(registra("LIB1", entrada("SRC", "M3").c_str(), marca(1, 0)));
  ASSERT_TRUE(registra("LIB1", entrada("SRC", "M1").c_str(), marca(0, 0)));
  ASSERT_TRUE(registra("LIB1", entrada("SRC", "M4").c_str(), marca(1, 1)));
  ASSERT_TRUE(registra("LIB1", entrada("SRC", "M2").c_str(), marca(0, 1)));
  ordena_indices(*indices);
  ASSERT_TRUE(graba_todos());
  std::vector<std::string> esperadas = {"# cabecera",         entrada("OTRO", "X"), entrada("SRC", "M1"),
                                        entrada("SRC", "M2"), entrada("SRC", "M3"), entrada("SRC", "M4")};
  for (size_t i = 2; i < esperadas.size(); i++) esperadas[i].pop_back();
  esperadas[1].pop_back();
  EXPECT_EQ(lineas(), esperadas);

  // The keys are found where the lines now are: a unit tried again
  // replaces its first try's line, which the next sort puts back in place.
  ASSERT_TRUE(registra("LIB1", entrada("SRC", "M1", "otra vez").c_str(), marca(0, 0)));
  ordena_indices(*indices);
  ASSERT_TRUE(graba_todos());
  auto l = lineas();
  ASSERT_EQ(l.size(), esperadas.size());
  EXPECT_EQ(l[2] + "\n", entrada("SRC", "M1", "otra vez"));
  EXPECT_EQ(l[3], esperadas[3]);
}

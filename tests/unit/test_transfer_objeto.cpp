// The result line of an object written in its two ways: in pieces as the
// object goes (one session) and whole once it is done (several sessions),
// the same bytes on the console and in the log either way; whole lines of two
// walks do not mix.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/contexto.h"
#include "portatil.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/objeto.h"
#include "transfer/walk/recorrido.h"
#include "wire/sesion.h"

namespace {

class ObjetoLinea : public ::testing::Test {
 protected:
  std::unique_ptr<Sesion> sesion = std::make_unique<Sesion>();
  std::unique_ptr<Compartido> comun = std::make_unique<Compartido>();
  void SetUp() override {
    ctx = RunContext{};
    if (entra_en_arbol_temporal().empty()) GTEST_SKIP() << "no scratch tree for the local paths";
    std::filesystem::create_directories("LIB1/SRC");
    ctx.flog = tmpfile();
    ASSERT_NE(ctx.flog, nullptr);
  }
  void TearDown() override {
    if (ctx.flog != nullptr) fclose(ctx.flog);
    ctx = RunContext{};
    sale_del_arbol_temporal();
  }
  std::unique_ptr<Recorrido> recorrido(bool enteras) {
    auto r = std::make_unique<Recorrido>(*sesion, *comun);
    r->lineas_enteras = enteras;
    return r;
  }
  static Cabecera cabecera(const char* miembro) {
    Cabecera c{};
    snprintf(c.biblioteca, sizeof c.biblioteca, "LIB1");
    snprintf(c.archivo, sizeof c.archivo, "SRC");
    snprintf(c.miembro, sizeof c.miembro, "%s", miembro);
    snprintf(c.tipo, sizeof c.tipo, "RPGL");
    return c;
  }
  // Announces and opens a member of LIB1/SRC and writes its text.
  static void empieza(Recorrido& r, const char* miembro, const std::string& texto) {
    std::string ruta = ruta_mostrada(std::string("LIB1/SRC/") + miembro + ".ile");
    anuncia_objeto(r, ruta.c_str(), true);
    ASSERT_TRUE(abre_objeto(r, cabecera(miembro), ruta.c_str(), false, nullptr));
    ASSERT_TRUE(graba_bytes(r, texto.data(), texto.size()));
    r.objeto.registros += 1;
    r.objeto.bytes += (int64_t)texto.size();
  }
  static std::string log() {
    fflush(ctx.flog);
    std::string r;
    rewind(ctx.flog);
    char b[4096];
    size_t n;
    while ((n = fread(b, 1, sizeof b, ctx.flog)) > 0) r.append(b, n);
    fseek(ctx.flog, 0, SEEK_END);
    return r;
  }
  // One member complete, one left incomplete, a converted file complete;
  // the console's and the log's bytes, and what the log held after the
  // first member's header alone.
  struct Salidas {
    std::string consola, log, log_tras_cabecera;
  };
  Salidas tres_objetos(bool enteras) {
    auto r = recorrido(enteras);
    captura_salida();
    std::string ruta = ruta_mostrada("LIB1/SRC/UNO.ile");
    anuncia_objeto(*r, ruta.c_str(), true);
    std::string tras_cabecera = log();
    EXPECT_TRUE(abre_objeto(*r, cabecera("UNO"), ruta.c_str(), false, nullptr));
    EXPECT_TRUE(graba_bytes(*r, "uno\n", 4));
    r->objeto.registros = 1;
    r->objeto.bytes = 4;
    EXPECT_TRUE(completa_objeto(*r));
    empieza(*r, "DOS", "dos\n");
    EXPECT_TRUE(deja_incompleto(*r));
    std::string dta = ruta_mostrada("LIB1/SRC.dta");
    anuncia_objeto(*r, dta.c_str(), false);
    EXPECT_TRUE(abre_objeto(*r, Cabecera{}, dta.c_str(), false, nullptr));
    marca_convertido(*r);
    EXPECT_TRUE(graba_bytes(*r, "12345", 5));
    r->objeto.bytes = 5;
    EXPECT_TRUE(completa_objeto(*r));
    std::string consola = salida_capturada();
    return Salidas{consola, log(), tras_cabecera};
  }
};

TEST_F(ObjetoLinea, EnteraOPartidaDaLosMismosBytes) {
  Salidas partida = tres_objetos(false);
  fclose(ctx.flog);
  ctx.flog = tmpfile();
  ASSERT_NE(ctx.flog, nullptr);
  Salidas entera = tres_objetos(true);
  std::string uno = ruta_mostrada("LIB1/SRC/UNO.ile");
  std::string dos = ruta_mostrada("LIB1/SRC/DOS.ile");
  std::string dta = ruta_mostrada("LIB1/SRC.dta");
  auto relleno = [](const std::string& r) { return std::string(r.size() < 30 ? 30 - r.size() : 0, ' '); };
  std::string esperada = "Obtiene: " + uno + relleno(uno) + "          1 registros            4 bytes\n" +
                         "Obtiene: " + dos + relleno(dos) + "          1 registros            4 bytes\n" +
                         "Incompleto: " + dos + ".parcial\n" + "Obtiene: " + dta + relleno(dta) +
                         "          5 bytes\n";
  EXPECT_EQ(partida.consola, esperada);
  EXPECT_EQ(entera.consola, esperada);
  EXPECT_EQ(entera.log, partida.log);
  // The half goes out at the header only when lines go in pieces.
  EXPECT_EQ(partida.log_tras_cabecera, "Obtiene: " + uno + relleno(uno));
  EXPECT_EQ(entera.log_tras_cabecera, "");
}

TEST_F(ObjetoLinea, LineasEnterasDeDosRecorridosNoSeMezclan) {
  auto a = recorrido(true);
  auto b = recorrido(true);
  captura_salida();
  empieza(*a, "AAA", "a\n");
  empieza(*b, "BBB", "b\n");
  EXPECT_TRUE(completa_objeto(*b));
  EXPECT_TRUE(deja_incompleto(*a));
  std::string consola = salida_capturada();
  std::string ra = ruta_mostrada("LIB1/SRC/AAA.ile");
  std::string rb = ruta_mostrada("LIB1/SRC/BBB.ile");
  std::string relleno(30 - ra.size(), ' ');
  EXPECT_EQ(consola, "Obtiene: " + rb + relleno + "          1 registros            2 bytes\n" +
                         "Obtiene: " + ra + relleno + "          1 registros            2 bytes\n" +
                         "Incompleto: " + ra + ".parcial\n");
  EXPECT_TRUE(std::filesystem::exists("LIB1/SRC/BBB.ile"));
  EXPECT_TRUE(std::filesystem::exists("LIB1/SRC/AAA.ile.parcial"));
}

}  // namespace

// The connection's settings said by name before the first connection, and
// the failure lines of a later session said once per run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/contexto.h"
#include "base/fin.h"
#include "portatil.h"
#include "wire/conexion.h"
#include "wire/sesion.h"

namespace {

class Conexion : public ::testing::Test {
 protected:
  std::string raiz;

  void SetUp() override {
    ctx = RunContext{};
    raiz = crea_directorio_temporal("vortcp_conexion_");
    ASSERT_NE(raiz, "");
    std::filesystem::create_directories(raiz + "/basico");
    FILE* f = fopen((raiz + "/basico/ebcdic.TST").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("# tabla de pruebas\n", f);
    fclose(f);
    pon_variable("BASE", raiz.c_str());
    pon_variable("LANG", "TST");
    quita_variable("VORTCP_LANG");
    quita_variable("MULTIAS");
    quita_variable("VORTCP_TLS");
    pon_variable("SERVIDOR", "127.0.0.1");
    // Nothing listens on port 1 of the loopback: a connection is refused.
    pon_variable("SERVPORT", "1");
  }
  void TearDown() override {
    for (const char* v : {"BASE", "LANG", "SERVIDOR", "SERVPORT"}) quita_variable(v);
    ctx = RunContext{};
    borra_arbol(raiz);
  }
  // prepara_conexion with what it printed on standard output.
  int prepara(std::string* salida) {
    captura_salida();
    int estado = prepara_conexion();
    *salida = salida_capturada();
    return estado;
  }
};

}  // namespace

TEST_F(Conexion, AjustesQueNoPuedenFuncionarSeNombran) {
  std::string salida;
  quita_variable("SERVIDOR");
  EXPECT_EQ(prepara(&salida), SALIDA_CONEXION);
  EXPECT_EQ(salida, "Falta la variable SERVIDOR\n");
  pon_variable("SERVIDOR", "127.0.0.1");
  quita_variable("SERVPORT");
  EXPECT_EQ(prepara(&salida), SALIDA_CONEXION);
  EXPECT_EQ(salida, "Falta la variable SERVPORT\n");
  for (const char* malo : {"abc", "0", "65536", "4400x", "123456"}) {
    pon_variable("SERVPORT", malo);
    EXPECT_EQ(prepara(&salida), SALIDA_CONEXION) << malo;
    EXPECT_EQ(salida, std::string("Valor no valido en la variable SERVPORT (") + malo + ")\n");
  }
  pon_variable("SERVPORT", "4400");
  EXPECT_EQ(prepara(&salida), SALIDA_BIEN);
  EXPECT_EQ(salida, "");
}

TEST_F(Conexion, ElFalloDeUnaSesionPosteriorSeDiceUnaVez) {
  std::string salida;
  ASSERT_EQ(prepara(&salida), SALIDA_BIEN) << salida;
  auto intenta = [](std::string* dicho) {
    Sesion s;
    int32_t maximo = 0;
    testing::internal::CaptureStderr();
    captura_salida();
    OtraSesion r = abre_otra_sesion(s, &maximo);
    *dicho = salida_capturada() + testing::internal::GetCapturedStderr();
    return r;
  };
  std::string primero, segundo;
  EXPECT_EQ(intenta(&primero), OtraSesion::fallida);
  EXPECT_EQ(intenta(&segundo), OtraSesion::fallida);
  EXPECT_NE(primero.find("Error de conexion."), std::string::npos) << primero;
  EXPECT_EQ(segundo, "");
}

// The decisions of a run through several sessions, without a thread or a
// socket: which units go out and how many at once, a unit lost once and
// twice, a broker without a free session, a unit that fails, a stop.
#include <gtest/gtest.h>

#include <vector>

#include "base/fin.h"
#include "transfer/run/coordinador.h"

namespace {

// Starts every unit the coordinator lets start at `ahora`; their places.
std::vector<size_t> lanza_todo(Coordinador& c, int64_t ahora) {
  std::vector<size_t> r;
  while (puede_lanzar(c, ahora)) r.push_back(lanza_siguiente(c));
  return r;
}

}  // namespace

TEST(Coordinador, NuncaMasSesionesQueElLimiteNiQueUnidades) {
  Coordinador c(5, 3, false);
  EXPECT_EQ(c.puestos, 3u);
  // The largest first: the plan's order.
  EXPECT_EQ(lanza_todo(c, 0), (std::vector<size_t>{0, 1, 2}));
  EXPECT_FALSE(puede_lanzar(c, 0));
  termina_unidad(c, 1, FinUnidad::completa, 0, 0);
  EXPECT_EQ(lanza_todo(c, 0), (std::vector<size_t>{3}));
  for (size_t u : {0, 2, 3}) termina_unidad(c, u, FinUnidad::completa, 0, 0);
  EXPECT_EQ(lanza_todo(c, 0), (std::vector<size_t>{4}));
  EXPECT_FALSE(acabada(c));
  termina_unidad(c, 4, FinUnidad::completa, 0, 0);
  EXPECT_TRUE(acabada(c));
  EXPECT_EQ(estado_de_las_unidades(c), SALIDA_BIEN);

  Coordinador pocas(2, 8, false);
  EXPECT_EQ(pocas.puestos, 2u);
  EXPECT_EQ(lanza_todo(pocas, 0).size(), 2u);
}

TEST(Coordinador, UnaUnidadPerdidaSeIntentaUnaVezMas) {
  Coordinador c(2, 2, false);
  lanza_todo(c, 0);
  TrasUnidad tras = termina_unidad(c, 0, FinUnidad::perdida, 0, 0);
  // Its first try's counts come out; it goes out again, from its start.
  EXPECT_TRUE(tras.retira);
  EXPECT_FALSE(tras.para);
  EXPECT_EQ(lanza_todo(c, 0), (std::vector<size_t>{0}));
  termina_unidad(c, 0, FinUnidad::completa, 0, 0);
  termina_unidad(c, 1, FinUnidad::completa, 0, 0);
  EXPECT_TRUE(acabada(c));
  EXPECT_EQ(estado_de_las_unidades(c), SALIDA_BIEN);
}

TEST(Coordinador, UnaUnidadPerdidaDosVecesAcabaComoConexionPerdidaTrasLasDemas) {
  Coordinador c(2, 2, false);
  lanza_todo(c, 0);
  termina_unidad(c, 0, FinUnidad::perdida, 0, 0);
  lanza_todo(c, 0);
  TrasUnidad tras = termina_unidad(c, 0, FinUnidad::perdida, 0, 0);
  EXPECT_FALSE(tras.retira);
  EXPECT_FALSE(tras.para);  // the other unit goes on to its end
  EXPECT_TRUE(lanza_todo(c, 0).empty());
  EXPECT_FALSE(acabada(c));
  termina_unidad(c, 1, FinUnidad::completa, 0, 0);
  EXPECT_TRUE(acabada(c));
  EXPECT_EQ(estado_de_las_unidades(c), SALIDA_CONEXION);
}

TEST(Coordinador, SinSesionLibreSeEsperaALasDeLaEjecucion) {
  // The broker refuses the fourth session while three run: the run goes on
  // with three, and takes a fourth again only as units complete.
  Coordinador c(6, 4, false);
  lanza_todo(c, 0);
  termina_unidad(c, 3, FinUnidad::devuelta, 3, 0);
  EXPECT_EQ(c.limite, 3u);
  EXPECT_EQ(c.maximo, 3);
  EXPECT_TRUE(lanza_todo(c, 0).empty());
  termina_unidad(c, 0, FinUnidad::completa, 0, 0);
  EXPECT_EQ(c.limite, 4u);
  EXPECT_EQ(lanza_todo(c, 0), (std::vector<size_t>{3, 4}));
}

TEST(Coordinador, SinNingunaSesionSePausaYAlFinSeDesiste) {
  Coordinador c(1, 2, false);
  int64_t ahora = 1000;
  for (int i = 0; i < NUM_PAUSAS; i++) {
    ASSERT_EQ(lanza_todo(c, ahora).size(), 1u) << i;
    termina_unidad(c, 0, FinUnidad::devuelta, 2, ahora);
    // Nothing is asked for until the pause is over, and the caller wakes
    // for its end.
    int64_t pausa = PAUSAS_SIN_SESION_MS[i];
    EXPECT_FALSE(puede_lanzar(c, ahora + pausa - 1));
    EXPECT_EQ(espera_ms(c, ahora, 10000), pausa);
    ahora += pausa;
  }
  ASSERT_EQ(lanza_todo(c, ahora).size(), 1u);
  termina_unidad(c, 0, FinUnidad::devuelta, 2, ahora);
  EXPECT_TRUE(c.sin_sesion);
  EXPECT_TRUE(acabada(c));
  EXPECT_EQ(estado_de_las_unidades(c), SALIDA_CONEXION);
}

TEST(Coordinador, UnaSesionConcedidaReiniciaLasPausas) {
  Coordinador c(2, 1, false);
  for (int i = 0; i < NUM_PAUSAS - 1; i++) {
    lanza_todo(c, 0);
    termina_unidad(c, 0, FinUnidad::devuelta, 1, 0);
    c.no_antes_de = 0;
  }
  // The broker gives one at last: the refusals count from zero again.
  lanza_todo(c, 0);
  termina_unidad(c, 0, FinUnidad::completa, 0, 0);
  EXPECT_EQ(c.negativas, 0);
  lanza_todo(c, 0);
  termina_unidad(c, 1, FinUnidad::devuelta, 1, 0);
  EXPECT_FALSE(c.sin_sesion);
  EXPECT_EQ(c.no_antes_de, PAUSAS_SIN_SESION_MS[0]);
}

TEST(Coordinador, UnFalloOUnaParadaDetienenLaEjecucion) {
  Coordinador c(4, 2, false);
  lanza_todo(c, 0);
  EXPECT_TRUE(termina_unidad(c, 0, FinUnidad::error, 0, 0).para);
  para(c);
  EXPECT_TRUE(c.con_error);
  EXPECT_TRUE(lanza_todo(c, 0).empty());
  // A unit lost while the run stops is not tried again.
  EXPECT_FALSE(termina_unidad(c, 1, FinUnidad::perdida, 0, 0).retira);
  EXPECT_TRUE(acabada(c));
}

TEST(Coordinador, SinHiloParaOtraSesionSeSigueConLasQueHay) {
  Coordinador c(3, 3, false);
  size_t primera = lanza_siguiente(c);
  size_t segunda = lanza_siguiente(c);
  EXPECT_FALSE(sin_hilo(c, segunda));
  EXPECT_EQ(c.limite, 1u);
  EXPECT_TRUE(c.pendientes.count(segunda));
  termina_unidad(c, primera, FinUnidad::completa, 0, 0);
  // With no session left, a thread that cannot start stops the run.
  size_t otra = lanza_siguiente(c);
  EXPECT_TRUE(sin_hilo(c, otra));
  EXPECT_TRUE(c.con_error);
  EXPECT_TRUE(acabada(c));
}

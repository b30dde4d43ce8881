// The comparison of an incremental run: what is unchanged, what moves and
// since when, what the server deleted.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "base/contexto.h"
#include "base/texto.h"
#include "transfer/index/entradas.h"
#include "transfer/index/linea.h"
#include "transfer/run/comparacion.h"

namespace {

// A path of the program's own form as this platform writes it.
std::string local(const char* ruta) {
  char r[TAM_RUTA];
  plat_ruta(r, "%s", ruta);
  return r;
}

std::set<std::string> existentes;
bool existe(const char* ruta) {
  return existentes.count(ruta) != 0;
}
// The copies edited by hand since their run wrote them: they exist, but are
// not intact.
std::set<std::string> editados;
bool intacta(const char* ruta, const char*, const char*) {
  return existe(ruta) && editados.count(ruta) == 0;
}

MiembroCatalogo miembro(const char* nombre, const char* tipo, const char* fecha, const char* hora) {
  MiembroCatalogo m{};
  copia_texto(m.nombre, nombre);
  copia_texto(m.tipo, tipo);
  m.tamano = 100;
  copia_texto(m.fecha, fecha);
  copia_texto(m.hora, hora);
  return m;
}

EntradaIndice entrada(const char* linea) {
  EntradaIndice e;
  EXPECT_TRUE(entrada_de_linea(linea, strlen(linea), "LIB", &e)) << linea;
  return e;
}

// An index line as the program writes it.
std::string linea(const char* archivo, const char* miembro, const char* tipo, const char* fecha,
                  const char* hora) {
  char l[256];
  formatea(l, "A%-10.10s%-10.10s%-10.10s%-6.6s%-55.55s%-8.8s%-6.6s20261201120000", "LIB", archivo, miembro,
           tipo, "texto", fecha, hora);
  return l;
}

struct Caso : ::testing::Test {
  Catalogo c{};
  std::vector<EntradaIndice> indice;
  void SetUp() override {
    copia_texto(c.biblioteca, "LIB");
    ArchivoCatalogo fuente{};
    copia_texto(fuente.nombre, "QSRC");
    fuente.clase = ClaseArchivo::fuente;
    fuente.miembros = {miembro("A", "RPGL", "20260101", "100000"), miembro("B", "RPGL", "20260305", "080000"),
                       miembro("C", "CLP", "20260210", "235959")};
    ArchivoCatalogo datos{};
    copia_texto(datos.nombre, "VENTAS");
    datos.clase = ClaseArchivo::datos;
    datos.miembros = {miembro("V1", "", "20250101", "000000")};
    ArchivoCatalogo msg{};
    copia_texto(msg.nombre, "MENSAJES");
    msg.clase = ClaseArchivo::mensajes;
    c.archivos = {fuente, datos, msg};
    for (const std::string& l :
         {linea("QSRC", "A", "RPGL", "20260101", "100000"), linea("QSRC", "B", "RPGL", "20260101", "100000"),
          linea("QSRC", "D", "RPGL", "20250101", "100000"), linea("VENTAS", "V1", "", "20250101", "000000"),
          linea("MENSAJES", "", "MSG", "", "")})
      indice.push_back(entrada(l.c_str()));
    existentes = {local("\\LIB\\QSRC\\A.ile"), local("\\LIB\\QSRC\\B.ile"), local("\\LIB\\QSRC\\D.ile"),
                  local("\\LIB\\VENTAS_V1.ebc"), local("\\LIB\\MENSAJES.msg")};
    editados.clear();
  }
};

TEST_F(Caso, UnaCopiaEditadaAManoSeRecibeOtraVez) {
  // A's date is its index line's, but its copy no longer carries it.
  editados.insert(local("\\LIB\\QSRC\\A.ile"));
  Comparacion r = compara_con_indice(c, Alcance{94, "", "", "", 1, true, false}, indice, existe, intacta);
  EXPECT_EQ(r.sin_cambios, 1);  // V1 alone
  EXPECT_EQ(r.recibiria.front(), local("\\LIB\\QSRC\\A.ile"));
}

TEST_F(Caso, SoloLoQueCambioDesdeSuCambioMasAntiguo) {
  Comparacion r = compara_con_indice(c, Alcance{94, "", "", "", 1, true, false}, indice, existe, intacta);
  EXPECT_EQ(r.sin_cambios, 2);  // A and V1
  EXPECT_EQ(r.recibiria, (std::vector<std::string>{local("\\LIB\\QSRC\\B.ile"), local("\\LIB\\QSRC\\C.cl"),
                                                   local("\\LIB\\MENSAJES.msg")}));
  ASSERT_EQ(r.plan.unidades.size(), 2u);  // QSRC and MENSAJES; VENTAS not asked for
  for (const Unidad& u : r.plan.unidades) {
    if (strcmp(u.archivo, "QSRC") == 0) {
      // C changed first (Feb 10), B later.
      EXPECT_STREQ(u.fechad, "20260210");
      EXPECT_STREQ(u.horad, "235959");
    } else {
      EXPECT_STREQ(u.archivo, "MENSAJES");
      EXPECT_STREQ(u.fechad, "");
    }
  }
  ASSERT_EQ(r.eliminados.size(), 1u);
  EXPECT_EQ(r.eliminados[0].ruta, local("\\LIB\\QSRC\\D.ile"));
}

TEST_F(Caso, UnFicheroBorradoPorElUsuarioVuelveYLaFechaDelUsuarioManda) {
  existentes.erase(local("\\LIB\\QSRC\\A.ile"));
  Comparacion r = compara_con_indice(c, Alcance{95, "", "", "", 1, true, false}, indice, existe, intacta);
  EXPECT_EQ(r.sin_cambios, 0);
  EXPECT_EQ(r.recibiria, (std::vector<std::string>{local("\\LIB\\QSRC\\A.ile"), local("\\LIB\\QSRC\\B.ile"),
                                                   local("\\LIB\\QSRC\\C.cl")}));
  ASSERT_EQ(r.plan.unidades.size(), 1u);
  EXPECT_STREQ(r.plan.unidades[0].fechad, "20260101");
  // With FECHAD, what changed before it is out of the run's scope (the
  // server would not send it), and a new member without a date makes the
  // file be asked for since the run's own FECHAD, never earlier.
  c.archivos[0].miembros.push_back(miembro("E", "RPGL", "", ""));
  r = compara_con_indice(c, Alcance{95, "", "20260201", "", 1, true, false}, indice, existe, intacta);
  EXPECT_EQ(r.recibiria, (std::vector<std::string>{local("\\LIB\\QSRC\\B.ile"), local("\\LIB\\QSRC\\C.cl"),
                                                   local("\\LIB\\QSRC\\E.ile")}));
  ASSERT_EQ(r.plan.unidades.size(), 1u);
  EXPECT_STREQ(r.plan.unidades[0].fechad, "20260201");
  EXPECT_STREQ(r.plan.unidades[0].horad, "");
}

TEST_F(Caso, BorradosDeUnArchivoEnteroPorSuCopiaLocalYSoloEnElAlcanceGenerico) {
  // Whole files gone from the server: a raw data member and a DDS source
  // both carry type PF; their local copies tell them apart. A line edited
  // by hand that leads out of the tree is never a deletion.
  for (const std::string& l :
       {linea("VIEJO", "M1", "PF", "20250101", "000000"), linea("DDS", "X", "PF", "20250101", "000000"),
        linea("..", "X", "CLP", "", "")})
    indice.push_back(entrada(l.c_str()));
  existentes.insert({local("\\LIB\\VIEJO_M1.ebc"), local("\\LIB\\DDS\\X.dds")});
  std::vector<std::string> rutas;
  for (const Eliminado& e :
       compara_con_indice(c, Alcance{94, "", "", "", 1, true, false}, indice, existe, intacta).eliminados)
    rutas.push_back(e.ruta);
  EXPECT_EQ(rutas, (std::vector<std::string>{local("\\LIB\\QSRC\\D.ile"), local("\\LIB\\VIEJO_M1.ebc"),
                                             local("\\LIB\\DDS\\X.dds")}));
  // A generic file name's run says nothing of the files outside it.
  Comparacion g = compara_con_indice(c, Alcance{94, "Q*", "", "", 1, true, false}, indice, existe, intacta);
  ASSERT_EQ(g.eliminados.size(), 1u);
  EXPECT_EQ(g.eliminados[0].ruta, local("\\LIB\\QSRC\\D.ile"));
  EXPECT_EQ(g.recibiria.size(), 2u);
}

TEST_F(Caso, SinIncrementalTodoSeRecibeYLosBorradosSeDicen) {
  Comparacion r = compara_con_indice(c, Alcance{94, "", "", "", 4, false, false}, indice, existe, intacta);
  EXPECT_EQ(r.sin_cambios, 0);
  EXPECT_EQ(r.recibiria.size(), 5u);
  EXPECT_EQ(r.plan.objetos, 5);
  EXPECT_EQ(r.eliminados.size(), 1u);
  // A data-file run neither asks for sources nor says their deletion.
  Comparacion d = compara_con_indice(c, Alcance{97, "", "", "", 1, true, false}, indice, existe, intacta);
  EXPECT_TRUE(d.plan.unidades.empty());
  EXPECT_TRUE(d.eliminados.empty());
}

TEST(EntradaDeLinea, ComentariosOtrasBibliotecasYLineasCortas) {
  EntradaIndice e;
  EXPECT_FALSE(entrada_de_linea("# comentario", 12, "LIB", &e));
  std::string otra = linea("QSRC", "A", "RPGL", "20260101", "100000");
  otra.replace(1, 3, "OTR");
  EXPECT_FALSE(entrada_de_linea(otra.c_str(), otra.size(), "LIB", &e));
  EXPECT_FALSE(entrada_de_linea("ALIB", 4, "LIB", &e));
  // A line cut after the key has no dates.
  std::string corta = linea("QSRC", "A", "RPGL", "20260101", "100000").substr(0, 40);
  ASSERT_TRUE(entrada_de_linea(corta.c_str(), corta.size(), "LIB", &e));
  EXPECT_STREQ(e.fecha, "");
}

}  // namespace

// The plan of a several-session run: every listed member in exactly one unit,
// whatever the names; the split only where a file is too big for one
// session's share; the one-session order and the largest-first order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "base/texto.h"
#include "transfer/run/plan.h"

namespace {

ArchivoCatalogo archivo(const char* nombre, ClaseArchivo clase,
                        std::vector<std::pair<std::string, int64_t>> m) {
  ArchivoCatalogo a{};
  copia_texto(a.nombre, nombre);
  a.clase = clase;
  a.tamano = 1000;
  for (auto& [n, t] : m) {
    MiembroCatalogo x{};
    copia_texto(x.nombre, n.c_str());
    copia_texto(x.tipo, clase == ClaseArchivo::fuente ? "RPGL" : "");
    x.tamano = t;
    a.miembros.push_back(x);
  }
  return a;
}

// What the server sends for the unit's member field: all, a generic name, or
// the one member of that name.
bool en_unidad(const Unidad& u, const char* archivo, const char* miembro) {
  if (strcmp(u.archivo, archivo) != 0) return false;
  size_t n = strlen(u.miembro);
  if (n == 0) return true;
  if (u.miembro[n - 1] == '*') return strncmp(u.miembro, miembro, n - 1) == 0;
  return strcmp(u.miembro, miembro) == 0;
}

void cada_miembro_una_vez(const Catalogo& c, const Plan& p) {
  for (const ArchivoCatalogo& a : c.archivos)
    for (const MiembroCatalogo& m : a.miembros) {
      int veces = 0;
      for (const Unidad& u : p.unidades) veces += en_unidad(u, a.nombre, m.nombre);
      EXPECT_EQ(veces, 1) << a.nombre << "/" << m.nombre;
    }
}

TEST(Plan, FicherosPequenosSonUnaUnidadCadaUnoYElOrdenEsElDeUnaSesion) {
  Catalogo c{};
  c.archivos.push_back(archivo("QRPG", ClaseArchivo::fuente, {{"A", 10}, {"B", 10}}));
  c.archivos.push_back(archivo("DATOS", ClaseArchivo::datos, {{"D1", 30}}));
  c.archivos.push_back(archivo("QCBL", ClaseArchivo::fuente, {{"C", 25}}));
  ArchivoCatalogo msg{};
  copia_texto(msg.nombre, "MENSAJES");
  msg.clase = ClaseArchivo::mensajes;
  msg.tamano = 5;
  c.archivos.push_back(msg);

  Plan todo = planifica(c, 94, "", 1);
  ASSERT_EQ(todo.unidades.size(), 4u);
  EXPECT_EQ(todo.objetos, 5);
  EXPECT_EQ(todo.bytes, 80);
  // Largest first: DATOS (30), QCBL (25), QRPG (20), MENSAJES (5).
  EXPECT_STREQ(todo.unidades[0].archivo, "DATOS");
  EXPECT_STREQ(todo.unidades[3].archivo, "MENSAJES");
  for (const Unidad& u : todo.unidades) EXPECT_STREQ(u.miembro, "");
  // A one-session stream: source files in the catalogue's order, then data,
  // then message files.
  int orden[4];
  for (const Unidad& u : todo.unidades) {
    int k = strcmp(u.archivo, "QRPG") == 0    ? 0
            : strcmp(u.archivo, "QCBL") == 0  ? 1
            : strcmp(u.archivo, "DATOS") == 0 ? 2
                                              : 3;
    orden[k] = u.orden;
  }
  EXPECT_LT(orden[0], orden[1]);
  EXPECT_LT(orden[1], orden[2]);
  EXPECT_LT(orden[2], orden[3]);

  Plan fuentes = planifica(c, 95, "", 1);
  ASSERT_EQ(fuentes.unidades.size(), 2u);
  Plan datos = planifica(c, 97, "", 1);
  ASSERT_EQ(datos.unidades.size(), 1u);
  EXPECT_STREQ(datos.unidades[0].archivo, "DATOS");
  Plan uno = planifica(c, 94, "QCBL", 4);
  ASSERT_EQ(uno.unidades.size(), 1u);
  EXPECT_EQ(uno.objetos, 1);
  // A generic file name keeps the files of its prefix (QRPG, split in two by
  // its members, and QCBL); each unit knows its file's place in the
  // catalogue.
  Plan genericos = planifica(c, 94, "Q*", 4);
  ASSERT_EQ(genericos.unidades.size(), 3u);
  EXPECT_EQ(genericos.objetos, 3);
  for (const Unidad& u : genericos.unidades) EXPECT_STREQ(c.archivos[u.archivo_catalogo].nombre, u.archivo);
}

TEST(Plan, UnFicheroGrandeSeParteEnNombresGenericosSinPerderNiRepetirMiembros) {
  Catalogo c{};
  // AB is a member and the prefix of others: only its own name holds it
  // alone.
  c.archivos.push_back(archivo("QGRANDE", ClaseArchivo::fuente,
                               {{"AB", 50}, {"ABC", 50}, {"ABD", 50}, {"B1", 100}, {"B2", 100}, {"C", 400}}));
  c.archivos.push_back(archivo("QCHICO", ClaseArchivo::fuente, {{"X", 100}}));
  Plan p = planifica(c, 95, "", 8);  // target: 850 / 8 = 106 bytes
  cada_miembro_una_vez(c, p);
  bool exacto = false;
  for (const Unidad& u : p.unidades) {
    if (strcmp(u.miembro, "AB") == 0) exacto = true;
    if (strcmp(u.archivo, "QCHICO") == 0) {
      EXPECT_STREQ(u.miembro, "");
    }
  }
  EXPECT_TRUE(exacto);
  for (size_t i = 1; i < p.unidades.size(); i++) EXPECT_GE(p.unidades[i - 1].bytes, p.unidades[i].bytes);
  // The units of the split file keep the members' order in the one-session
  // order: AB, ABC*, ABD*, B1*, B2*, C*.
  std::vector<std::string> por_orden(p.unidades.size());
  for (const Unidad& u : p.unidades) por_orden[(size_t)u.orden] = std::string(u.archivo) + "/" + u.miembro;
  EXPECT_EQ(por_orden.front(), "QGRANDE/AB");
  EXPECT_EQ(por_orden.back(), "QCHICO/");
}

TEST(Plan, NombresAlAzarDeDiezCaracteres) {
  std::mt19937 azar(7);
  const char letras[] = "AB9$#@_";
  for (int vuelta = 0; vuelta < 50; vuelta++) {
    Catalogo c{};
    std::vector<std::pair<std::string, int64_t>> m;
    for (int i = 0; i < 300; i++) {
      std::string nombre;
      size_t largo = 1 + azar() % 10;
      for (size_t k = 0; k < largo; k++) nombre += letras[azar() % 7];
      bool repetido = false;
      for (auto& x : m) repetido = repetido || x.first == nombre;
      if (!repetido) m.push_back({nombre, (int64_t)(azar() % 5000)});
    }
    std::sort(m.begin(), m.end());
    c.archivos.push_back(archivo("F", ClaseArchivo::fuente, m));
    Plan p = planifica(c, 95, "", 1 + (int)(azar() % 16));
    cada_miembro_una_vez(c, p);
    for (const Unidad& u : p.unidades) EXPECT_LE(strlen(u.miembro), 10u);
  }
}

TEST(Plan, UnArchivoYUnFicheroDeMensajesDelMismoNombreSonUnaUnidad) {
  // A request narrowed to the name brings both: one unit, never split, and
  // the message file keeps its own place in the one-session order.
  Catalogo c{};
  c.archivos.push_back(archivo("QCL", ClaseArchivo::fuente, {{"A", 500}, {"B", 500}, {"C", 500}}));
  c.archivos.push_back(archivo("QRPG", ClaseArchivo::fuente, {{"X", 10}}));
  ArchivoCatalogo msg{};
  copia_texto(msg.nombre, "QCL");
  msg.clase = ClaseArchivo::mensajes;
  msg.tamano = 7;
  c.archivos.push_back(msg);
  Plan p = planifica(c, 94, "", 8);
  ASSERT_EQ(p.unidades.size(), 2u);
  const Unidad& qcl = p.unidades[0];
  EXPECT_STREQ(qcl.archivo, "QCL");
  EXPECT_STREQ(qcl.miembro, "");
  EXPECT_EQ(qcl.objetos, 4);
  EXPECT_EQ(qcl.bytes, 1507);
  // Source files first (QCL, QRPG), then message files.
  EXPECT_EQ(qcl.orden, 0);
  EXPECT_EQ(p.unidades[1].orden, 1);
  EXPECT_EQ(qcl.orden_mensajes, 2);
  EXPECT_EQ(p.unidades[1].orden_mensajes, -1);
  // The members alone (MBR) may still be split.
  Plan miembros = planifica(c, 95, "", 8);
  EXPECT_GT(miembros.unidades.size(), 2u);
  cada_miembro_una_vez(c, miembros);
}

TEST(Plan, TamanosEnormesNoDesbordanLasSumas) {
  Catalogo c{};
  c.archivos.push_back(archivo("A", ClaseArchivo::fuente, {{"M1", INT64_MAX}, {"M2", INT64_MAX}}));
  c.archivos.push_back(archivo("B", ClaseArchivo::fuente, {{"M1", INT64_MAX - 1}}));
  Plan p = planifica(c, 95, "", 4);
  EXPECT_EQ(p.bytes, INT64_MAX);
  cada_miembro_una_vez(c, p);
  for (const Unidad& u : p.unidades) EXPECT_GE(u.bytes, 0);
}

TEST(Plan, NombresDelCatalogoQueNoSonNombres) {
  char motivo[128];
  Catalogo bien{};
  bien.archivos.push_back(archivo("QCL", ClaseArchivo::fuente, {{"A", 1}}));
  EXPECT_TRUE(catalogo_valido(bien, motivo, sizeof motivo));
  const char* malos[] = {"*", "A*", "../X", "A B", "A/B", "XVORAS", ".."};
  for (const char* nombre : malos) {
    Catalogo c{};
    c.archivos.push_back(archivo(nombre, ClaseArchivo::fuente, {{"A", 1}}));
    EXPECT_FALSE(catalogo_valido(c, motivo, sizeof motivo)) << nombre;
    EXPECT_EQ(std::string(motivo), std::string("nombre no valido (") + nombre + ")");
    Catalogo m{};
    m.archivos.push_back(archivo("QCL", ClaseArchivo::fuente, {{nombre, 1}}));
    // A member may be named as a folder of the program's own is: it is no
    // folder.
    EXPECT_EQ(catalogo_valido(m, motivo, sizeof motivo), strcmp(nombre, "XVORAS") == 0) << nombre;
  }
}

}  // namespace

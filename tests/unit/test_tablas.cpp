// Unit tests of the code page tables: the built-in pair, the parsing of the
// table file, where the file is looked for, and the ANSI/OEM pair.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "portatil.h"
#include "wire/tablas.h"

namespace {

struct FinPrograma {
  int estado;
};
[[noreturn]] void lanza_fin(int estado) {
  throw FinPrograma{estado};
}

TEST(TablasFijas, InversasSalvoLasEntradasConocidas) {
  // EBCDIC byte -> ASCII value -> back through asc_fija, and the reverse.
  const int ebc[][3] = {{0x00, 0x20, 0x40}, {0x63, 0x27, 0x7D}, {0x64, 0xB7, 0xB7}, {0x68, 0xC7, 0x27},
                        {0x6A, 0xF1, 0x3B}, {0x79, 0x23, 0x69}, {0x7B, 0xD1, 0x31}, {0xFF, 0x85, 0x44}};
  const int asc[][3] = {{0x00, 0x00, 0x20}, {0x23, 0x69, 0xF9}, {0x27, 0x7D, 0x60}, {0x7E, 0x64, 0xB7},
                        {0x80, 0x68, 0xC7}, {0xA0, 0x45, 0xFF}, {0xA4, 0x6A, 0xF1}, {0xA5, 0x7B, 0xD1}};
  bool excepcion_ebc[256] = {};
  bool excepcion_asc[256] = {};
  for (auto& e : ebc) {
    EXPECT_EQ(ebc_fija[e[0]], e[1]) << std::hex << e[0];
    EXPECT_EQ(asc_fija[e[1]], e[2]) << std::hex << e[0];
    excepcion_ebc[e[0]] = true;
  }
  for (auto& a : asc) {
    EXPECT_EQ(asc_fija[a[0]], a[1]) << std::hex << a[0];
    EXPECT_EQ(ebc_fija[a[1]], a[2]) << std::hex << a[0];
    excepcion_asc[a[0]] = true;
  }
  for (int i = 0; i < 256; i++) {
    if (!excepcion_ebc[i]) {
      EXPECT_EQ(asc_fija[ebc_fija[i]], i) << std::hex << i;
    }
    if (!excepcion_asc[i]) {
      EXPECT_EQ(ebc_fija[asc_fija[i]], i) << std::hex << i;
    }
  }
  for (int i = 1; i < 0x20; i++) {
    EXPECT_EQ(ebc_fija[i], i);
    EXPECT_EQ(asc_fija[i], i);
  }
}

// Tables reset to the built-in pair before every case.
class LineaTabla : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx = RunContext{};
    memcpy(ctx.tabla_ebc, ebc_fija, 256);
    memcpy(ctx.tabla_asc, asc_fija, 256);
  }
  void TearDown() override { ctx = RunContext{}; }
  bool tablas_intactas() {
    return memcmp(ctx.tabla_ebc, ebc_fija, 256) == 0 && memcmp(ctx.tabla_asc, asc_fija, 256) == 0;
  }
};

TEST_F(LineaTabla, MapeosValidos) {
  struct Caso {
    const char* linea;
    int ebcdic, ascii;
  } casos[] = {
      {"C1 41\n", 0xC1, 0x41},
      {"C1 A\n", 0xC1, 0x41},
      {"c1 4b\n", 0xC1, 0x4B},
      {"F1 4\n", 0xF1, 0x34},
      {"C1 4B 41\n", 0xC1, 0x4B},
      {"C1 4B41xyz\n", 0xC1, 0x4B},
      {"4A \xA2\n", 0x4A, 0xA2},
      {"C1 A", 0xC1, 0x41},
      {"C1 A\r\n", 0xC1, 0x41},
      {"C1 A    \n", 0xC1, 0x41},
      {"5A !    past column 8", 0x5A, 0x21},
  };
  for (auto& c : casos) {
    SetUp();
    EXPECT_TRUE(aplica_linea_tabla(c.linea)) << c.linea;
    EXPECT_EQ(ctx.tabla_ebc[c.ebcdic], c.ascii) << c.linea;
    EXPECT_EQ(ctx.tabla_asc[c.ascii], c.ebcdic) << c.linea;
    // Nothing else moves.
    int cambios = 0;
    for (int i = 0; i < 256; i++)
      cambios += (ctx.tabla_ebc[i] != ebc_fija[i]) + (ctx.tabla_asc[i] != asc_fija[i]);
    EXPECT_LE(cambios, 2) << c.linea;
  }
}

TEST_F(LineaTabla, ComentariosYLineasMalFormadasNoCambianNada) {
  const char* lineas[] = {
      "# C1 41\n", "$C1 41\n", "\n",      "",         "C1\n",   "C1 \n", "C1     \n", "G1 41\n", "C 41\n",
      " C1 41\n",  "C1 ZZ\n",  "C1 4G\n", "C1  41\n", "1 41\n", "C1",    "C1 \r\n",   "\r\n",    "C1 4 1\n",
  };
  for (const char* linea : lineas) {
    EXPECT_FALSE(aplica_linea_tabla(linea)) << linea;
    EXPECT_TRUE(tablas_intactas()) << linea;
  }
}

// A scratch tree holding BASE and WWW_ROOT, with LANG set to TST.
class FicheroTabla : public ::testing::Test {
 protected:
  std::string raiz;

  void SetUp() override {
    ctx = RunContext{};
    raiz = crea_directorio_temporal("vortcp_tablas_");
    ASSERT_NE(raiz, "");
    std::filesystem::create_directories(raiz + "/base/basico");
    std::filesystem::create_directories(raiz + "/www/config");
    copia_texto(ctx.base, (raiz + "/base").c_str());
    pon_variable("WWW_ROOT", (raiz + "/www").c_str());
    pon_variable("LANG", "TST");
    establece_manejador_fin(lanza_fin);
  }
  void TearDown() override {
    establece_manejador_fin(nullptr);
    ctx = RunContext{};
    quita_variable("WWW_ROOT");
    borra_arbol(raiz);
  }
  // A table file path as the program forms and prints it on this platform:
  // "<raiz>\<carpeta>\ebcdic.TST".
  static std::string ruta_local(const char* carpeta, const std::string& raiz_ruta) {
    char r[1024];
    plat_ruta(r, sizeof r, "%s\\%s\\ebcdic.%s", raiz_ruta.c_str(), carpeta, "TST");
    return r;
  }
  void escribe(const std::string& relativa, const std::string& contenido) {
    FILE* f = fopen((raiz + "/" + relativa).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(contenido.data(), 1, contenido.size(), f);
    fclose(f);
  }
  // Loads the tables with stdout captured, expecting a table file to be
  // found; returns what was printed.
  std::string carga() {
    captura_salida();
    bool cargada = false;
    try {
      cargada = carga_tabla_ebc();
    } catch (...) {
      salida_capturada();
      throw;
    }
    std::string salida = salida_capturada();
    EXPECT_TRUE(cargada) << salida;
    return salida;
  }
};

TEST_F(FicheroTabla, SoloComentariosDejaLasFijasSalvoFF) {
  escribe("base/basico/ebcdic.TST", "# nothing here\n$ nor here\n\n");
  EXPECT_EQ(carga(), "");
  for (int i = 0; i < 255; i++) {
    EXPECT_EQ(ctx.tabla_ebc[i], ebc_fija[i]) << i;
    EXPECT_EQ(ctx.tabla_asc[i], asc_fija[i]) << i;
  }
  EXPECT_EQ(ebc_fija[0xFF], 0x85);
  EXPECT_EQ(asc_fija[0xFF], 0x45);
  EXPECT_EQ(ctx.tabla_ebc[0xFF], 0xFF);
  EXPECT_EQ(ctx.tabla_asc[0xFF], 0xFF);
}

TEST_F(FicheroTabla, LineasEnOrdenFFYUltimaLineaSinFin) {
  escribe("base/basico/ebcdic.TST",
          "# Spanish\n"
          "C1 41\n"
          "C1 42\n"  // overrides C1, leaves tabla_asc[41] as the first line set it
          "FF 43\n"  // FF of tabla_ebc is set back after the file
          "4A 5B comment\n"
          "D1 J\n"
          "D2 44");  // no line end: ignored
  carga();
  EXPECT_EQ(ctx.tabla_ebc[0xC1], 0x42);
  EXPECT_EQ(ctx.tabla_asc[0x42], 0xC1);
  EXPECT_EQ(ctx.tabla_asc[0x41], 0xC1);
  EXPECT_EQ(ctx.tabla_asc[0x43], 0xFF);
  EXPECT_EQ(ctx.tabla_ebc[0xFF], 0xFF);
  EXPECT_EQ(ctx.tabla_ebc[0x4A], 0x5B);
  EXPECT_EQ(ctx.tabla_asc[0x5B], 0x4A);
  EXPECT_EQ(ctx.tabla_ebc[0xD1], 'J');
  EXPECT_EQ(ctx.tabla_ebc[0xD2], ebc_fija[0xD2]);
  EXPECT_EQ(ctx.tabla_asc[0x44], asc_fija[0x44]);
}

TEST_F(FicheroTabla, FicheroDeWindowsYLineasLargas) {
  // CR LF line ends read as LF ones; a single-character value stays one
  // character. A line longer than one read is judged by its first 599
  // characters only: its tail is not a line of its own.
  std::string larga = "E1 61" + std::string(594, ' ') + "E2 62\n";
  escribe("base/basico/ebcdic.TST", "C1 A\r\nC2 4\r\n" + larga + "C3 43\r\n");
  carga();
  EXPECT_EQ(ctx.tabla_ebc[0xC1], 'A');
  EXPECT_EQ(ctx.tabla_ebc[0xC2], '4');
  EXPECT_EQ(ctx.tabla_ebc[0xE1], 0x61);
  EXPECT_EQ(ctx.tabla_ebc[0xE2], ebc_fija[0xE2]);
  EXPECT_EQ(ctx.tabla_ebc[0xC3], 0x43);
}

TEST_F(FicheroTabla, LineaConNuloRechazadaYLaSiguienteLeida) {
  // A NUL anywhere in a line refuses it, past its first 599 characters too;
  // the next line is a line of its own.
  std::string larga = "C3 43" + std::string(700, ' ') + std::string(1, '\0') + "\n";
  const char principio[] = "C1 41\0\nC2 42\n";
  escribe("base/basico/ebcdic.TST", std::string(principio, sizeof principio - 1) + larga + "C4 44\n");
  std::string ruta = ruta_local("basico", raiz + "/base");
  EXPECT_EQ(carga(),
            "Byte nulo en la linea 1 de (" + ruta + ")\nByte nulo en la linea 3 de (" + ruta + ")\n");
  EXPECT_EQ(ctx.tabla_ebc[0xC1], ebc_fija[0xC1]);
  EXPECT_EQ(ctx.tabla_ebc[0xC2], 0x42);
  EXPECT_EQ(ctx.tabla_ebc[0xC3], ebc_fija[0xC3]);
  EXPECT_EQ(ctx.tabla_ebc[0xC4], 0x44);
}

TEST_F(FicheroTabla, BaseAntesQueWwwRoot) {
  escribe("base/basico/ebcdic.TST", "C1 51\n");
  escribe("www/config/ebcdic.TST", "C1 52\n");
  ctx.test = 1;
  std::string salida = carga();
  EXPECT_EQ(ctx.tabla_ebc[0xC1], 0x51);
  std::string ruta = ruta_local("basico", raiz + "/base");
  EXPECT_EQ(salida.rfind("Intenta Carga (" + ruta + ")\nCarga Tabla Ebc (" + ruta + ")\n\n", 0), 0u)
      << salida;
  EXPECT_NE(salida.find("\t(193,c1)   ebc(51,Q)  asc(21,!)  to_ascii(0,"), std::string::npos);

  ctx.test = 0;
  plat_borra_fichero(ruta.c_str());
  EXPECT_EQ(carga(), "");
  EXPECT_EQ(ctx.tabla_ebc[0xC1], 0x52);
}

TEST_F(FicheroTabla, SinFicheroFallaSinTerminarLaEjecucion) {
  std::string salida;
  int estado = -100;
  bool cargada = true;
  captura_salida();
  try {
    cargada = carga_tabla_ebc();
  } catch (const FinPrograma& f) {
    estado = f.estado;
  }
  salida = salida_capturada();
  // The caller ends the run (with exit status 1), not the table loader.
  EXPECT_FALSE(cargada);
  EXPECT_EQ(estado, -100);
  EXPECT_EQ(salida, "Fichero " + ruta_local("config", raiz + "/www") + " no encontrado.\n\n");

  // With LANG unset the name ends in a point.
  quita_variable("LANG");
  escribe("base/basico/ebcdic.", "C1 53\n");
  carga();
  EXPECT_EQ(ctx.tabla_ebc[0xC1], 0x53);
}

TEST_F(FicheroTabla, TablasAnsiOem) {
  escribe("base/basico/ebcdic.TST", "");
  captura_salida();
  EXPECT_TRUE(prepara_tablas());
  EXPECT_EQ(salida_capturada(), "");
  EXPECT_EQ(ansi_a_oem(0), 0);
  EXPECT_EQ(oem_a_ansi(0), 0);
  EXPECT_EQ(ansi_a_oem(255), 255);
  EXPECT_EQ(oem_a_ansi(255), 255);
  for (int i = 1; i < 128; i++) {
    EXPECT_EQ(ansi_a_oem(i), i);
    EXPECT_EQ(oem_a_ansi(i), i);
  }
  // CP1252 e acute is 0x82 in CP850, and back.
  EXPECT_EQ(ansi_a_oem(0xE9), 0x82);
  EXPECT_EQ(oem_a_ansi(0x82), 0xE9);
  for (int i = 64; i < 255; i++) {
    // Entry 255 of both is forced to 255 afterwards (NBSP is FF in CP850).
    if (ansi_a_oem(i) != i && ansi_a_oem(i) != 255) {
      EXPECT_EQ(oem_a_ansi(ansi_a_oem(i)), i) << i;
    }
  }
  EXPECT_EQ(ctx.tabla_ebc[0xFF], 0xFF);  // the table file was loaded too

  ctx.test = 1;
  captura_salida();
  EXPECT_TRUE(prepara_tablas());
  std::string salida = salida_capturada();
  EXPECT_EQ(salida.rfind("windows=[", 0), 0u);
  EXPECT_NE(salida.find("]\nansi   =["), std::string::npos);
  EXPECT_NE(salida.find("[065] 41,A   41,A \n"), std::string::npos);
  EXPECT_NE(salida.find("[130] e9,\xE9   82,\x82 \n"), std::string::npos);
  EXPECT_NE(salida.find("Intenta Carga ("), std::string::npos);
}

}  // namespace

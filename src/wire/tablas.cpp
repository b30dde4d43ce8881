// Code page tables: the two built-in EBCDIC/ASCII tables, the loaded pair that
// the table file ebcdic.<LANG> amends, and the ANSI/OEM pair that only feeds the
// test-level dumps.
#include "wire/tablas.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/contexto.h"
#include "base/lineas.h"
#include "base/texto.h"
#include "platform/plataforma.h"

// The ANSI/OEM pair of the test dumps: to_ascii turns ANSI into OEM, to_ansi
// OEM into ANSI. Only the dumps of test level 1 read them.
static unsigned char to_ascii[256];
static unsigned char to_ansi[256];

// The two built-in tables are inverse to each other except at eight entries
// each (00, 63, 64, 68, 6A, 79, 7B, FF of ebc_fija; 00, 23, 27, 7E, 80, A0, A4,
// A5 of asc_fija): a few characters have two codes on one side, so a round trip
// through both does not always give back the byte it started from.
// clang-format off
// EBCDIC to ASCII. A NUL in received EBCDIC text becomes a blank (00 -> 20).
const unsigned char ebc_fija[256] = {
    /* 0x */ 0x20, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    /* 1x */ 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    /* 2x */ 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCE, 0xDE, 0xA6, 0xA7, 0xAC, 0xA9,
    /* 3x */ 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5,
    /* 4x */ 0x20, 0xDC, 0x91, 0x83, 0x85, 0xFF, 0x86, 0xB3, 0x87, 0x89, 0x5B, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    /* 5x */ 0x26, 0x82, 0x92, 0x93, 0x8A, 0xA1, 0x96, 0x8B, 0x98, 0x99, 0x5D, 0x24, 0x2A, 0x29, 0x3B, 0xAA,
    /* 6x */ 0x2D, 0x2F, 0xBB, 0x27, 0xB7, 0x7F, 0xF6, 0xF7, 0xC7, 0xF9, 0xF1, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    /* 7x */ 0xE0, 0x90, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0x23, 0x3A, 0xD1, 0x40, 0x60, 0x3D, 0x22,
    /* 8x */ 0xF8, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x94, 0x97, 0x8C, 0x8D, 0x8E, 0x8F,
    /* 9x */ 0xE2, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0xFC, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    /* Ax */ 0x84, 0xCD, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xAD, 0xA8, 0xAB, 0xAE, 0xAF, 0xBA,
    /* Bx */ 0xB0, 0xB1, 0xB2, 0xFA, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0x5E, 0x21, 0xBC, 0xBD, 0xBE, 0xBF,
    /* Cx */ 0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xCA, 0xCB, 0xCC, 0x95, 0xA2, 0xCF,
    /* Dx */ 0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xDA, 0xDB, 0x81, 0xDD, 0xA3, 0xDF,
    /* Ex */ 0x5C, 0xE1, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    /* Fx */ 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x88, 0xFB, 0x9A, 0xFD, 0xFE, 0x85,
};

// ASCII to EBCDIC.
const unsigned char asc_fija[256] = {
    /* 0x */ 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    /* 1x */ 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    /* 2x */ 0x40, 0xBB, 0x7F, 0x69, 0x5B, 0x6C, 0x50, 0x7D, 0x4D, 0x5D, 0x5C, 0x4E, 0x6B, 0x60, 0x4B, 0x61,
    /* 3x */ 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0x7A, 0x5E, 0x4C, 0x7E, 0x6E, 0x6F,
    /* 4x */ 0x7C, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
    /* 5x */ 0xD7, 0xD8, 0xD9, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0x4A, 0xE0, 0x5A, 0xBA, 0x6D,
    /* 6x */ 0x7D, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96,
    /* 7x */ 0x97, 0x98, 0x99, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xC0, 0x4F, 0xD0, 0x64, 0x65,
    /* 8x */ 0x68, 0xDC, 0x51, 0x43, 0xA0, 0x44, 0x46, 0x48, 0xFA, 0x49, 0x54, 0x57, 0x8C, 0x8D, 0x8E, 0x8F,
    /* 9x */ 0x71, 0x42, 0x52, 0x53, 0x8A, 0xCD, 0x56, 0x8B, 0x58, 0x59, 0xFC, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F,
    /* Ax */ 0x45, 0x55, 0xCE, 0xDE, 0x6A, 0x7B, 0x2C, 0x2D, 0xAB, 0x2F, 0x5F, 0xAC, 0x2E, 0xAA, 0xAD, 0xAE,
    /* Bx */ 0xB0, 0xB1, 0xB2, 0x47, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xAF, 0x62, 0xBC, 0xBD, 0xBE, 0xBF,
    /* Cx */ 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0xCA, 0xCB, 0xCC, 0xA1, 0x2A, 0xCF,
    /* Dx */ 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xDA, 0xDB, 0x41, 0xDD, 0x2B, 0xDF,
    /* Ex */ 0x70, 0xE1, 0x90, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF,
    /* Fx */ 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x66, 0x67, 0x80, 0x69, 0xB3, 0xFB, 0x9A, 0xFD, 0xFE, 0x45,
};
// clang-format on

// The part of a table-file line that is kept: its first 599 characters.
constexpr int TAM_LECTURA_TABLA = 600;

int valor_hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte written as two hexadecimal digits at texto, or -1 when either is
// not a digit.
static int byte_hex(const char* texto) {
  int alto = valor_hex(texto[0]);
  if (alto < 0) return -1;
  int bajo = valor_hex(texto[1]);
  if (bajo < 0) return -1;
  return alto * 16 + bajo;
}

bool lee_linea_tabla(const char* linea, int* ebcdic, int* ascii) {
  if (linea[0] == '#' || linea[0] == '$' || linea[0] == '\n' || linea[0] == '\0') return false;

  // Columns 1-2: the EBCDIC byte. Column 3 is a separator and is not read.
  char campo[8];
  extrae_campo(campo, linea, 0, 2, 1);
  quita_blancos(campo);
  *ebcdic = byte_hex(campo);
  if (*ebcdic < 0) return false;

  // Columns 4-8: two hexadecimal digits (what follows them is not read), or one
  // literal character standing for itself, so "4" is the byte 34, not 04.
  extrae_campo(campo, linea, 3, 5, 1);
  quita_blancos(campo);
  if (campo[0] == '\0' || campo[0] == '\r') return false;
  if (campo[1] == '\0' || campo[1] == '\r' || campo[1] == '\n') {
    *ascii = (unsigned char)campo[0];
  } else {
    *ascii = byte_hex(campo);
    if (*ascii < 0) return false;
  }
  return true;
}

bool aplica_linea_tabla(const char* linea) {
  int ebcdic = 0, ascii = 0;
  if (!lee_linea_tabla(linea, &ebcdic, &ascii)) return false;
  ctx.tabla_ebc[ebcdic] = (unsigned char)ascii;
  ctx.tabla_asc[ascii] = (unsigned char)ebcdic;
  return true;
}

// Applies every line of the open table file in order; a last line without its
// line end is ignored. Only the first 599 characters of a line count (the
// mapping columns lie in them), but a line is judged whole: one that holds a
// NUL byte anywhere is refused ("Byte nulo en la linea %d de (%s)\n") and the
// next line is read as a line of its own. Returns false when the file could
// not be read to its end (a directory opens on POSIX, and its reads fail).
static bool lee_fichero_tabla(FILE* f, const char* ruta) {
  char linea[TAM_LECTURA_TABLA];
  LineaLeida leida;
  int numero = 0;
  while (lee_linea_entera(f, linea, sizeof linea, &leida, false)) {
    numero++;
    if (!leida.con_fin) break;
    if (leida.nulo) {
      printf("Byte nulo en la linea %d de (%s)\n", numero, ruta);
      continue;
    }
    aplica_linea_tabla(linea);
  }
  return ferror(f) == 0;
}

// Opens the table file at ruta and applies it to the tables. False, with the
// tables as built in, when the file cannot be opened or read: the caller then
// treats it as missing.
static bool carga_fichero_tabla(const char* ruta) {
  FILE* f = plat_abre_texto(ruta, "r");
  if (f == nullptr) return false;
  // A path that opens but cannot be read fails at its first read.
  int primero = getc(f);
  if (primero == EOF && ferror(f)) {
    fclose(f);
    return false;
  }
  if (primero != EOF) ungetc(primero, f);
  if (ctx.test == 1) printf("Carga Tabla Ebc (%s)\n", ruta);
  bool bien = lee_fichero_tabla(f, ruta);
  fclose(f);
  if (!bien) {
    memcpy(ctx.tabla_ebc, ebc_fija, sizeof ctx.tabla_ebc);
    memcpy(ctx.tabla_asc, asc_fija, sizeof ctx.tabla_asc);
  }
  return bien;
}

static void vuelca_tablas_ebc() {
  printf("\n");
  for (int i = 0; i < 256; i++) {
    printf("\t(%d,%x)   ebc(%x,%c)  asc(%x,%c)  to_ascii(%x,%c)  to_ansi(%x,%c)\n", i, i, ctx.tabla_ebc[i],
           ctx.tabla_ebc[i], ctx.tabla_asc[i], ctx.tabla_asc[i], to_ascii[i], to_ascii[i], to_ansi[i],
           to_ansi[i]);
  }
  printf("\n");
}

bool carga_tabla_ebc() {
  memcpy(ctx.tabla_ebc, ebc_fija, sizeof ctx.tabla_ebc);
  memcpy(ctx.tabla_asc, asc_fija, sizeof ctx.tabla_asc);

  char lang[TAM_AJUSTE];
  if (!toma_env(lang, plat_variable_idioma())) return false;
  char ruta[TAM_RUTA];
  plat_ruta(ruta, "%s\\basico\\ebcdic.%s", ctx.base, lang);
  if (ctx.test == 1) printf("Intenta Carga (%s)\n", ruta);
  if (!carga_fichero_tabla(ruta)) {
    char primera[TAM_RUTA];
    copia_texto(primera, ruta);
    char www_root[TAM_AJUSTE];
    if (!toma_env(www_root, "WWW_ROOT")) return false;
    plat_ruta(ruta, "%s\\config\\ebcdic.%s", www_root, lang);
    // The file is required, even when it would hold only comments. The
    // message names the second path; the line on standard error names both,
    // so that a wrong BASE is as plain as a wrong WWW_ROOT or language.
    if (!carga_fichero_tabla(ruta)) {
      printf("Fichero %s no encontrado.\n\n", ruta);
      fflush(stdout);
      fprintf(stderr, "Fichero de tablas buscado en %s y en %s\n", primera, ruta);
      // Without VORTCP_LANG the language came from the system's locale,
      // which names no table file: say what to set.
      if (plat_lang_es_regional() && strcmp(plat_variable_idioma(), "LANG") == 0)
        fprintf(stderr,
                "Defina VORTCP_LANG con el idioma del fichero de tablas (VORTCP_LANG=ESP busca "
                "ebcdic.ESP): aqui LANG es la configuracion regional.\n");
      return false;
    }
  }
  // Byte FF stays FF both ways whatever the file says: set after the file.
  ctx.tabla_ebc[255] = 255;
  ctx.tabla_asc[255] = 255;

  if (ctx.test == 1) vuelca_tablas_ebc();
  return true;
}

static void vuelca_tablas_ansi() {
  printf("windows=[");
  for (int i = 0; i < 256; i++)
    if (to_ansi[i] != to_ascii[i]) printf("%c", to_ansi[i]);
  printf("]\nansi   =[");
  for (int i = 0; i < 256; i++)
    if (to_ansi[i] != to_ascii[i]) printf("%c", to_ascii[to_ansi[i]]);
  printf("]\n");
  for (int i = 0; i < 256; i++)
    printf("[%.3d] %x,%c   %x,%c \n", i, to_ansi[i], to_ansi[i], to_ascii[i], to_ascii[i]);
}

bool prepara_tablas() {
  to_ascii[0] = 0;
  to_ansi[0] = 0;
  for (int i = 1; i < 256; i++) {
    to_ascii[i] = (unsigned char)i;
    to_ansi[i] = (unsigned char)i;
  }
  // Only characters from 64 on whose OEM code converts back to them change;
  // the rest keep their own value.
  for (int i = 64; i <= 254; i++) {
    int oem = plat_ansi_a_oem((unsigned char)i);
    if (oem < 0 || oem == i) continue;
    if (plat_oem_a_ansi((unsigned char)oem) != i) continue;
    to_ascii[i] = (unsigned char)oem;
    to_ansi[oem] = (unsigned char)i;
  }
  to_ascii[255] = 255;
  to_ansi[255] = 255;

  if (ctx.test == 1) vuelca_tablas_ansi();
  return carga_tabla_ebc();
}

unsigned char ansi_a_oem(unsigned char c) {
  return to_ascii[c];
}

unsigned char oem_a_ansi(unsigned char c) {
  return to_ansi[c];
}

namespace {

// tabla_ebc for two bytes at once: 65,536 entries of the pair translated.
// A 30,000-byte block then costs half the look-ups. Built from the table in
// force and rebuilt whenever that table changes.
uint16_t tabla_pares[65536];
unsigned char tabla_de_los_pares[256];
bool pares_hechos = false;
// Every session's blocks go through the pairs: they are checked (and, when
// the table has changed, rebuilt) under this mutex. A run changes its table
// only at start, so the pairs are read unchanged while sessions translate.
std::mutex cerrojo_pares;

void prepara_pares() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_pares);
  if (pares_hechos && memcmp(tabla_de_los_pares, ctx.tabla_ebc, 256) == 0) return;
  memcpy(tabla_de_los_pares, ctx.tabla_ebc, 256);
  for (int par = 0; par < 65536; par++) {
    unsigned char dos[2] = {(unsigned char)(par & 0xFF), (unsigned char)(par >> 8)};
    unsigned char traducidos[2] = {ctx.tabla_ebc[dos[0]], ctx.tabla_ebc[dos[1]]};
    uint16_t v;
    // The pair as it lies in memory, whatever the machine's byte order.
    memcpy(&v, dos, 2);
    uint16_t t;
    memcpy(&t, traducidos, 2);
    tabla_pares[v] = t;
  }
  pares_hechos = true;
}

}  // namespace

void traduce_tabla_ebc(unsigned char* destino, const unsigned char* origen, size_t n) {
  prepara_pares();
  size_t i = 0;
  for (; i + 2 <= n; i += 2) {
    uint16_t v;
    memcpy(&v, origen + i, 2);
    uint16_t t = tabla_pares[v];
    memcpy(destino + i, &t, 2);
  }
  if (i < n) destino[i] = ctx.tabla_ebc[origen[i]];
}

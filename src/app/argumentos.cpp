// The command line: the run-mode keyword and its request code, the positional
// names, the FECHAD/HORAD options, and the three texts a run can begin with
// (usage text, parameter error, title).
#include "app/argumentos.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/texto.h"

#ifndef VORTCP_VERSION
#define VORTCP_VERSION "0"  // set by the build from the project's version
#endif

namespace {

constexpr int MAX_ARGUMENTOS = 7;  // after the program name
constexpr size_t MAX_LARGO_ARGUMENTO = TAM_AJUSTE - 1;
constexpr size_t LARGO_NOMBRE = 10;  // library, file and member
constexpr size_t LARGO_TIPO = 4;

const char* const AVISO = "Cliente TCP del servidor ZIZEZ/400 para i-Series.\n\n\n";

// Keywords are matched exactly in upper or exactly in lower case. The codes
// are assigned in this order, each match overwriting the last; DATOS asks for
// a data transfer, so it runs as DAT.
struct Modo {
  const char* mayusculas;
  const char* minusculas;
  int32_t codigo;
};
const Modo MODOS[] = {
    {"SPL", "spl", 66},     {"SPF", "spf", 67}, {"DAT", "dat", 97},
    {"ALL", "all", 94},     {"WEB", "web", 54}, {"MBR", "mbr", 95},
    {"LISTA", "lista", 97}, {"END", "end", 96}, {"DATOS", "datos", 97},
};

bool es_modo(const Modo& m, const char* palabra) {
  return strcmp(palabra, m.mayusculas) == 0 || strcmp(palabra, m.minusculas) == 0;
}

// Pads with blanks to at least `ancho` characters; longer text is refused
// before this point, so nothing is ever cut.
void rellena(char (&campo)[TAM_AJUSTE], size_t ancho) {
  size_t n = strlen(campo);
  while (n < ancho && n + 1 < sizeof campo) campo[n++] = ' ';
  campo[n] = '\0';
}

// Reads the names and options after the keyword into ctx. Returns false for a
// name too long for the request, or for FECHAD/HORAD without a value.
bool lee_nombres(int argc, const char* const* argv) {
  int i = 2;
  char* const posicionales[] = {ctx.biblioteca, ctx.archivo, ctx.miembro, ctx.tipo};
  const size_t largos[] = {LARGO_NOMBRE, LARGO_NOMBRE, LARGO_NOMBRE, LARGO_TIPO};
  for (int k = 0; k < 4 && i < argc; k++) {
    // The library takes its argument whatever it says, even "FECHAD".
    if (k > 0 && strcmp(argv[i], "FECHAD") == 0) break;
    if (strlen(argv[i]) > largos[k]) return false;
    copia_texto(posicionales[k], TAM_AJUSTE, argv[i]);
    i++;
  }
  if (i < argc && strcmp(argv[i], "FECHAD") == 0) {
    if (i + 1 >= argc) return false;
    copia_texto(ctx.fechad, argv[i + 1]);
    i += 2;
  }
  // HORAD is an option only here: right after a FECHAD pair or four names.
  if (i < argc && strcmp(argv[i], "HORAD") == 0) {
    if (i + 1 >= argc) return false;
    copia_texto(ctx.horad, argv[i + 1]);
    i += 2;
  }
  return true;  // anything left over is ignored
}

}  // namespace

ResultadoArgumentos analiza_argumentos(int argc, const char* const* argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0))
    return ResultadoArgumentos::ayuda;
  if (argc == 2 && strcmp(argv[1], "--version") == 0) return ResultadoArgumentos::version;
  if (argc < 2 || argc > MAX_ARGUMENTOS + 1) return ResultadoArgumentos::uso;
  for (int i = 1; i < argc; i++)
    if (strlen(argv[i]) > MAX_LARGO_ARGUMENTO) return ResultadoArgumentos::error_parametros;

  const char* palabra = argv[1];
  bool conocida = false;
  ctx.icodigo = 96;
  for (const Modo& m : MODOS) {
    if (es_modo(m, palabra)) {
      ctx.icodigo = m.codigo;
      conocida = true;
    }
  }
  if (!conocida) return ResultadoArgumentos::error_parametros;

  ctx.horad[0] = ctx.fechad[0] = ctx.tipo[0] = '\0';
  ctx.miembro[0] = ctx.archivo[0] = ctx.biblioteca[0] = '\0';
  bool fin = strcmp(palabra, "END") == 0 || strcmp(palabra, "end") == 0;
  if (!fin && argc > 2 && !lee_nombres(argc, argv)) return ResultadoArgumentos::error_parametros;

  rellena(ctx.biblioteca, LARGO_NOMBRE);
  rellena(ctx.archivo, LARGO_NOMBRE);
  rellena(ctx.miembro, LARGO_NOMBRE);
  rellena(ctx.tipo, LARGO_TIPO);
  a_mayusculas(ctx.biblioteca);
  a_mayusculas(ctx.archivo);
  a_mayusculas(ctx.miembro);
  return ResultadoArgumentos::correcto;
}

void imprime_uso() {
  fputs("\nvortcp. Traspaso masivo miembros/datos del AS/400.\n", stdout);
  fputs(AVISO, stdout);
  fputs(
      "** Error de parametros **\n"
      "Uso:    vortcp [MBR]|[DATOS]|[LISTA] <biblioteca> <archivo> <miembro>\n"
      "Donde:      <ALL>         Traspaso masivo de miembros/archivos/bibliotecas.\n"
      "            <MBR>         Traspaso masivo de miembros/bibliotecas.\n"
      "            <DAT>         Traspaso masivo de ficheros AS/400.\n"
      "            <LISTA>       Solo lista las entradas directorio.\n"
      "            <END>         Finalizar ejecucion en servidor AS/400.\n\n"
      "            <biblioteca>  Nombre biblioteca en AS/400.\n"
      "            <archivo>     Nombre archivo.\n"
      "            <miembro>     Nombre del miembro concreto a traspasar.\n"
      "\n\nSe creara la estrutura de directorio, si se requiere.\n\n",
      stdout);
}

void imprime_error_parametros() {
  fputs(AVISO, stdout);
  fputs("Error de paramentros. Ejecutar VORTCP (sin parametros).\n\n", stdout);
}

void imprime_version() {
  printf("vortcp %s\n", VORTCP_VERSION);
}

void imprime_titulo() {
  fputs("\nvortcp. Trabajo masivo con i-Series.\n", stdout);
  fputs(AVISO, stdout);
}

// The table file reader: arbitrary bytes as the file BASE/basico/ebcdic.ESP,
// read by carga_tabla_ebc, and each of its lines given to aplica_linea_tabla.
// Whatever the file holds, byte FF maps to FF both ways and a line changes at
// most one entry of each table.
//
// Input: byte 0, bit 0: test level 1 (the table dump); the rest is the file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "comun.h"
#include "wire/tablas.h"

namespace {

std::string directorio;

void prepara_directorio() {
  if (!directorio.empty()) return;
  char plantilla[] = "/tmp/vortcp-fuzz-tabla-XXXXXX";
  if (mkdtemp(plantilla) == nullptr) abort();
  directorio = plantilla;
  std::string basico = directorio + "/basico";
  if (mkdir(basico.c_str(), 0777) != 0) abort();
  atexit([] {
    std::string f = directorio + "/basico/ebcdic.ESP";
    unlink(f.c_str());
    rmdir((directorio + "/basico").c_str());
    rmdir(directorio.c_str());
  });
}

int diferencias(const unsigned char* a, const unsigned char* b) {
  int d = 0;
  for (int i = 0; i < 256; i++) d += a[i] != b[i];
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  prepara_directorio();
  reinicia_contexto();
  Entrada e = parte_entrada(datos, n, 1);
  ctx.test = e.cabecera[0] & 1;
  snprintf(ctx.base, sizeof ctx.base, "%s", directorio.c_str());
  setenv("LANG", "ESP", 1);
  std::string ruta = directorio + "/basico/ebcdic.ESP";
  FILE* f = fopen(ruta.c_str(), "wb");
  if (f == nullptr) abort();
  if (e.nresto > 0 && fwrite(e.resto, 1, e.nresto, f) != e.nresto) abort();
  fclose(f);

  bool cargada = false;
  try {
    cargada = carga_tabla_ebc();
  } catch (const FinPrograma&) {
    hallazgo("la carga de la tabla termino el programa por si misma");
  }
  if (!cargada) hallazgo("un fichero de tabla presente no se cargo");
  COMPRUEBA(ctx.tabla_ebc[255] == 255 && ctx.tabla_asc[255] == 255);

  // Line by line: one line sets at most one entry of each table.
  std::string texto((const char*)e.resto, e.nresto);
  size_t inicio = 0;
  while (inicio < texto.size()) {
    size_t fin = texto.find('\n', inicio);
    std::string linea = texto.substr(inicio, fin == std::string::npos ? std::string::npos : fin - inicio + 1);
    inicio = fin == std::string::npos ? texto.size() : fin + 1;
    unsigned char ebc[256], asc[256];
    memcpy(ebc, ctx.tabla_ebc, 256);
    memcpy(asc, ctx.tabla_asc, 256);
    bool aplicada = aplica_linea_tabla(linea.c_str());
    COMPRUEBA(diferencias(ebc, ctx.tabla_ebc) <= (aplicada ? 1 : 0));
    COMPRUEBA(diferencias(asc, ctx.tabla_asc) <= (aplicada ? 1 : 0));
  }
  return 0;
}

// The transfer's local files: the checks a header must pass before anything
// is written (names that would leave the local tree, one run per library),
// the library directories, and the index entry of a header. The directories
// made and the libraries locked are the run's, shared by its sessions: each
// set has a mutex of its own.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/objeto.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

namespace {

constexpr int ESPERA_BLOQUEO_MS = 10000;

// The directories asked for in this run: a library of thousands of members
// makes each of them once, not once per member.
std::unordered_set<std::string> directorios_hechos;
std::mutex cerrojo_directorios;
// The libraries this run holds the lock of. Its mutex is held while a
// library's lock is taken (a wait included): another session's header of
// the same library waits for the outcome. plat_bloquea is called only so.
std::unordered_set<std::string> bibliotecas_tomadas;
std::mutex cerrojo_bibliotecas;

}  // namespace

bool acepta_cabecera(const Cabecera& c) {
  const char* malo = primer_nombre_no_valido(c.biblioteca, c.archivo, c.miembro, c.tipo);
  if (malo != nullptr) {
    char nombre[TAM_AJUSTE];
    copia_texto(nombre, malo);
    falla(stdout, "Nombre no valido recibido del servidor (%s)\n", nombre);
    return false;
  }
  return toma_biblioteca(c.biblioteca);
}

bool toma_biblioteca(const char* biblioteca) {
  // One run at a time per library: a second run into the same folder would
  // rewrite the index from a copy that misses the first run's entries. The
  // lock is taken at the library's first header, before anything is written
  // into it, and kept to the end of the run.
  std::lock_guard<std::mutex> cerrojo(cerrojo_bibliotecas);
  if (bibliotecas_tomadas.count(biblioteca) != 0) return true;
  char ruta[TAM_RUTA];
  bool directorios = plat_ruta(ruta, "\\%s", biblioteca) && asegura_directorio(ruta) &&
                     plat_ruta(ruta, "\\%s\\xvoras", biblioteca) && asegura_directorio(ruta);
  Bloqueo bloqueo = Bloqueo::fallo;
  if (directorios) {
    plat_ruta(ruta, "\\%s\\xvoras\\xinfo.bloqueo", biblioteca);
    bloqueo = plat_bloquea(ruta, 0);
    if (bloqueo == Bloqueo::ocupado) {
      // Another run holds it: say so once, and wait. What the indexes have
      // taken is written first, so that the wait holds back nothing that is
      // complete.
      if (!graba_indices()) return false;
      imprime_del_servidor(stderr, "Esperando a otra transferencia de la biblioteca %s\n", biblioteca);
      fflush(stderr);
      bloqueo = plat_bloquea(ruta, ESPERA_BLOQUEO_MS);
    }
    if (bloqueo == Bloqueo::tomado) {
      bibliotecas_tomadas.insert(biblioteca);
      return true;
    }
  }
  if (bloqueo == Bloqueo::ocupado) {
    falla(stdout, "Biblioteca %s en uso por otra transferencia\n", biblioteca);
  } else if (directorios) {
    falla(stdout, "Imposible abrir (%s)\n", ruta);
  } else {
    antes_de_un_fallo();
  }
  return false;
}

bool asegura_directorio(const char* ruta) {
  std::string nombre(ruta);
  {
    std::lock_guard<std::mutex> cerrojo(cerrojo_directorios);
    if (directorios_hechos.count(nombre) != 0) return true;
  }
  // Two sessions may both make it: a directory already there is success.
  if (!plat_crea_directorio(ruta)) {
    falla(stdout, "Imposible crear el directorio (%s)\n", ruta);
    return false;
  }
  std::lock_guard<std::mutex> cerrojo(cerrojo_directorios);
  directorios_hechos.insert(std::move(nombre));
  return true;
}

void olvida_directorios() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_bibliotecas);
  std::lock_guard<std::mutex> cerrojo_d(cerrojo_directorios);
  directorios_hechos.clear();
  bibliotecas_tomadas.clear();
}

bool crea_directorios_biblioteca(const char* biblioteca) {
  static const char* const carpetas[] = {"xvoras", "xpanta", "xlista"};
  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", biblioteca) && !asegura_directorio(ruta)) return false;
  for (const char* carpeta : carpetas) {
    if (plat_ruta(ruta, "\\%s\\%s", biblioteca, carpeta) && !asegura_directorio(ruta)) return false;
  }
  return true;
}

bool indice_sin_filtro() {
  return ctx.tipo[0] == '\0' || ctx.tipo[0] == ' ';
}

bool prepara_entrada(const Cabecera& c, char (&linea)[LARGO_LINEA_XINFO + 2]) {
  linea[0] = '\0';
  if (!indice_sin_filtro()) return true;
  if (!prepara_xinfo(c.biblioteca)) return false;
  construye_linea_xinfo(linea, c.biblioteca, c.archivo, c.miembro, c.tipo, c.texto, c.fecha, c.hora,
                        plat_fecha_hora_local());
  return true;
}

// The local tree of a run (arbol.h): a header's checks, the library folders,
// and the library's lock.
#include "transfer/walk/arbol.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/nombres.h"
#include "transfer/walk/objeto.h"

namespace {

constexpr int ESPERA_BLOQUEO_MS = 10000;

}  // namespace

bool acepta_cabecera(Recorrido& r, const Cabecera& c) {
  const char* malo = primer_nombre_no_valido(c.biblioteca, c.archivo, c.miembro, c.tipo);
  if (malo != nullptr) {
    char nombre[TAM_AJUSTE];
    copia_texto(nombre, malo);
    falla(r.comun, &r, stdout, "Nombre no valido recibido del servidor (%s)\n", nombre);
    return false;
  }
  return toma_biblioteca(r.comun, &r, c.biblioteca);
}

bool toma_biblioteca(Compartido& c, Recorrido* r, const char* biblioteca) {
  // One run at a time per library: a second run into the same folder would
  // rewrite the index from a copy that misses the first run's entries. The
  // lock is taken at the library's first header, before anything is written
  // into it, and kept to the end of the run.
  auto& tomadas = c.arbol.bibliotecas;
  std::lock_guard<std::mutex> cerrojo(tomadas.cerrojo);
  if (tomadas.tomadas.count(biblioteca) != 0) return true;
  char ruta[TAM_RUTA];
  bool directorios = plat_ruta(ruta, "\\%s", biblioteca) && asegura_directorio(c, r, ruta) &&
                     plat_ruta(ruta, "\\%s\\xvoras", biblioteca) && asegura_directorio(c, r, ruta);
  Bloqueo bloqueo = Bloqueo::fallo;
  if (directorios) {
    plat_ruta(ruta, "\\%s\\xvoras\\xinfo.bloqueo", biblioteca);
    bloqueo = plat_bloquea(ruta, 0);
    if (bloqueo == Bloqueo::ocupado) {
      // Another run holds it: say so once, and wait. What the indexes have
      // taken is written first, so that the wait holds back nothing that is
      // complete.
      std::vector<FalloIndice> fallos;
      if (!graba_indices(c.indices, &fallos)) {
        for (const FalloIndice& f : fallos) informa_fallo_indice(c, r, f);
        return false;
      }
      imprime_del_servidor(stderr, "Esperando a otra transferencia de la biblioteca %s\n", biblioteca);
      fflush(stderr);
      bloqueo = plat_bloquea(ruta, ESPERA_BLOQUEO_MS);
    }
    if (bloqueo == Bloqueo::tomado) {
      tomadas.tomadas.insert(biblioteca);
      return true;
    }
  }
  if (bloqueo == Bloqueo::interrumpido) {
    // Ctrl-C or SIGTERM during the wait: the run ends as interrupted, and
    // says so at its end.
    antes_de_un_fallo(c, r);
  } else if (bloqueo == Bloqueo::ocupado) {
    falla(c, r, stdout, "Biblioteca %s en uso por otra transferencia\n", biblioteca);
  } else if (directorios) {
    falla(c, r, stdout, "Imposible abrir (%s)\n", ruta);
  } else {
    antes_de_un_fallo(c, r);
  }
  return false;
}

bool asegura_directorio(Compartido& c, Recorrido* r, const char* ruta) {
  auto& hechos = c.arbol.directorios;
  std::string nombre(ruta);
  {
    std::lock_guard<std::mutex> cerrojo(hechos.cerrojo);
    if (hechos.hechos.count(nombre) != 0) return true;
  }
  // Two sessions may both make it: a directory already there is success.
  if (!plat_crea_directorio(ruta)) {
    falla(c, r, stdout, "Imposible crear el directorio (%s)\n", ruta);
    return false;
  }
  std::lock_guard<std::mutex> cerrojo(hechos.cerrojo);
  hechos.hechos.insert(std::move(nombre));
  return true;
}

bool crea_directorios_biblioteca(Recorrido& r, const char* biblioteca) {
  static const char* const carpetas[] = {"xvoras", "xpanta", "xlista"};
  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", biblioteca) && !asegura_directorio(r.comun, &r, ruta)) return false;
  for (const char* carpeta : carpetas) {
    if (plat_ruta(ruta, "\\%s\\%s", biblioteca, carpeta) && !asegura_directorio(r.comun, &r, ruta))
      return false;
  }
  return true;
}

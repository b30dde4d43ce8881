// The objects deleted on the server (espejo.h).
#include "transfer/run/espejo.h"

#include <cstdio>
#include <mutex>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/walk/objeto.h"

void linea_de_comparacion(const char* que, const char* ruta, const char* cierre) {
  char texto[TAM_RUTA + 64];
  formatea(texto, "%s%s%s\n", que, ruta, cierre);
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  escribe_nombres(stdout, texto);
  if (ctx.flog != nullptr) fputs(texto, ctx.flog);
}

namespace {

// A deletion of a mirror: the file the index line names, if it is a file
// (never a folder), then its line.
Borrado elimina(Compartido& c, const char* biblioteca, const Eliminado& e) {
  const char* ruta = e.ruta.c_str();
  if (plat_es_fichero(ruta)) plat_borra_fichero(ruta);
  if (plat_es_fichero(ruta)) {
    linea_de_comparacion("Imposible borrar (", ruta, ")");
    return Borrado::no_borrado;
  }
  FalloIndice fallo;
  if (!quita_de_xinfo(c.indices, biblioteca, e.entrada.archivo, e.entrada.miembro, &fallo)) {
    informa_fallo_indice(c, nullptr, fallo);
    return Borrado::indice_fallido;
  }
  linea_de_comparacion("Eliminado: ", ruta);
  return Borrado::bien;
}

}  // namespace

Borrado trata_eliminados(Compartido& c, const char* biblioteca, const std::vector<Eliminado>& eliminados,
                         bool espejo) {
  Borrado resultado = Borrado::bien;
  for (const Eliminado& e : eliminados) {
    if (!espejo) {
      linea_de_comparacion("Eliminado en el servidor: ", e.ruta.c_str());
      continue;
    }
    Borrado b = elimina(c, biblioteca, e);
    if (b == Borrado::indice_fallido) return b;
    if (b == Borrado::no_borrado) resultado = b;
  }
  return resultado;
}

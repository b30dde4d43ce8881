// The objects deleted on the server (espejo.h).
#include "transfer/run/espejo.h"

#include <cstdio>
#include <mutex>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/objeto.h"

void linea_de_comparacion(const char* que, const char* ruta, const char* cierre) {
  char texto[TAM_RUTA + 64];
  formatea(texto, "%s%s%s\n", que, ruta, cierre);
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  escribe_nombres(stdout, texto);
  if (ctx.flog != nullptr) fputs(texto, ctx.flog);
}

namespace {

// Removes the file at ruta, when it is one reached through no link. False
// when it stays, its reason said.
bool borra(const char* ruta) {
  if (plat_ruta_con_enlace(ruta)) {
    linea_de_comparacion("No se borra a traves de un enlace (", ruta, ")");
    return false;
  }
  if (plat_es_fichero(ruta)) plat_borra_fichero(ruta);
  if (plat_es_fichero(ruta)) {
    linea_de_comparacion("Imposible borrar (", ruta, ")");
    return false;
  }
  return true;
}

// A deletion of a mirror: the file the index line names, then its line.
Borrado elimina(Compartido& c, const char* biblioteca, const Eliminado& e) {
  const char* ruta = e.ruta.c_str();
  if (!borra(ruta)) return Borrado::no_borrado;
  FalloIndice fallo;
  if (!quita_de_xinfo(c.indices, biblioteca, e.entrada.archivo, e.entrada.miembro, &fallo)) {
    informa_fallo_indice(c, nullptr, fallo);
    return Borrado::indice_fallido;
  }
  linea_de_comparacion("Eliminado: ", ruta);
  return Borrado::bien;
}

}  // namespace

void anota_eliminado(Informe& i, const Eliminado& e, const char* estado) {
  if (!i.activo) return;
  EntradaInforme x;
  x.ruta = e.ruta;
  x.clase = e.clase;
  copia_texto(x.archivo, e.entrada.archivo);
  copia_texto(x.miembro, e.entrada.miembro);
  copia_texto(x.tipo, e.entrada.tipo);
  copia_texto(x.fecha, e.entrada.fecha);
  copia_texto(x.hora, e.entrada.hora);
  x.estado = estado;
  anota_en_informe(i, x);
}

Borrado trata_eliminados(Compartido& c, const char* biblioteca, const Comparacion& r, bool espejo) {
  Borrado resultado = Borrado::bien;
  for (const Eliminado& e : r.eliminados) {
    if (!espejo) {
      linea_de_comparacion("Eliminado en el servidor: ", e.ruta.c_str());
      anota_eliminado(c.informe, e, ESTADO_ELIMINADO_EN_SERVIDOR);
      continue;
    }
    Borrado b = elimina(c, biblioteca, e);
    anota_eliminado(c.informe, e, b == Borrado::bien ? ESTADO_ELIMINADO : ESTADO_ELIMINADO_EN_SERVIDOR);
    if (b == Borrado::indice_fallido) return b;
    if (b == Borrado::no_borrado) resultado = b;
    // An interruption stops after the deletion under way: the index then
    // holds no line of a file removed.
    if (plat_interrupcion() != 0) return Borrado::interrumpido;
  }
  for (const CopiaVieja& v : r.otro_tipo) {
    if (!espejo) {
      linea_de_comparacion("Copia con otro tipo: ", v.vieja.c_str());
    } else {
      c.copias_viejas.emplace_back(v.vieja, v.nueva);
    }
  }
  return resultado;
}

bool quita_copias_viejas(Compartido& c) {
  bool bien = true;
  for (const auto& v : c.copias_viejas) {
    const char* vieja = v.first.c_str();
    // The member's index line names the new copy once it came: the old one
    // is then no line's, and nothing is lost with it.
    if (!plat_es_fichero(v.second.c_str())) {
      linea_de_comparacion("Copia con otro tipo: ", vieja);
    } else if (!borra(vieja)) {
      bien = false;
    } else {
      linea_de_comparacion("Eliminado: ", vieja);
      EntradaInforme e;
      e.ruta = v.first;
      e.clase = ClaseArchivo::fuente;
      e.estado = ESTADO_ELIMINADO;
      anota_en_informe(c.informe, e);
    }
  }
  c.copias_viejas.clear();
  return bien;
}

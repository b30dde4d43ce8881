// A run that compares before it transfers (comparada.h): the index read as
// entries, the dry run's lines, the deletions, the index as it was at the
// start kept for the walk's skip, and the plan handed to the sessions.
#include "transfer/run/comparada.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/run/cierre.h"
#include "transfer/run/comparacion.h"
#include "transfer/run/espejo.h"
#include "transfer/run/sesiones.h"
#include "transfer/walk/arbol.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/nombres.h"
#include "transfer/walk/objeto.h"

namespace {

struct Lectura {
  const char* biblioteca;
  std::vector<EntradaIndice> entradas;
};

void por_linea(const char* linea, size_t largo, void* dato) {
  Lectura& l = *(Lectura*)dato;
  EntradaIndice e;
  if (entrada_de_linea(linea, largo, l.biblioteca, &e)) l.entradas.push_back(e);
}

bool existe(const char* ruta) {
  return plat_es_fichero(ruta);
}

// The end of a dry run: its lines are all the run wrote.
int termina_simulacion(const Comparacion& r) {
  for (const std::string& ruta : r.recibiria) linea_de_comparacion("Recibiria: ", ruta.c_str());
  for (const Eliminado& e : r.eliminados) linea_de_comparacion("Eliminado en el servidor: ", e.ruta.c_str());
  for (const CopiaVieja& v : r.otro_tipo) linea_de_comparacion("Copia con otro tipo: ", v.vieja.c_str());
  // The dry run's summary, on the console and in the log.
  char resumen[128];
  formatea(resumen, "Recibiria %d objetos; %d sin cambios; %d eliminados en el servidor\n",
           (int)r.recibiria.size(), (int)r.sin_cambios, (int)r.eliminados.size());
  fputs(resumen, stdout);
  if (ctx.flog != nullptr) fputs(resumen, ctx.flog);
  int estado = SALIDA_BIEN;
  if (salida_cerrada(&estado)) return estado;
  return SALIDA_BIEN;
}

}  // namespace

EntradaInforme entrada_de(const ObjetoComparado& o, const char* estado) {
  EntradaInforme e;
  e.ruta = o.ruta;
  e.clase = o.clase;
  copia_texto(e.archivo, o.archivo);
  copia_texto(e.miembro, o.miembro);
  copia_texto(e.tipo, o.tipo);
  copia_texto(e.fecha, o.fecha);
  copia_texto(e.hora, o.hora);
  e.estado = estado;
  return e;
}

int transfiere_lo_cambiado(Compartido& comun, const Peticion& p, Catalogo* catalogo, const char* archivo,
                           int sesiones, const OpcionesComparacion& opciones) {
  char biblioteca[TAM_NOMBRE_CATALOGO];
  copia_texto(biblioteca, catalogo->biblioteca);
  // The index is read under the library's lock, so that no other run
  // changes it between this read and this run's writes. A dry run writes
  // nothing: no lock either.
  int estado = SALIDA_BIEN;
  if (!opciones.simula && !toma_biblioteca(comun, nullptr, biblioteca)) {
    // A wait cut short by Ctrl-C or SIGTERM ends as an interrupted run.
    if (plat_interrupcion() != 0 && !cierra_transferencia(comun, false, &estado)) return estado;
    return abandona_transferencia(comun);
  }
  Lectura lectura{biblioteca, {}};
  FalloIndice fallo;
  if (!lee_lineas_xinfo(comun.indices, biblioteca, por_linea, &lectura, &fallo)) {
    informa_fallo_indice(comun, nullptr, fallo);
    return abandona_transferencia(comun);
  }
  char fechad[TAM_AJUSTE], horad[TAM_AJUSTE];
  copia_texto(fechad, p.fechad);
  copia_texto(horad, p.horad);
  quita_blancos(fechad);
  quita_blancos(horad);
  Informe& informe = comun.informe;
  Alcance alcance{p.icodigo, archivo, fechad, horad, sesiones, opciones.incremental, informe.activo};
  Comparacion r = compara_con_indice(*catalogo, alcance, lectura.entradas, existe, copia_intacta);
  // The plan holds what it needs of the catalogue and the entries: their
  // room goes before the index and the sessions take theirs.
  *catalogo = Catalogo{};
  std::vector<EntradaIndice>().swap(lectura.entradas);
  plat_devuelve_memoria();
  for (const ObjetoComparado& o : r.iguales) anota_en_informe(informe, entrada_de(o, ESTADO_SIN_CAMBIOS));
  for (const ObjetoComparado& o : r.a_recibir) informe.previstos.push_back(entrada_de(o, ESTADO_RECIBIRIA));
  if (opciones.simula) {
    for (const ObjetoComparado& o : r.a_recibir) anota_en_informe(informe, entrada_de(o, ESTADO_RECIBIRIA));
    for (const Eliminado& e : r.eliminados) anota_eliminado(informe, e, ESTADO_ELIMINADO_EN_SERVIDOR);
    return termina_simulacion(r);
  }
  Borrado borrado = trata_eliminados(comun, biblioteca, r, opciones.espejo);
  if (borrado == Borrado::indice_fallido) return abandona_transferencia(comun);
  // Interrupted while it removed: the index is written without the lines of
  // what was removed, and the run says it was interrupted.
  if (borrado == Borrado::interrumpido || plat_interrupcion() != 0) {
    if (!cierra_transferencia(comun, false, &estado)) return estado;
    return SALIDA_BIEN;
  }
  if (ctx.flog != nullptr) fflush(ctx.flog);
  if (opciones.incremental) {
    Salto& salto = comun.salto;
    copia_texto(salto.biblioteca, biblioteca);
    salto.esperados.swap(r.recibiria);
    std::sort(salto.esperados.begin(), salto.esperados.end());
    salto.activo = true;
  }
  return transfiere_en_sesiones(comun, p, r.plan, sesiones, borrado == Borrado::no_borrado);
}

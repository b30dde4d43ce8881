// The run's report of its objects (informe.h).
#include "transfer/walk/informe.h"

#include <cstring>

#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/index/sin_cambios.h"
#include "transfer/walk/nombres.h"

void anota_en_informe(Informe& i, const EntradaInforme& e) {
  if (!i.activo) return;
  std::lock_guard<std::mutex> cerrojo(i.cerrojo);
  i.objetos.push_back(e);
}

namespace {

const char* juzga_previo(Recorrido& r, const Cabecera& c, const char* ruta, bool indexado) {
  if (!indexado) return plat_es_fichero(ruta) ? ESTADO_CAMBIADO : ESTADO_NUEVO;
  char fecha_indice[9], hora_indice[7];
  bool de_esta = false;
  FalloIndice fallo;
  if (!fecha_en_xinfo(r.comun.indices, c.biblioteca, c.archivo, c.miembro, fecha_indice, hora_indice,
                      &de_esta, &fallo))
    return ESTADO_NUEVO;
  char fecha[sizeof c.fecha], hora[sizeof c.hora];
  copia_texto(fecha, c.fecha);
  copia_texto(hora, c.hora);
  quita_blancos(fecha);
  quita_blancos(hora);
  return sin_cambios(fecha, hora, fecha_indice, hora_indice, ruta, copia_intacta) ? ESTADO_SIN_CAMBIOS
                                                                                  : ESTADO_CAMBIADO;
}

}  // namespace

void describe_para_informe(Recorrido& r, const Cabecera& c, const char* ruta, ClaseArchivo clase,
                           bool convertido) {
  Informe& i = r.comun.informe;
  if (!i.activo) return;
  Objeto& o = r.objeto;
  o.clase = clase;
  o.convertido_informe = convertido;
  copia_texto(o.archivo, c.archivo);
  copia_texto(o.miembro, c.miembro);
  copia_texto(o.tipo, c.tipo);
  copia_texto(o.fecha_texto, c.fecha);
  copia_texto(o.hora_texto, c.hora);
  quita_blancos(o.fecha_texto);
  quita_blancos(o.hora_texto);
  // The index line is read before the lock: the lock is the report's alone.
  bool indexado = r.comun.indexa && !convertido;
  {
    std::lock_guard<std::mutex> cerrojo(i.cerrojo);
    auto visto = i.previo.find(ruta);
    if (visto != i.previo.end()) {
      o.previo = visto->second;
      return;
    }
  }
  const char* previo = juzga_previo(r, c, ruta, indexado);
  std::lock_guard<std::mutex> cerrojo(i.cerrojo);
  o.previo = i.previo.emplace(ruta, previo).first->second;
}

void anota_objeto(Recorrido& r, bool incompleto) {
  Informe& i = r.comun.informe;
  if (!i.activo) return;
  const Objeto& o = r.objeto;
  EntradaInforme e;
  e.ruta = o.ruta;
  e.clase = o.clase;
  e.convertido = o.convertido_informe;
  copia_texto(e.archivo, o.archivo);
  copia_texto(e.miembro, o.miembro);
  copia_texto(e.tipo, o.tipo);
  copia_texto(e.fecha, o.fecha_texto);
  copia_texto(e.hora, o.hora_texto);
  e.estado = incompleto ? ESTADO_INCOMPLETO : o.previo;
  e.registros = o.registros;
  e.bytes = o.bytes;
  anota_en_informe(i, e);
}

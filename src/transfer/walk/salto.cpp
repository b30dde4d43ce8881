// The walk's skip of unchanged objects in an incremental run (salto.h).
#include "transfer/walk/salto.h"

#include <algorithm>
#include <cstring>

#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/index/sin_cambios.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/nombres.h"
#include "transfer/walk/objeto.h"
#include "transfer/walk/recorrido.h"

bool salta_sin_cambios(Recorrido& r, const Cabecera& c, const char* ruta, ClaseArchivo clase) {
  const Salto& salto = r.comun.salto;
  if (!salto.activo || strcmp(c.biblioteca, salto.biblioteca) != 0) return false;
  char fecha[sizeof c.fecha], hora[sizeof c.hora], fecha_indice[9], hora_indice[7];
  copia_texto(fecha, c.fecha);
  copia_texto(hora, c.hora);
  quita_blancos(fecha);
  quita_blancos(hora);
  if (fecha[0] == '\0') return false;
  // The line in force now. One that this run recorded is an object the
  // first try of a unit tried again completed: the retry receives it again,
  // as a run without the comparison does, so that its counts replace the
  // first try's and its line takes its place in the unit's order.
  bool de_esta_ejecucion = false;
  FalloIndice fallo;
  if (!fecha_en_xinfo(r.comun.indices, c.biblioteca, c.archivo, c.miembro, fecha_indice, hora_indice,
                      &de_esta_ejecucion, &fallo)) {
    // An index that cannot be read is said here; the header's own use of
    // the index then fails as it would have.
    if (fallo.tipo != FalloIndice::Tipo::ninguno) informa_fallo_indice(r.comun, &r, fallo);
    return false;
  }
  if (de_esta_ejecucion || !sin_cambios(fecha, hora, fecha_indice, hora_indice, ruta, copia_intacta))
    return false;
  if (std::binary_search(salto.esperados.begin(), salto.esperados.end(), std::string(ruta))) {
    progreso_sin_cambios(r.comun.progreso, 1);
    r.aportado.sin_cambios++;
    EntradaInforme e;
    e.ruta = ruta;
    e.clase = clase;
    copia_texto(e.archivo, c.archivo);
    copia_texto(e.miembro, c.miembro);
    copia_texto(e.tipo, c.tipo);
    copia_texto(e.fecha, fecha);
    copia_texto(e.hora, hora);
    e.estado = ESTADO_SIN_CAMBIOS;
    anota_en_informe(r.comun.informe, e);
  }
  return true;
}

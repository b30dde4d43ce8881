// A transfer run over one session (una_sesion.h).
#include "transfer/run/una_sesion.h"

#include <cstdio>
#include <memory>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/run/cierre.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/objeto.h"
#include "transfer/walk/recorre.h"
#include "transfer/walk/spool.h"
#include "wire/conexion.h"
#include "wire/intercambio.h"

namespace {

// The end of the run after the walk. A walk that ended on a failed exchange
// still closes everything, but the run reports the lost connection; one that
// was interrupted writes the index with every object received so far and says
// so.
int cierra_y_devuelve(Recorrido& r) {
  Sesion& s = r.sesion;
  if (r.objeto.abierto && !deja_incompleto(r)) return abandona_transferencia(r.comun);
  cierra_sesion(s);
  int estado = SALIDA_BIEN;
  if (!cierra_transferencia(r.comun, false, &estado)) return estado;
  return s.fallo ? SALIDA_CONEXION : SALIDA_BIEN;
}

}  // namespace

int transfiere_en_una_sesion(Compartido& comun, const Peticion& p, Sesion& s) {
  auto recorrido = std::make_unique<Recorrido>(s, comun);
  Recorrido& r = *recorrido;
  // From here on Ctrl-C and SIGTERM end the walk, not the process: what was
  // received is closed, counted and indexed first.
  plat_vigila_interrupciones();
  inicia_progreso(comun.progreso);
  char peticion[LARGO_PETICION + 1];
  construye_peticion(p, peticion);
  if (ctx.test == 1) printf("->%.60s\n", peticion);
  envia_as(s, peticion, LARGO_PETICION, 1);

  if (p.icodigo == 96) {
    // END: the request itself tells the server job to end.
  } else if (p.icodigo == 66 || p.icodigo == 67) {
    if (ctx.test == 1) printf("Va a trata_spl\n");
    trata_spl(r);
  } else {
    // A walk stopped by an interruption (a lock's wait cut short) ends as
    // interrupted, below; any other that stops ends with SALIDA_ERROR.
    if (!trata_lista(r) && plat_interrupcion() == 0) {
      imprime_resumen(comun.progreso);
      return abandona_transferencia(comun);
    }
    // Sending on a connection that has already failed would only add a
    // second failure line; an interrupted walk left the server waiting for
    // an answer, not for the end.
    if (!s.fallo && plat_interrupcion() == 0) {
      char fin[8];
      int largo = formatea(fin, "%.2d00", 96);
      envia_as(s, fin, largo, 1);
    }
  }
  return cierra_y_devuelve(r);
}

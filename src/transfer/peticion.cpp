// The transfer request of a run (one fixed 70-character record), the dispatch
// to the walk that suits the mode, the end message 9600 after a list walk, and
// the end of a transfer run.
#include "transfer/peticion.h"

#include <cstdio>
#include <cstring>

#include "base/ajustes.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/lista.h"
#include "transfer/objeto.h"
#include "transfer/progreso.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"
#include "wire/conexion.h"
#include "wire/intercambio.h"

namespace {

// The end of the run after the walk. A walk that ended on a failed exchange
// still closes everything, but the run reports the lost connection; one that
// was interrupted writes the index with every object received so far and says
// so.
[[noreturn]] void cierra_y_termina(Recorrido& r) {
  Sesion& s = r.sesion;
  if (r.objeto.abierto && !deja_incompleto(r)) termina(SALIDA_ERROR);
  cierra_sesion(s);
  cierra_transferencia(false);
  termina(s.fallo ? SALIDA_CONEXION : SALIDA_BIEN);
}

}  // namespace

void termina_si_salida_cerrada() {
  fflush(stdout);
  salida_estandar_cerrada();
  if (plat_interrupcion() != SALIDA_CERRADA) return;
  fprintf(stderr, "Salida estandar cerrada.\n");
  termina(salida_de_senal(SALIDA_CERRADA));
}

void cierra_transferencia(bool con_error) {
  bool indices_bien = graba_indices();
  imprime_resumen();
  if (!cierra_log() || !indices_bien) termina(SALIDA_ERROR);
  fflush(stdout);
  salida_estandar_cerrada();
  if (con_error) termina(SALIDA_ERROR);
  termina_si_salida_cerrada();
  int senal = plat_interrupcion();
  if (senal != 0) termina_con(salida_de_senal(senal), "Transferencia interrumpida.\n");
}

void construye_peticion(char (&peticion)[LARGO_PETICION + 1]) {
  construye_peticion_de(peticion, ctx.archivo, ctx.miembro, ctx.fechad, ctx.horad);
}

void construye_peticion_de(char (&peticion)[LARGO_PETICION + 1], const char* archivo, const char* miembro,
                           const char* fechad, const char* horad) {
  // The fields are joined without separators, then the record is cut or
  // filled with blanks to exactly 70 characters. tipo travels only when a
  // member is named.
  char registro[8 * TAM_AJUSTE];
  if (miembro[0] != ' ') {
    formatea(registro, "%.2d%.5d%s%s%s%s%.8s%.6s                               ", ctx.icodigo, LARGO_PETICION,
             ctx.biblioteca, archivo, miembro, ctx.tipo, fechad, horad);
  } else {
    formatea(registro, "%.2d%.5d%s%s%s%.8s%.6s                               ", ctx.icodigo, LARGO_PETICION,
             ctx.biblioteca, archivo, miembro, fechad, horad);
  }
  size_t n = strlen(registro);
  while (n < (size_t)LARGO_PETICION) registro[n++] = ' ';
  registro[LARGO_PETICION] = '\0';
  copia_texto(peticion, registro);
}

void envia_peticion_y_despacha(Sesion& s) {
  // The run's one walk, for as long as the process lasts: termina's closing
  // steps may still look at its object.
  static Recorrido* recorrido = new Recorrido(s);
  Recorrido& r = *recorrido;
  // From here on Ctrl-C and SIGTERM end the walk, not the process: what was
  // received is closed, counted and indexed first.
  plat_vigila_interrupciones();
  inicia_progreso();
  char peticion[LARGO_PETICION + 1];
  construye_peticion(peticion);
  if (ctx.test == 1) printf("->%.60s\n", peticion);
  envia_as(s, peticion, LARGO_PETICION, 1);

  if (ctx.icodigo == 96) {
    // END: the request itself tells the server job to end.
  } else if (ctx.icodigo == 66 || ctx.icodigo == 67) {
    if (ctx.test == 1) printf("Va a trata_spl\n");
    trata_spl(r);
  } else {
    if (!trata_lista(r)) {
      imprime_resumen();
      termina(SALIDA_ERROR);
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
  cierra_y_termina(r);
}

// Entry point of vortcp: the start-up steps in their fixed order, then the
// transfer road (through several sessions when the run asks for them and can
// have them) or the SQL console. The start-up steps return what went
// wrong and the run ends here; the console returns its status here too, and
// the transfer road ends the process itself.
#include "app/argumentos.h"
#include "app/varias_sesiones.h"
#include "base/ajustes.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "platform/plataforma.h"
#include "sql/consola.h"
#include "sql/intercambio_sql.h"
#include "sql/saludo.h"
#include "transfer/peticion.h"
#include "wire/conexion.h"
#include "wire/lzw.h"
#include "wire/sesion.h"

int main(int argc, char** argv) {
  plat_inicia_proceso();
  switch (analiza_argumentos(argc, argv)) {
    case ResultadoArgumentos::uso:
      imprime_uso();
      termina(SALIDA_ERROR);
    case ResultadoArgumentos::error_parametros:
      imprime_error_parametros();
      termina(SALIDA_ERROR);
    case ResultadoArgumentos::ayuda:
      imprime_ayuda();
      termina(SALIDA_BIEN);
    case ResultadoArgumentos::version:
      imprime_version();
      termina(SALIDA_BIEN);
    case ResultadoArgumentos::opcion_no_valida:
      imprime_opcion_no_valida();
      termina(SALIDA_ERROR);
    case ResultadoArgumentos::correcto:
      break;
  }
  imprime_titulo();
  // Every step below that fails has said why; the run ends here with the
  // status it gives.
  if (!inicia_ajustes() || !inicia_lzw() || !lee_sesiones() || !lee_comparacion()) termina(SALIDA_ERROR);
  int estado = prepara_conexion();
  if (estado != SALIDA_BIEN) termina(estado);
  // A transfer through several sessions ends the run there; otherwise the
  // run has one session: the console's, or the transfer's.
  if (ctx.icodigo != 54) transfiere_en_varias_sesiones();
  static Sesion sesion;
  sesion.traza = ctx.ftrace;
  estado = abre_sesion(sesion);
  if (estado != SALIDA_BIEN) termina(estado);
  if (ctx.icodigo == 54) {
    establece_sesion_sql(sesion);
    // A handshake that fails ends the run with the framing's result, and
    // says so. A batch asks for blocks near a frame's size: an export then
    // takes a seventh of the round trips.
    estado = saludo_web(ctx.lote ? BUFER_LOTE : BUFER_CONSOLA);
    if (estado < 0) estado = estado_de_sesion_perdida();
    if (estado == SALIDA_BIEN) estado = consola_sql();
    termina(estado);
  }
  envia_peticion_y_despacha(sesion);
}

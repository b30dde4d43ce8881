// Entry point of vortcp: the start-up steps in their fixed order, then the
// transfer road (transferencia.h) or the SQL console. The start-up steps, the
// transfer road and the console return what went wrong, or how the run went,
// and the run ends here, once.
#include "app/argumentos.h"
#include "app/transferencia.h"
#include "base/ajustes.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "platform/plataforma.h"
#include "sql/consola.h"
#include "sql/intercambio_sql.h"
#include "sql/saludo.h"
#include "wire/conexion.h"
#include "wire/lzw.h"
#include "wire/sesion.h"

namespace {

// The start-up steps of every run after its title, in their fixed order:
// SALIDA_BIEN, or the status to end with (each step that fails has said
// why).
int arranca() {
  if (!inicia_ajustes() || !inicia_lzw() || !lee_sesiones() || !lee_comparacion()) return SALIDA_ERROR;
  return prepara_conexion();
}

// The SQL console: its session, the handshake, then the console's loop;
// the status it ends with.
int corre_consola() {
  static Sesion sesion;
  sesion.traza = ctx.ftrace;
  int estado = abre_sesion(sesion);
  if (estado != SALIDA_BIEN) return estado;
  establece_sesion_sql(sesion);
  // A handshake that fails ends the run with the framing's result, and
  // says so. A batch asks for blocks near a frame's size: an export then
  // takes a seventh of the round trips.
  estado = saludo_web(ctx.lote ? BUFER_LOTE : BUFER_CONSOLA);
  if (estado < 0) return estado_de_sesion_perdida();
  if (estado != SALIDA_BIEN) return estado;
  return consola_sql();
}

}  // namespace

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
  if (ctx.icodigo != 54) termina(corre_transferencia(arranca));
  int estado = arranca();
  termina(estado != SALIDA_BIEN ? estado : corre_consola());
}

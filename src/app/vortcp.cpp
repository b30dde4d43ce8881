// Entry point of vortcp: the start-up steps in their fixed order, then the
// transfer road or the SQL console. Each road ends the process itself.
#include "app/argumentos.h"
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
    case ResultadoArgumentos::correcto:
      break;
  }
  imprime_titulo();
  inicia_ajustes();
  inicia_lzw();
  // The run's one session: the console's, or the transfer's.
  static Sesion sesion;
  sesion.traza = ctx.ftrace;
  conecta_sesion(sesion);
  if (ctx.icodigo == 54) {
    establece_sesion_sql(sesion);
    // A handshake that fails ends the run with the framing's result, and
    // says so.
    if (saludo_web() < 0) termina_sesion_perdida();
    consola_sql();
  }
  envia_peticion_y_despacha(sesion);
}

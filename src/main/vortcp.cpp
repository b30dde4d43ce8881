// Entry point of vortcp: the start-up steps in their fixed order, then the
// transfer road or the SQL console. Each road ends the process itself.
#include "main/ajustes.h"
#include "main/argumentos.h"
#include "main/conexion.h"
#include "main/contexto.h"
#include "main/fin.h"
#include "main/peticion.h"
#include "sql/consola.h"

int main(int argc, char** argv) {
  ctx.isesion = 1;
  ctx.sd = SOCKET_INVALIDO;
  switch (analiza_argumentos(argc, argv)) {
    case ResultadoArgumentos::uso:
      imprime_uso();
      termina(1);
    case ResultadoArgumentos::error_parametros:
      imprime_error_parametros();
      termina(1);
    case ResultadoArgumentos::correcto:
      break;
  }
  imprime_titulo();
  inicia_ajustes();
  conecta_sesion();
  if (ctx.icodigo == 54) {
    saludo_web();
    consola_sql();
  }
  envia_peticion_y_despacha();
}

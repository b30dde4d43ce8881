// Settings, trace and log: the text encoding for a person, the test level,
// the trace file "trace" and the log file "vortcp.log", opened in the current
// directory right after the title.
#include "base/ajustes.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "platform/plataforma.h"

namespace {

const char* const NOMBRE_TRACE = "trace";
const char* const NOMBRE_LOG = "vortcp.log";

// Opens (empties) "trace". Ends the run with exit status 1 when it cannot.
void abre_trace() {
  ctx.ftrace = plat_abre_texto(NOMBRE_TRACE, "w");
  if (ctx.ftrace == nullptr) termina_con(SALIDA_ERROR, "No se puede abrir el fichero de trace");
}

}  // namespace

void inicia_ajustes() {
  char codificacion[TAM_AJUSTE];
  toma_env(codificacion, "VORTCP_CODIFICACION");
  if (strcmp(codificacion, "UTF-8") == 0 || strcmp(codificacion, "utf-8") == 0) {
    ctx.utf8 = 1;
  } else if (codificacion[0] != '\0') {
    termina_con(SALIDA_ERROR, "Codificacion no soportada (%s)\n", codificacion);
  }
  ctx.test = toma_env_entero("TEST");
  if (ctx.test > 0) abre_trace();
  if (ctx.test == 1) printf("Inicializa buffer modo test...\n");
  ctx.flog = plat_abre_texto(NOMBRE_LOG, "w");
  if (ctx.flog == nullptr)
    termina_con(SALIDA_ERROR, "No se puede abrir el fichero de log. (%s)\n", NOMBRE_LOG);
  // The log holds the result line of every object: whatever way the run
  // ends, its close is checked.
  registra_cierre(cierra_log);
}

void cambia_nivel_test(int nivel) {
  ctx.test = nivel;
  if (ctx.test > 0 && ctx.ftrace == nullptr) abre_trace();
}

bool cierra_log() {
  FILE* f = ctx.flog;
  ctx.flog = nullptr;
  if (f == nullptr || plat_cierra_escrito(f)) return true;
  printf("Error al grabar (%s)\n", NOMBRE_LOG);
  return false;
}

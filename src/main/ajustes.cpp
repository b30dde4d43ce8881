// Settings, trace and log: the test level, the trace file "trace" and the log
// file "vortcp.log", opened in the current directory right after the title,
// and the start of the LZW codec that every run performs.
#include "main/ajustes.h"

#include <cstdio>

#include "main/contexto.h"
#include "main/fin.h"
#include "main/plataforma.h"
#include "main/texto.h"
#include "wire/lzw.h"

namespace {

const char* const NOMBRE_TRACE = "trace";
const char* const NOMBRE_LOG = "vortcp.log";

// Opens (empties) "trace". Ends the run with exit status 1 when it cannot.
void abre_trace() {
  ctx.ftrace = plat_abre_texto(NOMBRE_TRACE, "w");
  if (ctx.ftrace == nullptr) termina_con(1, "No se puede abrir el fichero de trace");
}

}  // namespace

void inicia_ajustes() {
  ctx.test = toma_env_entero("TEST");
  if (ctx.test > 0) abre_trace();
  if (ctx.test == 1) printf("Inicializa buffer modo test...\n");
  ctx.flog = plat_abre_texto(NOMBRE_LOG, "w");
  if (ctx.flog == nullptr) termina_con(1, "No se puede abrir el fichero de log. (%s)\n", NOMBRE_LOG);
  ctx.fichero_abierto = 0;
  inicia_lzw();
}

void abre_trace_si_falta() {
  if (ctx.ftrace == nullptr) abre_trace();
}

// Settings, trace and log: the text encoding for a person, the test level,
// the trace file "trace" and the log file "vortcp.log", opened in the current
// directory right after the title; and a console batch's standard output,
// kept for its results before anything else is printed.
#include "base/ajustes.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"

namespace {

const char* const NOMBRE_TRACE = "trace";
const char* const NOMBRE_LOG = "vortcp.log";

// Opens (empties) "trace". False after its message when it cannot.
bool abre_trace() {
  ctx.ftrace = plat_abre_texto(NOMBRE_TRACE, "w");
  if (ctx.ftrace != nullptr) return true;
  printf("No se puede abrir el fichero de trace");
  return false;
}

}  // namespace

bool inicia_ajustes() {
  // Whatever fails from here on is said on standard error in a batch: if the
  // system cannot set the output apart, results and messages share it.
  if (ctx.lote) aparta_resultados();
  char codificacion[TAM_AJUSTE];
  if (!toma_env(codificacion, "VORTCP_CODIFICACION")) return false;
  if (strcmp(codificacion, "UTF-8") == 0 || strcmp(codificacion, "utf-8") == 0) {
    ctx.utf8 = 1;
  } else if (codificacion[0] != '\0') {
    printf("Codificacion no soportada (%s)\n", codificacion);
    return false;
  }
  ctx.test = toma_env_entero("TEST");
  if (ctx.test > 0 && !abre_trace()) return false;
  if (ctx.test == 1) printf("Inicializa buffer modo test...\n");
  // A batch writes nothing into the log: it runs in a read-only folder too.
  if (ctx.lote) return true;
  ctx.flog = plat_abre_texto(NOMBRE_LOG, "w");
  if (ctx.flog == nullptr) {
    const char* motivo = plat_describe_error();
    printf("No se puede abrir el fichero de log. (%s)\n", NOMBRE_LOG);
    fflush(stdout);
    fprintf(stderr, "%s: %s\n", NOMBRE_LOG, motivo);
    return false;
  }
  // The log holds the result line of every object: whatever way the run
  // ends, its close is checked.
  registra_cierre(cierra_log);
  return true;
}

bool cambia_nivel_test(int nivel) {
  ctx.test = nivel;
  return ctx.test <= 0 || ctx.ftrace != nullptr || abre_trace();
}

bool cierra_log() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  FILE* f = ctx.flog;
  ctx.flog = nullptr;
  if (f == nullptr || plat_cierra_escrito(f)) return true;
  printf("Error al grabar (%s)\n", NOMBRE_LOG);
  return false;
}

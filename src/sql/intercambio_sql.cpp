// The one exchange of the SQL session (intercambio_sql.h) and the state of a
// lost session, private to this file.
#include "sql/intercambio_sql.h"

#include <cstdio>

#include "base/contexto.h"
#include "wire/trama.h"

namespace {

Sesion* sesion = nullptr;
// The result of the exchange that lost the session (the framing's only
// failure result until one is seen).
int resultado = -1;
// Replies left on their way by recibe_sql_hasta, to be dropped (the first
// of them may have begun to arrive: the session keeps what came of it).
int respuestas_pendientes = 0;

int pierde(int rc) {
  sesion->fallo = true;
  resultado = rc;
  return rc;
}

// Receives and drops one reply left on its way, waiting for it until
// limite_ms (0: as long as it takes). False when it did not come whole by
// then, or the receive failed (the session is lost).
bool descarta_una(int64_t limite_ms) {
  static char descarte[TAM_TRAMA + 1];
  int rc = Rec_VORTCP_sql(*sesion, descarte, 0, 0, limite_ms);
  if (rc == RECEPCION_A_DESTIEMPO) return false;
  if (rc < 0) {
    pierde(rc);
    return false;
  }
  respuestas_pendientes--;
  return true;
}

// Receives and drops every reply left on its way. False when a receive
// failed.
bool descarta_pendientes() {
  while (respuestas_pendientes > 0)
    if (!descarta_una(0)) return false;
  return true;
}

}  // namespace

void establece_sesion_sql(Sesion& s) {
  sesion = &s;
}

Sesion& sesion_sql() {
  return *sesion;
}

int envia_sql(const char* buffer, TrazaEnvio traza) {
  if (sesion->fallo || !descarta_pendientes()) return resultado;
  if (ctx.test >= 1) {
    if (traza == TrazaEnvio::con_ebcdic) {
      printf("Envia ebcdic(%d) : [%s]\n", ctx.en_ebcdic, buffer);
    } else {
      printf("Envia : [%s]\n", buffer);
    }
  }
  int rc = Env_VORTCP_sql(*sesion, buffer, ctx.en_ebcdic);
  if (rc < 0) return pierde(rc);
  if (ctx.test >= 1) printf("Enviado: rc=%d [%s]\n", rc, buffer);
  return rc;
}

int recibe_sql(char* buffer, bool comprimida) {
  if (sesion->fallo) return resultado;
  // A reply printed with "%s" after a receive that failed part-way still
  // finds a terminator.
  buffer[TAM_TRAMA] = '\0';
  int rc = Rec_VORTCP_sql(*sesion, buffer, comprimida ? 1 : 0, 0);
  // A reply that does not expand leaves the session in step: the caller
  // ends the run.
  if (rc < 0 && rc != RECEPCION_NO_EXPANDIDA) return pierde(rc);
  return rc;
}

int intercambia_sql(char* buffer, TrazaEnvio traza, bool comprimida) {
  int rc = envia_sql(buffer, traza);
  if (rc < 0) return rc;
  return recibe_sql(buffer, comprimida);
}

int recibe_sql_hasta(char* buffer, int64_t limite_ms) {
  if (sesion->fallo) return resultado;
  buffer[TAM_TRAMA] = '\0';
  int rc = Rec_VORTCP_sql(*sesion, buffer, 0, 0, limite_ms);
  if (rc == RECEPCION_A_DESTIEMPO) {
    respuestas_pendientes++;
    return rc;
  }
  if (rc < 0) return pierde(rc);
  return rc;
}

bool libre_hasta(int64_t limite_ms) {
  while (respuestas_pendientes > 0 && !sesion->fallo)
    if (!descarta_una(limite_ms)) return false;
  return true;
}

bool sesion_perdida() {
  return sesion->fallo;
}

int estado_de_sesion_perdida() {
  if (ctx.test <= 0) fprintf(stderr, "Conexion perdida con el servidor.\n");
  return resultado;
}

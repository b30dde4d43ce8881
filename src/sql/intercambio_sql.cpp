// The one exchange of the SQL session (intercambio_sql.h) and the state of a
// lost session, private to this file.
#include "sql/intercambio_sql.h"

#include <cstdio>

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "wire/trama.h"

namespace {

Sesion* sesion = nullptr;
// The result of the exchange that lost the session (the framing's only
// failure result until one is seen).
int resultado = -1;
// Replies left on their way by espera_respuesta, to be dropped.
int respuestas_pendientes = 0;

int pierde(int rc) {
  sesion->fallo = true;
  resultado = rc;
  return rc;
}

// Receives and drops one reply left on its way. False when the receive
// failed (the session is lost).
bool descarta_una() {
  static char descarte[TAM_TRAMA + 1];
  int rc = Rec_VORTCP_sql(*sesion, descarte, 0, 0);
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
    if (!descarta_una()) return false;
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

bool espera_respuesta(int plazo_ms) {
  if (sesion->fallo || sesion->npendientes > 0 || plat_espera_legible(sesion->sd, plazo_ms)) return true;
  respuestas_pendientes++;
  return false;
}

bool libre_en(int plazo_ms) {
  while (respuestas_pendientes > 0 && !sesion->fallo) {
    if (sesion->npendientes == 0 && !plat_espera_legible(sesion->sd, plazo_ms)) return false;
    if (!descarta_una()) return false;
  }
  return true;
}

bool sesion_perdida() {
  return sesion->fallo;
}

int estado_de_sesion_perdida() {
  if (ctx.test <= 0) fprintf(stderr, "Conexion perdida con el servidor.\n");
  return resultado;
}

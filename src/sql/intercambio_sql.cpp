// The one exchange of the SQL session (intercambio_sql.h) and the state of a
// lost session, private to this file.
#include "sql/intercambio_sql.h"

#include <cstdio>

#include "base/contexto.h"
#include "base/fin.h"
#include "wire/trama.h"

namespace {

bool perdida = false;
int resultado = 0;

int pierde(int rc) {
  perdida = true;
  resultado = rc;
  return rc;
}

}  // namespace

int envia_sql(const char* buffer, TrazaEnvio traza) {
  if (perdida) return resultado;
  if (ctx.test >= 1) {
    if (traza == TrazaEnvio::con_ebcdic) {
      printf("Envia ebcdic(%d) : [%s]\n", ctx.en_ebcdic, buffer);
    } else {
      printf("Envia : [%s]\n", buffer);
    }
  }
  int rc = Env_VORTCP_sql(ctx.sd, buffer, ctx.en_ebcdic);
  if (rc < 0) return pierde(rc);
  if (ctx.test >= 1) printf("Enviado: rc=%d [%s]\n", rc, buffer);
  return rc;
}

int recibe_sql(char* buffer, bool comprimida) {
  if (perdida) return resultado;
  // A reply printed with "%s" after a receive that failed part-way still
  // finds a terminator.
  buffer[TAM_TRAMA] = '\0';
  int rc = Rec_VORTCP_sql(ctx.sd, buffer, comprimida ? 1 : 0, 0);
  if (rc < 0) return pierde(rc);
  return rc;
}

int intercambia_sql(char* buffer, TrazaEnvio traza, bool comprimida) {
  int rc = envia_sql(buffer, traza);
  if (rc < 0) return rc;
  return recibe_sql(buffer, comprimida);
}

bool sesion_perdida() {
  return perdida;
}

int resultado_perdido() {
  return resultado;
}

void termina_sesion_perdida() {
  if (ctx.test <= 0) fprintf(stderr, "Conexion perdida con el servidor.\n");
  termina(resultado_perdido());
}

// The handshake of the SQL session (saludo.h): every setting is read, and its
// length checked, before the first message goes out.
#include "sql/saludo.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "sql/cursores.h"
#include "sql/intercambio_sql.h"

namespace {

// One message of the handshake and its reply, with the reply's line at test
// level 1 or more.
int intercambia_saludo() {
  int rc = intercambia_sql(sesion_sql().buffer, TrazaEnvio::simple, false);
  if (rc >= 0 && ctx.test >= 1) printf("Recibe: rc=%d  [%s]\n", rc, sesion_sql().buffer);
  return rc;
}

}  // namespace

int saludo_web(int32_t bufer_sin_ajuste) {
  char libl[TAM_LIBL];
  char ebcdic[TAM_AJUSTE];
  char compri[TAM_AJUSTE];
  if (!toma_env(ebcdic, "WWW_EBCDIC") || !toma_env(compri, "WWW_COMPRI") || !toma_env(libl, "WWW_LIBL"))
    return SALIDA_ERROR;

  ctx.isesion = 1;
  if (!reclama_slot()) return SALIDA_ERROR;
  ctx.en_ebcdic = lee_entero(ebcdic);
  ctx.ibufsize = env_no_vacia("WWW_BUFSIZE") ? toma_env_entero("WWW_BUFSIZE") : bufer_sin_ajuste;

  // Message 01: its length field counts the whole message.
  int largo = (int)strlen(libl) + 15;
  formatea(sesion_sql().buffer, "01%.3d%.5d%.5d%s", ctx.isesion, ctx.ibufsize, largo, libl);
  int rc = intercambia_saludo();
  if (rc < 0) return rc;

  // Message 20: its length field is the options text plus 15, five more than
  // the message itself; the server reads it that way.
  char opciones[2 * TAM_AJUSTE + 32];
  formatea(opciones, "WWW_COMPRI=%s,WWW_EBCDIC=%s", compri, ebcdic);
  largo = (int)strlen(opciones) + 15;
  formatea(sesion_sql().buffer, "20%.3d%.5d%s", ctx.isesion, largo, opciones);
  rc = intercambia_saludo();
  return rc < 0 ? rc : 0;
}

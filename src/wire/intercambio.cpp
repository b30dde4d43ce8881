// The traced exchange of the transfer code: envia_as and recibe_as run the
// transfer pair of the framing on the session socket and, at test level 1,
// write each message into "trace" as text (bytes raw, NULs included).
#include "wire/intercambio.h"

#include <cstdio>

#include "base/contexto.h"
#include "wire/lector.h"
#include "wire/tablas.h"
#include "wire/trama.h"

static bool traza_activa() {
  return ctx.test == 1 && ctx.ftrace != nullptr;
}

void envia_as(const char* buffer, int nbuffer, int en_ebcdic) {
  int rc = Env_VORTCP(ctx.sd, buffer, nbuffer, en_ebcdic);
  if (rc < 0) ctx.fallo_intercambio = 1;
  if (traza_activa()) {
    fprintf(ctx.ftrace, "\tEnviado AS. nbuffer(%d), rc(%d) [", nbuffer, rc);
    if (rc > 0) fwrite(buffer, 1, (size_t)rc, ctx.ftrace);
    fprintf(ctx.ftrace, "]\n");
    fflush(ctx.ftrace);
  }
}

void recibe_as() {
  int rc = Rec_VORTCP(ctx.sd, ctx.sbuffer);
  int n = rc >= 0 ? rc : 0;
  ctx.ilen_recibido = n;
  if (rc < 0) ctx.fallo_intercambio = 1;
  if (traza_activa()) {
    // The trace shows the message as text; sbuffer itself keeps the EBCDIC.
    static unsigned char copia[TAM_TRAMA];
    Mensaje m = mensaje_de(ctx.sbuffer, n, ebc_fija);
    for (int i = 0; i < n; i++) copia[i] = (unsigned char)lee_byte(m, i);
    fprintf(ctx.ftrace, "\tRecibido AS. rc=%d [", n);
    fwrite(copia, 1, (size_t)n, ctx.ftrace);
    fprintf(ctx.ftrace, "]\n");
    fflush(ctx.ftrace);
  }
}

// The traced exchange of the transfer code: envia_as and recibe_as run the
// transfer pair of the framing on a session and, at test level 1, write each
// message into the session's trace as text (bytes raw, NULs included).
// Sessions of one run share the trace file: a message's lines are written
// under the trace's lock (trama.h), so that those of two sessions never mix.
#include "wire/intercambio.h"

#include <cstdio>
#include <mutex>

#include "base/contexto.h"
#include "wire/lector.h"
#include "wire/tablas.h"
#include "wire/trama.h"

static bool traza_activa(const Sesion& s) {
  return ctx.test == 1 && s.traza != nullptr;
}

void envia_as(Sesion& s, const char* buffer, int nbuffer, int en_ebcdic) {
  int rc = Env_VORTCP(s, buffer, nbuffer, en_ebcdic);
  if (rc < 0) s.fallo = true;
  if (traza_activa(s)) {
    std::lock_guard<std::mutex> cerrojo(cerrojo_traza());
    fprintf(s.traza, "\tEnviado AS. nbuffer(%d), rc(%d) [", nbuffer, rc);
    if (rc > 0) fwrite(buffer, 1, (size_t)rc, s.traza);
    fprintf(s.traza, "]\n");
    fflush(s.traza);
  }
}

void recibe_as(Sesion& s) {
  int rc = Rec_VORTCP(s, s.buffer);
  int n = rc >= 0 ? rc : 0;
  s.largo = n;
  if (rc < 0) s.fallo = true;
  if (traza_activa(s)) {
    // The trace shows the message as text, a piece at a time; the buffer
    // itself keeps the EBCDIC.
    Mensaje m = mensaje_de(s.buffer, n, ebc_fija);
    std::lock_guard<std::mutex> cerrojo(cerrojo_traza());
    fprintf(s.traza, "\tRecibido AS. rc=%d [", n);
    unsigned char copia[1024];
    for (int desde = 0; desde < n; desde += (int)sizeof copia) {
      int k = n - desde < (int)sizeof copia ? n - desde : (int)sizeof copia;
      for (int i = 0; i < k; i++) copia[i] = (unsigned char)lee_byte(m, desde + i);
      fwrite(copia, 1, (size_t)k, s.traza);
    }
    fprintf(s.traza, "]\n");
    fflush(s.traza);
  }
}

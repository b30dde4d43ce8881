// Frame reception of both pairs from a byte stream cut into chunks that the
// input chooses, through the pending store. Every result is checked against a
// plain reading of the same stream as whole frames, so a chunking that changes
// a payload, loses a byte or keeps a stale one is a finding, not only a crash.
//
// Input: byte 0 chooses the pair (bit 0: SQL), WWW_EBCDIC (bit 1), compression
// (bit 2, SQL only), test level 1 (bit 3) and the number of chunk sizes (bits
// 4-7); byte 1 the uncompressed leading count of a compressed reply (0-3);
// then the chunk sizes, then the stream.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/texto.h"
#include "comun.h"
#include "wire/lzw.h"
#include "wire/tablas.h"
#include "wire/trama.h"

namespace {

struct Esperado {
  bool fallo;                        // the receive must fail (-1)
  bool no_expandida;                 // the expansion fails (RECEPCION_NO_EXPANDIDA)
  int resultado;                     // payload length
  std::vector<unsigned char> carga;  // what the buffer must start with
};

// The frame at `pos` of the stream read whole: what the receive must give.
Esperado lee_referencia(const uint8_t* s, size_t n, size_t* pos, bool sql, bool ebcdic, bool comprimido,
                        int icompri) {
  Esperado e{true, false, -1, {}};
  const unsigned char* tabla_largo = (!sql || ebcdic) ? ebc_fija : nullptr;
  if (n - *pos < 10) return e;
  char slen[11] = {0};
  for (int i = 0; i < 10; i++) {
    unsigned char b = s[*pos + i];
    slen[i] = (char)(tabla_largo ? tabla_largo[b] : b);
  }
  int64_t largo = lee_entero(slen);
  *pos += 10;
  // A length below 10 (negative, or no number) fails like one above the limit.
  if (largo > TAM_TRAMA || largo < 10) return e;
  size_t L = (size_t)largo - 10;
  if (n - *pos < L) return e;
  e.fallo = false;
  e.resultado = (int)L;
  e.carga.assign(s + *pos, s + *pos + L);
  *pos += L;
  if (sql && comprimido) {
    int inicio = icompri > (int)L ? (int)L : icompri;
    static unsigned char expandido[TAM_TRAMA];
    if (!expande_lzw(e.carga.data(), inicio, (int)L, expandido, TAM_TRAMA)) {
      e.no_expandida = true;
      return e;
    }
    e.carga.assign(expandido, expandido + ifs_iin.salida);
    if (ebcdic)
      for (auto& c : e.carga) c = ebc_fija[c];
  } else if (sql && ebcdic) {
    for (auto& c : e.carga) c = ebc_fija[c];
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  reinicia_contexto();
  Entrada e = parte_entrada(datos, n, 2);
  bool sql = e.cabecera[0] & 1;
  bool ebcdic = e.cabecera[0] & 2;
  bool comprimido = sql && (e.cabecera[0] & 4);
  ctx.test = (e.cabecera[0] & 8) ? 1 : 0;
  size_t ntrozos = e.cabecera[0] >> 4;
  if (ntrozos > e.nresto) ntrozos = e.nresto;
  int icompri = e.cabecera[1] & 3;
  const uint8_t* flujo = e.resto + ntrozos;
  size_t nflujo = e.nresto - ntrozos;
  if (ebcdic)
    setenv("WWW_EBCDIC", "1", 1);
  else
    unsetenv("WWW_EBCDIC");
  prepara_red(e.resto, ntrozos, flujo, nflujo);
  Sesion& ses = sesion_objetivo();

  size_t pos = 0;
  for (int trama = 0; trama < 16; trama++) {
    Esperado esp = lee_referencia(flujo, nflujo, &pos, sql, ebcdic, comprimido, icompri);
    int rc;
    try {
      rc = sql ? Rec_VORTCP_sql(ses, ses.buffer, comprimido ? 1 : 0, icompri) : Rec_VORTCP(ses, ses.buffer);
    } catch (const FinPrograma&) {
      hallazgo("la recepcion termino el programa por si misma");
    }
    if (esp.no_expandida) {
      COMPRUEBA(rc == RECEPCION_NO_EXPANDIDA);
      break;
    }
    COMPRUEBA(rc != RECEPCION_NO_EXPANDIDA);
    COMPRUEBA(ses.npendientes >= 0 && ses.npendientes <= TAM_TRAMA);
    if (esp.fallo) {
      COMPRUEBA(rc == -1);
      break;
    }
    COMPRUEBA(rc == esp.resultado);
    // Nothing received is lost or invented: what was not delivered waits in
    // the pending store or on the socket.
    COMPRUEBA((size_t)ses.npendientes + pendiente_red() == nflujo - pos);
    COMPRUEBA(esp.carga.empty() || memcmp(ses.buffer, esp.carga.data(), esp.carga.size()) == 0);
    if (rc > 0 || comprimido) COMPRUEBA(ses.buffer[esp.carga.size()] == '\0');
  }
  unsetenv("WWW_EBCDIC");
  return 0;
}

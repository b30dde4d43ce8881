// What the bytes of one connection go through: the socket itself, or the TLS
// connection over it when the run asks for TLS (VORTCP_TLS). The framing and
// the broker's exchange send, receive and wait through these, so that
// nothing else of the wire tells the two apart. The results are those of the
// platform's socket calls (plataforma.h).
#pragma once

#include "platform/plataforma.h"
#include "platform/tls.h"

inline long canal_envia(socket_t sd, ConexionTls* tls, const void* datos, size_t n) {
  return tls != nullptr ? plat_tls_envia(tls, datos, n) : plat_envia(sd, datos, n);
}

inline long canal_recibe(socket_t sd, ConexionTls* tls, void* destino, size_t n) {
  return tls != nullptr ? plat_tls_recibe(tls, destino, n) : plat_recibe(sd, destino, n);
}

inline long canal_recibe_con_plazo(socket_t sd, ConexionTls* tls, void* destino, size_t n, int max_ms,
                                   int* plazo_ms) {
  return tls != nullptr ? plat_tls_recibe_con_plazo(tls, destino, n, max_ms, plazo_ms)
                        : plat_recibe_con_plazo(sd, destino, n, max_ms, plazo_ms);
}

// The wait for the rest of a frame: over TLS, the bytes it has decrypted
// already count.
inline void canal_espera_datos(socket_t sd, ConexionTls* tls, size_t faltan, int max_ms) {
  if (tls != nullptr) {
    plat_tls_espera_datos(tls, faltan, max_ms);
  } else {
    plat_espera_datos(sd, faltan, max_ms);
  }
}

// One session with the server as a value: its socket and everything the
// framing keeps between two messages of that socket. The framing, the traced
// exchange of the transfer code, the connection and the SQL exchange all work
// on the Sesion they are given, so that several sessions can run side by side
// (each in its own thread) with nothing of one touching another.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "platform/tls.h"

struct Sesion {
  // --- The connection (owner: wire/conexion.cpp) --------------------------------
  socket_t sd = SOCKET_INVALIDO;  // the connected socket
  // The TLS connection over sd when the run asks for TLS (VORTCP_TLS), or
  // nullptr for plain TCP: every byte of the session goes through it.
  ConexionTls* tls = nullptr;
  // The receive time-out now set on sd, in ms (0: none yet). The framing's
  // waits set it once and keep it, so that while data flows a receive costs
  // no more system calls than one without a time-out (plat_recibe_con_plazo).
  int plazo_ms = 0;

  // --- Trace (owner: whoever opens the session) -----------------------------------
  // Where the transfer pair writes its messages at test level 1 ("trace"), or
  // nullptr for none.
  FILE* traza = nullptr;

  // --- The exchange (owners: wire/intercambio.cpp, sql/intercambio_sql.cpp) -------
  // True once a send or receive on the session failed: nothing more is sent
  // or received in step on it.
  bool fallo = false;
  // Set by the thread that stops a run of several sessions, before it cuts
  // this session's socket (plat_corta_socket) from its own thread: the end
  // of the connection that follows is the run's doing, so the framing says
  // nothing of it.
  std::atomic<bool> cortada{false};
  // Payload length of the last receive of the transfer pair (0 after a failure).
  int32_t largo = 0;
  // The message being built, or the payload received (+1: the NUL after it).
  char buffer[TAM_TRAMA + 1];

  // --- Framing (owner: wire/trama.cpp) ---------------------------------------------
  // Bytes that arrived after the frame being read: the next receive of either
  // pair takes them first.
  int32_t npendientes = 0;
  unsigned char pendientes[TAM_TRAMA];
  // A frame that a receive with a deadline left part-way (Rec_VORTCP_sql):
  // its bytes taken so far (0: none begun), the length they give (10 until
  // its length characters are in) and those characters. The next receive
  // goes on with it from there.
  int32_t empezada_tomados = 0;
  int32_t empezada_largo = 10;
  char empezada_slen[11] = {0};
  // The pieces of a receive as they come off the socket; after a compressed
  // reply, its expansion.
  unsigned char trozo[TAM_TRAMA];
  // The frame being sent: length characters and payload, handed over in one send.
  unsigned char trama[TAM_TRAMA];
};

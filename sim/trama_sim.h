// The frame from the server's side: ten length digits that count themselves,
// then the payload. The client sends its length digits in EBCDIC on the
// transfer side always and on the SQL side only in an EBCDIC session, so every
// received frame says by its digits which it used; what the simulator sends
// uses the session's choice. The fault switches of the robustness tests act
// here, on every frame sent.
#pragma once

#include <cstdio>
#include <string>

#include "opciones.h"

constexpr int TAM_TRAMA = 30000;
constexpr int MAX_CARGA = TAM_TRAMA - 10;

struct Conexion {
  int fd = -1;
  FILE* registro = nullptr;        // per-session log, or NULL
  const Fallos* fallos = nullptr;  // the fault switches acting on this session
  int retardo_ms = 0;              // pause before every message sent
  int enviados = 0;                // messages handed to envia_trama so far
  bool digitos_ebcdic = true;      // length digits of what is sent
  bool registro_ebcdic = true;     // how the log shows payloads
  bool cortada = false;            // a fault switch closed the connection
  std::string retenida;            // frames kept back to go out with the next one
  unsigned char entrada[32768];    // received bytes not yet taken
  size_t ini = 0, fin = 0;
};

// Receives one frame into carga. *digitos_ebcdic tells how its length was
// written. Returns the payload length; -1 when the peer closed or the socket
// failed; -2 when the length field is not ten digits or lies outside 10..30000
// (the frame is then unusable and the session should end).
int recibe_trama(Conexion& c, std::string& carga, bool* digitos_ebcdic = nullptr);

// Sends one frame (carga already in its wire code). With `retener`, and the
// dos_tramas switch on, the frame is kept and goes out in the same send as
// the next one. Returns false when the connection is gone (or a fault switch
// cut it), true otherwise. A payload above MAX_CARGA is refused (false).
bool envia_trama(Conexion& c, const std::string& carga, bool retener = false);

// Sends what envia_trama kept back, if anything.
bool vacia_retenida(Conexion& c);

// Receives the client's EBCDIC "OK" of the transfer walk. False (and a log
// line) when the connection closed or the message is anything else.
bool espera_ok(Conexion& c);

// A free-form line in the session log (nothing when there is no log).
void anota(Conexion& c, const char* formato, ...) __attribute__((format(printf, 2, 3)));

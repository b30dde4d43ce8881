// The transfer side of a session: one request (94 ALL, 95 MBR, 97 DAT/LISTA,
// 66/67 spool, 96 END), then the stream of headers and blocks in lock-step,
// each message waiting for the client's "OK", closed by the end code.
#pragma once

#include <string>

#include "opciones.h"
#include "trama_sim.h"

// Code that closes every transfer stream: outside the client's catalogue, so
// its walk ends there without answering it.
constexpr int CODIGO_FIN = 99;

// Serves the transfer request `peticion` (already decoded to ASCII). Returns
// when the stream is over, the request ended the session or the client went.
void sirve_transferencia(Conexion& c, const std::string& peticion, const Opciones& op);

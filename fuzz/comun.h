// What every fuzz target shares: a fatal end that throws instead of ending the
// process, the reset of the run context between inputs, and a network seam
// that serves the input as socket data in chunks the input chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/contexto.h"
#include "sql/cursores.h"
#include "wire/sesion.h"

// Thrown by the fatal-end handler: a fatal end with its message is a correct
// answer to hostile input, so targets catch it.
struct FinPrograma {
  int estado;
};

// Once per process: the throwing handler, the pause switched off, standard
// output sent to /dev/null (VORTCP_FUZZ_SALIDA=1 keeps it, to read a finding).
void inicia_objetivo();

// Before every input: ctx zeroed, code page tables from the built-in ones, the
// LZW tables reserved, every cursor slot with its area (the same areas across
// inputs, so nothing leaks; their content is not cleared), trace and log on
// /dev/null, the target's session afresh (a fake socket, nothing pending,
// not failed) and made the SQL session.
void reinicia_contexto();
// The session every target works on (the same one across inputs).
Sesion& sesion_objetivo();
// Clears the content of every cursor area (8 MB: only for targets that use them).
void limpia_areas();

// The next receives read `datos` (n bytes) in chunks whose sizes cycle through
// `trozos` (a size byte of 0 stands for 256; no sizes: as much as is asked).
// At the end of the data a receive reports a closed connection. Sends are
// kept in enviado().
void prepara_red(const uint8_t* trozos, size_t ntrozos, const uint8_t* datos, size_t n);
const std::string& enviado();
// Bytes of the served data not yet received.
size_t pendiente_red();

// Serves the payloads as frames (ten length digits, ASCII or EBCDIC, then the
// payload as given) through prepara_red, one frame after the other.
void sirve_tramas(const std::vector<std::string>& cargas, bool digitos_ebcdic);
// The payloads of the frames sent so far; a frame whose length field is not
// that of a whole frame is a finding.
std::vector<std::string> tramas_enviadas(bool digitos_ebcdic);
// Splits a text at the separator 00 FF 00 (the targets' way of giving a list
// of payloads or fields in one input).
std::vector<std::string> parte_lista(const uint8_t* datos, size_t n);

// Splits an input into a header of `cabecera` bytes (zeros when short) and the
// rest.
struct Entrada {
  uint8_t cabecera[8];
  const uint8_t* resto;
  size_t nresto;
};
Entrada parte_entrada(const uint8_t* datos, size_t n, size_t cabecera);

// Fails the run the way a sanitizer finding does (abort with a message).
[[noreturn]] void hallazgo(const char* texto);
#define COMPRUEBA(cond)                                  \
  do {                                                   \
    if (!(cond)) hallazgo(__FILE__ ": fallo de " #cond); \
  } while (0)

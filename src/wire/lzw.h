// The LZW codec of compressed replies: fixed 12-bit codes, a dictionary of
// codes 256 to 4094, 4095 as the end code.
#pragma once

// Positions of the last compression or expansion.
struct PosicionesLzw {
  int entrada;  // bytes taken from the input
  int salida;   // bytes written to the output
};
extern PosicionesLzw ifs_iin;

// Allocates the codec's tables once (later calls do nothing), quietly. Returns
// false when memory is short.
bool reserva_tablas_lzw();

// Allocates the codec's tables and runs the start-up round trip, which prints
// "Expanding...\n" and "inicio inicio=0  ilen=58\n" (not in a silent run). Returns false after
// "Fatal error allocating table space!\n" when memory is short: the caller
// ends the run with SALIDA_ERROR.
[[nodiscard]] bool inicia_lzw();

// Expands ilen bytes of compressed input (the first `inicio` copied unchanged)
// into salida, which holds `capacidad` bytes. Prints its two progress lines
// (not in a silent run).
// The expanded length is left in ifs_iin.salida; nothing past ilen bytes of
// input is read. Returns false after "Fatal error during code expansion.\n"
// for a stream that would write past salida or whose code chain would overrun
// the decoding stack (what was written of salida is not to be used), or after
// "Fatal error allocating table space!\n": the caller ends the run with
// SALIDA_ERROR. The tables are the process's: one expansion at a time (the
// console's compressed replies, and start-up).
[[nodiscard]] bool expande_lzw(const unsigned char* entrada, int inicio, int ilen, unsigned char* salida,
                               int capacidad);

// Compresses ilen bytes of input (the first `inicio` copied unchanged) into
// salida (`capacidad` bytes). Returns the compressed length (also left in
// ifs_iin.salida), or -1 when it would not fit.
int comprime_lzw(const unsigned char* entrada, int inicio, int ilen, unsigned char* salida, int capacidad);

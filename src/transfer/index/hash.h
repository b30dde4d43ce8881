// The keyed hash that finds the lines of a key in an index held in memory.
// The names are the server's: with a hash anyone can compute, a server could
// pick thousands of names that share one bucket and make every update walk
// them all. The hash is SipHash-1-3, keyed with a value drawn at random, so
// that which names collide cannot be known in advance.
#pragma once

#include <cstddef>
#include <cstdint>

// SipHash with one round per word and three at the end.
uint64_t siphash_1_3(const uint64_t (&clave)[2], const unsigned char* m, size_t n);

// The hash of the three key fields of an index line (campo_clave), each
// closed by a byte that no field holds at its end (0xFF), so that ("AB", "C")
// and ("A", "BC") differ.
uint64_t hash_clave(const uint64_t (&clave)[2], const char* linea, size_t largo);

// A new key from the system's random source; without one, mixed from the
// clock and addresses, which still differ from run to run.
void clave_al_azar(uint64_t (&clave)[2]);

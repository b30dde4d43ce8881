// Bounded formatting into fixed buffers, the simulator's own: it links
// nothing of the client.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// snprintf into a char array, always NUL-terminated; returns what snprintf
// returns (the length the whole text would have had).
template <size_t N>
__attribute__((format(printf, 2, 3))) int formatea(char (&dest)[N], const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  int n = std::vsnprintf(dest, N, formato, args);
  va_end(args);
  return n;
}

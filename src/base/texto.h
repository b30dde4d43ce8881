// Text and environment helpers over fixed-size, NUL-terminated single-byte
// buffers. Every helper is bounded by the capacity of its destination: none can
// write past it, whatever its input. The array templates take the capacity from
// the array itself.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Copies src into dest (capacity cap) on the strlcpy model: the copy is cut to
// cap - 1 characters and always terminated. Returns the length of src.
size_t copia_texto(char* dest, size_t cap, const char* src);
template <size_t N>
size_t copia_texto(char (&dest)[N], const char* src) {
  return copia_texto(dest, N, src);
}

// snprintf into a fixed array. Returns the length the full text would have had
// (>= N means it was cut).
__attribute__((format(printf, 3, 4))) int formatea(char* dest, size_t cap, const char* formato, ...);
int formatea_v(char* dest, size_t cap, const char* formato, va_list args);
template <size_t N>
__attribute__((format(printf, 2, 3))) int formatea(char (&dest)[N], const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  int n = formatea_v(dest, N, formato, args);
  va_end(args);
  return n;
}

// Reads a decimal number the way atoi does (leading blanks, an optional sign,
// digits up to the first other character; no number reads as 0), without
// atoi's undefined overflow: the value saturates at the limits of int32_t.
int32_t lee_entero(const char* texto);
// Reads the first n characters of texto as lee_entero does.
int32_t lee_entero_n(const char* texto, size_t n);
// True when the n characters from p are all decimal digits (no sign, no
// blank); true for n 0.
bool son_cifras(const char* p, size_t n);

// Copies the value of an environment variable into dest; an unset variable
// gives the empty string. Returns false, after "Valor demasiado largo en la
// variable %s\n" on standard output, when the value does not fit (dest then
// holds its first cap - 1 characters): the caller ends the run with
// SALIDA_ERROR.
[[nodiscard]] bool toma_env(char* dest, size_t cap, const char* nombre);
template <size_t N>
[[nodiscard]] bool toma_env(char (&dest)[N], const char* nombre) {
  return toma_env(dest, N, nombre);
}
// A setting of whole numbers from 1 to maximo, digits only: *valor gets it,
// or 0 when the variable is unset or empty. Any other value returns false
// after "Valor no valido en la variable %s (%s)\n" on standard output.
[[nodiscard]] bool toma_env_numero(const char* nombre, long maximo, long* valor);
// A switch: unset, empty or "0" is off, "1" on (*valor); any other value
// returns false after the same message as toma_env_numero.
[[nodiscard]] bool toma_env_interruptor(const char* nombre, bool* valor);
// The integer value of an environment variable (lee_entero), 0 when unset.
int32_t toma_env_entero(const char* nombre);
// True when the variable is set to a non-empty value.
bool env_no_vacia(const char* nombre);

// Case conversion in place; only a-z and A-Z change.
void a_mayusculas(char* texto);
void a_minusculas(char* texto);
// Removes trailing blanks (spaces only) in place.
void quita_blancos(char* texto);
// Writes n blanks and the NUL (fewer when cap is smaller).
void llena_blancos(char* dest, size_t cap, int n);
template <size_t N>
void llena_blancos(char (&dest)[N], int n) {
  llena_blancos(dest, N, n);
}
// Cuts a fixed-width field out of a record line: the characters from offset on,
// up to width of them, a line feed or the end of the line. With pad 1 the field
// is filled with blanks to width characters; otherwise trailing blanks are
// removed. The result is cut to what dest holds.
void extrae_campo(char* dest, size_t cap, const char* src, int offset, int width, int pad);
template <size_t N>
void extrae_campo(char (&dest)[N], const char* src, int offset, int width, int pad) {
  extrae_campo(dest, N, src, offset, width, pad);
}
// Groups the digits of a count with "." every three digits from the right.
void pon_puntos(char* dest, size_t cap, const char* digitos);
template <size_t N>
void pon_puntos(char (&dest)[N], const char* digitos) {
  pon_puntos(dest, N, digitos);
}
// Prints the text and a line end on standard output ("%s\n").
void muestra_linea(const char* texto);

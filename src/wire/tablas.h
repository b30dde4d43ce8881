// Code page tables: the built-in EBCDIC/ASCII pair, the pair amended by the
// table file ebcdic.<LANG>, and the ANSI/OEM pair of the test dumps.
#pragma once

#include <cstddef>

extern const unsigned char ebc_fija[256];  // EBCDIC to ASCII, built in
extern const unsigned char asc_fija[256];  // ASCII to EBCDIC, built in

// Builds to_ascii and to_ansi (with their dump at test level 1), then runs
// carga_tabla_ebc, and returns what it returns.
[[nodiscard]] bool prepara_tablas();
// Sets tabla_ebc and tabla_asc from the built-in tables and the table file,
// looked for as BASE\basico\ebcdic.<LANG>, then WWW_ROOT\config\ebcdic.<LANG>.
// Returns false when the run must end with SALIDA_ERROR: neither found
// ("Fichero %s no encontrado.\n\n" with the second path, then a line on
// standard error that names both paths), or a setting too long (toma_env).
[[nodiscard]] bool carga_tabla_ebc();
// Applies one line of a table file (as read, line feed included or not) to
// tabla_ebc and tabla_asc. Comments, empty and malformed lines change nothing.
// Returns true when the line set a mapping.
bool aplica_linea_tabla(const char* linea);
// The mapping of one line of a table file, as aplica_linea_tabla reads it:
// the EBCDIC byte and the character it stands for. False for comments, empty
// and malformed lines.
bool lee_linea_tabla(const char* linea, int* ebcdic, int* ascii);
// The value of a hexadecimal digit, or -1 when c is not one.
int valor_hex(char c);
// The ANSI/OEM pair built by prepara_tablas, byte by byte (tests).
unsigned char ansi_a_oem(unsigned char c);
unsigned char oem_a_ansi(unsigned char c);
// destino[i] = tabla_ebc[origen[i]] for n bytes, two at a time through a
// table of pairs kept in step with tabla_ebc (the text of big members).
void traduce_tabla_ebc(unsigned char* destino, const unsigned char* origen, size_t n);

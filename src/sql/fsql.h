// The script runner: "fsql nnn.sql" runs the statements of a text file, one
// message 04 each, with the current library put in place of its marker.
#pragma once

#include <cstddef>

#include "sql/resultado.h"

// Runs the script named after the fifth character of the console line. A file
// that cannot be opened prints "Imposible abrir (%s)\n", fallo_local. Server
// errors do not stop it, but in a batch without --sigue (guion_se_detiene);
// it returns its first failure, or hecho. A failed exchange leaves the rest
// unsent (the session is lost).
Resultado ejecuta_fsql(const char* linea);
// Sends the statement as message 04 (session and cursor always 1) in a buffer
// of its own and shows its outcome: fallo_sentencia for the server's error,
// hecho otherwise (a failed exchange too: the session is lost).
Resultado envia_sentencia(const char* sentencia);
// Replaces the first occurrence of marca in texto (capacity cap), or if there
// is none the first of marca in lower case, by valor. Returns the length of
// the resulting text; a result of cap or more was cut to fit.
size_t sustituye_texto(const char* marca, const char* valor, char* texto, size_t cap);

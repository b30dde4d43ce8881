// One console line: the checks it passes before it runs, and the ordered rule
// table that hands it to one of the console's commands or sends it to the
// server as a statement. Where the line came from (a pipe, a terminal, -c or
// a script's command line) is the caller's.
#pragma once

#include <cstddef>

#include "base/lineas.h"
#include "platform/plataforma.h"
#include "sql/resultado.h"

// The longest console line that is run, in characters of what is sent (its
// CP1252 form): the program has always bounded it so.
constexpr size_t MAX_LINEA_CONSOLA = 5118;
// The bytes such a line may take as typed: in a UTF-8 run a character takes
// up to four (three at most when CP1252 has it).
constexpr size_t MAX_BYTES_LINEA = 4 * MAX_LINEA_CONSOLA;

// True when the line read (number `numero` of the console's input, or of -c)
// may run; otherwise false after the message of what is wrong with it: a NUL
// byte, more than MAX_LINEA_CONSOLA characters, or in a UTF-8 run bytes that
// are not UTF-8.
bool linea_aceptable(const char* linea, const LineaLeida& leida, int numero);

// Runs one console line (at most MAX_BYTES_LINEA bytes; its leading blanks
// are taken off first, in place) and says what it came to.
Resultado ejecuta_linea_consola(char* linea);

// Sends a statement (CP1252, as the server takes it) as a query when its first
// word makes it one, else as message 04. At the prompt only the exact word
// SELECT does, as it always has; in a batch WITH and VALUES do too.
Resultado ejecuta_sentencia_sql(const char* sentencia);

// The words that Tab completes: those of the rules (lower case, as the help
// shows them), and after "set " the settings the console reads.
PalabrasConsola palabras_de_la_consola();

// Scripts in the form SQL users write them (vortcp WEB -f FICHERO): a
// statement ends at a ";" that ends a line (blanks and a "--" comment may
// follow it), the lines of a statement are joined with one blank, "--" begins
// a comment outside quotes, a line whose first word is a console command
// outside a statement runs as that command, every %CURLIB% is the current
// library, queries show their rows, and a last statement without ";" runs
// too. The old form of "fsql" (fsql.h) is another thing and stays as it was.
#pragma once

#include <cstddef>

#include "base/contexto.h"
#include "sql/resultado.h"

// What a line of a script completes.
enum class PiezaGuion {
  nada,       // nothing yet: an empty line, a comment, part of a statement
  sentencia,  // a whole statement is in texto(): its ";" and the blanks around it taken off
  orden,      // a console command line is in texto(), as written (leading blanks taken off)
};

// Splits the lines of a script into statements and console commands. Knows
// nothing of files or of the server: it takes lines and gives pieces.
class LectorGuion {
 public:
  LectorGuion() { vacia(); }
  // Takes the next line (without its line end; n bytes, which may hold
  // anything but NUL).
  PiezaGuion toma(const char* linea, size_t n);
  // The end of the script: a statement left without its ";" is complete.
  PiezaGuion termina();
  // The piece just completed, NUL-terminated. A statement longer than the
  // buffer is cut there; largo() counts all of it.
  const char* texto() const { return texto_; }
  size_t largo() const { return largo_; }

 private:
  void vacia();
  void anade(const char* p, size_t n);
  char texto_[TAM_TRAMA + 1];
  size_t largo_;    // of the statement being gathered, past the buffer too
  bool pendiente_;  // a statement has begun
  char comillas_;   // the quote a literal or a name is open with ('\'' or '"'), 0 outside
  bool completa_;   // the last piece is to be emptied before the next line
};

// True when the first word of the line (after its leading blanks) makes it a
// console command in a script: output, set NOMBRE=..., fsql, loadsql, cmd,
// cls, sqlserver, quit, kill or a backslash command. "SET SCHEMA X" and the
// like stay SQL: only set with a name joined to its "=" is the console's.
bool es_orden_de_guion(const char* linea);

// Replaces every "%CURLIB%" of texto (capacity cap), in any case, by valor.
// Returns the length of the result; one of cap or more was cut to fit.
size_t sustituye_todas(const char* valor, char* texto, size_t cap);

class Politica;
// Runs the script `nombre` ("-": standard input), each piece told to the
// policy, up to its end or until the policy, a lost session or an
// interruption stops it. A script that cannot be opened, or that is no
// regular file (a directory): "Imposible abrir (%s)\n", a local failure; one
// whose reading fails part-way: "Error al leer (%s)\n", a local failure, and
// the statement it was in the middle of is not run. Returns false when the
// console is to end
// (politica.estado() then holds its status, unless the session was lost or
// the run cut: the caller asks).
bool ejecuta_guion(const char* nombre, Politica& politica);

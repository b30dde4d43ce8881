// The SQL console's main loop: prompt, read a line, and the ordered rule table
// that hands it to a command or sends it as a statement. The process ends from
// inside: quit, kill, the end of standard input or a failed exchange.
#include "sql/consola.h"

#include <cstdio>
#include <cstring>

#include "main/contexto.h"
#include "main/fin.h"
#include "main/plataforma.h"
#include "main/texto.h"
#include "sql/backup.h"
#include "sql/comandos.h"
#include "sql/consulta.h"
#include "sql/fsql.h"

// A console line is upper-cased into strabajo and, for the output file, copied
// there with its line end: that bounds it.
constexpr size_t MAX_LINEA_CONSOLA = TAM_STRABAJO - 2;

namespace {

// One rule of the table: how the line is tested, against which text, and the
// handler of the lines that pass.
enum class Prueba {
  linea_igual,    // the line as typed equals the text
  fin,            // empty line, "quit" or "QUIT" (only these two forms)
  mayus_igual,    // the upper-cased line equals the text
  mayus_empieza,  // the upper-cased line begins with the text
};
struct Regla {
  Prueba prueba;
  const char* texto;
  void (*accion)(const char* linea);
};

bool cumple(const Regla& r, const char* linea, const char* mayus) {
  switch (r.prueba) {
    case Prueba::linea_igual:
      return strcmp(linea, r.texto) == 0;
    case Prueba::fin:
      return linea[0] == '\0' || strcmp(linea, "quit") == 0 || strcmp(linea, "QUIT") == 0;
    case Prueba::mayus_igual:
      return strcmp(mayus, r.texto) == 0;
    case Prueba::mayus_empieza:
      return strncmp(mayus, r.texto, strlen(r.texto)) == 0;
  }
  return false;
}

[[noreturn]] void termina_consola(const char*) {
  cierra_salida();
  termina(1);
}

// Any other line is a statement, copied first into the output file. Only the
// exact first word SELECT makes it a query; "select*", "(select" or "with"
// go the message 04 way.
void ejecuta_linea_sql(const char* linea) {
  if (ctx.isalida == 1) fprintf(ctx.fsalida, "%s\n", linea);
  const char* mayus = ctx.strabajo;
  size_t palabra = strcspn(mayus, " ");
  if (palabra == 6 && strncmp(mayus, "SELECT", 6) == 0) {
    ejecuta_consulta(linea);
  } else {
    ejecuta_sentencia(linea);
  }
}

// In this order; a line that passes none is a statement.
// clang-format off
const Regla REGLAS[] = {
    {Prueba::linea_igual,   "?",         muestra_ayuda},
    {Prueba::fin,           "",          termina_consola},
    {Prueba::mayus_igual,   "KILL",      ejecuta_kill},
    {Prueba::mayus_empieza, "SQLSERVER", activa_sqlserver},
    {Prueba::mayus_empieza, "OUTPUT",    ejecuta_output},
    {Prueba::mayus_empieza, "FSQL",      ejecuta_fsql},
    {Prueba::mayus_empieza, "LOADSQL",   carga_backup},
    {Prueba::mayus_empieza, "SET ",      ejecuta_set},
    {Prueba::mayus_empieza, "CLS",       envia_cls},
    {Prueba::mayus_empieza, "CMD",       envia_cmd},
    {Prueba::mayus_empieza, "IMGS",      ejecuta_imgs},
};
// clang-format on

// Reads one console line into ctx.slinea without its line end. A line longer
// than the buffer is read to its end and reported as too long. Returns false
// at the end of standard input.
bool lee_linea_consola(bool* demasiado_larga) {
  *demasiado_larga = false;
  if (plat_lee_linea(ctx.slinea, TAM_SLINEA, stdin) == nullptr) return false;
  size_t n = strlen(ctx.slinea);
  bool completa = n > 0 && ctx.slinea[n - 1] == '\n';
  if (completa) ctx.slinea[--n] = '\0';
  while (!completa) {
    static char resto[TAM_SLINEA];
    if (plat_lee_linea(resto, TAM_SLINEA, stdin) == nullptr) break;
    size_t k = strlen(resto);
    completa = k > 0 && resto[k - 1] == '\n';
    if (completa) k--;
    n += k;
  }
  *demasiado_larga = n > MAX_LINEA_CONSOLA;
  return true;
}

}  // namespace

void consola_sql() {
  lee_ajustes_consola();
  // A reply printed with "%s" after a receive that failed part-way still
  // finds a terminator.
  ctx.sbuffer[TAM_TRAMA] = '\0';
  for (;;) {
    printf("sql > ");
    fflush(stdout);
    bool demasiado_larga = false;
    // The end of standard input ends the run as quit does.
    if (!lee_linea_consola(&demasiado_larga)) termina_consola(nullptr);
    if (demasiado_larga) {
      printf("Linea demasiado larga (maximo %d caracteres).\n", (int)MAX_LINEA_CONSOLA);
      continue;
    }
    char* linea = ctx.slinea;
    size_t blancos = strspn(linea, " ");
    if (blancos > 0) memmove(linea, linea + blancos, strlen(linea + blancos) + 1);
    copia_texto(ctx.strabajo, linea);
    a_mayusculas(ctx.strabajo);

    const Regla* regla = nullptr;
    for (const Regla& r : REGLAS) {
      if (cumple(r, linea, ctx.strabajo)) {
        regla = &r;
        break;
      }
    }
    if (regla != nullptr) {
      regla->accion(linea);
    } else {
      ejecuta_linea_sql(linea);
    }
  }
}

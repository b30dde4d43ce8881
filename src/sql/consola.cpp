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

// One rule of the table: a test on the line as typed and on its upper-cased
// copy, and the handler of the lines that pass it.
struct Regla {
  bool (*prueba)(const char* linea, const char* mayus);
  void (*accion)(const char* linea);
};

bool empieza(const char* mayus, const char* prefijo) { return strncmp(mayus, prefijo, strlen(prefijo)) == 0; }

bool es_ayuda(const char* linea, const char*) { return strcmp(linea, "?") == 0; }
bool es_fin(const char* linea, const char*) {
  return linea[0] == '\0' || strcmp(linea, "quit") == 0 || strcmp(linea, "QUIT") == 0;
}
bool es_kill(const char*, const char* mayus) { return strcmp(mayus, "KILL") == 0; }
bool es_sqlserver(const char*, const char* mayus) { return empieza(mayus, "SQLSERVER"); }
bool es_output(const char*, const char* mayus) { return empieza(mayus, "OUTPUT"); }
bool es_fsql(const char*, const char* mayus) { return empieza(mayus, "FSQL"); }
bool es_loadsql(const char*, const char* mayus) { return empieza(mayus, "LOADSQL"); }
bool es_set(const char*, const char* mayus) { return empieza(mayus, "SET "); }
bool es_cls(const char*, const char* mayus) { return empieza(mayus, "CLS"); }
bool es_cmd(const char*, const char* mayus) { return empieza(mayus, "CMD"); }
bool es_imgs(const char*, const char* mayus) { return empieza(mayus, "IMGS"); }

[[noreturn]] void termina_consola(const char*) { termina(1); }

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

const Regla REGLAS[] = {
    {es_ayuda, muestra_ayuda},       {es_fin, termina_consola},    {es_kill, ejecuta_kill},
    {es_sqlserver, activa_sqlserver}, {es_output, ejecuta_output}, {es_fsql, ejecuta_fsql},
    {es_loadsql, carga_backup},      {es_set, ejecuta_set},        {es_cls, envia_cls},
    {es_cmd, envia_cmd},             {es_imgs, ejecuta_imgs},
};

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
    if (!lee_linea_consola(&demasiado_larga)) termina(1);
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
      if (r.prueba(linea, ctx.strabajo)) {
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

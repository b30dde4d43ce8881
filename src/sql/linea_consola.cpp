// One console line (linea_consola.h): the checks of a line, the rule table in
// its order, and a statement sent as a query or as message 04.
#include "sql/linea_consola.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "base/utf8.h"
#include "sql/backup.h"
#include "sql/barra.h"
#include "sql/comandos.h"
#include "sql/completado.h"
#include "sql/consulta.h"
#include "sql/destinos.h"
#include "sql/fsql.h"

namespace {

// One rule of the table: how the line is tested, against which text, and the
// handler of the lines that pass.
enum class Prueba {
  linea_igual,    // the line as typed equals the text
  fin,            // empty line, "quit" or "QUIT" (only these two forms)
  mayus_igual,    // the upper-cased line equals the text
  mayus_empieza,  // the upper-cased line begins with the text
  barra,          // a backslash command: at a terminal and in a batch (from a pipe, a statement)
};
struct Regla {
  Prueba prueba;
  const char* texto;
  Resultado (*accion)(const char* linea);
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
    case Prueba::barra:
      return linea[0] == '\\' && (ctx.en_terminal || ctx.lote);
  }
  return false;
}

// quit, and an empty line where it has always meant quit: lines from a pipe
// or a file. At a terminal and in a batch an empty line does nothing.
Resultado termina_consola(const char* linea) {
  if (linea[0] == '\0' && (ctx.en_terminal || ctx.lote)) return Resultado::hecho;
  return Resultado::fin;
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
    {Prueba::barra,         "\\",        ejecuta_barra},
};
// clang-format on

// The upper-cased first word of a statement, cut to fit: up to a space at
// the prompt, as it always was; in a batch a tab or a line end ends it too.
void primera_palabra(const char* sentencia, char (&palabra)[8]) {
  size_t n = strcspn(sentencia, ctx.lote ? " \t\n" : " ");
  if (n >= sizeof palabra) n = sizeof palabra - 1;
  memcpy(palabra, sentencia, n);
  palabra[n] = '\0';
  a_mayusculas(palabra);
}

// Any other line is a statement. What is sent is CP1252, whatever the person
// typed it in; a line that cannot be sent is not run, and is not copied into
// the output file either.
Resultado ejecuta_linea_sql(const char* linea) {
  static char sentencia[MAX_BYTES_LINEA + 1];
  if (!de_persona(linea, strlen(linea), sentencia, linea)) return Resultado::fallo_local;
  FILE* eco = destino_eco();
  if (eco != nullptr) fprintf(eco, "%s\n", linea);
  return ejecuta_sentencia_sql(sentencia);
}

// What Tab completes: the words of the rules above (lower case, as the help
// shows them; the end rule's is "quit", the backslash rule's are its
// commands), after "set " the settings that the console reads while it runs,
// and later in a line the catalogue's names (completado.h).
const char* const ORDENES_BARRA[] = {"\\d", "\\dt", "\\x", "\\timing", "\\pager", "\\?"};
constexpr size_t NUM_PALABRAS =
    sizeof REGLAS / sizeof REGLAS[0] - 1 + sizeof ORDENES_BARRA / sizeof ORDENES_BARRA[0];
const char* palabras_comandos[NUM_PALABRAS];
char textos_comandos[NUM_PALABRAS][16];

// True when the line is longer than the console runs: in a UTF-8 run its
// characters are counted, each of which is one byte of what is sent.
bool demasiado_larga(const char* linea, const LineaLeida& l) {
  if (l.largo > l.guardados) return true;
  size_t caracteres = ctx.utf8 ? caracteres_utf8(linea, l.guardados) : l.largo;
  return caracteres > MAX_LINEA_CONSOLA;
}

}  // namespace

bool linea_aceptable(const char* linea, const LineaLeida& leida, int numero) {
  if (leida.nulo) {
    printf("Byte nulo en la linea %d de (consola)\n", numero);
  } else if (demasiado_larga(linea, leida)) {
    printf("Linea demasiado larga (maximo %d caracteres).\n", (int)MAX_LINEA_CONSOLA);
  } else if (ctx.utf8 && !utf8_valido(linea, leida.guardados)) {
    printf("Texto no valido en UTF-8 en la linea %d de (consola)\n", numero);
  } else {
    return true;
  }
  return false;
}

Resultado ejecuta_linea_consola(char* linea) {
  static char mayus[MAX_BYTES_LINEA + 1];
  size_t blancos = strspn(linea, " ");
  if (blancos > 0) memmove(linea, linea + blancos, strlen(linea + blancos) + 1);
  copia_texto(mayus, linea);
  a_mayusculas(mayus);
  for (const Regla& r : REGLAS) {
    if (cumple(r, linea, mayus)) return r.accion(linea);
  }
  return ejecuta_linea_sql(linea);
}

Resultado ejecuta_sentencia_sql(const char* sentencia) {
  char palabra[8];
  primera_palabra(sentencia, palabra);
  // "select*", "(select" or "with" go the message 04 way at the prompt.
  bool consulta = strcmp(palabra, "SELECT") == 0 ||
                  (ctx.lote && (strcmp(palabra, "WITH") == 0 || strcmp(palabra, "VALUES") == 0));
  int64_t inicio = plat_reloj_us();
  Resultado r = consulta ? ejecuta_consulta(sentencia) : ejecuta_sentencia(sentencia);
  // \timing: from the statement sent to its last row shown; on standard
  // error in a batch, where standard output holds results alone.
  if (ctx.cronometro) {
    char tiempo[32];
    formatea(tiempo, "%.3f", (double)(plat_reloj_us() - inicio) / 1000.0);
    fprintf(ctx.lote ? stderr : stdout, "Tiempo: %s ms\n", tiempo);
  }
  return r;
}

PalabrasConsola palabras_de_la_consola() {
  int n = 0;
  for (const Regla& r : REGLAS) {
    if (r.prueba == Prueba::barra) continue;
    copia_texto(textos_comandos[n], r.prueba == Prueba::fin ? "quit" : r.texto);
    a_minusculas(textos_comandos[n]);
    palabras_comandos[n] = textos_comandos[n];
    n++;
  }
  for (const char* orden : ORDENES_BARRA) palabras_comandos[n++] = orden;
  return PalabrasConsola{palabras_comandos, n, AJUSTES_CONSOLA, NUM_AJUSTES_CONSOLA, nombres_para_completar};
}

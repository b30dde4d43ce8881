// The SQL console's main loop: prompt, read a line, and the ordered rule table
// that hands it to a command or sends it as a statement. The process ends from
// inside: quit, kill, the end of standard input, a failed exchange or an
// interruption. At a terminal the lines come through the line editor; what
// is done with a line is the same wherever it came from.
#include "sql/consola.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/lineas.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "base/utf8.h"
#include "sql/backup.h"
#include "sql/comandos.h"
#include "sql/consulta.h"
#include "sql/destinos.h"
#include "sql/fsql.h"
#include "sql/intercambio_sql.h"

// The longest console line that is run, in characters of what is sent (its
// CP1252 form): the program has always bounded it so.
constexpr size_t MAX_LINEA_CONSOLA = 5118;
// The bytes such a line may take as typed: in a UTF-8 run a character takes
// up to four (three at most when CP1252 has it).
constexpr size_t MAX_BYTES_LINEA = 4 * MAX_LINEA_CONSOLA;
// The buffer of a console line (the part of a longer line that is kept).
constexpr int TAM_LECTURA = 51200;
static_assert(MAX_BYTES_LINEA < (size_t)TAM_LECTURA, "a line that is run is kept whole");

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

// quit, an empty line and the end of input: the output file is closed and
// checked by termina's closing steps.
[[noreturn]] void termina_consola(const char*) {
  termina(SALIDA_ERROR);
}

// Any other line is a statement. What is sent is CP1252, whatever the person
// typed it in; a line that cannot be sent is not run, and is not copied into
// the output file either. Only the exact first word SELECT makes it a query;
// "select*", "(select" or "with" go the message 04 way.
void ejecuta_linea_sql(const char* linea, const char* mayus) {
  static char sentencia[MAX_BYTES_LINEA + 1];
  if (!de_persona(linea, strlen(linea), sentencia, linea)) return;
  FILE* eco = destino_eco();
  if (eco != nullptr) fprintf(eco, "%s\n", linea);
  size_t palabra = strcspn(mayus, " ");
  if (palabra == 6 && strncmp(mayus, "SELECT", 6) == 0) {
    ejecuta_consulta(sentencia);
  } else {
    ejecuta_sentencia(sentencia);
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

// What Tab completes: the words of the rules above (lower case, as the help
// shows them; the end rule's is "quit"), and after "set " the settings that
// the console reads while it runs.
const char* palabras_comandos[sizeof REGLAS / sizeof REGLAS[0]];
char textos_comandos[sizeof REGLAS / sizeof REGLAS[0]][16];

PalabrasConsola palabras_de_la_consola() {
  int n = 0;
  for (const Regla& r : REGLAS) {
    copia_texto(textos_comandos[n], r.prueba == Prueba::fin ? "quit" : r.texto);
    a_minusculas(textos_comandos[n]);
    palabras_comandos[n] = textos_comandos[n];
    n++;
  }
  return PalabrasConsola{palabras_comandos, n, AJUSTES_CONSOLA, NUM_AJUSTES_CONSOLA};
}

// True when the lines come from a terminal, through the line editor.
bool con_editor = false;

// True when the line is longer than the console runs: in a UTF-8 run its
// characters are counted, each of which is one byte of what is sent.
bool demasiado_larga(const char* linea, const LineaLeida& l) {
  if (l.largo > l.guardados) return true;
  size_t caracteres = ctx.utf8 ? caracteres_utf8(linea, l.guardados) : l.largo;
  return caracteres > MAX_LINEA_CONSOLA;
}

// Shows the prompt and reads one console line into `linea` (capacity
// TAM_LECTURA) without its line end. A line is read to its end, however long:
// one holding a NUL byte is reported as damaged, one longer than the console
// holds as too long, and in a UTF-8 run one whose bytes are not UTF-8 as
// such; none of them is run (*rechazada). Returns false at the end of
// standard input, when an interruption came while waiting (plat_interrupcion
// tells), or when the prompt found standard output closed.
bool lee_linea_consola(char* linea, bool* rechazada) {
  static int numero = 0;  // lines read from standard input so far
  LineaLeida leida{};
  if (con_editor) {
    size_t largo = 0;
    if (plat_editor_lee_linea("sql > ", linea, TAM_LECTURA, &largo) != LecturaEditor::linea) return false;
    leida.largo = largo;
    leida.guardados = largo < (size_t)TAM_LECTURA ? largo : (size_t)TAM_LECTURA - 1;
    leida.nulo = memchr(linea, '\0', leida.guardados) != nullptr;
  } else {
    printf("sql > ");
    fflush(stdout);
    // Nothing more is read, let alone run, for a reader that has gone.
    if (salida_estandar_cerrada()) return false;
    if (!lee_linea_entera(stdin, linea, TAM_LECTURA, &leida, false)) return false;
  }
  numero++;
  // The byte-order mark of a UTF-8 file given as the console's input.
  if (numero == 1 && ctx.utf8) quita_bom(linea, &leida);
  *rechazada = true;
  if (leida.nulo) {
    printf("Byte nulo en la linea %d de (consola)\n", numero);
  } else if (demasiado_larga(linea, leida)) {
    printf("Linea demasiado larga (maximo %d caracteres).\n", (int)MAX_LINEA_CONSOLA);
  } else if (ctx.utf8 && !utf8_valido(linea, leida.guardados)) {
    printf("Texto no valido en UTF-8 en la linea %d de (consola)\n", numero);
  } else {
    *rechazada = false;
  }
  return true;
}

// Ctrl-C or a termination request while waiting for a line: at a terminal
// Ctrl-C only drops the line being typed; anything else ends the run, the
// output file closed and checked, with exit status 128 + the signal.
void trata_interrupcion_en_prompt() {
  if (con_editor && plat_interrupcion() == 2) {
    plat_olvida_interrupcion();
    return;
  }
  if (plat_interrupcion() == SALIDA_CERRADA) termina_interrumpida();
  bool bien = cierra_salida();
  termina(bien ? salida_de_senal(plat_interrupcion()) : SALIDA_ERROR);
}

}  // namespace

void consola_sql() {
  lee_ajustes_consola();
  static char linea_leida[TAM_LECTURA];
  static char mayus[MAX_BYTES_LINEA + 1];
  // From here on Ctrl-C and SIGTERM are recorded: a statement cut short ends
  // the run in order, and Ctrl-C at a terminal's prompt does not end it.
  plat_vigila_interrupciones();
  con_editor = plat_editor_inicia(palabras_de_la_consola());
  for (;;) {
    // Ctrl-C while the last statement ran, or while its rows were shown; or
    // standard output found closed by what the line wrote.
    if (ejecucion_cortada()) termina_interrumpida();
    // A lost session ends the run once the line that lost it is done.
    if (sesion_perdida()) termina_sesion_perdida();
    bool rechazada = false;
    bool leida = lee_linea_consola(linea_leida, &rechazada);
    if (plat_interrupcion() != 0) {
      trata_interrupcion_en_prompt();
      continue;
    }
    // The end of standard input ends the run as quit does.
    if (!leida) termina_consola(nullptr);
    if (rechazada) continue;
    char* linea = linea_leida;
    size_t blancos = strspn(linea, " ");
    if (blancos > 0) memmove(linea, linea + blancos, strlen(linea + blancos) + 1);
    copia_texto(mayus, linea);
    a_mayusculas(mayus);

    const Regla* regla = nullptr;
    for (const Regla& r : REGLAS) {
      if (cumple(r, linea, mayus)) {
        regla = &r;
        break;
      }
    }
    if (regla != nullptr) {
      regla->accion(linea);
    } else {
      ejecuta_linea_sql(linea, mayus);
    }
  }
}

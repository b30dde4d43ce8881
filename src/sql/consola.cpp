// The SQL console's main loops: the prompt (read a line, run it, let the
// policy decide) and the batch of -c and -f (run each in the order given).
// Both return the run's exit status; nothing here ends the process. At a
// terminal the lines come through the line editor; what is done with a line
// is the same wherever it came from.
#include "sql/consola.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/lineas.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "sql/comandos.h"
#include "sql/destinos.h"
#include "sql/guion.h"
#include "sql/intercambio_sql.h"
#include "sql/linea_consola.h"
#include "sql/resultado.h"

// The buffer of a console line (the part of a longer line that is kept).
constexpr int TAM_LECTURA = 51200;
static_assert(MAX_BYTES_LINEA < (size_t)TAM_LECTURA, "a line that is run is kept whole");

namespace {

// Shows the prompt and reads one console line into `linea` (capacity
// TAM_LECTURA) without its line end. A line is read to its end, however long;
// one that may not run (linea_aceptable) sets *rechazada. Returns false at the
// end of standard input, when an interruption came while waiting
// (plat_interrupcion tells), or when the prompt found standard output closed.
bool lee_linea_consola(char* linea, bool* rechazada) {
  static int numero = 0;  // lines read from standard input so far
  LineaLeida leida{};
  if (ctx.en_terminal) {
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
  *rechazada = !linea_aceptable(linea, leida, numero);
  return true;
}

// After a line: true when the run is to end whatever the policy says, with
// the status in *estado: Ctrl-C while the last statement ran or its rows were
// shown, a termination request, standard output found closed, or the session
// lost.
bool fin_forzoso(int* estado) {
  if (ejecucion_cortada()) {
    *estado = estado_de_interrupcion();
    return true;
  }
  if (sesion_perdida()) {
    *estado = estado_de_sesion_perdida();
    return true;
  }
  return false;
}

// Ctrl-C or a termination request while waiting for a line: at a terminal
// Ctrl-C only drops the line being typed (true: the console goes on);
// anything else ends the run, the output file closed and checked, with exit
// status 128 + the signal in *estado.
bool sigue_tras_interrupcion_en_prompt(int* estado) {
  if (ctx.en_terminal && plat_interrupcion() == 2) {
    plat_olvida_interrupcion();
    return true;
  }
  if (plat_interrupcion() == SALIDA_CERRADA) {
    *estado = estado_de_interrupcion();
  } else {
    bool bien = cierra_salida();
    *estado = bien ? salida_de_senal(plat_interrupcion()) : SALIDA_ERROR;
  }
  return false;
}

// The prompt, line after line, until the policy, the end of input or a
// forced end stops it.
int bucle_de_la_consola() {
  static char linea[TAM_LECTURA];
  Politica politica(ctx.en_terminal ? ModoConsola::terminal : ModoConsola::tuberia, false);
  for (;;) {
    bool rechazada = false;
    bool leida = lee_linea_consola(linea, &rechazada);
    if (plat_interrupcion() != 0) {
      int estado;
      if (sigue_tras_interrupcion_en_prompt(&estado)) continue;
      return estado;
    }
    // The end of standard input ends the run as quit does.
    if (!leida) return politica.estado();
    if (rechazada) continue;
    Resultado r = ejecuta_linea_consola(linea);
    int estado;
    if (fin_forzoso(&estado)) return estado;
    if (!politica.sigue(r)) return politica.estado();
  }
}

// A -c: one console line, checked as a typed one is.
Resultado ejecuta_orden(const char* texto) {
  static char linea[MAX_BYTES_LINEA + 1];
  LineaLeida leida{};
  leida.largo = strlen(texto);
  leida.guardados = copia_texto(linea, texto) < sizeof linea ? leida.largo : sizeof linea - 1;
  if (!linea_aceptable(linea, leida, 1)) return Resultado::fallo_local;
  return ejecuta_linea_consola(linea);
}

// The batch: each -c and -f in the order given, until the policy, the end
// of the list or a forced end stops it.
int ejecuta_lote() {
  Politica politica(ModoConsola::lote, ctx.sigue_tras_fallo != 0);
  for (int i = 0; i < ctx.num_ordenes_lote; i++) {
    const RunContext::OrdenLote& orden = ctx.ordenes_lote[i];
    bool sigue = orden.clase == 'c' ? politica.sigue(ejecuta_orden(orden.texto))
                                    : ejecuta_guion(orden.texto, politica);
    int estado;
    if (fin_forzoso(&estado)) return estado;
    if (!sigue) return politica.estado();
  }
  return politica.estado();
}

// The end of a batch: its results written out of their stream's buffer.
// Results that standard output could not take make a run that was ending
// well fail, said on standard error; one that was failing keeps its status.
// A failure found earlier has ended the run already, and said so.
int vacia_resultados(int estado) {
  if (plat_interrupcion() != 0) return estado;
  fflush(salida_de_resultados());
  if (!salida_estandar_cerrada()) return estado;
  int fallo = informa_fallo_salida_estandar();
  return estado == SALIDA_BIEN ? fallo : estado;
}

}  // namespace

int consola_sql() {
  lee_ajustes_consola();
  if (ctx.csv_lote) plat_putenv("FORMATO=csv");
  // From here on Ctrl-C and SIGTERM are recorded: a statement cut short ends
  // the run in order, and Ctrl-C at a terminal's prompt does not end it.
  plat_vigila_interrupciones();
  if (ctx.salida_lote != nullptr && !abre_salida(ctx.salida_lote)) {
    printf("Imposible abrir (%s)\n", ctx.salida_lote);
    return SALIDA_ERROR;
  }
  if (ctx.lote) return vacia_resultados(ejecuta_lote());
  ctx.en_terminal = plat_editor_inicia(palabras_de_la_consola()) ? 1 : 0;
  return bucle_de_la_consola();
}

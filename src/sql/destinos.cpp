// The routing of console output between the screen and the output file
// (destinos.h), from the output state (isalida, fsalida), delimb, FORMATO and
// whether the run is a batch.
#include "sql/destinos.h"

#include <cstdarg>
#include <cstdio>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"

namespace {

bool es_csv(const char* valor) {
  return (valor[0] == 'c' || valor[0] == 'C') && (valor[1] == 's' || valor[1] == 'S') &&
         (valor[2] == 'v' || valor[2] == 'V') && valor[3] == '\0';
}

enum class Salida { pantalla, tabla, bcp, csv };

FILE* paginador = nullptr;  // the pager a result goes through, while it does

// What the output is now: a CSV file is one opened or used while FORMATO
// asks for CSV (read at every call, as the queries read it).
Salida salida() {
  if (ctx.isalida != 1) return Salida::pantalla;
  if (formato_csv()) return Salida::csv;
  return ctx.delimb != 0 ? Salida::tabla : Salida::bcp;
}

// The summaries, errors and rows affected at the prompt.
FILE* destino_avisos() {
  switch (salida()) {
    case Salida::pantalla:
    case Salida::csv:
      return pantalla();
    case Salida::tabla:
      return ctx.fsalida;
    case Salida::bcp:
      break;
  }
  return nullptr;
}

}  // namespace

bool formato_csv() {
  const char* valor = plat_getenv("FORMATO");
  return valor != nullptr && es_csv(valor);
}

bool formato_csv_de_consulta() {
  const char* valor = plat_getenv("FORMATO");
  if (valor == nullptr || valor[0] == '\0') return false;
  if (es_csv(valor)) return true;
  printf("Formato desconocido (%s)\n", valor);
  return false;
}

bool cabecera_de_consulta() {
  const char* valor = plat_getenv("CABECERA");
  if (valor == nullptr || valor[0] == '\0') return ctx.lote != 0;
  return lee_entero(valor) != 0;
}

FILE* pantalla() {
  return paginador != nullptr ? paginador : stdout;
}

void usa_paginador(FILE* f) {
  paginador = f;
}

const char* orden_de_paginador() {
  const char* valor = plat_getenv("PAGER");
  if (valor == nullptr) return plat_paginador_por_omision();
  return valor[0] != '\0' ? valor : nullptr;
}

bool filas_a_la_pantalla() {
  return ctx.isalida != 1;
}

FILE* destino_eco() {
  if (ctx.lote) return nullptr;
  Salida s = salida();
  return s == Salida::tabla || s == Salida::bcp ? ctx.fsalida : nullptr;
}

FILE* destino_filas() {
  if (ctx.isalida == 1) return ctx.fsalida;
  return paginador != nullptr ? paginador : salida_de_resultados();
}

FILE* destino_resumen() {
  return ctx.lote ? nullptr : destino_avisos();
}

FILE* destino_error() {
  return ctx.lote ? stderr : destino_avisos();
}

FILE* destino_afectadas() {
  if (!ctx.lote) return destino_avisos();
  return formato_csv() || ctx.delimb == 0 ? nullptr : destino_filas();
}

bool avisos_en_pantalla() {
  return !ctx.lote && destino_avisos() == pantalla();
}

void escribe_en(FILE* f, const char* formato, ...) {
  if (f == nullptr) return;
  va_list args;
  va_start(args, formato);
  vfprintf(f, formato, args);
  va_end(args);
}

FILE* destino_guion() {
  if (ctx.lote) return nullptr;
  Salida s = salida();
  return s == Salida::pantalla || s == Salida::csv ? pantalla() : ctx.fsalida;
}

FILE* destino_guion_inacabado() {
  return ctx.lote ? nullptr : stdout;
}

FILE* destino_charla() {
  return ctx.lote ? nullptr : stdout;
}

bool ejecucion_cortada() {
  fflush(stdout);
  return salida_estandar_cerrada() || plat_interrupcion() != 0;
}

// The routing of console output between the screen and the output file
// (destinos.h), from the output state (isalida, fsalida), delimb and FORMATO.
#include "sql/destinos.h"

#include <cstdarg>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "platform/plataforma.h"
#include "sql/csv.h"

namespace {

enum class Salida { pantalla, tabla, bcp, csv };

// What the output is now: a CSV file is one opened or used while FORMATO
// asks for CSV (read at every call, as the queries read it).
Salida salida() {
  if (ctx.isalida != 1) return Salida::pantalla;
  if (formato_csv()) return Salida::csv;
  return ctx.delimb != 0 ? Salida::tabla : Salida::bcp;
}

}  // namespace

FILE* destino_eco() {
  Salida s = salida();
  return s == Salida::tabla || s == Salida::bcp ? ctx.fsalida : nullptr;
}

FILE* destino_filas() {
  return salida() == Salida::pantalla ? stdout : ctx.fsalida;
}

FILE* destino_avisos() {
  switch (salida()) {
    case Salida::pantalla:
    case Salida::csv:
      return stdout;
    case Salida::tabla:
      return ctx.fsalida;
    case Salida::bcp:
      break;
  }
  return nullptr;
}

bool avisos_en_pantalla() {
  return destino_avisos() == stdout;
}

void escribe_aviso(const char* formato, ...) {
  FILE* f = destino_avisos();
  if (f == nullptr) return;
  va_list args;
  va_start(args, formato);
  vfprintf(f, formato, args);
  va_end(args);
}

FILE* destino_guion() {
  Salida s = salida();
  return s == Salida::pantalla || s == Salida::csv ? stdout : ctx.fsalida;
}

FILE* destino_guion_inacabado() {
  return stdout;
}

bool ejecucion_cortada() {
  fflush(stdout);
  return salida_estandar_cerrada() || plat_interrupcion() != 0;
}

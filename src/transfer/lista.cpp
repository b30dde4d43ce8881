// The transfer walk: trata_lista and trata_spl hand each server message to the
// handler of its code until the first code outside their catalogue; also the
// answer "OK", the closing of the open file and the result line.
#include "transfer/lista.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "transfer/progreso.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"
#include "wire/intercambio.h"
#include "wire/tablas.h"
#include "wire/trama.h"

Mensaje mensaje_actual(const Sesion& s) {
  int32_t largo = s.largo;
  if (largo < 0) largo = 0;
  if (largo > TAM_TRAMA) largo = TAM_TRAMA;
  return Mensaje{(const unsigned char*)s.buffer, largo, ebc_fija};
}

void responde_ok(Sesion& s) {
  copia_texto(s.buffer, "OK");
  envia_as(s, s.buffer, 2, 1);
  if (s.fallo) {
    // Nothing will come after an answer that did not go out; the walk ends
    // as it does after a failed receive.
    s.largo = 0;
    return;
  }
  recibe_as(s);
}

// Console and log share every result line; the log is absent only in tests.
// The console's goes through the terminal filter: the paths hold the names a
// header brought.
static void imprime(bool en_log, const char* texto) {
  escribe_nombres(stdout, texto);
  if (en_log && ctx.flog != nullptr) fputs(texto, ctx.flog);
}

void imprime_obtiene(const char* ruta, bool en_log) {
  char relleno[32], linea[TAM_RUTA + 64];
  llena_blancos(relleno, 30 - (int)strlen(ruta));
  formatea(linea, "Obtiene: %s%s", ruta, relleno);
  borra_progreso();
  progreso_objeto(ruta, linea);
  imprime(en_log, linea);
}

void imprime_cuenta(long long cuenta, int ancho, const char* literal, bool en_log) {
  borra_progreso();
  char digitos[32], agrupado[48], relleno[16], linea[96];
  formatea(digitos, "%lld", cuenta);
  pon_puntos(agrupado, digitos);
  llena_blancos(relleno, ancho - (int)strlen(agrupado));
  formatea(linea, "%s%s%s", relleno, agrupado, literal);
  imprime(en_log, linea);
}

bool cierra_fichero() {
  if (!completa_objeto()) return false;
  imprime_cuenta(ctx.num_registros, 11, " registros   ", true);
  imprime_cuenta(ctx.num_bytes, 10, " bytes\n", true);
  if (ctx.flog != nullptr) fflush(ctx.flog);
  progreso_fin_objeto(ctx.num_registros, false);
  ctx.num_registros = 0;
  ctx.num_bytes = 0;
  return registra_objeto();
}

enum class Paso { sigue, fin, error };

// Hands the message in hand to the handler of its code. A code outside the
// catalogue (06, the spool codes and any other) ends the stream and gets no
// answer.
static Paso trata_mensaje(Sesion& s) {
  bool bien;
  switch (lee_numero(mensaje_actual(s), 0, 2)) {
    case 1:
      bien = abre_miembro(s);
      break;
    case 2:
      bien = graba_texto(s);
      break;
    case 3:
      bien = abre_ebcdic(s);
      break;
    case 4:
      bien = graba_ebcdic(s);
      break;
    case 5:
      bien = trata_datos(s);
      break;
    case 7:
      bien = abre_mensajes(s);
      break;
    case 8:
      bien = graba_texto(s);
      break;
    default:
      return Paso::fin;
  }
  return bien ? Paso::sigue : Paso::error;
}

namespace {

// The index checkpoint of the walk while a receive waits for the server
// (the waiting task of trama.h): between messages the walk itself writes
// what the indexes have taken once a second; while the server is silent this
// does it, so that the index on disk never lags the complete objects by much
// more than a second. A write that fails has said why (and left the open
// object incomplete): the receive gives up, and the walk ends the run with
// exit status 1, not as a lost connection.
bool fallo_del_punto_de_control = false;

bool punto_de_control(void*) {
  if (graba_indices_si_toca()) return true;
  fallo_del_punto_de_control = true;
  return false;
}

}  // namespace

bool trata_lista(Sesion& s) {
  fallo_del_punto_de_control = false;
  establece_tarea_espera(punto_de_control, nullptr);
  recibe_as(s);
  Paso paso = Paso::sigue;
  while (!s.fallo && paso == Paso::sigue) {
    paso = trata_mensaje(s);
    // A closed standard output ends the walk as an interruption does
    // (salida_estandar_cerrada records it as one).
    if (paso == Paso::sigue && salida_estandar_cerrada()) break;
    if (paso == Paso::sigue && !graba_indices_si_toca()) paso = Paso::error;
  }
  establece_tarea_espera(nullptr, nullptr);
  if (fallo_del_punto_de_control) paso = Paso::error;
  // A handler that failed has said why; the object it had open, if any, is
  // left incomplete (antes_de_un_fallo has done it where the failure was
  // printed).
  if (paso == Paso::error) {
    deja_incompleto();
    return false;
  }
  if (!ctx.fichero_abierto) return true;
  // The end code completes the object; a failed exchange, an interruption or
  // a closed standard output leaves it incomplete, its bytes kept beside the
  // earlier copy.
  if (paso == Paso::fin && !s.fallo) return cierra_fichero();
  return deja_incompleto();
}

void trata_spl(Sesion& s) {
  if (ctx.test == 1) printf("Espera recibir de as\n");
  recibe_as(s);
  if (ctx.test == 1) printf("Recibido de as\n");
  for (;;) {
    char codigo[3];
    lee_texto(mensaje_actual(s), 0, 2, false, codigo);
    int valor = lee_entero(codigo);
    if (ctx.test == 1) printf("Va a procesar lista (%s)\n", codigo);
    if (s.fallo || (valor != 67 && valor != 68)) {
      if (ctx.test == 1) printf("Sale de procesar lista (%s)\n", codigo);
      return;
    }
    muestra_spool(s, valor);
    if (salida_estandar_cerrada()) return;
  }
}

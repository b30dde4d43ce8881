// The transfer walk: trata_lista and trata_spl hand each server message to the
// handler of its code until the first code outside their catalogue; also the
// answer "OK", the closing of the open file and the result line.
#include "transfer/lista.h"

#include <cstdio>
#include <cstring>

#include "main/contexto.h"
#include "main/texto.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"
#include "wire/intercambio.h"
#include "wire/tablas.h"

Mensaje mensaje_actual() {
  int32_t largo = ctx.ilen_recibido;
  if (largo < 0) largo = 0;
  if (largo > TAM_TRAMA) largo = TAM_TRAMA;
  return Mensaje{(const unsigned char*)ctx.sbuffer, largo, ebc_fija};
}

void responde_ok() {
  copia_texto(ctx.sbuffer, "OK");
  ctx.ilen = 2;
  envia_as(ctx.sbuffer, ctx.ilen, 1);
  if (ctx.fallo_intercambio) {
    // Nothing will come after an answer that did not go out; the walk ends
    // as it does after a failed receive.
    ctx.ilen_recibido = 0;
    return;
  }
  recibe_as();
}

// Console and log share every result line; the log is absent only in tests.
static void imprime(bool en_log, const char* texto) {
  fputs(texto, stdout);
  if (en_log && ctx.flog != nullptr) fputs(texto, ctx.flog);
}

void imprime_obtiene(const char* ruta, bool en_log) {
  char relleno[32], linea[TAM_RUTA + 64];
  llena_blancos(relleno, 30 - (int)strlen(ruta));
  formatea(linea, "Obtiene: %s%s", ruta, relleno);
  imprime(en_log, linea);
}

void imprime_cuenta(long long cuenta, int ancho, const char* literal, bool en_log) {
  char digitos[32], agrupado[48], relleno[16], linea[96];
  formatea(digitos, "%lld", cuenta);
  pon_puntos(agrupado, digitos);
  llena_blancos(relleno, ancho - (int)strlen(agrupado));
  formatea(linea, "%s%s%s", relleno, agrupado, literal);
  imprime(en_log, linea);
}

void cierra_fichero() {
  cierra_fichero_actual();
  imprime_cuenta(ctx.num_registros, 11, " registros   ", true);
  imprime_cuenta(ctx.num_bytes, 10, " bytes\n", true);
  if (ctx.flog != nullptr) fflush(ctx.flog);
  ctx.num_registros = 0;
  ctx.num_bytes = 0;
}

// Hands the message in hand to the handler of its code; false for a code
// outside the catalogue (06, the spool codes and any other), which ends the
// stream and gets no answer.
static bool trata_mensaje() {
  switch (lee_numero(mensaje_actual(), 0, 2)) {
    case 1: abre_miembro(); return true;
    case 2: graba_texto(); return true;
    case 3: abre_ebcdic(); return true;
    case 4: graba_ebcdic(); return true;
    case 5: trata_datos(); return true;
    case 7: abre_mensajes(); return true;
    case 8: graba_texto(); return true;
    default: return false;
  }
}

void trata_lista() {
  recibe_as();
  while (!ctx.fallo_intercambio && trata_mensaje()) graba_indices_si_toca();
  // At the end code, and also after a failed exchange: what was received
  // stays written and is reported.
  if (ctx.fichero_abierto) cierra_fichero();
}

void trata_spl() {
  if (ctx.test == 1) printf("Espera recibir de as\n");
  recibe_as();
  if (ctx.test == 1) printf("Recibido de as\n");
  for (;;) {
    char codigo[3];
    lee_texto(mensaje_actual(), 0, 2, false, codigo);
    int valor = lee_entero(codigo);
    if (ctx.test == 1) printf("Va a procesar lista (%s)\n", codigo);
    if (ctx.fallo_intercambio || (valor != 67 && valor != 68)) {
      if (ctx.test == 1) printf("Sale de procesar lista (%s)\n", codigo);
      return;
    }
    muestra_spool(valor);
  }
}

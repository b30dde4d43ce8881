// The transfer walk: trata_lista and trata_spl hand each server message to the
// handler of its code until the first code outside their catalogue, with the
// header read once for the handlers of headers; also the answer "OK".
#include "transfer/lista.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "transfer/objeto.h"
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

Cabecera lee_cabecera(const Mensaje& m, int codigo) {
  Cabecera c{};
  lee_texto(m, 7, 10, true, c.biblioteca);
  lee_texto(m, 17, 10, true, c.archivo);
  if (codigo == 7) {
    copia_texto(c.tipo, "MSG");
    lee_texto(m, 27, 50, true, c.texto);
    lee_texto(m, 77, 8, false, c.fecha);
    lee_texto(m, 85, 6, false, c.hora);
  } else if (codigo != 5) {
    lee_texto(m, 27, 10, true, c.miembro);
    lee_texto(m, 37, 4, true, c.tipo);
    lee_texto(m, 41, 50, true, c.texto);
    lee_texto(m, 91, 8, false, c.fecha);
    lee_texto(m, 99, 6, false, c.hora);
  }
  return c;
}

enum class Paso { sigue, fin, error };

// Hands the message in hand to the handler of its code. A code outside the
// catalogue (06, the spool codes and any other) ends the stream and gets no
// answer.
static Paso trata_mensaje(Recorrido& r) {
  bool bien;
  Mensaje m = mensaje_actual(r.sesion);
  int codigo = lee_numero(m, 0, 2);
  switch (codigo) {
    case 1:
      bien = abre_miembro(r, lee_cabecera(m, codigo));
      break;
    case 2:
      bien = graba_texto(r);
      break;
    case 3:
      bien = abre_ebcdic(r, lee_cabecera(m, codigo));
      break;
    case 4:
      bien = graba_ebcdic(r);
      break;
    case 5:
      bien = trata_datos(r, lee_cabecera(m, codigo));
      break;
    case 7:
      bien = abre_mensajes(r, lee_cabecera(m, codigo));
      break;
    case 8:
      bien = graba_texto(r);
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
// exit status 1, not as a lost connection. The walk is the task's datum.
bool punto_de_control(void* dato) {
  if (graba_indices_si_toca()) return true;
  ((Recorrido*)dato)->fallo_punto_de_control = true;
  return false;
}

}  // namespace

bool trata_lista(Recorrido& r) {
  Sesion& s = r.sesion;
  r.fallo_punto_de_control = false;
  if (r.escribe_indices) establece_tarea_espera(punto_de_control, &r);
  recibe_as(s);
  Paso paso = Paso::sigue;
  while (!s.fallo && paso == Paso::sigue) {
    paso = trata_mensaje(r);
    // A closed standard output ends the walk as an interruption does
    // (salida_estandar_cerrada records it as one).
    if (paso == Paso::sigue && salida_estandar_cerrada()) break;
    if (paso == Paso::sigue && r.escribe_indices && !graba_indices_si_toca()) paso = Paso::error;
  }
  if (r.escribe_indices) establece_tarea_espera(nullptr, nullptr);
  if (r.fallo_punto_de_control) paso = Paso::error;
  // A handler that failed has said why; the object it had open, if any, is
  // left incomplete (antes_de_un_fallo has done it where the failure was
  // printed).
  if (paso == Paso::error) {
    deja_incompleto(r);
    return false;
  }
  if (!r.objeto.abierto) return true;
  // The end code completes the object; a failed exchange, an interruption or
  // a closed standard output leaves it incomplete, its bytes kept beside the
  // earlier copy.
  if (paso == Paso::fin && !s.fallo) return completa_objeto(r);
  return deja_incompleto(r);
}

void trata_spl(Recorrido& r) {
  Sesion& s = r.sesion;
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
    muestra_spool(r, valor);
    if (salida_estandar_cerrada()) return;
  }
}

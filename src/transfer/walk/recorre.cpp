// The transfer walk (recorre.h): each server message handed to the handler
// of its code until the first code outside the catalogue, with the header
// read once for the handlers of headers, and the index written between
// messages and while the server is silent.
#include "transfer/walk/recorre.h"

#include "base/pantalla.h"
#include "transfer/walk/bloques.h"
#include "transfer/walk/cabeceras.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/mensaje.h"
#include "transfer/walk/objeto.h"
#include "wire/intercambio.h"
#include "wire/trama.h"

namespace {

enum class Paso { sigue, fin, error };

// Hands the message in hand to the handler of its code. A code outside the
// catalogue (06, the spool codes and any other) ends the stream and gets no
// answer.
Paso trata_mensaje(Recorrido& r) {
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

// Writes the indexes that are due; false after their failure is said.
bool graba_si_toca(Recorrido& r) {
  FalloIndice fallo;
  if (graba_indices_si_toca(r.comun.indices, &fallo)) return true;
  informa_fallo_indice(r.comun, &r, fallo);
  return false;
}

// The index checkpoint of the walk while a receive waits for the server
// (the waiting task of trama.h): between messages the walk itself writes
// what the indexes have taken once a second; while the server is silent this
// does it, so that the index on disk never lags the complete objects by much
// more than a second. A write that fails has said why (and left the open
// object incomplete): the receive gives up, and the walk ends the run with
// exit status 1, not as a lost connection. The walk is the task's datum.
bool punto_de_control(void* dato) {
  Recorrido& r = *(Recorrido*)dato;
  if (graba_si_toca(r)) return true;
  r.fallo_punto_de_control = true;
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
    if (paso == Paso::sigue && r.escribe_indices && !graba_si_toca(r)) paso = Paso::error;
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

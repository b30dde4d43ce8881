// The console's end decided from what each line came to; see resultado.h.
#include "sql/resultado.h"

#include "base/contexto.h"
#include "base/fin.h"

namespace {

// The status a batch keeps for a failure; 0 for what is none.
int estado_de_fallo(Resultado r) {
  switch (r) {
    case Resultado::fallo_sentencia:
    case Resultado::carga_rechazada:
      return SALIDA_SENTENCIA;
    case Resultado::fallo_local:
    case Resultado::fallo_grave:
      return SALIDA_ERROR;
    case Resultado::hecho:
    case Resultado::fin:
      break;
  }
  return SALIDA_BIEN;
}

}  // namespace

bool guion_se_detiene(Resultado r) {
  return ctx.lote && !ctx.sigue_tras_fallo && r != Resultado::hecho;
}

bool Politica::sigue(Resultado r) {
  switch (modo_) {
    case ModoConsola::tuberia:
      // A refused load batch and the grave local failures have always ended
      // it, with status 1.
      return r != Resultado::fin && r != Resultado::carga_rechazada && r != Resultado::fallo_grave;
    case ModoConsola::terminal:
      // At a keyboard no failure throws the session away.
      return r != Resultado::fin;
    case ModoConsola::lote: {
      int fallo = estado_de_fallo(r);
      if (fallo != SALIDA_BIEN && primer_fallo_ == SALIDA_BIEN) primer_fallo_ = fallo;
      if (r == Resultado::fin) return false;
      return fallo == SALIDA_BIEN || sigue_tras_fallo_;
    }
  }
  return false;
}

int Politica::estado() const {
  return modo_ == ModoConsola::lote ? primer_fallo_ : SALIDA_ERROR;
}

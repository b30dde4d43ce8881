// The end every transfer run shares (cierre.h).
#include "transfer/run/cierre.h"

#include <cstdio>
#include <vector>

#include "base/ajustes.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "platform/plataforma.h"
#include "transfer/run/espejo.h"
#include "transfer/walk/objeto.h"
#include "transfer/walk/progreso.h"

namespace {

// Writes every index with updates; false when one failed (each said).
bool graba_todos(Compartido& c) {
  std::vector<FalloIndice> fallos;
  if (graba_indices(c.indices, &fallos)) return true;
  for (const FalloIndice& f : fallos) informa_fallo_indice(c, nullptr, f);
  return false;
}

}  // namespace

bool salida_cerrada(int* estado) {
  fflush(stdout);
  salida_estandar_cerrada();
  if (plat_interrupcion() != SALIDA_CERRADA) return false;
  *estado = informa_fallo_salida_estandar();
  return true;
}

bool cierra_transferencia(Compartido& c, bool con_error, int* estado) {
  if (!quita_copias_viejas(c)) con_error = true;
  bool indices_bien = graba_todos(c);
  imprime_resumen(c.progreso);
  if (!cierra_log() || !indices_bien) {
    *estado = SALIDA_ERROR;
    return false;
  }
  fflush(stdout);
  salida_estandar_cerrada();
  if (con_error) {
    *estado = SALIDA_ERROR;
    return false;
  }
  if (salida_cerrada(estado)) return false;
  int senal = plat_interrupcion();
  if (senal == 0) return true;
  printf("Transferencia interrumpida.\n");
  *estado = salida_de_senal(senal);
  return false;
}

int abandona_transferencia(Compartido& c) {
  graba_todos(c);
  return SALIDA_ERROR;
}

// The values of a transfer walk (recorrido.h).
#include "transfer/walk/recorrido.h"

Recorrido::~Recorrido() {
  // A walk that goes while its object is open (a test, a fuzzer) closes the
  // file, so that nothing is written later through the buffer it owns.
  if (objeto.fichero != nullptr) fclose(objeto.fichero);
  objeto.fichero = nullptr;
  objeto.abierto = false;
}

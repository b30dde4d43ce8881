// The decisions of a run through several sessions (coordinador.h).
#include "transfer/run/coordinador.h"

#include "base/fin.h"

Coordinador::Coordinador(size_t unidades, int sesiones, bool error_previo)
    : puestos(unidades < (size_t)sesiones ? unidades : (size_t)sesiones),
      intentos(unidades, 0),
      limite(puestos),
      con_error(error_previo) {
  for (size_t i = 0; i < unidades; i++) pendientes.insert(i);
}

bool puede_lanzar(const Coordinador& c, int64_t ahora) {
  if (c.parando || c.sin_sesion || ahora < c.no_antes_de) return false;
  return c.ocupados < c.limite && !c.pendientes.empty();
}

size_t lanza_siguiente(Coordinador& c) {
  size_t unidad = *c.pendientes.begin();
  c.pendientes.erase(c.pendientes.begin());
  c.ocupados++;
  return unidad;
}

bool sin_hilo(Coordinador& c, size_t unidad) {
  c.ocupados--;
  c.pendientes.insert(unidad);
  c.limite = c.ocupados;
  if (c.ocupados > 0) return false;
  c.con_error = true;
  para(c);
  return true;
}

namespace {

// The broker had no free session for `unidad`: it waits for one of the
// sessions the run holds to end, or, while the run holds none, for a pause
// (the run ends after the last).
void sin_sesion_libre(Coordinador& c, size_t unidad, int32_t maximo, int64_t ahora) {
  c.pendientes.insert(unidad);
  c.maximo = maximo;
  if (c.ocupados > 0) {
    c.limite = c.ocupados;
    return;
  }
  c.limite = 1;
  if (c.negativas >= NUM_PAUSAS) {
    c.sin_sesion = true;
    return;
  }
  c.no_antes_de = ahora + PAUSAS_SIN_SESION_MS[c.negativas++];
}

}  // namespace

TrasUnidad termina_unidad(Coordinador& c, size_t unidad, FinUnidad fin, int32_t maximo, int64_t ahora) {
  TrasUnidad tras{false, false, false};
  c.ocupados--;
  if (fin != FinUnidad::devuelta) c.negativas = 0;
  switch (fin) {
    case FinUnidad::completa:
      if (c.limite < c.puestos) c.limite++;
      break;
    case FinUnidad::perdida:
      // Its objects come again from the start: their first counts go, as
      // its entries are replaced by the second try's.
      if (c.parando) break;
      if (++c.intentos[unidad] < MAX_INTENTOS) {
        tras.retira = true;
        c.pendientes.insert(unidad);
      } else {
        c.fallida = true;
        tras.sin_transferir = true;
      }
      break;
    case FinUnidad::devuelta:
      if (!c.parando) sin_sesion_libre(c, unidad, maximo, ahora);
      break;
    case FinUnidad::error:
      c.con_error = true;
      tras.para = true;
      break;
    case FinUnidad::parada:
      break;
  }
  return tras;
}

void para(Coordinador& c) {
  c.parando = true;
}

bool acabada(const Coordinador& c) {
  return c.ocupados == 0 && (c.parando || c.sin_sesion || c.pendientes.empty());
}

int64_t espera_ms(const Coordinador& c, int64_t ahora, int64_t vigilancia) {
  int64_t hasta_pausa = c.no_antes_de - ahora;
  if (c.ocupados == 0 && hasta_pausa > 0 && hasta_pausa < vigilancia) return hasta_pausa;
  return vigilancia;
}

int estado_de_las_unidades(const Coordinador& c) {
  return c.sin_sesion || c.fallida ? SALIDA_CONEXION : SALIDA_BIEN;
}

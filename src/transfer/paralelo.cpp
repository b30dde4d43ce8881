// The run of several sessions (paralelo.h): the places where sessions run, the
// thread of each unit, and the loop of the calling thread that hands the
// units out, watches the run and ends it.
#include "transfer/paralelo.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "base/ajustes.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/lista.h"
#include "transfer/objeto.h"
#include "transfer/peticion.h"
#include "transfer/progreso.h"
#include "transfer/recorrido.h"
#include "transfer/xinfo.h"
#include "wire/conexion.h"
#include "wire/intercambio.h"

namespace {

// How often the calling thread looks at the interruptions, standard output,
// the index and the progress line while the sessions run.
constexpr int VIGILANCIA_MS = 200;
// The tries of a unit whose session is lost.
constexpr int MAX_INTENTOS = 2;
// A broker without a free session while the run holds none: the pauses
// before a session is asked for again (the port of a session that has just
// ended, the catalogue's among them, may not be free yet). After the last
// one the run ends.
constexpr int PAUSAS_SIN_SESION_MS[] = {50, 100, 200, 400, 800, 1600};
constexpr int NUM_PAUSAS = (int)(sizeof PAUSAS_SIN_SESION_MS / sizeof PAUSAS_SIN_SESION_MS[0]);

enum class FinUnidad {
  completa,  // the stream ended with every object complete
  perdida,   // the session could not be opened, or was lost
  devuelta,  // the broker had no free session: nothing was done
  error,     // the run must end with SALIDA_ERROR (the reason printed)
  parada     // the run stopped it (an interruption, a closed output, its socket cut)
};

// One place where a session runs: its Sesion and its walk, made the first
// time and used by every unit that runs there in turn, and the thread of the
// unit running there. The fields after `hilo` are read and written under
// Coordinacion::m, by the calling thread and by the unit's.
struct Puesto {
  std::unique_ptr<Sesion> sesion;
  std::unique_ptr<Recorrido> recorrido;
  std::thread hilo;
  bool ocupado = false;      // a unit's thread was started here and is not joined yet
  bool terminado = false;    // that thread has left its outcome in `fin` (it ends at once)
  bool socket_vivo = false;  // sesion->sd is connected and open: it may be cut
  size_t unidad = 0;         // the unit's place in the plan
  FinUnidad fin = FinUnidad::completa;
  int32_t maximo = 0;  // the broker's maximum of sessions, with devuelta
};

struct Coordinacion {
  std::mutex m;
  std::condition_variable cambio;  // a unit's thread has left its outcome
  bool parando = false;            // the run is stopping: no unit starts, no session is used
};

// A name of the plan as a field of the request: padded with blanks to 10, as
// the command line's names are (a member field of blanks names no member).
void campo_de_peticion(char (&campo)[TAM_AJUSTE], const char* nombre) {
  formatea(campo, "%-10s", nombre);
}

// The unit's exchange on its open session: the request narrowed to the
// unit, the walk and, once the stream has ended, the end message.
FinUnidad recorre_unidad(Recorrido& r, const Unidad& u) {
  Sesion& s = r.sesion;
  char archivo[TAM_AJUSTE], miembro[TAM_AJUSTE], peticion[LARGO_PETICION + 1];
  campo_de_peticion(archivo, u.archivo);
  campo_de_peticion(miembro, u.miembro);
  // A unit of an incremental run is asked for since its own earliest change;
  // the others since the run's FECHAD and HORAD.
  bool propias = u.fechad[0] != '\0' || u.horad[0] != '\0';
  construye_peticion_de(peticion, archivo, miembro, propias ? u.fechad : ctx.fechad,
                        propias ? u.horad : ctx.horad);
  if (ctx.test == 1) printf("->%.60s\n", peticion);
  envia_as(s, peticion, LARGO_PETICION, 1);
  if (!trata_lista(r)) return FinUnidad::error;
  if (s.cortada || plat_interrupcion() != 0) return FinUnidad::parada;
  if (s.fallo) return FinUnidad::perdida;
  // Every object of the unit is complete by now: an end message that does
  // not go out loses nothing.
  char fin[8];
  int largo = formatea(fin, "%.2d00", 96);
  envia_as(s, fin, largo, 1);
  return FinUnidad::completa;
}

// The thread of one unit: a session of its own, the unit's exchange, the
// close, and the outcome left for the calling thread.
void corre_unidad(Coordinacion& c, Puesto& p, const Unidad& u) {
  // An interruption is the calling thread's to see: it cuts this session.
  plat_hilo_sin_interrupciones();
  Sesion& s = *p.sesion;
  int32_t maximo = 0;
  FinUnidad fin = FinUnidad::perdida;
  switch (abre_otra_sesion(s, &maximo)) {
    case OtraSesion::sin_sesion_libre:
      fin = FinUnidad::devuelta;
      break;
    case OtraSesion::fallida:
      fin = FinUnidad::perdida;
      break;
    case OtraSesion::abierta: {
      bool parar;
      {
        std::lock_guard<std::mutex> cerrojo(c.m);
        parar = c.parando;
        p.socket_vivo = !parar;
      }
      fin = parar ? FinUnidad::parada : recorre_unidad(*p.recorrido, u);
      {
        // Once it is no longer live, nobody else cuts it: its number may be
        // another socket's after the close.
        std::lock_guard<std::mutex> cerrojo(c.m);
        p.socket_vivo = false;
      }
      cierra_sesion(s);
      break;
    }
  }
  {
    std::lock_guard<std::mutex> cerrojo(c.m);
    p.fin = fin;
    p.maximo = maximo;
    p.terminado = true;
  }
  c.cambio.notify_all();
}

// The run: the units not done yet, the places, and what the run will end
// with. Everything here is the calling thread's, read and written under c.m.
struct Ejecucion {
  explicit Ejecucion(const Plan& p, int sesiones, bool error_previo)
      : plan(p),
        puestos(p.unidades.size() < (size_t)sesiones ? p.unidades.size() : (size_t)sesiones),
        intentos(p.unidades.size(), 0),
        limite(puestos.size()),
        con_error(error_previo) {
    for (size_t i = 0; i < plan.unidades.size(); i++) pendientes.insert(i);
  }

  const Plan& plan;
  Coordinacion c;
  std::vector<Puesto> puestos;
  // The units waiting for a session, by their place in the plan: the first
  // is the largest.
  std::set<size_t> pendientes;
  std::vector<int> intentos;  // the lost tries of each unit
  // Sessions at once: the run's number, lowered to the sessions the run holds
  // when the broker has no free one, raised again by one at each unit done.
  size_t limite;
  size_t ocupados = 0;
  int64_t no_antes_de = 0;  // no session is asked for before this time
  int negativas = 0;        // refusals in a row while the run held no session
  int32_t maximo = 0;       // the broker's maximum, from its last refusal
  bool sin_sesion = false;  // the broker gave the run no session at all
  bool fallida = false;     // a unit was lost twice
  bool con_error = false;   // the run ends with SALIDA_ERROR

  void para_todo();
  void lanza(Puesto& p, size_t unidad);
  void lanza_pendientes();
  void recoge(Puesto& p);
  void sin_sesion_libre(const Puesto& p);
  void coordina();
  [[noreturn]] void termina_ejecucion();
};

// Every session stops at once: no unit starts any more, and each live
// socket is cut, so that a receive waiting in another thread ends now (a
// signal reaches one thread only). The walks leave their open objects
// incomplete and end. Under c.m.
void Ejecucion::para_todo() {
  if (c.parando) return;
  c.parando = true;
  for (Puesto& p : puestos) {
    if (!p.ocupado) continue;
    p.sesion->cortada = true;
    if (p.socket_vivo) plat_corta_socket(p.sesion->sd);
  }
}

// Starts the unit's thread at the place p. Under c.m.
void Ejecucion::lanza(Puesto& p, size_t unidad) {
  if (!p.sesion) {
    p.sesion.reset(new Sesion());
    p.recorrido.reset(new Recorrido(*p.sesion));
  }
  Sesion& s = *p.sesion;
  reinicia_sesion(s);
  s.traza = ctx.ftrace;
  Recorrido& r = *p.recorrido;
  r.lineas_enteras = true;
  r.escribe_indices = false;
  r.unidad = (uint32_t)plan.unidades[unidad].orden;
  r.entradas = 0;
  r.aportado = Aportacion{};
  p.unidad = unidad;
  p.terminado = false;
  p.socket_vivo = false;
  try {
    p.hilo = std::thread(corre_unidad, std::ref(c), std::ref(p), std::cref(plan.unidades[unidad]));
  } catch (const std::system_error& e) {
    // No thread for another session: the run goes on with those it has.
    pendientes.insert(unidad);
    limite = ocupados;
    if (ocupados == 0) {
      falla(stdout, "Imposible abrir otra sesion (%s)\n", e.what());
      con_error = true;
      para_todo();
    }
    return;
  }
  p.ocupado = true;
  ocupados++;
}

// Hands the waiting units out, the largest first, while the run may open
// more sessions. Under c.m.
void Ejecucion::lanza_pendientes() {
  if (c.parando || sin_sesion || plat_reloj_ms() < no_antes_de) return;
  while (ocupados < limite && !pendientes.empty()) {
    Puesto* libre = nullptr;
    for (Puesto& p : puestos)
      if (!p.ocupado) libre = &p;
    if (libre == nullptr) return;
    size_t unidad = *pendientes.begin();
    pendientes.erase(pendientes.begin());
    lanza(*libre, unidad);
  }
}

// The broker had no free session for the unit of p: it waits for one of the
// sessions the run holds to end, or, while the run holds none, for a pause
// (the run ends after the last). Under c.m.
void Ejecucion::sin_sesion_libre(const Puesto& p) {
  pendientes.insert(p.unidad);
  maximo = p.maximo;
  if (ocupados > 0) {
    limite = ocupados;
    return;
  }
  limite = 1;
  if (negativas >= NUM_PAUSAS) {
    sin_sesion = true;
    return;
  }
  no_antes_de = plat_reloj_ms() + PAUSAS_SIN_SESION_MS[negativas++];
}

// The thread of p has left its outcome: it is joined, and its unit is done,
// waits again, or decides how the run ends. Under c.m.
void Ejecucion::recoge(Puesto& p) {
  p.hilo.join();
  p.ocupado = false;
  p.terminado = false;
  ocupados--;
  if (p.fin != FinUnidad::devuelta) negativas = 0;
  switch (p.fin) {
    case FinUnidad::completa:
      if (limite < puestos.size()) limite++;
      break;
    case FinUnidad::perdida:
      // Its objects come again from the start: their first counts go, as
      // its entries are replaced by the second try's.
      if (c.parando) break;
      if (++intentos[p.unidad] < MAX_INTENTOS) {
        progreso_retira(p.recorrido->aportado);
        pendientes.insert(p.unidad);
      } else {
        fallida = true;
      }
      break;
    case FinUnidad::devuelta:
      if (!c.parando) sin_sesion_libre(p);
      break;
    case FinUnidad::error:
      con_error = true;
      para_todo();
      break;
    case FinUnidad::parada:
      break;
  }
}

// The calling thread's loop while units run: it wakes when a unit's thread
// ends, and at least every VIGILANCIA_MS to look at interruptions and at
// standard output, write the indexes that are due and redraw the progress.
void Ejecucion::coordina() {
  std::unique_lock<std::mutex> cerrojo(c.m);
  for (;;) {
    for (Puesto& p : puestos)
      if (p.terminado) recoge(p);
    if (plat_interrupcion() != 0 || salida_estandar_cerrada()) para_todo();
    lanza_pendientes();
    if (ocupados == 0 && (c.parando || sin_sesion || pendientes.empty())) return;
    int64_t espera = VIGILANCIA_MS;
    int64_t hasta_pausa = no_antes_de - plat_reloj_ms();
    if (ocupados == 0 && hasta_pausa > 0 && hasta_pausa < espera) espera = hasta_pausa;
    c.cambio.wait_for(cerrojo, std::chrono::milliseconds(espera));
    // The index is written, and the line drawn, without holding the lock
    // the sessions' threads take at their ends.
    cerrojo.unlock();
    bool indices_bien = graba_indices_si_toca();
    progreso_refresca();
    cerrojo.lock();
    if (!indices_bien) {
      con_error = true;
      para_todo();
    }
  }
}

// Every session has ended: the index gets the one-session order and is
// written, the summary printed, the log closed, and the run ends with the
// status of what happened, the most serious first.
void Ejecucion::termina_ejecucion() {
  ordena_indices();
  cierra_transferencia(con_error);
  if (sin_sesion) {
    imprime_sin_sesion_libre(maximo);
    termina(SALIDA_CONEXION);
  }
  termina(fallida ? SALIDA_CONEXION : SALIDA_BIEN);
}

}  // namespace

void transfiere_en_sesiones(const Plan& plan, int sesiones, bool con_error) {
  // From here on Ctrl-C and SIGTERM stop the sessions, not the process.
  plat_vigila_interrupciones();
  inicia_progreso();
  progreso_plan(plan.objetos, plan.bytes);
  if (plan.sin_cambios >= 0) progreso_sin_cambios(plan.sin_cambios);
  // The run lasts as long as the process: termina's closing steps run after
  // the last session has ended, but nothing of a walk is freed before.
  // One session gains nothing from the largest first: its units go in the
  // order a one-session run receives them, so that its lines come in it too.
  static Plan* en_orden = new Plan(plan);
  if (sesiones <= 1)
    std::stable_sort(en_orden->unidades.begin(), en_orden->unidades.end(),
                     [](const Unidad& x, const Unidad& y) { return x.orden < y.orden; });
  static Ejecucion* ejecucion = new Ejecucion(*en_orden, sesiones > 0 ? sesiones : 1, con_error);
  ejecucion->coordina();
  ejecucion->termina_ejecucion();
}

// The run of several sessions (sesiones.h): the places where sessions run,
// the thread of each unit, and the loop of the calling thread that carries
// out the coordinator's decisions, watches the run and ends it.
#include "transfer/run/sesiones.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/run/cierre.h"
#include "transfer/run/coordinador.h"
#include "transfer/walk/objeto.h"
#include "transfer/walk/recorre.h"
#include "wire/conexion.h"
#include "wire/intercambio.h"

namespace {

// How often the calling thread looks at the interruptions, standard output,
// the index and the progress line while the sessions run.
constexpr int VIGILANCIA_MS = 200;

// One place where a session runs: its Sesion and its walk, made the first
// time and used by every unit that runs there in turn, and the thread of the
// unit running there. The fields after `hilo` are read and written under
// Ejecucion::m, by the calling thread and by the unit's.
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

// A name of the plan as a field of the request: padded with blanks to 10, as
// the command line's names are (a member field of blanks names no member).
void campo_de_peticion(char (&campo)[TAM_AJUSTE], const char* nombre) {
  formatea(campo, "%-10s", nombre);
}

// The run: the plan, the places, the coordinator's state, and the lock that
// guards the places' outcomes and the coordinator.
struct Ejecucion {
  Ejecucion(Compartido& c, const Peticion& p, const Plan& pl, int sesiones, bool error_previo)
      : comun(c),
        peticion(p),
        plan(pl),
        coordinador(pl.unidades.size(), sesiones, error_previo),
        puestos(coordinador.puestos),
        previa(pl.unidades.size()),
        retirada(pl.unidades.size(), 0) {}

  Compartido& comun;
  const Peticion& peticion;
  const Plan& plan;
  std::mutex m;                    // guards coordinador and the places' outcomes
  std::condition_variable cambio;  // a unit's thread has left its outcome
  Coordinador coordinador;
  std::vector<Puesto> puestos;
  // What the lost try of each unit had added to the counts, taken out while
  // the unit goes again (retirada).
  std::vector<Aportacion> previa;
  std::vector<char> retirada;

  FinUnidad recorre_unidad(Recorrido& r, const Unidad& u);
  void corre_unidad(Puesto& p, const Unidad& u);
  void para_todo();
  void lanza(Puesto& p, size_t unidad);
  void lanza_pendientes();
  void recoge(Puesto& p);
  int64_t cuenta_lo_completo(size_t unidad, const Aportacion& ultima);
  void sin_transferir(size_t unidad, int64_t llegados);
  void coordina();
  int termina_ejecucion();
};

// The unit's exchange on its open session: the request narrowed to the
// unit, the walk and, once the stream has ended, the end message.
FinUnidad Ejecucion::recorre_unidad(Recorrido& r, const Unidad& u) {
  Sesion& s = r.sesion;
  char archivo[TAM_AJUSTE], miembro[TAM_AJUSTE], registro[LARGO_PETICION + 1];
  campo_de_peticion(archivo, u.archivo);
  campo_de_peticion(miembro, u.miembro);
  // A unit of an incremental run is asked for since its own earliest change;
  // the others since the run's FECHAD and HORAD.
  bool propias = u.fechad[0] != '\0' || u.horad[0] != '\0';
  construye_peticion_de(peticion, registro, archivo, miembro, propias ? u.fechad : peticion.fechad,
                        propias ? u.horad : peticion.horad);
  if (ctx.test == 1) printf("->%.60s\n", registro);
  envia_as(s, registro, LARGO_PETICION, 1);
  if (!trata_lista(r)) return plat_interrupcion() != 0 ? FinUnidad::parada : FinUnidad::error;
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
void Ejecucion::corre_unidad(Puesto& p, const Unidad& u) {
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
        std::lock_guard<std::mutex> cerrojo(m);
        parar = coordinador.parando;
        p.socket_vivo = !parar;
      }
      fin = parar ? FinUnidad::parada : recorre_unidad(*p.recorrido, u);
      {
        // Once it is no longer live, nobody else cuts it: its number may be
        // another socket's after the close.
        std::lock_guard<std::mutex> cerrojo(m);
        p.socket_vivo = false;
      }
      cierra_sesion(s);
      break;
    }
  }
  {
    std::lock_guard<std::mutex> cerrojo(m);
    p.fin = fin;
    p.maximo = maximo;
    p.terminado = true;
  }
  cambio.notify_all();
}

// Every session stops at once: no unit starts any more, and each live
// socket is cut, so that a receive waiting in another thread ends now (a
// signal reaches one thread only). The walks leave their open objects
// incomplete and end. Under m.
void Ejecucion::para_todo() {
  if (coordinador.parando) return;
  para(coordinador);
  for (Puesto& p : puestos) {
    if (!p.ocupado) continue;
    p.sesion->cortada = true;
    if (p.socket_vivo) plat_corta_socket(p.sesion->sd);
  }
}

// Starts the thread of `unidad` (counted as running) at the place p. Under m.
void Ejecucion::lanza(Puesto& p, size_t unidad) {
  if (!p.sesion) {
    p.sesion.reset(new Sesion);  // its frame buffers are written before they are read: not zeroed
    p.recorrido.reset(new Recorrido(*p.sesion, comun));
  }
  Sesion& s = *p.sesion;
  reinicia_sesion(s);
  s.traza = ctx.ftrace;
  Recorrido& r = *p.recorrido;
  r.lineas_enteras = true;
  r.escribe_indices = false;
  r.unidad = (uint32_t)plan.unidades[unidad].orden;
  r.con_mensajes = plan.unidades[unidad].orden_mensajes >= 0;
  r.unidad_mensajes = (uint32_t)plan.unidades[unidad].orden_mensajes;
  r.entradas = 0;
  r.aportado = Aportacion{};
  p.unidad = unidad;
  p.terminado = false;
  p.socket_vivo = false;
  try {
    p.hilo = std::thread(&Ejecucion::corre_unidad, this, std::ref(p), std::cref(plan.unidades[unidad]));
  } catch (const std::system_error& e) {
    // No thread for another session: the run goes on with those it has.
    if (sin_hilo(coordinador, unidad)) {
      falla(comun, nullptr, stdout, "Imposible abrir otra sesion (%s)\n", e.what());
      para_todo();
    }
    return;
  }
  p.ocupado = true;
}

// Hands the waiting units out, the largest first, while the run may open
// more sessions. Under m.
void Ejecucion::lanza_pendientes() {
  while (puede_lanzar(coordinador, plat_reloj_ms())) {
    Puesto* libre = nullptr;
    for (Puesto& p : puestos)
      if (!p.ocupado) libre = &p;
    if (libre == nullptr) return;
    lanza(*libre, lanza_siguiente(coordinador));
  }
}

// The thread of p has left its outcome: it is joined, and the coordinator
// decides what its unit's end does to the run. Under m.
void Ejecucion::recoge(Puesto& p) {
  p.hilo.join();
  p.ocupado = false;
  p.terminado = false;
  TrasUnidad tras = termina_unidad(coordinador, p.unidad, p.fin, p.maximo, plat_reloj_ms());
  Aportacion& ultima = p.recorrido->aportado;
  if (tras.retira) {
    // Its objects come again from the start: the first try's counts go
    // while it runs again.
    previa[p.unidad] = ultima;
    retirada[p.unidad] = true;
    progreso_retira(comun.progreso, ultima);
  } else if (retirada[p.unidad] && p.fin == FinUnidad::completa) {
    // The second try received everything again.
    retirada[p.unidad] = false;
  } else if (retirada[p.unidad] && p.fin != FinUnidad::devuelta) {
    int64_t llegados = cuenta_lo_completo(p.unidad, ultima);
    if (tras.sin_transferir) sin_transferir(p.unidad, llegados);
  }
  if (tras.para) para_todo();
}

// A unit tried again did not complete: of its two tries (both from the
// unit's start), the counts of the one that completed more objects stand,
// since those objects are complete on disk. Returns the objects of the try
// counted. Under m.
int64_t Ejecucion::cuenta_lo_completo(size_t unidad, const Aportacion& ultima) {
  retirada[unidad] = false;
  auto completos = [](const Aportacion& a) { return a.objetos - a.incompletos; };
  if (completos(previa[unidad]) <= completos(ultima)) return ultima.objetos;
  progreso_retira(comun.progreso, ultima);
  progreso_suma(comun.progreso, previa[unidad]);
  return previa[unidad].objetos;
}

// The unit was lost twice, `llegados` of its objects counted: it is named,
// and each of its planned objects that did not arrive counts as incomplete.
// Under m.
void Ejecucion::sin_transferir(size_t unidad, int64_t llegados) {
  const Unidad& u = plan.unidades[unidad];
  Aportacion faltan;
  faltan.objetos = faltan.incompletos = u.objetos > llegados ? u.objetos - llegados : 0;
  progreso_suma(comun.progreso, faltan);
  // The unit as a command line names it: the library, the file and the
  // generic member name, to run it again alone.
  char biblioteca[TAM_AJUSTE], texto[3 * TAM_AJUSTE];
  copia_texto(biblioteca, peticion.biblioteca);
  quita_blancos(biblioteca);
  formatea(texto, "Sin transferir: %s %s%s%s\n", biblioteca, u.archivo, u.miembro[0] != '\0' ? " " : "",
           u.miembro);
  if (comun.informe.activo) {
    std::lock_guard<std::mutex> cerrojo(comun.informe.cerrojo);
    comun.informe.perdidas.emplace_back(u.archivo, u.miembro);
  }
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  borra_progreso(comun.progreso);
  escribe_nombres(stderr, texto);
  if (ctx.flog != nullptr) fputs(texto, ctx.flog);
}

// The calling thread's loop while units run: it wakes when a unit's thread
// ends, and at least every VIGILANCIA_MS to look at interruptions and at
// standard output, write the indexes that are due and redraw the progress.
void Ejecucion::coordina() {
  std::unique_lock<std::mutex> cerrojo(m);
  for (;;) {
    for (Puesto& p : puestos)
      if (p.terminado) recoge(p);
    if (plat_interrupcion() != 0 || salida_estandar_cerrada()) para_todo();
    lanza_pendientes();
    if (acabada(coordinador)) return;
    cambio.wait_for(cerrojo,
                    std::chrono::milliseconds(espera_ms(coordinador, plat_reloj_ms(), VIGILANCIA_MS)));
    // The index is written, and the line drawn, without holding the lock
    // the sessions' threads take at their ends.
    cerrojo.unlock();
    FalloIndice fallo;
    bool indices_bien = graba_indices_si_toca(comun.indices, &fallo);
    if (!indices_bien) informa_fallo_indice(comun, nullptr, fallo);
    progreso_refresca(comun.progreso);
    cerrojo.lock();
    if (!indices_bien) {
      coordinador.con_error = true;
      para_todo();
    }
  }
}

// Every session has ended: the index gets the one-session order and is
// written, the summary printed, the log closed, and the run ends with the
// status of what happened, the most serious first.
int Ejecucion::termina_ejecucion() {
  // A unit waiting for its second try when the run stopped: what its first
  // try completed is complete.
  for (size_t u = 0; u < retirada.size(); u++)
    if (retirada[u]) progreso_suma(comun.progreso, previa[u]);
  ordena_indices(comun.indices);
  int estado = SALIDA_BIEN;
  if (!cierra_transferencia(comun, coordinador.con_error, &estado)) return estado;
  if (coordinador.sin_sesion) imprime_sin_sesion_libre(coordinador.maximo);
  return estado_de_las_unidades(coordinador);
}

}  // namespace

int transfiere_en_sesiones(Compartido& comun, const Peticion& p, const Plan& plan, int sesiones,
                           bool con_error) {
  // From here on Ctrl-C and SIGTERM stop the sessions, not the process.
  plat_vigila_interrupciones();
  inicia_progreso(comun.progreso);
  progreso_plan(comun.progreso, plan.objetos, plan.bytes);
  if (plan.sin_cambios >= 0) progreso_sin_cambios(comun.progreso, plan.sin_cambios);
  // One session gains nothing from the largest first: its units go in the
  // order a one-session run receives them, so that its lines come in it too.
  Plan en_orden = plan;
  if (sesiones <= 1)
    std::stable_sort(en_orden.unidades.begin(), en_orden.unidades.end(),
                     [](const Unidad& x, const Unidad& y) { return x.orden < y.orden; });
  auto ejecucion = std::make_unique<Ejecucion>(comun, p, en_orden, sesiones > 0 ? sesiones : 1, con_error);
  ejecucion->coordina();
  return ejecucion->termina_ejecucion();
}

// The decisions of a run through several sessions, apart from the threads
// that carry them out: which unit goes out next and when, how many sessions
// the run may hold at once, what a lost unit, a broker without a free
// session or a unit that failed does to the run, and the status the run
// ends with. A plain value with no thread, socket or clock of its own (the
// time is handed in), so that each decision can be tried alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

// How the walk of one unit ended.
enum class FinUnidad {
  completa,  // the stream ended with every object complete
  perdida,   // the session could not be opened, or was lost
  devuelta,  // the broker had no free session: nothing was done
  error,     // the run must end with SALIDA_ERROR (the reason printed)
  parada     // the run stopped it (an interruption, a closed output, its socket cut)
};

// The tries of a unit whose session is lost.
constexpr int MAX_INTENTOS = 2;
// A broker without a free session while the run holds none: the pauses
// before a session is asked for again (the port of a session that has just
// ended, the catalogue's among them, may not be free yet). After the last
// one the run ends.
constexpr int PAUSAS_SIN_SESION_MS[] = {50, 100, 200, 400, 800, 1600};
constexpr int NUM_PAUSAS = (int)(sizeof PAUSAS_SIN_SESION_MS / sizeof PAUSAS_SIN_SESION_MS[0]);

struct Coordinador {
  // `unidades` units (by their place in the plan, the first the largest),
  // at most `sesiones` at once; error_previo: a failure before the units
  // already decides the status.
  Coordinador(size_t unidades, int sesiones, bool error_previo);

  size_t puestos;               // places where sessions run: the units, or the sessions if fewer
  std::set<size_t> pendientes;  // units waiting for a session; the first is the largest
  std::vector<int> intentos;    // the lost tries of each unit
  // Sessions at once: the run's number, lowered to the sessions the run holds
  // when the broker has no free one, raised again by one at each unit done.
  size_t limite;
  size_t ocupados = 0;      // units whose thread runs
  int64_t no_antes_de = 0;  // no session is asked for before this time
  int negativas = 0;        // refusals in a row while the run held no session
  int32_t maximo = 0;       // the broker's maximum, from its last refusal
  bool sin_sesion = false;  // the broker gave the run no session at all
  bool fallida = false;     // a unit was lost twice
  bool con_error = false;   // the run ends with SALIDA_ERROR
  bool parando = false;     // the run is stopping: no unit starts, no session is used
};

// Whether a unit may start now (`ahora` in ms): the run is not stopping,
// the broker has not refused for good, no pause runs, and fewer units run
// than the limit; there is a unit waiting.
bool puede_lanzar(const Coordinador& c, int64_t ahora);
// The unit to start now (the largest waiting), counted as running.
size_t lanza_siguiente(Coordinador& c);
// The unit's thread could not be started: it waits again and the run goes on
// with the sessions it holds. True when it holds none: the run must stop
// (with SALIDA_ERROR; the caller says why).
bool sin_hilo(Coordinador& c, size_t unidad);

// What the caller does once a unit's outcome is recorded.
struct TrasUnidad {
  bool retira;          // the unit goes again: its first try's counts come out of the progress
  bool para;            // the run must stop every session now
  bool sin_transferir;  // lost for good: its objects that did not arrive are to be said and counted
};
// The thread of `unidad` has ended with `fin` (and, for devuelta, the
// broker's maximum of sessions): the unit is done, waits again, or decides
// how the run ends.
// - completa: one more session may run at once (up to the places);
// - perdida: tried again from its start while it has tries left, else the
//   run will end with SALIDA_CONEXION once the others are done;
// - devuelta: it waits for one of the run's sessions to end; while the run
//   holds none, for the next pause, and after the last the run ends;
// - error: the run stops, to end with SALIDA_ERROR;
// - parada: nothing more.
TrasUnidad termina_unidad(Coordinador& c, size_t unidad, FinUnidad fin, int32_t maximo, int64_t ahora);
// The run is stopping (an interruption, a closed output, a failure).
void para(Coordinador& c);
// True when no unit runs and none will start any more.
bool acabada(const Coordinador& c);
// The status of a run whose sessions all ended, when the end every run
// shares has not decided it: SALIDA_CONEXION when the broker gave the run no
// session or a unit was lost twice, else SALIDA_BIEN.
int estado_de_las_unidades(const Coordinador& c);
// How long the calling thread may wait for news before it looks again: at
// most `vigilancia` ms, less when a pause ends before.
int64_t espera_ms(const Coordinador& c, int64_t ahora, int64_t vigilancia);

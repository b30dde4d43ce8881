// A transfer run through several sessions at once. Each work unit of the plan
// (the run's request narrowed to one file, or to the generic members of one)
// is one session of its own: a port from the broker, the narrowed request,
// the walk, the end message and the close, run by a thread of its own into
// the run's one tree and one index. The calling thread hands the units out,
// largest first, to at most the run's number of sessions at once, as the
// coordinator decides (coordinador.h), and ends the run:
// - a unit whose session is lost (a failed connection, send or receive, the
//   server closing, VORTCP_ESPERA) leaves its open object incomplete and is
//   tried once more, from its start, on a new session; a unit lost twice
//   makes the run end with SALIDA_CONEXION once the other units are done;
// - a broker without a free session: the unit waits for one of the run's
//   sessions to end; when the run holds none, for a few seconds, and then the
//   broker's message ends the run with SALIDA_CONEXION;
// - Ctrl-C, SIGTERM, a closed standard output, or a unit that must end the
//   run (a refused name, a local write or index failure: its message
//   printed) stop every session at once: each live socket is cut, each open
//   object left incomplete with its line, the index written, and the run
//   ends with 130, 143, 141 or SALIDA_ERROR.
// Result lines are printed whole as objects complete; the index gets the
// lines a one-session run would leave, in its order.
#pragma once

#include "transfer/run/peticion.h"
#include "transfer/run/plan.h"
#include "transfer/walk/compartido.h"

// Runs the plan of request p with up to `sesiones` sessions at once (at
// least one), then ends as every run does (cierre.h) and returns the run's
// exit status. A plan without units ends as an empty one-session run does
// (exit status 0). Each unit is asked for since its own FECHAD and HORAD
// when it has them (an incremental run), else since the request's. With
// con_error (a failure before the units, already printed) the run still
// transfers, then ends with SALIDA_ERROR. One session (sesiones 1) runs the
// units one after the other, in the order a one-session run receives them,
// each on a connection of its own: through the broker, or straight to
// SERVPORT. `comun` is the run's: what an earlier step (a comparison) left
// in it stays.
[[nodiscard]] int transfiere_en_sesiones(Compartido& comun, const Peticion& p, const Plan& plan, int sesiones,
                                         bool con_error = false);

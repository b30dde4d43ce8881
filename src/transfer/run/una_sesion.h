// A transfer run over the one session it has opened: the request sent, the
// walk of its mode, the end message after a list walk, and the end every
// run shares.
#pragma once

#include "transfer/run/peticion.h"
#include "transfer/walk/compartido.h"
#include "wire/sesion.h"

// Sends the request on the open session s, runs the walk of the mode (or
// nothing for END), sends the end message after a list walk, closes the
// session and ends as every run does (cierre.h). Returns the run's exit
// status: SALIDA_BIEN, SALIDA_CONEXION when the connection failed or was
// lost, SALIDA_ERROR when the walk had to stop (its reason printed), 130,
// 143 or 141 for an interruption or a closed standard output.
// `comun` is the run's, its report kept or not as the caller chose.
[[nodiscard]] int transfiere_en_una_sesion(Compartido& comun, const Peticion& p, Sesion& s);

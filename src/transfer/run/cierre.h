// The end that every transfer run shares, whatever road it took (one
// session, several, a comparison first): the indexes written, the summary,
// the log closed, and the exit status of what happened, the most serious
// first. Nothing here ends the process: the status goes back to main.
#pragma once

#include "transfer/walk/compartido.h"

// The run's sessions are done. Removes a mirror's older copies whose member
// came (espejo.h; one that stays is a failure), writes the indexes (each
// failure said),
// prints the summary and closes the log. False when one of these decides the
// run's status, in *estado: an index or the log that cannot be written, or
// con_error (a failure already said) give SALIDA_ERROR; a closed standard
// output "Salida estandar cerrada.\n" on standard error and 141; an
// interruption "Transferencia interrumpida.\n" and 130 or 143. True when
// none of them does: the caller ends with the status of its own road.
[[nodiscard]] bool cierra_transferencia(Compartido& c, bool con_error, int* estado);

// A failure already said ends the run before its end steps: the indexes
// are written (each failure said), and the status is SALIDA_ERROR.
[[nodiscard]] int abandona_transferencia(Compartido& c);

// Flushes standard output; when it is found failed (now or earlier), says
// why on standard error, where it can still be read, and gives true with the
// status in *estado: 141 for a closed pipe, 1 for an output that could not
// be written (informa_fallo_salida_estandar).
[[nodiscard]] bool salida_cerrada(int* estado);

// The transfer walk of the list modes: the stream of server messages after
// a transfer request on the walk's session, each handed to the handler for
// its code and answered "OK", the local files written through the walk's
// open object.
#pragma once

#include "transfer/walk/recorrido.h"

// Walks the stream of the list modes (request codes 94, 95 and 97) until the
// first code outside the catalogue, a failed exchange or a closed standard
// output (recorded as an interruption, plat_interrupcion), and returns true
// with no local file open. False when the run must end with exit status 1 (a
// refused name, a local file or index that cannot be written, also while a
// receive waits for the server: the reason has been printed), with no local
// file open either. While it waits for the server, the indexes are written
// as while messages flow (a waiting task, trama.h), when the walk writes them
// (Recorrido::escribe_indices).
bool trata_lista(Recorrido& r);

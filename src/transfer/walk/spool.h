// The spool walk of the spool modes (request codes 66 and 67): the server's
// spool blocks (67, 68) shown on the console, each in the layout its code
// names, none written to disk.
#pragma once

#include "transfer/walk/recorrido.h"

// Shows the spool blocks until a code outside them, a failed exchange or a
// closed standard output.
void trata_spl(Recorrido& r);

// The transfer walk: the stream of server messages after a transfer request,
// each handed to the handler for its code and answered "OK".
#pragma once

// Walks the stream of the list modes (request codes 94, 95 and 97) until the
// first code outside the catalogue or a failed exchange, and returns true with
// no local file open. False when the run must end with exit status 1 (a
// refused name, a local file or index that cannot be written: the reason has
// been printed).
bool trata_lista();
// Walks the spool blocks of the spool modes (request codes 66 and 67).
void trata_spl();

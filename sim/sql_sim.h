// The SQL side of a session: the library list (01) and options (20), queries
// (02, then 03 for further blocks), statements (04), row batches of a backup
// load (05), the clear message (06) and commands (07, answered compressed).
#pragma once

#include <string>

#include "opciones.h"
#include "trama_sim.h"

// Serves an SQL session whose first message (already received, in its wire
// code) is `primera`; `ebcdic` tells whether its length came in EBCDIC.
// Returns when the client leaves or sends the end message.
void sirve_sql(Conexion& c, const std::string& primera, bool ebcdic, const Opciones& op);

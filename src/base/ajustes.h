// Settings, trace and log: the start-up steps after the title line.
#pragma once

// Reads VORTCP_CODIFICACION (empty or "UTF-8"; any other value ends the run
// with "Codificacion no soportada (%s)\n", exit status 1) and TEST, opens
// "trace" (test above 0) and "vortcp.log". A file that cannot be created ends
// the run with exit status 1.
void inicia_ajustes();
// The console's set command changing TEST: the new level, and "trace" opened
// if it is above 0 and not open yet. When it cannot be created the run ends
// as at start: the message, exit status 1.
void cambia_nivel_test(int nivel);
// Closes the log, checking that every line reached it. Returns false after
// printing "Error al grabar (vortcp.log)\n". A closing step of termina.
bool cierra_log();

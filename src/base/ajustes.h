// Settings, trace and log: the start-up steps after the title line.
#pragma once

// In a console batch first sets standard output apart for the results
// (pantalla.h). Reads VORTCP_CODIFICACION (empty or "UTF-8"; any other value:
// "Codificacion no soportada (%s)\n") and TEST, opens "trace" (test above 0)
// and, but in a batch, "vortcp.log". Returns false after the message of what failed (a setting,
// or a file that cannot be created): the caller ends the run with
// SALIDA_ERROR.
[[nodiscard]] bool inicia_ajustes();
// The console's set command changing TEST: the new level, and "trace" opened
// if it is above 0 and not open yet. Returns false when it cannot be created,
// after the message of start-up (the console then ends the run with
// SALIDA_ERROR).
[[nodiscard]] bool cambia_nivel_test(int nivel);
// Closes the log, checking that every line reached it. Returns false after
// printing "Error al grabar (vortcp.log)\n". A closing step of termina.
bool cierra_log();

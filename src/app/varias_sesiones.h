// Whether a transfer run goes through several sessions at once, and its plan:
// the setting VORTCP_SESIONES, the session broker, and the server's catalogue
// of the library, read through one SQL session before the transfer sessions.
#pragma once

// Reads VORTCP_SESIONES: unset, empty or 1 is one session; 2 to 16 lets a
// transfer run use up to that many at once. Anything else prints "Valor no
// valido en la variable VORTCP_SESIONES (%s)\n" and gives false: the caller
// ends the run with SALIDA_ERROR before anything connects. Checked in every
// mode, also in those that always use one session.
[[nodiscard]] bool lee_sesiones();

// Reads VORTCP_INCREMENTAL, VORTCP_ESPEJO and VORTCP_SIMULA: unset, empty or
// 0 is off, 1 on; anything else prints "Valor no valido en la variable %s
// (%s)\n" (the name, the value) and gives false: the caller ends the run with
// SALIDA_ERROR before anything connects. A dry run asked for a transfer it
// cannot plan (a member, the spool, END, a library by no name of its own)
// is refused the same way, its reason printed: it would be a real transfer.
[[nodiscard]] bool lee_comparacion();

// After prepara_conexion, in a transfer mode. A run that asks for several
// sessions and may have them (MBR, ALL, DAT, DATOS or LISTA naming a library
// and no member) reads the catalogue through the broker's first session and
// runs its plan through several sessions: that ends the run. Returns when the
// run is to go on with one session as always: one session asked for, a mode
// or request that keeps one, no broker ("Sin intermediario de sesiones: se
// usa una sola sesion.\n" on standard error) or a catalogue that cannot be
// read ("Catalogo no disponible: se usa una sola sesion.\n" on standard
// error). Ends the run when the catalogue's session cannot be opened (its
// message printed, its status) or the catalogue does not know the library
// ("Biblioteca %s no encontrada en el servidor\n", SALIDA_ERROR).
// A run that compares (VORTCP_INCREMENTAL, VORTCP_ESPEJO or VORTCP_SIMULA,
// for the same requests) reads the catalogue with one session too, and then
// transfiere_lo_cambiado ends the run. Its catalogue not read, it says
// "Catalogo no disponible: se transfiere todo.\n" on standard error and
// returns for a full one-session run; a dry run then ends with
// SALIDA_CONEXION, having written nothing.
void transfiere_en_varias_sesiones();

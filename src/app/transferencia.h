// The transfer road of a run: the settings that choose it (VORTCP_SESIONES
// and the comparison's switches), the server's catalogue of the library read
// through one SQL session when the run needs a plan, and the hand-over to
// the transfer side: one session, several, or a comparison first.
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

// A transfer mode's run once its title is printed: the start-up steps
// (`arranca`, which returns SALIDA_BIEN or the status to end with, its
// reason printed), then the whole transfer, and its exit status for main to
// end the run with. When VORTCP_INFORME asks for one, the run's report is
// written at its end whatever the way out (informe.h): one that cannot be
// written turns SALIDA_BIEN into SALIDA_ERROR.
// A run that asks for several sessions and may have them (MBR, ALL, DAT,
// DATOS or LISTA naming a library and no member) reads the catalogue through
// the broker's first session and runs its plan through several sessions. It
// goes on with one session as always when one session is asked for, the mode
// or request keeps one, there is no broker ("Sin intermediario de sesiones:
// se usa una sola sesion.\n" on standard error) or the catalogue cannot be
// read ("Catalogo no disponible: se usa una sola sesion.\n" on standard
// error; "Catalogo no valido (%s)\n" before it when what it said cannot be
// trusted). A catalogue's session that cannot be opened ends the run with
// its status (its message printed); a library the catalogue does not know
// with "Biblioteca %s no encontrada en el servidor\n" and SALIDA_ERROR.
// A run that compares (VORTCP_INCREMENTAL, VORTCP_ESPEJO or VORTCP_SIMULA,
// for the same requests) reads the catalogue with one session too, and then
// compares (transfiere_lo_cambiado). Its catalogue not read, it says
// "Catalogo no disponible: se transfiere todo.\n" on standard error and
// goes on as a full one-session run; a dry run then ends with
// SALIDA_CONEXION, having written nothing.
// Ctrl-C and SIGTERM end the run through its end from the start-up steps on.
[[nodiscard]] int corre_transferencia(int (*arranca)());

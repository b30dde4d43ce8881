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
void transfiere_en_varias_sesiones();

// The console's own commands: help, set, output, sqlserver, cls (message 06),
// cmd (message 07), kill and imgs; and the settings read when the shell starts.
// Each command says what it came to (resultado.h); none ends the run.
#pragma once

#include "sql/resultado.h"

// Reads the console settings (MINSERT, DICT, ROWNUM, DELIM, DELIMB) and puts
// the output on the screen, the cursor at 0.
void lee_ajustes_consola();
// The names of the settings the console reads while it runs, for completion.
extern const char* const AJUSTES_CONSOLA[];
extern const int NUM_AJUSTES_CONSOLA;

// Each command takes the console line as typed, leading blanks removed.
Resultado muestra_ayuda(const char* linea);
Resultado activa_sqlserver(const char* linea);
// An output file that cannot be opened is fallo_grave after its message:
// "Ejecucion cancelada. Imposible abrir (%s)\n" for a console fed by a pipe,
// which ends there as it always has; "Imposible abrir (%s)\n" at a terminal
// and in a batch, output staying where it was.
Resultado ejecuta_output(const char* linea);
// Opens the file as the output of the results, as "output nombre" does
// (without its line "Establecida salida ..."). False, with nothing printed,
// when it cannot be opened.
bool abre_salida(const char* nombre);
// Closes the output file, if one is open, and goes back to the screen. A write
// that failed on the way prints "Error al grabar (%s)\n" with its name and
// gives false. Also a closing step of termina while the file is open.
bool cierra_salida();
// The end of a run whose statement Ctrl-C or a termination request cut short
// (the protocol cannot cancel it on the server), or that found standard
// output failed: the output file closed and checked, "Consulta
// interrumpida.\n" (for a failed standard output, why on standard error:
// informa_fallo_salida_estandar). Returns the exit status: 128 +
// plat_interrupcion(), or that of the failed standard output (1 when the
// file could not be written whole).
int estado_de_interrupcion();
// A trace that cannot be created when TEST is raised is fallo_grave.
Resultado ejecuta_set(const char* linea);
// cls and cmd: after a failed send or receive they return hecho (the session
// is lost: intercambio_sql.h, and the console ends). A compressed reply of cmd
// that does not expand is fallo_grave.
Resultado envia_cls(const char* linea);
Resultado envia_cmd(const char* linea);
Resultado ejecuta_imgs(const char* linea);
// Sends the end message 9600 and closes the output file: fin.
Resultado ejecuta_kill(const char* linea);

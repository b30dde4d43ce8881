// The console's own commands: help, set, output, sqlserver, cls (message 06),
// cmd (message 07), kill and imgs; and the settings read when the shell starts.
#pragma once

// Reads the console settings (MINSERT, DICT, ROWNUM, DELIM, DELIMB) and puts
// the output on the screen, the cursor at 0.
void lee_ajustes_consola();
// The names of the settings the console reads while it runs, for completion.
extern const char* const AJUSTES_CONSOLA[];
extern const int NUM_AJUSTES_CONSOLA;

// Each command takes the console line as typed, leading blanks removed.
void muestra_ayuda(const char* linea);
void activa_sqlserver(const char* linea);
// The output file cannot be opened: the run ends with status 1.
void ejecuta_output(const char* linea);
// Closes the output file, if one is open, and goes back to the screen. A write
// that failed on the way prints "Error al grabar (%s)\n" with its name and
// gives false. Also a closing step of termina while the file is open.
bool cierra_salida();
// The end of a run whose statement Ctrl-C or a termination request cut short
// (the protocol cannot cancel it on the server), or that found standard
// output closed: the output file closed and checked, "Consulta
// interrumpida.\n" (for a closed standard output "Salida estandar
// cerrada.\n" on standard error), exit status 128 + plat_interrupcion() (1
// when the file could not be written whole).
[[noreturn]] void termina_interrumpida();
void ejecuta_set(const char* linea);
// cls and cmd: after a failed send or receive they return (the session is
// lost: intercambio_sql.h).
void envia_cls(const char* linea);
void envia_cmd(const char* linea);
void ejecuta_imgs(const char* linea);
[[noreturn]] void ejecuta_kill(const char* linea);

// The one way out of the program: every fatal end and every normal end of a run
// goes through termina(), which first runs the closing steps that the parts of
// the program registered (the index, the log, ...), then flushes the standard
// streams and ends the process with the given status. Tests can catch the end
// instead.
#pragma once

// Ends the process with exit status `estado` (negative values reach the shell as
// their low 8 bits: -1 is 255). A closing step that fails turns a status of 0
// into 1.
// Never returns.
[[noreturn]] void termina(int estado);
// Prints the message on standard output, then ends as termina() does.
[[noreturn]] __attribute__((format(printf, 2, 3))) void termina_con(int estado, const char* formato, ...);

// A closing step: writes out or closes what must not be lost, and returns false
// after printing why it failed. Steps run once, the last registered first; a
// step registered twice runs once. A step may itself end the run (termina):
// the remaining steps then still run, once.
using PasoCierre = bool (*)();
void registra_cierre(PasoCierre paso);

// For tests: while a handler is set, termina() calls it instead of ending the
// process, after the closing steps. The handler must not return (a test throws
// from it).
using ManejadorFin = void (*)(int estado);
void establece_manejador_fin(ManejadorFin manejador);

// The command line: run modes, positional names, the FECHAD/HORAD options and
// the options of WEB (-c, -f, -o, --csv, --sigue).
#pragma once

enum class ResultadoArgumentos {
  correcto,          // ctx's request fields are filled
  uso,               // argument count out of range: print the usage text
  error_parametros,  // unknown keyword or a bad argument: the parameter error
  ayuda,             // --help or -h alone: the help, exit status 0
  version,           // --version alone: the version line, exit status 0
  opcion_no_valida,  // WEB with an unknown option, or one without its value: exit status 1
};

// Checks the arguments and fills icodigo, biblioteca, archivo, miembro, tipo,
// fechad and horad of ctx, and for WEB the batch's fields (an argument after
// the keyword that begins with "-" is an option; the options and their values
// are not counted among the seven arguments). Prints nothing.
ResultadoArgumentos analiza_argumentos(int argc, const char* const* argv);
// The texts of the two refusals and of the start of a run (a silent run, a
// console batch, has no title).
void imprime_uso();
void imprime_error_parametros();
// "Opcion no valida (%s)\n" on standard error with the option refused.
void imprime_opcion_no_valida();
void imprime_titulo();
// The help of --help and -h: modes, argument forms, settings, exit statuses
// and examples, on standard output.
void imprime_ayuda();
// "vortcp <version>\n" with the project's version.
void imprime_version();

// The command line: run modes, positional names and the FECHAD/HORAD options.
#pragma once

enum class ResultadoArgumentos {
  correcto,          // ctx's request fields are filled
  uso,               // argument count out of range: print the usage text
  error_parametros,  // unknown keyword or a bad argument: the parameter error
  ayuda,             // --help or -h alone: the help, exit status 0
  version,           // --version alone: the version line, exit status 0
};

// Checks the arguments and fills icodigo, biblioteca, archivo, miembro, tipo,
// fechad and horad of ctx. Prints nothing.
ResultadoArgumentos analiza_argumentos(int argc, const char* const* argv);
// The texts of the two refusals and of the start of a run.
void imprime_uso();
void imprime_error_parametros();
void imprime_titulo();
// The help of --help and -h: modes, argument forms, settings, exit statuses
// and examples, on standard output.
void imprime_ayuda();
// "vortcp <version>\n" with the project's version.
void imprime_version();

// Bytes that came from the server and are shown to the user (spool, result
// values, error texts, the replies of CMD, the names in result lines and in
// the progress line): on a terminal the control bytes among them could move
// the cursor, retitle the window or remap keys, so they are shown as "?"
// there. Files and pipes get the bytes unchanged, but for the code page of a
// UTF-8 run.
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>

// True for the bytes a terminal would act on, in the server's CP1252 text:
// below 0x20 other than tab and line feed, 0x7F, and the five bytes CP1252
// leaves without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D), which are the
// C1 controls of the same value to a terminal that reads them as Latin-1 and
// become the characters U+0081... when a UTF-8 run converts the text: so
// filtering them before the conversion covers both kinds of run.
inline bool es_control(unsigned char c) {
  return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F ||
         c == 0x90 || c == 0x9D;
}

// The byte as a terminal is to show it: "?" for a control byte.
inline char visible(char c) {
  return es_control((unsigned char)c) ? '?' : c;
}

// Writes n bytes from the server (CP1252 text) onto f; when f is a terminal,
// control bytes are written as "?"; in a UTF-8 run (VORTCP_CODIFICACION) the
// text is written in UTF-8, on a terminal or not.
void escribe_del_servidor(FILE* f, const void* datos, size_t n);
// The same for a caller that writes many pieces onto f and has asked once
// whether it is a terminal.
void escribe_del_servidor(FILE* f, const void* datos, size_t n, bool terminal);

// The lock of the console's and the log's lines: held while one line (the
// whole result line of an object, in a run through several sessions) is
// written, so that lines written from several threads never mix.
std::mutex& cerrojo_salida();

// Whether f is a terminal, asked once per run for standard output and
// standard error (a line per object must not cost a system call each), and
// at each call for any other stream.
bool es_terminal_de_la_ejecucion(FILE* f);
// Prints a line that holds names or other bytes from the server as they are
// used locally (a path as opened): through the terminal filter when f is a
// terminal (es_terminal_de_la_ejecucion), unchanged otherwise; no code page
// conversion. The formatted text is cut at 4,095 bytes.
void imprime_del_servidor(FILE* f, const char* formato, ...) __attribute__((format(printf, 2, 3)));
// The same for a text already formatted.
void escribe_nombres(FILE* f, const char* texto);

// Text that a person wrote (a console line, a script, a backup file) as the
// CP1252 that the program's tables take: in a UTF-8 run it is read as UTF-8
// and converted, otherwise copied. The result (at most n bytes) goes into
// destino, which holds n + 1. False, after "Caracter no representable en CP1252
// en (%s)\n" with `donde`, when a character has no CP1252 form (nothing is
// replaced).
bool de_persona(const char* texto, size_t n, char* destino, const char* donde);

// A console batch keeps the process's standard output for its results: from
// this call on, salida_de_resultados() is a stream on it, and every other
// line the program prints with printf lands on standard error. False, with
// nothing changed, when the system refuses it. Called once, at start-up,
// before anything is printed.
bool aparta_resultados();
// Where results go when no output file is open: standard output, or in a
// batch the stream aparta_resultados() kept for them.
FILE* salida_de_resultados();

// True once a write to the results' standard output (salida_de_resultados)
// has failed: a pipe whose reader ended, or an output that cannot take the
// bytes (a full disk). The first time, the failure is recorded as an
// interruption (plat_registra_salida_cerrada), so that the waits give up and
// the run ends as an interrupted one does, and what failed is kept for
// informa_fallo_salida_estandar. A buffered stream fails only when its
// buffer is written: callers flush it and ask after each unit of work.
bool salida_estandar_cerrada();
// Once salida_estandar_cerrada() has said so: says why on standard error
// and returns the run's exit status. A reader that has gone: "Salida
// estandar cerrada.\n", 141; an output that could not be written: "Error al
// grabar (salida estandar)\n", 1, as for any other file.
int informa_fallo_salida_estandar();

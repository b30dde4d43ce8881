// The one process-wide record of vortcp's state, `ctx`, created zeroed at start
// and never freed: the request, the settings, the tables, the log and the
// console's settings. Fields are grouped by their owner, the one file (or
// layer) that writes them; everybody else only reads them. What belongs to
// one session with the server (its socket and buffers) is a Sesion
// (wire/sesion.h), not here.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/plataforma.h"

// Sizes of the fixed buffers of the protocol and of the program.
constexpr int TAM_TRAMA = 30000;           // a frame, length characters included
constexpr int MAX_CARGA = TAM_TRAMA - 10;  // the largest payload of one frame
constexpr int TAM_AJUSTE = 256;            // text settings: 255 characters and the NUL
constexpr int TAM_LIBL = 4097;             // WWW_LIBL: 4,096 characters and the NUL
constexpr int TAM_RUTA = 1024;             // local paths

struct RunContext {
  // --- Request (owner: the command line, app/argumentos.cpp) ------------------
  int32_t icodigo;              // request code of the run mode (96 until a keyword matches)
  char modo[8];                 // the mode's keyword as typed, upper case ("DATOS", "MBR")
  char biblioteca[TAM_AJUSTE];  // library: padded to 10, upper case
  char archivo[TAM_AJUSTE];     // file: padded to 10, upper case
  char miembro[TAM_AJUSTE];     // member: padded to 10, upper case
  char tipo[TAM_AJUSTE];        // source type filter: padded to 4, case as typed
  char fechad[TAM_AJUSTE];      // value after FECHAD, as typed
  char horad[TAM_AJUSTE];       // value after HORAD, as typed

  // --- Console batch (owner: the command line, app/argumentos.cpp) -----------
  // `vortcp WEB` with -c or -f runs their lines in the order given, as a
  // command does: results on standard output, failures on standard error.
  int32_t silencioso;        // 1: no title, notice, LZW progress or connection progress
  int32_t lote;              // 1: a batch (at least one -c or -f)
  int32_t sigue_tras_fallo;  // --sigue: the batch goes on after a failure
  int32_t csv_lote;          // --csv: as FORMATO=csv from the console's start
  const char* salida_lote;   // -o FICHERO (an argument of argv), or nullptr
  struct OrdenLote {
    char clase;         // 'c': a console line; 'f': a script file ("-": standard input)
    const char* texto;  // the argument (argv lives for the whole run)
  };
  static constexpr int MAX_ORDENES_LOTE = 64;
  OrdenLote ordenes_lote[MAX_ORDENES_LOTE];
  int32_t num_ordenes_lote;

  // --- Test level, trace, log and text encoding (owner: base/ajustes.cpp) -----
  int32_t test;  // TEST at start; the console's set changes it through cambia_nivel_test
  FILE* ftrace;  // "trace": open while test > 0 (opened at start or when raised); a
                 // session writes into it through its own Sesion::traza
  FILE* flog;    // "vortcp.log": open from start-up until the end of the run (never in a
                 // console batch); written under cerrojo_salida (base/pantalla.h)
  int32_t utf8;  // VORTCP_CODIFICACION is UTF-8: text for a person is UTF-8, not CP1252

  // --- Connection settings (owner: the connection, wire/conexion.cpp) ---------
  char base[TAM_AJUSTE];  // BASE: base directory of the table file

  // --- Code page tables (owner: wire/tablas.cpp) ------------------------------
  unsigned char tabla_ebc[256];  // EBCDIC to ASCII, amended by the table file
  unsigned char tabla_asc[256];  // ASCII to EBCDIC, amended by the table file

  // --- SQL session (owner: the handshake, sql/saludo.cpp) ---------------------
  int32_t isesion;    // session number, always 1
  int32_t en_ebcdic;  // WWW_EBCDIC at connection: messages sent in EBCDIC; 0 in transfers
  int32_t ibufsize;   // WWW_BUFSIZE, 4096 by default: also the size of load batches

  // --- Console settings and output (owner: sql/comandos.cpp) ------------------
  int32_t dict;     // DICT: 1 prints the column descriptors
  int32_t rownum;   // ROWNUM: above 0, the most rows shown (and fetched) of a result
  int32_t minsert;  // MINSERT: non-zero loads one row per batch
  char delim;       // field delimiter of the result display
  int32_t delimb;   // non-zero: blanks around delimiters, summaries into files
  int32_t isalida;  // 1 while results go to fsalida
  FILE* fsalida;    // the console's output file

  // --- Console mode (owner: sql/consola.cpp) ----------------------------------
  int32_t en_terminal;  // 1 while the console reads a terminal through the line editor

  // --- Console display (owner: the backslash commands, sql/barra.cpp) ---------
  int32_t vertical;       // \x: 0 off, 1 one line per column, 2 so when a row is wider than the terminal
  int32_t cronometro;     // \timing: 1 prints the time of each statement
  int32_t sin_paginador;  // \pager off: 1; long results at a terminal then go straight to it

  // --- Query execution (owner: sql/consulta.cpp) ------------------------------
  int32_t icursor;  // cursor number of the last reply that named a valid one
};

extern RunContext ctx;

// The one process-wide record of vortcp's state, `ctx`, created zeroed at start
// and never freed. Fields are grouped by their owner; nothing outside an owner
// writes that owner's fields (the shared buffers are everybody's).
#pragma once

#include <cstdint>
#include <cstdio>

#include "main/plataforma.h"

// Sizes of the fixed buffers of the protocol and of the program.
constexpr int TAM_TRAMA = 30000;        // a frame, length characters included
constexpr int MAX_CARGA = TAM_TRAMA - 10; // the largest payload of one frame
constexpr int TAM_SLINEA = 51200;
constexpr int TAM_STRABAJO = 5120;
constexpr int TAM_AJUSTE = 256;         // text settings: 255 characters and the NUL
constexpr int TAM_LIBL = 4097;          // WWW_LIBL: 4,096 characters and the NUL
constexpr int TAM_RUTA = 1024;          // local paths
constexpr int NUM_CURSORES = 400;
constexpr int MAX_COLUMNAS = 150;
constexpr int MAX_NOMBRE_COLUMNA = 128;

// One result column of a query, as the 02 reply describes it.
struct ColumnDesc {
  char nombre[MAX_NOMBRE_COLUMNA + 1]; // upper-cased, cut to 128 characters
  int32_t numero1;                     // first number, shown only
  int32_t ancho;                       // display width
  int32_t numero3;                     // third number, shown only
};

// The descriptor area of one cursor slot.
struct AreaCursor {
  int32_t ultima_columna;              // index of the last column, -1 when none
  ColumnDesc columnas[MAX_COLUMNAS];
};

struct CursorSlot {
  int32_t en_uso;          // 1 when the slot is claimed
  int32_t sesion;          // session number of the claimant
  int32_t activo;          // 1 once claimed
  int32_t area_asignada;   // 1 once `area` exists; never reset
  int32_t reservado1;      // cleared with the slot; unused
  int32_t reservado2;      // cleared with the slot; unused
  AreaCursor* area;        // owned by the slot, allocated once, never freed
};

struct RunContext {
  // --- Request fields (command line) ---------------------------------------
  int32_t icodigo;                  // request code of the run mode (96 until a keyword matches)
  char biblioteca[TAM_AJUSTE];      // library: padded to 10, upper case; headers overwrite it
  char archivo[TAM_AJUSTE];         // file: padded to 10, upper case; headers overwrite it
  char miembro[TAM_AJUSTE];         // member: padded to 10, upper case; headers overwrite it
  char tipo[TAM_AJUSTE];            // source type filter: padded to 4, case as typed
  char fechad[TAM_AJUSTE];          // value after FECHAD, as typed
  char horad[TAM_AJUSTE];           // value after HORAD, as typed
  int32_t isesion;                  // session number, always 1

  // --- Settings, trace and log --------------------------------------------
  int32_t test;                     // test level from TEST (the console's set may change it)
  FILE* ftrace;                     // "trace": open when test > 0 at start (or raised to 1 later)
  FILE* flog;                       // "vortcp.log": always open after start-up
  char multias[TAM_AJUSTE];         // MULTIAS: "1..." asks the session broker
  char base[TAM_AJUSTE];            // BASE: base directory of the table file

  // --- Session and buffers --------------------------------------------------
  int32_t puerto;                   // server port: SERVPORT, raised by the broker's offset + 1
  socket_t sd;                      // the connected session socket
  int32_t en_ebcdic;                // WEB mode: WWW_EBCDIC at connection; 0 in transfers
  int32_t ibufsize;                 // WEB mode: WWW_BUFSIZE, 4096 by default
  CursorSlot tabla_cursores[NUM_CURSORES];
  char sbuffer[TAM_TRAMA + 1];      // the shared message buffer (+1: room for the NUL)
  int32_t ilen;                     // length of the message in sbuffer about to be sent
  int32_t ilen_recibido;            // payload length of the last transfer receive (0 after a failure)
  int32_t fallo_intercambio;        // set to 1 by envia_as/recibe_as when the framing failed
  char slinea[TAM_SLINEA];          // shared work line
  char strabajo[TAM_STRABAJO];      // second shared work buffer

  // --- Wire layer -----------------------------------------------------------
  unsigned char pila_recrc[TAM_TRAMA]; // bytes that arrived after the frame being read
  int32_t npila_recrc;                 // how many of them
  unsigned char tabla_ebc[256];        // EBCDIC to ASCII, amended by the table file
  unsigned char tabla_asc[256];        // ASCII to EBCDIC, amended by the table file
  unsigned char to_ascii[256];         // ANSI to OEM (test dumps only)
  unsigned char to_ansi[256];          // OEM to ANSI (test dumps only)

  // --- Transfer state -------------------------------------------------------
  int32_t fichero_abierto;          // 1 while fichero_actual is open
  FILE* fichero_actual;             // the local output file of the transfer
  char ruta_actual[TAM_RUTA];       // its path, for the write error message
  int64_t num_registros;            // records of the object being received (64 bits: big files)
  int64_t num_bytes;                // bytes of the object being received (64 bits: big files)

  // --- Console settings and output state -----------------------------------
  int32_t dict;                     // DICT: 1 prints the column descriptors
  int32_t rownum;                   // ROWNUM: shown only
  int32_t minsert;                  // MINSERT: non-zero loads one row per batch
  char delim;                       // field delimiter of the result display
  int32_t delimb;                   // non-zero: blanks around delimiters, summaries into files
  int32_t isalida;                  // 1 while results go to fsalida
  FILE* fsalida;                    // the console's output file
  int32_t icursor;                  // current cursor number
};

extern RunContext ctx;

// The backup loader: "loadsql nnn.dat" loads the "~"-separated records of a
// backup file into the table named by the file, in batches of message 05.
#pragma once

#include <cstddef>
#include <cstdio>

#include "base/utf8.h"
#include "sql/resultado.h"

// Longest record of a backup file.
constexpr int MAX_REGISTRO = 5118;
// Longest table name; a longer one counts as no table name.
constexpr int MAX_TABLA = 511;

// Loads the file named after the eighth character of the text. A file that
// cannot be opened, a name without a table and an overlong record
// ("Registro demasiado largo en (%s)\n") stop it, fallo_local; a batch that
// the server rejects stops it after "error. se cancela \n",
// carga_rechazada; a failed exchange stops it silently, hecho (the session is
// lost). A record that holds a NUL byte is not loaded ("Byte nulo en la linea
// %d de (%s)\n"), nor in a UTF-8 run one whose bytes are not UTF-8 ("Texto no
// valido en UTF-8 en la linea %d de (%s)\n"); the load goes on with the next.
// The totals go where destinos.h says.
Resultado carga_backup(const char* texto);

// The table of a backup file: the name after its last "\" or "/", cut at its
// first ".". Empty when there is none or it is longer than MAX_TABLA.
void tabla_de_fichero(const char* nombre, char* tabla, size_t cap);

// Reads the records of a backup file. Empty lines are skipped wherever they
// are. The first record (up to the first CR or LF after its first character)
// fixes the field count of the file; a later record ends at the first CR or LF
// met once it holds that many fields (earlier ones are dropped, so a record
// can span lines), or at the byte after a surplus separator, which is dropped.
// The LF of a CR LF goes with the CR. A 0x1A that is the last byte of the
// file is an end-of-file mark. NUL bytes read as blanks, and the record that
// holds one says on which line (nulo_en_linea). With utf8 a byte-order mark
// that begins the file is skipped, and a record whose bytes are not UTF-8
// says on which line they stop being so (invalido_en_linea).
struct LectorBackup {
  FILE* f;
  bool utf8 = false;          // the file is UTF-8 text (a UTF-8 run)
  int campos = 0;             // field count fixed by the first record
  bool primero = true;        // the next record is the first
  bool fin = false;           // the end of the file has been met
  int nulo_en_linea = 0;      // the line of the first NUL byte of the last record, 0 when none
  int invalido_en_linea = 0;  // with utf8, the line where the last record stops being UTF-8, 0 when it is
  ValidaUtf8 valida;          // the UTF-8 check of the record being read
  bool al_principio = true;   // nothing has been read from the file yet
  // The file is read in blocks of TAM_BLOQUE bytes, not a byte per call.
  static constexpr size_t TAM_BLOQUE = 1 << 16;
  unsigned char bloque[TAM_BLOQUE];
  size_t pos = 0;  // next byte of bloque to take
  size_t hay = 0;  // bytes of bloque read from the file
  // Line ends taken so far (a CR LF, a lone CR or a lone LF each count one),
  // and whether the last byte taken was a CR; with their values before that
  // byte, so that it can be given back.
  int lineas = 0;
  bool tras_cr = false;
  int lineas_antes = 0;
  bool tras_cr_antes = false;
};
// Reads the next record into dest (capacity >= MAX_REGISTRO + 1). Returns its
// length (0 at the end), or -1 for a record longer than MAX_REGISTRO. The
// number of its separators goes to *separadores.
int lee_registro(LectorBackup& lector, char* dest, int* separadores);

// Encodes a record as a row: for each field after the first, the byte 0xAE and
// the field without its trailing blanks; then a closing 0xAE. Returns the row's
// length, or -1 when it does not fit into cap - 1 bytes.
int codifica_fila(const char* registro, char* dest, size_t cap);

// Builds message 05 for a batch of `filas` rows of `campos` loaded fields
// each. Returns the message's length, or -1 when it does not fit into cap - 1
// bytes.
int construye_mensaje_05(char* dest, size_t cap, const char* tabla, int filas, int campos, const char* lote,
                         int largo_lote);

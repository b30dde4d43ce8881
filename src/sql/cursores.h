// The cursor slots of the SQL session: the result columns of a query as its
// reply describes them, and the descriptor area of each cursor the server
// names, kept for the rest of the run.
#pragma once

#include <cstdint>

constexpr int NUM_CURSORES = 400;
constexpr int MAX_COLUMNAS = 150;
constexpr int MAX_NOMBRE_COLUMNA = 128;
// The widest value a column can hold: the longest character column of the
// server's database. A wider column only comes from a lying reply.
constexpr int MAX_ANCHO_COLUMNA = 32766;

// One result column of a query, as the 02 reply describes it.
struct ColumnDesc {
  char nombre[MAX_NOMBRE_COLUMNA + 1];  // upper-cased, cut to 128 characters
  int32_t numero1;                      // first number, shown only
  int32_t ancho;                        // display width
  int32_t numero3;                      // third number, shown only
};

// The descriptor area of one cursor slot.
struct AreaCursor {
  int32_t ultima_columna;  // index of the last column, -1 when none
  ColumnDesc columnas[MAX_COLUMNAS];
};

// Claims the first free slot of 1 to 3 for the session (the handshake), its
// area allocated on first claim. False after "No hay memoria para el area del
// cursor %d.\n" when there is no memory for it: the caller ends the run with
// SALIDA_ERROR.
[[nodiscard]] bool reclama_slot();

// The descriptor area of a cursor slot, allocated the first time a reply names
// the slot. nullptr, after "Cursor no valido (%d)\n", for a number outside
// 0..NUM_CURSORES - 1; nullptr too after "No hay memoria para el area del
// cursor %d.\n", with *sin_memoria set (when given), for an area that cannot
// be allocated: the console then ends the run with SALIDA_ERROR.
AreaCursor* area_de_cursor(int cursor, bool* sin_memoria = nullptr);

// For fuzzers: makes `area` the area of every slot (no allocation in a run).
void pon_area_de_pruebas(int cursor, AreaCursor* area);

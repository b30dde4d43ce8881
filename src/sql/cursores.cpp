// The cursor slots (cursores.h): the slot table, private to this file, and
// the allocation of each slot's descriptor area the first time it is needed.
#include "sql/cursores.h"

#include <cstdio>
#include <new>

namespace {

constexpr int SLOTS_SALUDO = 4;  // slots 1 to 3 take part in the handshake

struct CursorSlot {
  int32_t en_uso;    // 1 when the slot is claimed
  AreaCursor* area;  // owned by the slot, allocated once, never freed
};

CursorSlot tabla_cursores[NUM_CURSORES];

// The slot's area; nullptr, after its message, when it cannot be allocated.
AreaCursor* asigna_area(CursorSlot& slot, int cursor) {
  if (slot.area == nullptr) {
    slot.area = new (std::nothrow) AreaCursor();
    if (slot.area == nullptr) {
      printf("No hay memoria para el area del cursor %d.\n", cursor);
      return nullptr;
    }
    slot.area->ultima_columna = -1;
  }
  return slot.area;
}

}  // namespace

bool reclama_slot() {
  for (int i = 1; i < SLOTS_SALUDO; i++) tabla_cursores[i].en_uso = 0;
  for (int i = 1; i < SLOTS_SALUDO; i++) {
    CursorSlot& slot = tabla_cursores[i];
    if (slot.en_uso != 0) continue;
    slot.en_uso = 1;
    return asigna_area(slot, i) != nullptr;
  }
  return true;
}

AreaCursor* area_de_cursor(int cursor, bool* sin_memoria) {
  if (sin_memoria != nullptr) *sin_memoria = false;
  if (cursor < 0 || cursor >= NUM_CURSORES) {
    printf("Cursor no valido (%d)\n", cursor);
    return nullptr;
  }
  AreaCursor* area = asigna_area(tabla_cursores[cursor], cursor);
  if (area == nullptr && sin_memoria != nullptr) *sin_memoria = true;
  return area;
}

void pon_area_de_pruebas(int cursor, AreaCursor* area) {
  if (cursor >= 0 && cursor < NUM_CURSORES) tabla_cursores[cursor].area = area;
}

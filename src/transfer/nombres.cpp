// Local names from server names: the check that refuses names which would
// lead outside the local tree, and the source type to extension table.
#include "transfer/nombres.h"

#include <cstring>

#include "base/texto.h"

bool nombre_valido(const char* nombre) {
  if (strcmp(nombre, ".") == 0 || strcmp(nombre, "..") == 0) return false;
  for (const unsigned char* p = (const unsigned char*)nombre; *p; p++) {
    if (*p < 0x20 || *p == '/' || *p == '\\' || *p == ':') return false;
  }
  return true;
}

const char* primer_nombre_no_valido(const char* biblioteca, const char* archivo, const char* miembro,
                                    const char* tipo) {
  if (biblioteca[0] == '\0' || !nombre_valido(biblioteca)) return biblioteca;
  if (!nombre_valido(archivo)) return archivo;
  if (miembro != nullptr && !nombre_valido(miembro)) return miembro;
  if (tipo != nullptr && !nombre_valido(tipo)) return tipo;
  return nullptr;
}

// Only these exact spellings map; a mixed-case type such as "Dspf" falls
// through to its own lower-case form.
static const struct {
  const char* tipo;
  const char* extension;
} tabla_extensiones[] = {
    {"RPGL", "ile"}, {"rpgl", "ile"}, {"CBL", "cbo"}, {"cbl", "cbo"}, {"CPY", "cpy"},
    {"cpy", "cpy"},  {"DSPF", "pan"}, {"dspf", "pan"}, {"PRTF", "prt"}, {"prtf", "prt"},
    {"CLP", "cl"},   {"clp", "cl"},   {"PF", "dds"},   {"LF", "dds"},   {"pf", "dds"},
    {"lf", "dds"},
};

void extension_de_tipo(const char* tipo, char* dest, size_t cap) {
  const char* resultado = tipo;
  for (const auto& fila : tabla_extensiones) {
    if (strcmp(tipo, fila.tipo) == 0) {
      resultado = fila.extension;
      break;
    }
  }
  copia_texto(dest, cap, resultado);
  a_minusculas(dest);
}

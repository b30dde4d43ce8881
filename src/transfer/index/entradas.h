// Index lines read as entries: what a comparison with the server's
// catalogue needs of each line (file, member, type, change date and time),
// and the entries sorted by key so that the entry in force of a key is found
// at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/catalogo.h"

// What a comparison reads of an index line, trailing blanks removed.
struct EntradaIndice {
  char archivo[TAM_NOMBRE_CATALOGO];
  char miembro[TAM_NOMBRE_CATALOGO];
  char tipo[8];   // the source type as the server gave it; "MSG" for a message file
  char fecha[9];  // the change date YYYYMMDD, "" when the line has none
  char hora[7];
};

// The entry of an index line of `biblioteca` (name without padding) of
// `largo` bytes, its line end not counted. False for a comment, a line of
// another library, or one too short to hold the key.
bool entrada_de_linea(const char* linea, size_t largo, const char* biblioteca, EntradaIndice* e);

// The places of the index entries sorted by key (file, member), one for each
// key: its last line, the one in force. busca_por_clave finds the place of
// the entry in force of a key in them, or gives -1.
std::vector<uint32_t> ordena_por_clave(const std::vector<EntradaIndice>& indice);
long busca_por_clave(const std::vector<EntradaIndice>& indice, const std::vector<uint32_t>& orden,
                     const char* archivo, const char* miembro);

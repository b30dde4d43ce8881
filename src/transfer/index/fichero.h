// An index file on disk: read line by line, and replaced whole through a
// working file and one atomic rename, so that a failure leaves the old file
// untouched. Nothing here prints: each failure is returned with its error
// number.
#pragma once

#include <cstddef>
#include <functional>

#include "transfer/index/almacen.h"

// Each line of a file, without its line end, and its length.
using PorLineaIndice = std::function<void(const char* linea, size_t largo)>;

// Reads the index file at ruta, each line (without its line end) handed to
// por_linea, lines judged whole whatever their length. A last line without a
// line end becomes a line like the others. A missing index (or library
// folder) is an empty one (*hay false, true returned); one that exists but
// cannot be read gives false with its error number in *codigo, so that it is
// never replaced by an index holding only the new entries. Only a regular
// file is read: a FIFO there would make the run wait for a writer, a device
// hand it endless bytes.
bool lee_fichero_indice(const char* ruta, bool* hay, const PorLineaIndice& por_linea, int* codigo);

enum class Escritura {
  bien,
  sin_temporal,  // the working file cannot be made (*codigo: its error number)
  sin_grabar,    // a write or the close of the working file failed
  sin_reemplazo  // the rename over the index failed
};
// Writes the live lines of `a` into `temporal` and renames it over `ruta`.
// Every failure leaves the old index as it was and no working file behind.
// With solo_probar (an index with no file and no lines yet) the working file
// is made and removed, so that a library whose index cannot be written is
// found out without leaving an empty index behind.
Escritura escribe_fichero_indice(const Almacen& a, const char* temporal, const char* ruta, bool solo_probar,
                                 int* codigo);

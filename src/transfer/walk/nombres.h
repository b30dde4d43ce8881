// What the names a header brings become locally: the check that keeps them
// inside the local tree, and the extension of a member file by source type.
#pragma once

#include <cstddef>

#include "base/catalogo.h"
#include "platform/plataforma.h"

// True when a name from the server can be one component of a local path: not
// "." or "..", and no "/", "\", ":" or byte below 0x20. The empty name passes
// (an empty file or member is part of the layout); the library is checked for
// emptiness by primer_nombre_no_valido.
bool nombre_valido(const char* nombre);

// True for the names of the program's own folders of a library (xvoras,
// xpanta, xlista), in any case: a file of that name would write into them.
bool es_carpeta_propia(const char* nombre);

// The first name of a header that must be refused, or nullptr when all pass.
// An empty library is refused, and a file named as one of the program's own
// folders. miembro and tipo may be nullptr (headers 05 and
// 07 carry neither).
const char* primer_nombre_no_valido(const char* biblioteca, const char* archivo, const char* miembro,
                                    const char* tipo);

// The lower-case extension of a member file for the 4-character source type
// (trailing blanks already removed): the fixed rows compare the whole type,
// case included; any other type is its own lower-case form.
void extension_de_tipo(const char* tipo, char* dest, size_t cap);
template <size_t N>
void extension_de_tipo(const char* tipo, char (&dest)[N]) {
  extension_de_tipo(tipo, dest, N);
}

// The change date and time of a header, "YYYYMMDD" and "HHMMSS", into *f when
// they form a valid date (1900 on) and time. False otherwise.
bool fecha_de_cabecera(const char* fecha, const char* hora, FechaHora* f);

// The local copy at ruta is a regular file and, when fecha and hora form a
// valid date (fecha_de_cabecera), its modification time is that date
// (plat_tiene_fecha): the time a complete object is given, which a copy
// edited by hand loses.
bool copia_intacta(const char* ruta, const char* fecha, const char* hora);

// Whether `nombre` is one that `patron` names: every name for an empty
// pattern, those beginning with PREFIJO for "PREFIJO*", else the same name.
bool casa_nombre(const char* patron, const char* nombre);

// The local path of an object, as its handler makes it: a source member is
// \LIB\FILE\MBR.ext (the extension of its source type), a data member
// \LIB\FILE_MBR.ebc (\LIB\FILE.ebc when it has no name of its own, one
// that begins with a blank, or the file's), a message file \LIB\FILE.msg.
// The handlers open these paths and an incremental run compares against
// them: one function, so that the two never disagree. False, with an empty
// path, when it does not fit.
bool ruta_de_objeto(char* dest, size_t cap, ClaseArchivo clase, const char* biblioteca, const char* archivo,
                    const char* miembro, const char* tipo);
template <size_t N>
bool ruta_de_objeto(char (&dest)[N], ClaseArchivo clase, const char* biblioteca, const char* archivo,
                    const char* miembro, const char* tipo) {
  return ruta_de_objeto(dest, N, clase, biblioteca, archivo, miembro, tipo);
}

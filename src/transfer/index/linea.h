// The entry line of a library's index \LIB\xvoras\xinfo: one 120-character
// line per member, raw data file or message file transferred into the
// library, keyed by library, file and member. How a line is built, where its
// fields lie, and when two lines share a key.
#pragma once

#include <cstddef>

#include "base/contexto.h"
#include "platform/plataforma.h"

constexpr int LARGO_LINEA_XINFO = 120;  // characters of an entry line, line end not counted

// The update date of an entry, YYYYMMDD: the century is 19 when the two-digit
// year is above 90 and 20 otherwise (the index has always been written so).
void fecha_actualizacion(const FechaHora& ahora, char (&dest)[9]);

// Builds one entry line and its line end into dest. Fields are blank-padded
// to their widths (10, 10, 10, 6, 55, 8, 6) and cut to them, so that the key
// always lies at offsets 1, 11 and 21; a header date whose third character is
// a blank becomes 8 blanks.
void construye_linea_xinfo(char (&dest)[LARGO_LINEA_XINFO + 2], const char* biblioteca, const char* archivo,
                           const char* miembro, const char* tipo_fuente, const char* texto, const char* fecha,
                           const char* hora, const FechaHora& ahora);

// The first 31 characters of an entry of the key: enough for the key rule.
void construye_clave_xinfo(char (&dest)[LARGO_LINEA_XINFO + 2], const char* biblioteca, const char* archivo,
                           const char* miembro);

// Where the fields of an entry line lie (offset, width), as
// construye_linea_xinfo writes them.
struct CampoXinfo {
  size_t desde, ancho;
};
constexpr CampoXinfo XINFO_BIBLIOTECA{1, 10}, XINFO_ARCHIVO{11, 10}, XINFO_MIEMBRO{21, 10}, XINFO_TIPO{31, 6},
    XINFO_FECHA{92, 8}, XINFO_HORA{100, 6};
// One field of an index line of `largo` bytes into dest (cap bytes): cut at
// the line's end and at cap - 1, trailing blanks removed.
void campo_xinfo(const char* linea, size_t largo, CampoXinfo campo, char* dest, size_t cap);

// One key field of a line: up to 10 bytes from offset, ending early at a line
// feed or a NUL, trailing blanks removed. Its length; the bytes start at
// linea + offset.
size_t campo_clave(const char* linea, size_t largo, size_t offset);

// True when the line a (la bytes) is an entry whose key equals that of the
// line b (lb bytes): library, file and member, trailing blanks removed, case
// included. A line beginning with "#" never matches.
bool claves_iguales(const char* a, size_t la, const char* b, size_t lb);
// The same for two NUL-terminated lines.
bool misma_clave(const char* linea, const char* nueva);

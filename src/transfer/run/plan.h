// The plan of a transfer run through several sessions: the run's request cut
// into work units from the server's catalogue. A unit is the run's own
// request narrowed to one file; a file bigger than the library's share of one
// session is cut further by generic member names (a prefix and "*"), chosen
// from its member list so that every listed member is in exactly one unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/catalogo.h"

struct Unidad {
  char archivo[TAM_NOMBRE_CATALOGO];
  // Empty for the whole file; "PREFIJO*" for the members with that prefix;
  // a member's own name when other members begin with it (no generic name
  // can then hold it alone).
  char miembro[TAM_NOMBRE_CATALOGO];
  int64_t bytes;            // the catalogue's size of what the unit holds
  int64_t objetos;          // the objects it holds: members, or 1 for a file without any
  size_t archivo_catalogo;  // the file's place in the catalogue the plan was made from
  // The unit's place in the order a one-session run receives the objects
  // (the mode's classes in the server's order, then the catalogue's order of
  // files and members): the index keeps the lines of the units in this order.
  int orden;
  // A file and a message file of the same name are one unit, since a
  // request narrowed to the name brings both: the place the message file
  // takes in that order (-1: the unit brings none).
  int orden_mensajes;
  // FECHAD and HORAD of the unit's request: empty for the run's own; an
  // incremental run asks each unit for what changed since its earliest change.
  char fechad[9];
  char horad[7];
};

struct Plan {
  std::vector<Unidad> unidades;  // largest first: the order they are handed out in
  int64_t objetos = 0;           // the planned totals, for the progress line
  int64_t bytes = 0;
  // An incremental run: the objects its comparison found unchanged (the
  // summary counts them); -1 for a run that does not compare.
  int64_t sin_cambios = -1;
};

// Whether a run with request code `icodigo` (95 source members, 97 data
// files, 94 everything) transfers files of the class.
bool clase_en_el_modo(int32_t icodigo, ClaseArchivo clase);
// The place of a class in a one-session stream: members, then data files,
// then message files.
int rango_de_clase(ClaseArchivo clase);

// The units of a run with request code `icodigo` (95 source members, 94 all,
// 97 data files) over the library of the catalogue, narrowed to the files
// that `archivo` names (casa_nombre: empty for all, "PREFIJO*" for a
// generic name), for `sesiones` sessions. Files of a class the mode
// does not transfer are left out. A file bigger than the total divided by
// the session count is split by generic names; the others are one unit each,
// but a file and a message file of one name, which are one unit whole. No
// two units cover one object. Sizes are summed without overflow (a sum
// stops at the largest value).
Plan planifica(const Catalogo& catalogo, int32_t icodigo, const char* archivo, int sesiones);

// Whether the names of the catalogue can be used as the names a header
// brings are (nombres.h), none holding "*" or a blank either (a "*" would
// make a request generic). False with the reason, "nombre no valido (%s)"
// with the first name that fails, in motivo.
bool catalogo_valido(const Catalogo& catalogo, char* motivo, size_t cap);

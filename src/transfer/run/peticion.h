// The request of a transfer run as a value: what the command line asked for
// (mode, library, file, member, type, dates), and the 70-character request
// record that carries it, whole or narrowed to one work unit.
#pragma once

#include <cstdint>

#include "base/contexto.h"

constexpr int LARGO_PETICION = 70;  // characters of the request record

struct Peticion {
  int32_t icodigo;              // request code of the mode (66, 67, 94, 95, 96, 97)
  char biblioteca[TAM_AJUSTE];  // padded with blanks to 10, upper case
  char archivo[TAM_AJUSTE];     // padded to 10, upper case; blanks: every file
  char miembro[TAM_AJUSTE];     // padded to 10, upper case; blanks: no member named
  char tipo[TAM_AJUSTE];        // source type filter, padded to 4, case as typed
  char fechad[TAM_AJUSTE];      // after FECHAD, as typed ("" for none)
  char horad[TAM_AJUSTE];       // after HORAD, as typed ("" for none)
};

// The request the command line filled in (ctx's request fields).
Peticion peticion_de_la_ejecucion();

// True when the run's objects are recorded in the index: no source type
// filter (a run that keeps one type leaves the index alone).
bool indexa(const Peticion& p);

// Builds the 70-character record of the request into registro.
void construye_peticion(const Peticion& p, char (&registro)[LARGO_PETICION + 1]);
// The same request narrowed to a file and a member field (each padded with
// blanks to 10, as the request's are; a member field of blanks names no
// member) and asked for since fechad and horad ("" for none): the mode,
// library and tipo are the request's.
void construye_peticion_de(const Peticion& p, char (&registro)[LARGO_PETICION + 1], const char* archivo,
                           const char* miembro, const char* fechad, const char* horad);

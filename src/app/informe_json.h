// The report of a transfer run for whoever watches it unattended
// (VORTCP_INFORME=RUTA): one JSON file per run, written at its end whatever
// the way out, through a working file and one rename.
#pragma once

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "transfer/run/peticion.h"
#include "transfer/walk/compartido.h"

// What the report says of the run besides its objects.
struct DatosInforme {
  char ruta[TAM_RUTA] = "";  // the report's file, its strftime fields filled; "" for no report
  FechaHora inicio{};        // when the run began (UTC)
  FechaHora fin{};           // when it ended (UTC)
  const char* modo = "";     // the mode's keyword as typed
  Peticion peticion{};
  int sesiones = 1;  // the sessions asked for (VORTCP_SESIONES)
  bool incremental = false;
  bool espejo = false;
  bool simula = false;
  int estado = 0;  // the exit status the run ends with (-1 as 255 is to the shell)
};

// Reads VORTCP_INFORME, when set, into d.ruta, its strftime fields
// (%Y%m%d-%H%M%S...) filled with the local time of the run's start, and
// notes the start (UTC). False, with "Valor no valido en la variable
// VORTCP_INFORME (%s)\n" printed, when the path does not fit.
[[nodiscard]] bool prepara_informe(DatosInforme* d);
// Writes the report of the run into d.ruta: its settings, its status, the
// totals of the summary and the objects the run's report kept (comun may be
// nullptr: a run that ended before it had any). False, after "Imposible
// escribir el informe (%s)\n" on standard error with its path, when it
// cannot be written (the old one, if any, stays).
[[nodiscard]] bool escribe_informe(const DatosInforme& d, Compartido* comun);

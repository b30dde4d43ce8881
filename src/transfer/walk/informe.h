// The run's report of what happened to each object (Informe, compartido.h),
// as the walks and the run learn it: kept only when one is asked for.
#pragma once

#include "transfer/walk/compartido.h"
#include "transfer/walk/recorrido.h"

// The states of an object in the report.
constexpr const char* ESTADO_NUEVO = "nuevo";
constexpr const char* ESTADO_CAMBIADO = "cambiado";
constexpr const char* ESTADO_SIN_CAMBIOS = "sin_cambios";
constexpr const char* ESTADO_ELIMINADO_EN_SERVIDOR = "eliminado_en_servidor";
constexpr const char* ESTADO_ELIMINADO = "eliminado";
constexpr const char* ESTADO_INCOMPLETO = "incompleto";
constexpr const char* ESTADO_SIN_TRANSFERIR = "sin_transferir";
constexpr const char* ESTADO_RECIBIRIA = "recibiria";

// Adds an object to the report, when one is kept.
void anota_en_informe(Informe& i, const EntradaInforme& e);
// The object the walk has just opened (header c, path ruta, class clase)
// is described for the report: what it was before this run, judged the
// first time a header of it came (nuevo without an index line of its key,
// or, for an object with no index line of its own, without a local copy;
// sin_cambios when its line's change date is the header's and its copy is
// intact; cambiado otherwise).
void describe_para_informe(Recorrido& r, const Cabecera& c, const char* ruta, ClaseArchivo clase,
                           bool convertido);
// The walk's object is done (complete, or incomplete): its entry.
void anota_objeto(Recorrido& r, bool incompleto);

// The handlers of the messages that open an object: one skeleton for the
// headers of source members (01), raw data files (03) and message files
// (07), with a row per class saying what differs, and the converted data
// file (05) whose one data block comes right after its header.
//
// Each reads the header the walk read from the message in hand, does its
// work and ends with responde_ok, so the next message is in the session's
// buffer when it returns true. False, with the message unanswered and the
// reason printed, when the run must end with exit status 1: a refused name,
// a local file that cannot be opened, written or closed, or an index
// failure. The walk then ends.
#pragma once

#include "transfer/walk/recorrido.h"

bool abre_miembro(Recorrido& r, const Cabecera& c);   // 01
bool abre_ebcdic(Recorrido& r, const Cabecera& c);    // 03
bool abre_mensajes(Recorrido& r, const Cabecera& c);  // 07
bool trata_datos(Recorrido& r, const Cabecera& c);    // 05 and its data block

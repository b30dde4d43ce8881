// Record blocks: text blocks (02, 08) translated into the open member or
// message file, raw blocks (04) copied untranslated into the open data file.
// Each block is written with one write of its translated bytes, and
// answered "OK" (a block with no file open is answered and dropped). False,
// the message unanswered, when a write failed (its reason printed).
#pragma once

#include "transfer/walk/recorrido.h"

bool graba_texto(Recorrido& r);   // 02 and 08
bool graba_ebcdic(Recorrido& r);  // 04

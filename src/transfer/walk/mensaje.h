// The message in hand of a walk: the server's payload in the session's
// buffer read through a bounded reader, the header of an object read once,
// and the answer "OK" that brings the next message.
#pragma once

#include "transfer/walk/recorrido.h"
#include "wire/lector.h"
#include "wire/sesion.h"

// The message now in the session's buffer, bounded by what arrived (s.largo),
// its names and numbers read through ebc_fija.
Mensaje mensaje_actual(const Sesion& s);
// Sends "OK" and receives the next message into the session's buffer. A
// failed exchange sets s.fallo and leaves no message (s.largo 0).
void responde_ok(Sesion& s);
// The header of the message in hand, read once: code 01 and 03 (one layout),
// 05 (library and file only) or 07 (a message file: no member, type "MSG").
Cabecera lee_cabecera(const Mensaje& m, int codigo);

// Which sessions the fault switches act on. By default every session gets
// them; --sesion-con-fallos names sessions by their number and
// --archivo-con-fallos picks transfer sessions by the file they ask for, so
// that one session of a parallel run (or one unit and its retry) can be cut
// while the others run clean.
#pragma once

#include <string>

#include "opciones.h"

// Sets up the count of sessions picked by file, shared by every session
// process; called once before the first session starts. False when the
// shared memory cannot be had.
bool prepara_fallos_de_sesion(const Opciones& op);

// The switches of session number `numero` (from 1) as it starts: op.fallos
// when no selector is given or the number is listed, no faults otherwise.
const Fallos* fallos_de_sesion(const Opciones& op, int numero);

// Once a transfer request is read: op.fallos when it names the picked file
// (and member field) and the count allows one more; `actual` otherwise.
const Fallos* fallos_de_peticion(const Opciones& op, const std::string& archivo, const std::string& miembro,
                                 const Fallos* actual);

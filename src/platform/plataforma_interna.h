// What the POSIX and Windows implementations of the platform layer share and
// nobody else sees: the test seams set through plat_establece_red_prueba and
// plat_establece_pausa_prueba (plataforma_comun.cpp), the platform's own
// step of the path builder, and what the POSIX TLS file takes from the
// socket file.
#pragma once

#include <ctime>

#include "platform/plataforma.h"

extern FuenteRecepcion fuente_prueba;  // replaces the socket's receive while set
extern DestinoEnvio destino_prueba;    // replaces the socket's send while set
extern bool pausa_activa;              // false: plat_espera_datos returns at once

// Turns a path built with the program's own formats (backslash separated, a
// leading backslash the root of the tree) into a path of this platform, in
// place. Each implementation has its own.
void ajusta_ruta_local(char* ruta);

// The seconds between two local dates and times, as the calendar counts
// them (no time zone): what two readings of a file's time differ by.
long long segundos_entre(const FechaHora& a, const FechaHora& b);

// The fields of a local date and time in a struct tm, its daylight saving
// left for the C library to find (tm_isdst -1).
void tm_de_fecha(const FechaHora& f, struct tm* t);

#ifndef _WIN32
// POSIX: sets the receive time-out of s to max_ms unless *plazo_ms says it
// is set already (plat_recibe_con_plazo). False when the socket refuses it.
bool pon_plazo_recepcion(socket_t s, int max_ms, int* plazo_ms);
#endif

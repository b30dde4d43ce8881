// What the POSIX and Windows implementations of the platform layer share and
// nobody else sees: the test seams set through plat_establece_red_prueba and
// plat_establece_pausa_prueba (plataforma_comun.cpp), and the platform's own
// step of the path builder.
#pragma once

#include "platform/plataforma.h"

extern FuenteRecepcion fuente_prueba;  // replaces the socket's receive while set
extern DestinoEnvio destino_prueba;    // replaces the socket's send while set
extern bool pausa_activa;              // false: plat_espera_datos returns at once

// Turns a path built with the program's own formats (backslash separated, a
// leading backslash the root of the tree) into a path of this platform, in
// place. Each implementation has its own.
void ajusta_ruta_local(char* ruta);

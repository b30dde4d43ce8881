// The one rule of an unchanged object (sin_cambios.h).
#include "transfer/index/sin_cambios.h"

#include <cstring>

bool sin_cambios(const char* fecha, const char* hora, const char* fecha_indice, const char* hora_indice,
                 const char* ruta, CopiaIntacta intacta) {
  return fecha[0] != '\0' && strcmp(fecha, fecha_indice) == 0 && strcmp(hora, hora_indice) == 0 &&
         intacta(ruta, fecha_indice, hora_indice);
}

// For the targets that write local files: every path the program opens,
// creates, renames or removes passes through here first (the link wraps the
// platform layer's file calls), and one that could leave the current tree (an
// absolute path or a ".." component) is a finding even before it is used.
#include <cstdio>
#include <cstring>
#include <string>

#include "comun.h"
#include "platform/plataforma.h"

namespace {

void vigila(const char* ruta) {
  std::string r = ruta;
  if (r.empty()) return;
  if (r[0] == '/') hallazgo(("ruta absoluta: " + r).c_str());
  size_t inicio = 0;
  while (inicio <= r.size()) {
    size_t fin = r.find('/', inicio);
    if (fin == std::string::npos) fin = r.size();
    if (r.compare(inicio, fin - inicio, "..") == 0) hallazgo(("ruta con ..: " + r).c_str());
    inicio = fin + 1;
  }
}

}  // namespace

extern "C" {
FILE* __real__Z15plat_abre_textoPKcS0_(const char*, const char*);
FILE* __real__Z17plat_abre_binarioPKcS0_(const char*, const char*);
FILE* __real__Z25plat_abre_lectura_regularPKc(const char*);
void __real__Z18plat_borra_ficheroPKc(const char*);
bool __real__Z20plat_crea_directorioPKc(const char*);
bool __real__Z22plat_reemplaza_ficheroPKcS0_(const char*, const char*);
FILE* __real__Z15plat_crea_nuevoPKcb(const char*, bool);
Bloqueo __real__Z12plat_bloqueaPKci(const char*, int);

FILE* __wrap__Z15plat_abre_textoPKcS0_(const char* ruta, const char* modo) {
  vigila(ruta);
  return __real__Z15plat_abre_textoPKcS0_(ruta, modo);
}
FILE* __wrap__Z17plat_abre_binarioPKcS0_(const char* ruta, const char* modo) {
  vigila(ruta);
  return __real__Z17plat_abre_binarioPKcS0_(ruta, modo);
}
FILE* __wrap__Z25plat_abre_lectura_regularPKc(const char* ruta) {
  vigila(ruta);
  return __real__Z25plat_abre_lectura_regularPKc(ruta);
}
void __wrap__Z18plat_borra_ficheroPKc(const char* ruta) {
  vigila(ruta);
  __real__Z18plat_borra_ficheroPKc(ruta);
}
bool __wrap__Z20plat_crea_directorioPKc(const char* ruta) {
  vigila(ruta);
  return __real__Z20plat_crea_directorioPKc(ruta);
}
FILE* __wrap__Z15plat_crea_nuevoPKcb(const char* ruta, bool binario) {
  vigila(ruta);
  return __real__Z15plat_crea_nuevoPKcb(ruta, binario);
}
Bloqueo __wrap__Z12plat_bloqueaPKci(const char* ruta, int max_ms) {
  vigila(ruta);
  return __real__Z12plat_bloqueaPKci(ruta, max_ms);
}
bool __wrap__Z22plat_reemplaza_ficheroPKcS0_(const char* origen, const char* destino) {
  vigila(origen);
  vigila(destino);
  return __real__Z22plat_reemplaza_ficheroPKcS0_(origen, destino);
}
}

// The transfer's one open local file: refusing header names that would leave
// the local tree, the library directories, opening, checked writes and the
// checked close (a full disk must not pass for a good transfer).
#include <cstdio>
#include <string>
#include <unordered_set>

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "base/texto.h"
#include "transfer/nombres.h"
#include "transfer/transferencia.h"

bool comprueba_nombres(const char* biblioteca, const char* archivo, const char* miembro, const char* tipo) {
  const char* malo = primer_nombre_no_valido(biblioteca, archivo, miembro, tipo);
  if (malo == nullptr) return true;
  char nombre[TAM_AJUSTE];
  copia_texto(nombre, malo);
  if (ctx.fichero_abierto && !cierra_fichero()) return false;
  printf("Nombre no valido recibido del servidor (%s)\n", nombre);
  return false;
}

// The directories asked for in this run: a library of thousands of members
// makes each of them once, not once per member.
static std::unordered_set<std::string> directorios_hechos;

void asegura_directorio(const char* ruta) {
  if (!directorios_hechos.insert(ruta).second) return;
  plat_crea_directorio(ruta);
}

void olvida_directorios() { directorios_hechos.clear(); }

void crea_directorios_biblioteca(const char* biblioteca) {
  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", biblioteca)) asegura_directorio(ruta);
  if (plat_ruta(ruta, "\\%s\\xvoras", biblioteca)) asegura_directorio(ruta);
  if (plat_ruta(ruta, "\\%s\\xpanta", biblioteca)) asegura_directorio(ruta);
  if (plat_ruta(ruta, "\\%s\\xlista", biblioteca)) asegura_directorio(ruta);
}

bool indice_sin_filtro() { return ctx.tipo[0] == '\0' || ctx.tipo[0] == ' '; }

bool abre_fichero_actual(const char* ruta, bool binario) {
  FILE* f = binario ? plat_abre_binario(ruta, "w") : plat_abre_texto(ruta, "w");
  if (f == nullptr) {
    printf("Imposible abrir (%s)\n", ruta);
    return false;
  }
  ctx.fichero_actual = f;
  copia_texto(ctx.ruta_actual, ruta);
  ctx.fichero_abierto = 1;
  return true;
}

bool graba_bytes(const void* datos, size_t n) {
  if (n == 0 || fwrite(datos, 1, n, ctx.fichero_actual) == n) return true;
  printf("Error al grabar (%s)\n", ctx.ruta_actual);
  return false;
}

bool cierra_fichero_actual() {
  FILE* f = ctx.fichero_actual;
  ctx.fichero_actual = nullptr;
  ctx.fichero_abierto = 0;
  // The flush at the close is often the only news of a write that failed late.
  if (f == nullptr || plat_cierra_escrito(f)) return true;
  printf("Error al grabar (%s)\n", ctx.ruta_actual);
  return false;
}

// A run through several sessions (varias_sesiones.h): VORTCP_SESIONES, which
// requests may use them, the catalogue's SQL session and the plan that the
// transfer side runs.
#include "app/varias_sesiones.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/catalogo.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "sql/catalogo.h"
#include "sql/intercambio_sql.h"
#include "sql/saludo.h"
#include "transfer/paralelo.h"
#include "transfer/plan.h"
#include "wire/conexion.h"
#include "wire/sesion.h"

namespace {

constexpr int MAX_SESIONES = 16;
int sesiones_pedidas = 1;  // VORTCP_SESIONES, checked at start

// A name of the command line without its padding.
void sin_relleno(char (&dest)[TAM_AJUSTE], const char* nombre) {
  copia_texto(dest, nombre);
  quita_blancos(dest);
}

bool es_generico(const char* nombre) {
  size_t n = strlen(nombre);
  return n > 0 && nombre[n - 1] == '*';
}

// The list modes (MBR, ALL, DAT, DATOS, LISTA) of one library named by its
// own name (not blank, *ALL or a generic name, which the catalogue of one
// library cannot plan), with no member: a member request, and the spool, END
// and WEB modes, keep one session.
bool admite_varias(const char* biblioteca) {
  if (ctx.icodigo != 94 && ctx.icodigo != 95 && ctx.icodigo != 97) return false;
  if (biblioteca[0] == '\0' || strcmp(biblioteca, "*ALL") == 0 || es_generico(biblioteca)) return false;
  return ctx.miembro[0] == ' ';
}

// Reads the catalogue of the library (of one file, when archivo is not
// empty) over an SQL session of its own: the broker's port, the handshake of
// the console, the two queries; the session is closed before it returns.
// Ends the run when the session cannot be opened (its message printed), as
// the run's one session would have. Any other failure is no_disponible.
LecturaCatalogo lee_por_sesion(const char* biblioteca, const char* archivo, Catalogo* catalogo) {
  // The SQL exchange keeps pointing at the session after its close, so it
  // lasts as long as the process; nothing uses it once it is closed.
  static Sesion* sesion = new Sesion();
  sesion->traza = ctx.ftrace;
  int estado = abre_sesion(*sesion);
  if (estado != SALIDA_BIEN) termina(estado);
  establece_sesion_sql(*sesion);
  LecturaCatalogo lectura = LecturaCatalogo::no_disponible;
  if (saludo_web() == 0) lectura = lee_catalogo(biblioteca, archivo, catalogo);
  cierra_sesion(*sesion);
  return lectura;
}

// The plan of the run, or nullptr when it goes on with one session (the
// notice printed). The catalogue is read for the run's file (or the whole
// library, for *ALL or a generic file name: then only the files of that
// prefix are kept) and freed once the plan holds what it needs of it.
Plan* planifica_ejecucion(const char* biblioteca, const char* archivo) {
  bool generico = es_generico(archivo);
  const char* pedido = generico || strcmp(archivo, "*ALL") == 0 ? "" : archivo;
  Catalogo catalogo;
  switch (lee_por_sesion(biblioteca, pedido, &catalogo)) {
    case LecturaCatalogo::no_disponible:
      fflush(stdout);
      fprintf(stderr, "Catalogo no disponible: se usa una sola sesion.\n");
      return nullptr;
    case LecturaCatalogo::biblioteca_desconocida:
      termina_con(SALIDA_ERROR, "Biblioteca %s no encontrada en el servidor\n", biblioteca);
    case LecturaCatalogo::bien:
      break;
  }
  if (generico) {
    size_t n = strlen(archivo) - 1;
    auto fuera = [&](const ArchivoCatalogo& a) { return strncmp(a.nombre, archivo, n) != 0; };
    catalogo.archivos.erase(std::remove_if(catalogo.archivos.begin(), catalogo.archivos.end(), fuera),
                            catalogo.archivos.end());
  }
  return new Plan(planifica(catalogo, ctx.icodigo, pedido, sesiones_pedidas));
}

}  // namespace

bool lee_sesiones() {
  char valor[TAM_AJUSTE];
  if (!toma_env(valor, "VORTCP_SESIONES")) return false;
  if (valor[0] == '\0') return true;
  int n = 0;
  bool bien = true;
  for (const char* p = valor; *p != '\0' && bien; p++) {
    bien = *p >= '0' && *p <= '9';
    if (bien) n = n * 10 + (*p - '0');
    if (n > MAX_SESIONES) bien = false;
  }
  if (!bien || n < 1) {
    printf("Valor no valido en la variable VORTCP_SESIONES (%s)\n", valor);
    return false;
  }
  sesiones_pedidas = n;
  return true;
}

void transfiere_en_varias_sesiones() {
  if (sesiones_pedidas < 2) return;
  char biblioteca[TAM_AJUSTE], archivo[TAM_AJUSTE];
  sin_relleno(biblioteca, ctx.biblioteca);
  sin_relleno(archivo, ctx.archivo);
  if (!admite_varias(biblioteca)) return;
  if (!hay_intermediario()) {
    fflush(stdout);
    fprintf(stderr, "Sin intermediario de sesiones: se usa una sola sesion.\n");
    return;
  }
  Plan* plan = planifica_ejecucion(biblioteca, archivo);
  if (plan != nullptr) transfiere_en_sesiones(*plan, sesiones_pedidas);
}

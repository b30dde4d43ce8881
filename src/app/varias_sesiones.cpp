// A run through several sessions, or one that compares with the index first
// (varias_sesiones.h): VORTCP_SESIONES, VORTCP_INCREMENTAL, VORTCP_ESPEJO and
// VORTCP_SIMULA, which requests may use them, the catalogue's SQL session,
// and the hand-over to the transfer side (the plan, or the comparison).
#include "app/varias_sesiones.h"

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
#include "transfer/solo_cambios.h"
#include "wire/conexion.h"
#include "wire/sesion.h"

namespace {

constexpr int MAX_SESIONES = 16;
constexpr int32_t BUFER_CATALOGO = 28000;  // under a frame, with the reply's own fields
int sesiones_pedidas = 1;                  // VORTCP_SESIONES, checked at start
OpcionesComparacion comparacion;           // VORTCP_INCREMENTAL, VORTCP_ESPEJO, VORTCP_SIMULA

// A name of the command line without its padding.
void sin_relleno(char (&dest)[TAM_AJUSTE], const char* nombre) {
  copia_texto(dest, nombre);
  quita_blancos(dest);
}

bool es_generico(const char* nombre) {
  size_t n = strlen(nombre);
  return n > 0 && nombre[n - 1] == '*';
}

// The file the catalogue is read for: none (the whole library) for *ALL and
// a generic name.
const char* archivo_pedido(const char* archivo) {
  return es_generico(archivo) || strcmp(archivo, "*ALL") == 0 ? "" : archivo;
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
  // The catalogue of a library of thousands of members is fetched block by
  // block, a round trip each: without WWW_BUFSIZE its blocks are nearly a
  // frame (the console's 4,096 would take seven times as many).
  if (saludo_web(BUFER_CATALOGO) == 0) lectura = lee_catalogo(biblioteca, archivo, catalogo);
  cierra_sesion(*sesion);
  return lectura;
}

// The catalogue of the run's library into *catalogo: of the run's file, or
// of the whole library for *ALL or a generic file name. False when it cannot
// be read (the caller says so); a library the catalogue does not know ends
// the run.
bool lee_catalogo_de_la_ejecucion(const char* biblioteca, const char* archivo, Catalogo* catalogo) {
  switch (lee_por_sesion(biblioteca, archivo_pedido(archivo), catalogo)) {
    case LecturaCatalogo::no_disponible:
      fflush(stdout);
      return false;
    case LecturaCatalogo::biblioteca_desconocida:
      termina_con(SALIDA_ERROR, "Biblioteca %s no encontrada en el servidor\n", biblioteca);
    case LecturaCatalogo::bien:
      break;
  }
  return true;
}

// The plan of the run, or nullptr when it goes on with one session (the
// notice printed). A generic file name keeps the files of that prefix.
Plan* planifica_ejecucion(const char* biblioteca, const char* archivo) {
  Catalogo catalogo;
  if (!lee_catalogo_de_la_ejecucion(biblioteca, archivo, &catalogo)) {
    fprintf(stderr, "Catalogo no disponible: se usa una sola sesion.\n");
    return nullptr;
  }
  const char* patron = strcmp(archivo, "*ALL") == 0 ? "" : archivo;
  return new Plan(planifica(catalogo, ctx.icodigo, patron, sesiones_pedidas));
}

}  // namespace

bool lee_sesiones() {
  long n = 0;
  if (!toma_env_numero("VORTCP_SESIONES", MAX_SESIONES, &n)) return false;
  if (n > 0) sesiones_pedidas = (int)n;
  return true;
}

bool lee_comparacion() {
  if (!toma_env_interruptor("VORTCP_INCREMENTAL", &comparacion.incremental) ||
      !toma_env_interruptor("VORTCP_ESPEJO", &comparacion.espejo) ||
      !toma_env_interruptor("VORTCP_SIMULA", &comparacion.simula))
    return false;
  if (!comparacion.simula || ctx.icodigo == 54) return true;
  // A dry run of a request it cannot plan would be a real transfer.
  char biblioteca[TAM_AJUSTE];
  sin_relleno(biblioteca, ctx.biblioteca);
  if (admite_varias(biblioteca)) return true;
  printf(
      "VORTCP_SIMULA solo simula MBR, ALL, DAT, DATOS o LISTA de una biblioteca sin miembro: no se "
      "transfiere nada.\n");
  return false;
}

void transfiere_en_varias_sesiones() {
  bool compara = comparacion.incremental || comparacion.espejo || comparacion.simula;
  if (sesiones_pedidas < 2 && !compara) return;
  char biblioteca[TAM_AJUSTE], archivo[TAM_AJUSTE];
  sin_relleno(biblioteca, ctx.biblioteca);
  sin_relleno(archivo, ctx.archivo);
  if (!admite_varias(biblioteca)) return;
  int sesiones = sesiones_pedidas;
  if (sesiones > 1 && !hay_intermediario()) {
    fflush(stdout);
    fprintf(stderr, "Sin intermediario de sesiones: se usa una sola sesion.\n");
    sesiones = 1;
  }
  if (!compara) {
    if (sesiones < 2) return;
    Plan* plan = planifica_ejecucion(biblioteca, archivo);
    if (plan != nullptr) transfiere_en_sesiones(*plan, sesiones);
    return;
  }
  // One session too reads the catalogue first, then asks for each unit on
  // a connection of its own (through the broker, or straight to SERVPORT).
  static Catalogo* catalogo = new Catalogo();
  if (!lee_catalogo_de_la_ejecucion(biblioteca, archivo, catalogo)) {
    fprintf(stderr, "Catalogo no disponible: se transfiere todo.\n");
    // A dry run that cannot plan says nothing more, and writes nothing.
    if (comparacion.simula) termina(SALIDA_CONEXION);
    return;
  }
  const char* alcance = strcmp(archivo, "*ALL") == 0 ? "" : archivo;
  transfiere_lo_cambiado(catalogo, alcance, sesiones, comparacion);
}

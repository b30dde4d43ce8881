// The transfer road of a run (transferencia.h): VORTCP_SESIONES,
// VORTCP_INCREMENTAL, VORTCP_ESPEJO and VORTCP_SIMULA, which requests may use
// them, the catalogue's SQL session, and the hand-over to the transfer side
// (one session, the plan through several, or the comparison).
#include "app/transferencia.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/informe_json.h"
#include "base/catalogo.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "sql/catalogo.h"
#include "sql/intercambio_sql.h"
#include "sql/saludo.h"
#include "transfer/run/cierre.h"
#include "transfer/run/comparada.h"
#include "transfer/run/peticion.h"
#include "transfer/run/plan.h"
#include "transfer/run/sesiones.h"
#include "transfer/run/una_sesion.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/nombres.h"
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

// A run interrupted before its sessions: nothing written yet, the message
// and the status of the interruption.
int interrumpida() {
  int estado = SALIDA_BIEN;
  if (salida_cerrada(&estado)) return estado;
  printf("Transferencia interrumpida.\n");
  return salida_de_senal(plat_interrupcion());
}

// How the read of the run's catalogue went.
enum class LeidoElCatalogo {
  leido,          // the catalogue is there
  no_disponible,  // it could not be read: the run goes on without it (the caller says so)
  fin             // the run ends with the status given (its message printed)
};

// Reads the catalogue of the library (of one file, when archivo is not
// empty) over an SQL session of its own: the broker's port, the handshake of
// the console, the two queries; the session is closed before it returns.
// A session that cannot be opened ends the run (its message printed, its
// status in *estado), as the run's one session would have. Any other
// failure is no_disponible.
LeidoElCatalogo lee_por_sesion(const char* biblioteca, const char* archivo, Catalogo* catalogo, int* estado) {
  // The SQL exchange keeps pointing at the session after its close, so it
  // lasts as long as the process; nothing uses it once it is closed.
  static Sesion* sesion = new Sesion;  // buffers not zeroed: see transfiere
  sesion->traza = ctx.ftrace;
  *estado = abre_sesion(*sesion);
  if (*estado != SALIDA_BIEN) return LeidoElCatalogo::fin;
  establece_sesion_sql(*sesion);
  LecturaCatalogo lectura = LecturaCatalogo::no_disponible;
  char motivo[TAM_MOTIVO_CATALOGO] = "";
  // The catalogue of a library of thousands of members is fetched block by
  // block, a round trip each: without WWW_BUFSIZE its blocks are nearly a
  // frame (the console's 4,096 would take seven times as many).
  if (saludo_web(BUFER_CATALOGO) == 0) lectura = lee_catalogo(biblioteca, archivo, catalogo, motivo);
  cierra_sesion(*sesion);
  // Names that could not be a header's are no catalogue to plan with.
  if (lectura == LecturaCatalogo::bien && !catalogo_valido(*catalogo, motivo, sizeof motivo))
    lectura = LecturaCatalogo::no_valido;
  switch (lectura) {
    case LecturaCatalogo::no_valido:
      fflush(stdout);
      imprime_del_servidor(stderr, "Catalogo no valido (%s)\n", motivo);
      *catalogo = Catalogo{};
      return LeidoElCatalogo::no_disponible;
    case LecturaCatalogo::no_disponible:
      fflush(stdout);
      return LeidoElCatalogo::no_disponible;
    case LecturaCatalogo::biblioteca_desconocida:
      printf("Biblioteca %s no encontrada en el servidor\n", biblioteca);
      *estado = SALIDA_ERROR;
      return LeidoElCatalogo::fin;
    case LecturaCatalogo::bien:
      break;
  }
  return LeidoElCatalogo::leido;
}

// The run through a plan or a comparison, when the request may have one and
// asks for it: true with the run's status in *estado. False when the run
// goes on with one session as always (a notice printed where one is due).
bool transfiere_con_catalogo(Compartido& comun, const Peticion& p, int* estado) {
  bool compara = comparacion.incremental || comparacion.espejo || comparacion.simula;
  if (sesiones_pedidas < 2 && !compara) return false;
  char biblioteca[TAM_AJUSTE], archivo[TAM_AJUSTE];
  sin_relleno(biblioteca, p.biblioteca);
  sin_relleno(archivo, p.archivo);
  if (!admite_varias(biblioteca)) return false;
  int sesiones = sesiones_pedidas;
  if (sesiones > 1 && !hay_intermediario()) {
    fflush(stdout);
    fprintf(stderr, "Sin intermediario de sesiones: se usa una sola sesion.\n");
    sesiones = 1;
  }
  if (!compara && sesiones < 2) return false;
  // The file the catalogue is read for, and the run's scope within it: *ALL
  // is every file, a generic name those of its prefix.
  const char* alcance = strcmp(archivo, "*ALL") == 0 ? "" : archivo;
  auto catalogo = std::make_unique<Catalogo>();
  LeidoElCatalogo lectura = lee_por_sesion(biblioteca, archivo_pedido(archivo), catalogo.get(), estado);
  // Ctrl-C or SIGTERM while the catalogue was read: nothing was written.
  if (plat_interrupcion() != 0) {
    *estado = interrumpida();
    return true;
  }
  switch (lectura) {
    case LeidoElCatalogo::fin:
      return true;
    case LeidoElCatalogo::no_disponible:
      if (!compara) {
        fprintf(stderr, "Catalogo no disponible: se usa una sola sesion.\n");
        return false;
      }
      fprintf(stderr, "Catalogo no disponible: se transfiere todo.\n");
      // A dry run that cannot plan says nothing more, and writes nothing.
      if (!comparacion.simula) return false;
      *estado = SALIDA_CONEXION;
      return true;
    case LeidoElCatalogo::leido:
      break;
  }
  if (!compara) {
    Plan plan = planifica(*catalogo, p.icodigo, alcance, sesiones);
    // The report names the planned objects that a unit lost for good never
    // brought.
    if (comun.informe.activo) {
      char fechad[TAM_AJUSTE], horad[TAM_AJUSTE];
      sin_relleno(fechad, p.fechad);
      sin_relleno(horad, p.horad);
      Alcance todo{p.icodigo, alcance, fechad, horad, sesiones, false, true};
      Comparacion previstos = compara_con_indice(*catalogo, todo, {}, plat_es_fichero, copia_intacta);
      for (const ObjetoComparado& o : previstos.a_recibir)
        comun.informe.previstos.push_back(entrada_de(o, ESTADO_RECIBIRIA));
    }
    catalogo.reset();
    *estado = transfiere_en_sesiones(comun, p, plan, sesiones);
    return true;
  }
  // One session too reads the catalogue first, then asks for each unit on
  // a connection of its own (through the broker, or straight to SERVPORT).
  *estado = transfiere_lo_cambiado(comun, p, catalogo.get(), alcance, sesiones, comparacion);
  return true;
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

namespace {

// The transfer itself, its settings read and checked: through a plan or a
// comparison, or over one session.
int transfiere(Compartido& comun, const Peticion& p) {
  int estado = SALIDA_BIEN;
  if (transfiere_con_catalogo(comun, p, &estado)) return estado;
  // Default-initialized (new Sesion, not make_unique): its frame buffers are
  // written before they are read, and zeroing their 120 KB would make every
  // page of them resident in a run that uses a fraction.
  std::unique_ptr<Sesion> sesion(new Sesion);
  sesion->traza = ctx.ftrace;
  estado = abre_sesion(*sesion);
  if (estado != SALIDA_BIEN) return plat_interrupcion() != 0 ? interrumpida() : estado;
  return transfiere_en_una_sesion(comun, p, *sesion);
}

}  // namespace

int corre_transferencia(int (*arranca)()) {
  DatosInforme datos;
  bool informe_bien = prepara_informe(&datos);
  int estado = informe_bien ? arranca() : SALIDA_ERROR;
  std::unique_ptr<Compartido> comun;
  if (estado == SALIDA_BIEN) {
    // From here on Ctrl-C and SIGTERM end the run through its own end, not
    // the process at once: the catalogue's read, the lock's wait and the
    // deletions included.
    plat_vigila_interrupciones();
    datos.peticion = peticion_de_la_ejecucion();
    comun = std::make_unique<Compartido>();
    comun->indexa = indexa(datos.peticion);
    comun->informe.activo = datos.ruta[0] != '\0';
    estado = transfiere(*comun, datos.peticion);
  } else {
    datos.peticion = peticion_de_la_ejecucion();
  }
  datos.fin = plat_fecha_hora_utc();
  datos.modo = ctx.modo;
  datos.sesiones = sesiones_pedidas;
  datos.incremental = comparacion.incremental;
  datos.espejo = comparacion.espejo;
  datos.simula = comparacion.simula;
  datos.estado = estado;
  // A report that cannot be written fails a run that went well; one that
  // failed keeps its own status.
  if (!escribe_informe(datos, comun.get()) && estado == SALIDA_BIEN) estado = SALIDA_ERROR;
  return estado;
}

// The connection of a run: the start of sockets and the connection settings,
// the code page tables, the optional session broker that hands out the port of
// a free session, the session socket ctx.sd and, in WEB mode, the handshake
// (messages 01 and 20) that opens the SQL session.
#include "main/conexion.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "main/contexto.h"
#include "main/fin.h"
#include "main/plataforma.h"
#include "main/texto.h"
#include "wire/tablas.h"
#include "wire/trama.h"

namespace {

constexpr int TAM_RESPUESTA_BROKER = 10000;
constexpr int OFFSET_SIN_SESION = 99999;   // the broker has no free session
constexpr int SLOTS_SALUDO = 4;            // slots 1 to 3 take part in the handshake

// The server name, read once per connection as the program always did.
char servidor_broker[TAM_AJUSTE];
char servidor_sesion[TAM_AJUSTE];

// Fills *direccion from a dotted address or a host look-up. False when the
// name is not found; `linea_busqueda` is printed before a look-up (NULL: none).
bool resuelve(const char* nombre, const char* linea_busqueda, uint32_t* direccion) {
  if (plat_direccion_punteada(nombre, direccion)) return true;
  if (linea_busqueda != nullptr) printf(linea_busqueda, nombre);
  return plat_busca_host(nombre, direccion);
}

// Reads from the broker until `total` holds at least `necesarios` bytes.
// False when the broker fails or closes first.
bool lee_broker(socket_t s, int* total, int necesarios) {
  while (*total < necesarios) {
    long n = plat_recibe(s, ctx.sbuffer + *total, (size_t)(TAM_RESPUESTA_BROKER - *total));
    if (n < 1) return false;
    *total += (int)n;
  }
  return true;
}

[[noreturn]] void falla_lectura_broker() {
  fprintf(stderr, "Error en la lectura de datos ...\n: %s\n", plat_describe_error());
  termina(-1);
}

// Decimal field of the broker reply, which is EBCDIC: converted with the
// built-in table before it is read.
int32_t campo_broker(int offset, int ancho) {
  char texto[8];
  for (int i = 0; i < ancho; i++) texto[i] = (char)ebc_fija[(unsigned char)ctx.sbuffer[offset + i]];
  texto[ancho] = '\0';
  return lee_entero(texto);
}

// The port exchange with the session broker on SERVPORT: the unframed request
// 9700007, a reply whose offset n moves the session to SERVPORT + n + 1.
// Every failure ends the run with exit status -1.
void pide_puerto_al_broker() {
  socket_t s = plat_crea_socket();
  if (s == SOCKET_INVALIDO) termina_con(-1, "Error al ejecutar funcion socket. \n");
  printf("(1) Servidor detectado (%s) ...\n", servidor_broker);
  if (ctx.test == 1) printf("Informa servercon (%s) ...\n", servidor_broker);
  uint32_t direccion = 0;
  if (!resuelve(servidor_broker, "Obtiene ip servidor (%s) ...\n", &direccion))
    termina_con(-1, "HOST no encontrado ");
  printf("Inicia la conexion al servidor (%s) ...\n", servidor_broker);
  if (plat_conecta(s, direccion, ctx.puerto) != 0) {
    int codigo = plat_error_red();
    formatea(ctx.strabajo,
             "(1) Error de conexion al AS/400 identificado como (%s) puerto (%d).\n"
             "Chequee esta identificacion y/o asegurese que se ejecuta el proceso ZIZEZ/400 en "
             "el AS/400.\nrc=%d",
             servidor_broker, ctx.puerto, codigo);
    termina_con(-1, "Fallo en la operacion connect ...\n%s\n", ctx.strabajo);
  }

  ctx.ilen = formatea(ctx.sbuffer, "%.2d%.5d", 97, 7);
  printf("Envia NT->AS/400: [%s]\n", ctx.sbuffer);
  unsigned char peticion[7];
  for (int i = 0; i < 7; i++) peticion[i] = asc_fija[(unsigned char)ctx.sbuffer[i]];
  plat_envia(s, peticion, sizeof peticion);  // a failed send shows as a missing reply

  // The reply may come in pieces: read until the fields that are read are
  // all there, or the broker closes.
  int total = 0;
  if (!lee_broker(s, &total, 7)) falla_lectura_broker();
  int32_t n = campo_broker(2, 5);
  if (n == OFFSET_SIN_SESION) {
    if (!lee_broker(s, &total, 12)) falla_lectura_broker();
    int32_t maximo = campo_broker(7, 5);
    formatea(ctx.strabajo,
             "(2) Error de conexion al AS/400 identificado como (%s) puerto (%d).\n"
             "Superado el numero maximo de sesiones definidas (%d).\n",
             servidor_broker, ctx.puerto, maximo);
    termina_con(-1, "%s\n", ctx.strabajo);
  }
  // Only the low 16 bits of the port count; the sum is made wide so that no
  // setting can overflow it.
  ctx.puerto = (int32_t)(uint32_t)((int64_t)ctx.puerto + n + 1);
  plat_cierra_socket(s);
}

// Connects ctx.sd to SERVIDOR on ctx.puerto. Every failure ends the run with
// exit status -1 (a socket that cannot be created fails at the connect).
void conecta_servidor() {
  ctx.sd = plat_crea_socket();
  if (ctx.sd == SOCKET_INVALIDO) {
    printf("h_errno = %d\n", plat_error_red());
    printf("sd=%d \n", (int)ctx.sd);
    const char* error = plat_describe_error();
    fprintf(stderr, "%s\n", error);
    fprintf(stderr, "socket() failed: %s\n", error);
  }
  if (ctx.test == 1) printf("Servidor detectado (%s) ...\n", servidor_sesion);
  if (ctx.test == 1) printf("Informa serveraddr (%s) ...\n", servidor_sesion);
  uint32_t direccion = 0;
  if (!resuelve(servidor_sesion, ctx.test == 1 ? "Obtiene ip servidor (%s) ...\n" : nullptr,
                &direccion)) {
    printf("HOST NOT FOUND --> ");
    termina_con(-1, "h_errno = %d\n", plat_error_red());
  }
  if (ctx.test == 1) printf("Inicia la conexion al servidor (%s) ...\n", servidor_sesion);
  if (plat_conecta(ctx.sd, direccion, ctx.puerto) != 0) {
    const char* error = plat_describe_error();
    printf("Error de conexion.\n");
    fflush(stdout);
    fprintf(stderr, "connect() failed: %s\n", error);
    plat_cierra_socket(ctx.sd);
    ctx.sd = SOCKET_INVALIDO;
    termina(-1);
  }
}

// Claims the first free slot of 1 to 3 for the session; its descriptor area
// is allocated on first claim and kept for the rest of the run. No memory for
// it ends the run with exit status 1.
void reclama_slot() {
  for (int i = 1; i < SLOTS_SALUDO; i++) {
    CursorSlot& slot = ctx.tabla_cursores[i];
    slot.en_uso = slot.sesion = slot.activo = 0;
    slot.reservado1 = slot.reservado2 = 0;
  }
  for (int i = 1; i < SLOTS_SALUDO; i++) {
    CursorSlot& slot = ctx.tabla_cursores[i];
    if (slot.en_uso != 0) continue;
    slot.en_uso = 1;
    slot.sesion = ctx.isesion;
    if (slot.area_asignada == 0) {
      slot.area = new (std::nothrow) AreaCursor();
      if (slot.area == nullptr) termina_con(1, "No hay memoria para el area del cursor %d.\n", i);
      slot.area->ultima_columna = -1;
      slot.area_asignada = 1;
    }
    slot.activo = 1;
    return;
  }
}

// Sends the message in ctx.sbuffer and reads its reply into it, with the
// exchange lines at test level 1 or more. A negative framing result ends the
// run with that result as exit status.
void intercambia_saludo() {
  if (ctx.test >= 1) printf("Envia : [%s]\n", ctx.sbuffer);
  int rc = Env_VORTCP_sql(ctx.sd, ctx.sbuffer, ctx.en_ebcdic);
  if (rc < 0) termina(rc);
  if (ctx.test >= 1) printf("Enviado: rc=%d [%s]\n", rc, ctx.sbuffer);
  rc = Rec_VORTCP_sql(ctx.sd, ctx.sbuffer, 0, 0);
  if (rc < 0) termina(rc);
  if (ctx.test >= 1) printf("Recibe: rc=%d  [%s]\n", rc, ctx.sbuffer);
}

}  // namespace

void conecta_sesion() {
  if (ctx.test == 1) printf("Inicio socket en Windows ...\n");
  int rc = plat_inicia_red();
  if (rc != 0) termina_con(-1, "WSAStartup failed: error code = %d\n", rc);
  if (ctx.test == 1) printf("Inicio llamada socket ...\n");

  toma_env(ctx.multias, "MULTIAS");
  toma_env(ctx.base, "BASE");
  ctx.puerto = toma_env_entero("SERVPORT");
  toma_env(servidor_broker, "SERVIDOR");
  toma_env(servidor_sesion, "SERVIDOR");
  prepara_tablas();

  if (ctx.multias[0] == '1') pide_puerto_al_broker();
  conecta_servidor();
}

void saludo_web() {
  // Every setting is read, and its length checked, before the first message
  // goes out.
  static char libl[TAM_LIBL];
  char ebcdic[TAM_AJUSTE];
  char compri[TAM_AJUSTE];
  toma_env(ebcdic, "WWW_EBCDIC");
  toma_env(compri, "WWW_COMPRI");
  toma_env(libl, "WWW_LIBL");

  ctx.isesion = 1;
  reclama_slot();
  ctx.en_ebcdic = lee_entero(ebcdic);
  ctx.ibufsize = env_no_vacia("WWW_BUFSIZE") ? toma_env_entero("WWW_BUFSIZE") : 4096;

  // Message 01: its length field counts the whole message.
  ctx.ilen = (int32_t)strlen(libl) + 15;
  formatea(ctx.sbuffer, "01%.3d%.5d%.5d%s", ctx.isesion, ctx.ibufsize, ctx.ilen, libl);
  intercambia_saludo();

  // Message 20: its length field is the options text plus 15, five more than
  // the message itself; the server reads it that way.
  copia_texto(ctx.strabajo, ebcdic);
  formatea(ctx.slinea, "WWW_COMPRI=%s,WWW_EBCDIC=%s", compri, ctx.strabajo);
  ctx.ilen = (int32_t)strlen(ctx.slinea) + 15;
  formatea(ctx.sbuffer, "20%.3d%.5d%s", ctx.isesion, ctx.ilen, ctx.slinea);
  intercambia_saludo();
}

// The connection of a run: the start of sockets and the connection settings,
// the code page tables, the optional session broker that hands out the port of
// a free session, and the session socket ctx.sd.
#include "wire/conexion.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "wire/lector.h"
#include "wire/tablas.h"
#include "wire/trama.h"

namespace {

constexpr int TAM_RESPUESTA_BROKER = 10000;
constexpr int OFFSET_SIN_SESION = 99999;  // the broker has no free session

// The server name, read once per connection as the program always did.
char servidor_broker[TAM_AJUSTE];
char servidor_sesion[TAM_AJUSTE];
// SERVPORT, raised by the broker's offset + 1.
int32_t puerto;
// The broker's reply as received (it is not framed).
char respuesta_broker[TAM_RESPUESTA_BROKER];

// Fills *direccion from a dotted address or a host look-up. False when the
// name is not found; with anuncia, a look-up is announced first.
bool resuelve(const char* nombre, bool anuncia, uint32_t* direccion) {
  if (plat_direccion_punteada(nombre, direccion)) return true;
  if (anuncia) printf("Obtiene ip servidor (%s) ...\n", nombre);
  return plat_busca_host(nombre, direccion);
}

enum class LecturaBroker { completa, cerrada, fallida };

// Reads from the broker until `total` holds at least `necesarios` bytes, or
// the broker closes or the receive fails first.
LecturaBroker lee_broker(socket_t s, int* total, int necesarios) {
  while (*total < necesarios) {
    long n = plat_recibe(s, respuesta_broker + *total, (size_t)(TAM_RESPUESTA_BROKER - *total));
    if (n == 0) return LecturaBroker::cerrada;
    if (n < 0) return LecturaBroker::fallida;
    *total += (int)n;
  }
  return LecturaBroker::completa;
}

// A reply cut short by the broker's close has no system error behind it: the
// error text left over from an earlier call would say something false.
void exige_broker(socket_t s, int* total, int necesarios) {
  LecturaBroker r = lee_broker(s, total, necesarios);
  if (r == LecturaBroker::completa) return;
  const char* motivo =
      r == LecturaBroker::cerrada ? "el intermediario cerro la conexion" : plat_describe_error();
  fprintf(stderr, "Error en la lectura de datos ...\n: %s\n", motivo);
  termina(-1);
}

// Decimal field of the broker reply (its first `total` bytes), which is
// EBCDIC: read through the built-in table.
int32_t campo_broker(int total, int offset, int ancho) {
  return lee_numero(mensaje_de(respuesta_broker, total, ebc_fija), offset, ancho);
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
  if (!resuelve(servidor_broker, true, &direccion)) termina_con(-1, "HOST no encontrado ");
  printf("Inicia la conexion al servidor (%s) ...\n", servidor_broker);
  if (plat_conecta(s, direccion, puerto) != 0) {
    int codigo = plat_error_red();
    char texto[TAM_AJUSTE * 2 + 256];
    formatea(texto,
             "(1) Error de conexion al AS/400 identificado como (%s) puerto (%d).\n"
             "Chequee esta identificacion y/o asegurese que se ejecuta el proceso ZIZEZ/400 en "
             "el AS/400.\nrc=%d",
             servidor_broker, puerto, codigo);
    termina_con(-1, "Fallo en la operacion connect ...\n%s\n", texto);
  }

  formatea(ctx.sbuffer, "%.2d%.5d", 97, 7);
  printf("Envia NT->AS/400: [%s]\n", ctx.sbuffer);
  unsigned char peticion[7];
  for (int i = 0; i < 7; i++) peticion[i] = asc_fija[(unsigned char)ctx.sbuffer[i]];
  plat_envia(s, peticion, sizeof peticion);  // a failed send shows as a missing reply

  // The reply may come in pieces: read until the fields that are read are
  // all there, or the broker closes.
  int total = 0;
  exige_broker(s, &total, 7);
  int32_t n = campo_broker(total, 2, 5);
  if (n == OFFSET_SIN_SESION) {
    exige_broker(s, &total, 12);
    int32_t maximo = campo_broker(total, 7, 5);
    char texto[TAM_AJUSTE * 2 + 256];
    formatea(texto,
             "(2) Error de conexion al AS/400 identificado como (%s) puerto (%d).\n"
             "Superado el numero maximo de sesiones definidas (%d).\n",
             servidor_broker, puerto, maximo);
    termina_con(-1, "%s\n", texto);
  }
  // Only the low 16 bits of the port count; the sum is made wide so that no
  // setting can overflow it.
  puerto = (int32_t)(uint32_t)((int64_t)puerto + n + 1);
  plat_cierra_socket(s);
}

// Connects ctx.sd to SERVIDOR on puerto. Every failure ends the run with
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
  if (!resuelve(servidor_sesion, ctx.test == 1, &direccion)) {
    printf("HOST NOT FOUND --> ");
    termina_con(-1, "h_errno = %d\n", plat_error_red());
  }
  if (ctx.test == 1) printf("Inicia la conexion al servidor (%s) ...\n", servidor_sesion);
  if (plat_conecta(ctx.sd, direccion, puerto) != 0) {
    const char* error = plat_describe_error();
    printf("Error de conexion.\n");
    fflush(stdout);
    fprintf(stderr, "connect() failed: %s\n", error);
    plat_cierra_socket(ctx.sd);
    ctx.sd = SOCKET_INVALIDO;
    termina(-1);
  }
}

}  // namespace

void conecta_sesion() {
  if (ctx.test == 1) printf("Inicio socket en Windows ...\n");
  int rc = plat_inicia_red();
  if (rc != 0) termina_con(-1, "WSAStartup failed: error code = %d\n", rc);
  if (ctx.test == 1) printf("Inicio llamada socket ...\n");

  char multias[TAM_AJUSTE];
  toma_env(multias, "MULTIAS");
  toma_env(ctx.base, "BASE");
  puerto = toma_env_entero("SERVPORT");
  toma_env(servidor_broker, "SERVIDOR");
  toma_env(servidor_sesion, "SERVIDOR");
  prepara_tablas();

  if (multias[0] == '1') pide_puerto_al_broker();
  conecta_servidor();
}

void cierra_sesion() {
  plat_cierra_socket(ctx.sd);
  ctx.sd = SOCKET_INVALIDO;
}

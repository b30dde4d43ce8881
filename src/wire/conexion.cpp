// The connection of a run: the start of sockets and the connection settings
// (TLS's among them), the code page tables, the optional session broker that
// hands out the port of a free session, and the socket of each session, with
// TLS over every one of them when the run asks for it.
#include "wire/conexion.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "platform/tls.h"
#include "wire/canal.h"
#include "wire/lector.h"
#include "wire/tablas.h"
#include "wire/trama.h"

namespace {

constexpr int TAM_RESPUESTA_BROKER = 10000;
constexpr int OFFSET_SIN_SESION = 99999;  // the broker has no free session
// The longest wait for the broker's reply, and for a TLS handshake; a shorter
// VORTCP_ESPERA shortens it.
constexpr int ESPERA_CORTA_S = 30;
constexpr int MAX_ESPERA_S = 86400;  // VORTCP_ESPERA: one day at most

// The connection settings, read once by prepara_conexion and only read after.
struct AjustesConexion {
  char servidor[TAM_AJUSTE];  // SERVIDOR
  int32_t puerto;             // SERVPORT: the server's, or the broker's
  bool con_broker;            // MULTIAS starts with 1
  // VORTCP_TLS=1: the client's certificates and the settings of every
  // handshake; nullptr for plain TCP.
  ClienteTls* tls;
  char nombre_tls[TAM_AJUSTE];  // the name the server's certificate must carry
};
AjustesConexion ajustes;

// The broker's reply as received (it is not framed): the bytes read so far.
struct RespuestaBroker {
  char bytes[TAM_RESPUESTA_BROKER];
  int total = 0;
};

// The failure lines of a later session come from its own thread while other
// sessions write their result lines: each block of them is written whole
// under the lock of the console's lines (pantalla.h). The first session's
// come before any other session runs, and take no lock. A later session's
// failure is said once per run: a server that went away fails every unit's
// try the same way, and the run says which units it could not transfer.
struct LineasDeFallo {
  std::unique_lock<std::mutex> cerrojo;
  bool dice;  // the lines are to be printed
};
std::atomic<bool> fallo_de_otra_sesion_dicho{false};
LineasDeFallo lineas_de_fallo(bool anuncia) {
  if (anuncia) return LineasDeFallo{std::unique_lock<std::mutex>(), true};
  bool primero = !fallo_de_otra_sesion_dicho.exchange(true);
  return LineasDeFallo{std::unique_lock<std::mutex>(cerrojo_salida()), primero};
}

// Fills *direccion from a dotted address or a host look-up. False when the
// name is not found; with anuncia, a look-up is announced first.
bool resuelve(const char* nombre, bool anuncia, uint32_t* direccion) {
  if (plat_direccion_punteada(nombre, direccion)) return true;
  if (anuncia) printf("Obtiene ip servidor (%s) ...\n", nombre);
  return plat_busca_host(nombre, direccion);
}

enum class LecturaBroker { completa, cerrada, fallida, sin_respuesta };

// The longest wait for the broker's reply or a handshake, in ms.
int espera_corta_ms() {
  int segundos = ESPERA_CORTA_S;
  if (limite_espera() > 0 && limite_espera() < segundos) segundos = limite_espera();
  return segundos * 1000;
}

// Reads from the broker until the reply holds at least `necesarios` bytes, or
// the broker closes, the receive fails, or the time runs out (the whole
// reply within the broker's wait, from `desde` on) first.
LecturaBroker lee_broker(socket_t s, ConexionTls* tls, RespuestaBroker& r, int necesarios, int64_t desde) {
  int limite_ms = espera_corta_ms();
  int plazo_ms = 0;  // the broker's socket is its own, used only here
  while (r.total < necesarios) {
    int64_t queda = desde + limite_ms - plat_reloj_ms();
    if (queda <= 0) return LecturaBroker::sin_respuesta;
    long n = canal_recibe_con_plazo(s, tls, r.bytes + r.total, (size_t)(TAM_RESPUESTA_BROKER - r.total),
                                    (int)queda, &plazo_ms);
    if (n == PLAT_SIN_DATOS) return LecturaBroker::sin_respuesta;
    if (n == 0) return LecturaBroker::cerrada;
    if (n < 0) return LecturaBroker::fallida;
    r.total += (int)n;
  }
  return LecturaBroker::completa;
}

// A reply cut short by the broker's close, or one that never came, has no
// system error behind it: the error text left over from an earlier call
// would say something false. False after the message.
bool exige_broker(socket_t s, ConexionTls* tls, RespuestaBroker& r, int necesarios, int64_t desde,
                  bool anuncia) {
  LecturaBroker l = lee_broker(s, tls, r, necesarios, desde);
  if (l == LecturaBroker::completa) return true;
  // An interrupted run says so itself, once.
  if (plat_interrupcion() != 0) return false;
  const char* motivo = l == LecturaBroker::cerrada         ? "el intermediario cerro la conexion"
                       : l == LecturaBroker::sin_respuesta ? "el intermediario no respondio"
                                                           : plat_describe_error();
  auto fallo = lineas_de_fallo(anuncia);
  if (!fallo.dice) return false;
  fflush(stdout);
  fprintf(stderr, "Error en la lectura de datos ...\n: %s\n", motivo);
  return false;
}

// Decimal field of the broker reply, which is EBCDIC: read through the
// built-in table.
int32_t campo_broker(const RespuestaBroker& r, int offset, int ancho) {
  return lee_numero(mensaje_de(r.bytes, r.total, ebc_fija), offset, ancho);
}

// The offset field, bytes 2 to 6: five decimal digits (no sign, no blank).
bool offset_de_cinco_digitos(const RespuestaBroker& r) {
  Mensaje m = mensaje_de(r.bytes, r.total, ebc_fija);
  for (int i = 2; i < 7; i++) {
    int c = lee_byte(m, i);
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A reply that would send the session to a port that is no port, or that
// does not read as an offset at all: the reply as it came (through the
// built-in table, as its fields are read; control bytes shown as "?" on a
// terminal).
void respuesta_no_valida(const RespuestaBroker& r) {
  char texto[TAM_RESPUESTA_BROKER + 1];
  Mensaje m = mensaje_de(r.bytes, r.total, ebc_fija);
  for (int i = 0; i < r.total; i++) texto[i] = (char)lee_byte(m, i);
  texto[r.total] = '\0';
  imprime_del_servidor(stdout, "Respuesta no valida del intermediario (%s)\n", texto);
}

// The reason of a refused handshake, as the message shows it.
void describe_rechazo(RechazoTls rechazo, char (&motivo)[TAM_AJUSTE + 64]) {
  switch (rechazo) {
    case RechazoTls::no_confiable:
      formatea(motivo, "certificado no confiable");
      return;
    case RechazoTls::nombre:
      formatea(motivo, "el certificado no es de %s", ajustes.nombre_tls);
      return;
    case RechazoTls::caducado:
      formatea(motivo, "certificado caducado");
      return;
    case RechazoTls::aun_no_valido:
      formatea(motivo, "certificado aun no valido");
      return;
    case RechazoTls::no_valido:
      formatea(motivo, "certificado no valido");
      return;
    case RechazoTls::pide_certificado:
      formatea(motivo, "el servidor exige un certificado de cliente");
      return;
    case RechazoTls::certificado_rechazado:
      formatea(motivo, "certificado de cliente rechazado");
      return;
    case RechazoTls::sin_respuesta:
      formatea(motivo, "negociacion sin respuesta en %d s", espera_corta_ms() / 1000);
      return;
    case RechazoTls::interrumpida:
    case RechazoTls::negociacion:
      break;
  }
  formatea(motivo, "negociacion fallida");
}

// The TLS handshake over the connected socket s when the run asks for TLS:
// *tls gets the connection, or stays nullptr for plain TCP. False after
// "Conexion TLS rechazada (%s)\n" on standard error (an interrupted run says
// so itself, once), before any byte of the protocol is sent.
bool abre_tls(socket_t s, bool anuncia, ConexionTls** tls) {
  *tls = nullptr;
  if (ajustes.tls == nullptr) return true;
  RechazoTls rechazo = RechazoTls::negociacion;
  *tls = plat_tls_conecta(ajustes.tls, s, ajustes.nombre_tls, espera_corta_ms(), &rechazo);
  if (*tls != nullptr) return true;
  if (rechazo == RechazoTls::interrumpida) return false;
  char motivo[TAM_AJUSTE + 64];
  describe_rechazo(rechazo, motivo);
  auto fallo = lineas_de_fallo(anuncia);
  if (!fallo.dice) return false;
  fflush(stdout);
  fprintf(stderr, "Conexion TLS rechazada (%s)\n", motivo);
  fflush(stderr);
  return false;
}

// What the broker's exchange came to.
enum class Broker {
  puerto,      // *puerto is the session's port
  sin_sesion,  // no free session: *maximo is the broker's maximum, nothing printed
  fallo        // the message of what failed is printed
};

// The port exchange with the session broker on SERVPORT over socket s (over
// TLS in *tls when the run asks for it; the caller ends it): the unframed
// request 9700007, a reply whose offset n moves the session to SERVPORT + n +
// 1, left in *puerto. With anuncia, the lines of a run's first session ("(1)
// Servidor detectado", the look-up, "Inicia la conexion", "Envia
// NT->AS/400") are printed; failures always are.
Broker intercambio_con_broker(socket_t s, ConexionTls** tls, int32_t* puerto, bool anuncia, int32_t* maximo) {
  const char* servidor_broker = ajustes.servidor;
  if (anuncia) printf("(1) Servidor detectado (%s) ...\n", servidor_broker);
  if (anuncia && ctx.test == 1) printf("Informa servercon (%s) ...\n", servidor_broker);
  uint32_t direccion = 0;
  if (!resuelve(servidor_broker, anuncia, &direccion)) {
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) printf("HOST no encontrado ");
    return Broker::fallo;
  }
  if (anuncia) printf("Inicia la conexion al servidor (%s) ...\n", servidor_broker);
  if (plat_conecta(s, direccion, *puerto) != 0) {
    int codigo = plat_error_red();
    char texto[TAM_AJUSTE * 2 + 256];
    formatea(texto,
             "(1) Error de conexion al AS/400 identificado como (%s) puerto (%d).\n"
             "Chequee esta identificacion y/o asegurese que se ejecuta el proceso ZIZEZ/400 en "
             "el AS/400.\nrc=%d",
             servidor_broker, *puerto, codigo);
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) printf("Fallo en la operacion connect ...\n%s\n", texto);
    return Broker::fallo;
  }
  if (!abre_tls(s, anuncia, tls)) return Broker::fallo;

  char texto_peticion[16];
  formatea(texto_peticion, "%.2d%.5d", 97, 7);
  if (anuncia) printf("Envia NT->AS/400: [%s]\n", texto_peticion);
  unsigned char peticion[7];
  for (int i = 0; i < 7; i++) peticion[i] = asc_fija[(unsigned char)texto_peticion[i]];
  canal_envia(s, *tls, peticion, sizeof peticion);  // a failed send shows as a missing reply

  // The reply may come in pieces: read until the fields that are read are
  // all there, or the broker closes, or it has taken too long.
  RespuestaBroker r;
  int64_t desde = plat_reloj_ms();
  if (!exige_broker(s, *tls, r, 7, desde, anuncia)) return Broker::fallo;
  if (!offset_de_cinco_digitos(r)) {
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) respuesta_no_valida(r);
    return Broker::fallo;
  }
  int32_t n = campo_broker(r, 2, 5);
  if (n == OFFSET_SIN_SESION) {
    if (!exige_broker(s, *tls, r, 12, desde, anuncia)) return Broker::fallo;
    *maximo = campo_broker(r, 7, 5);
    return Broker::sin_sesion;
  }
  // Only the low 16 bits of a port count, so a sum past 65535 would wrap
  // round to some other port (the broker's own among them): such an offset
  // is refused. The sum is made wide so that no setting can overflow it.
  int64_t sesion = (int64_t)*puerto + n + 1;
  if (sesion > 65535) {
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) respuesta_no_valida(r);
    return Broker::fallo;
  }
  *puerto = (int32_t)sesion;
  return Broker::puerto;
}

// The broker's socket, for the one exchange. Returns as intercambio_con_broker.
Broker pide_puerto_al_broker(int32_t* puerto, bool anuncia, int32_t* maximo) {
  socket_t s = plat_crea_socket();
  if (s == SOCKET_INVALIDO) {
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) printf("Error al ejecutar funcion socket. \n");
    return Broker::fallo;
  }
  ConexionTls* tls = nullptr;
  Broker b = intercambio_con_broker(s, &tls, puerto, anuncia, maximo);
  plat_tls_cierra(tls);
  plat_cierra_socket(s);
  return b;
}

// Connects s.sd to SERVIDOR on puerto. Returns SALIDA_BIEN, or
// SALIDA_CONEXION after the message of what failed (a socket that cannot be
// created fails at the connect), with s.sd closed.
int conecta_servidor(Sesion& s, int32_t puerto, bool anuncia) {
  const char* servidor_sesion = ajustes.servidor;
  s.sd = plat_crea_socket();
  s.plazo_ms = 0;
  if (s.sd == SOCKET_INVALIDO) {
    // The error is read before the lock is taken, which may wait.
    int codigo = plat_error_red();
    const char* error = plat_describe_error();
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) {
      printf("h_errno = %d\n", codigo);
      printf("sd=%d \n", (int)s.sd);
      fprintf(stderr, "%s\n", error);
      fprintf(stderr, "socket() failed: %s\n", error);
    }
  }
  bool lineas_de_prueba = anuncia && ctx.test == 1;
  if (lineas_de_prueba) printf("Servidor detectado (%s) ...\n", servidor_sesion);
  if (lineas_de_prueba) printf("Informa serveraddr (%s) ...\n", servidor_sesion);
  uint32_t direccion = 0;
  if (!resuelve(servidor_sesion, lineas_de_prueba, &direccion)) {
    int codigo = plat_error_red();
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) {
      printf("HOST NOT FOUND --> ");
      printf("h_errno = %d\n", codigo);
    }
    cierra_sesion(s);
    return SALIDA_CONEXION;
  }
  if (lineas_de_prueba) printf("Inicia la conexion al servidor (%s) ...\n", servidor_sesion);
  if (plat_conecta(s.sd, direccion, puerto) != 0) {
    const char* error = plat_describe_error();
    auto fallo = lineas_de_fallo(anuncia);
    if (fallo.dice) {
      printf("Error de conexion.\n");
      fflush(stdout);
      fprintf(stderr, "connect() failed: %s\n", error);
    }
    cierra_sesion(s);
    return SALIDA_CONEXION;
  }
  if (!abre_tls(s.sd, anuncia, &s.tls)) {
    cierra_sesion(s);
    return SALIDA_CONEXION;
  }
  return SALIDA_BIEN;
}

// VORTCP_ESPERA: whole seconds from 1 to 86400, digits only; unset or empty
// is no limit. Anything else is refused (false after its message) before the
// run connects.
bool lee_limite_espera() {
  long segundos = 0;
  if (!toma_env_numero("VORTCP_ESPERA", MAX_ESPERA_S, &segundos)) return false;
  if (segundos > 0) establece_limite_espera((int)segundos);
  return true;
}

// VORTCP_TLS (unset, empty or 0: plain TCP; 1: TLS) and, with TLS, its
// companions: VORTCP_TLS_CA, VORTCP_TLS_CERT, VORTCP_TLS_CLAVE (a key needs
// its certificate) and VORTCP_TLS_NOMBRE (SERVIDOR when empty), the files
// loaded once here. Returns SALIDA_BIEN; SALIDA_ERROR after the message of a
// value refused, too long, or a file that cannot be used ("Valor no valido
// en la variable %s (%s)\n"); SALIDA_CONEXION when TLS does not start.
int lee_ajustes_tls() {
  bool con_tls = false;
  if (!toma_env_interruptor("VORTCP_TLS", &con_tls)) return SALIDA_ERROR;
  if (!con_tls) return SALIDA_BIEN;
  char autoridades[TAM_AJUSTE], certificado[TAM_AJUSTE], clave[TAM_AJUSTE];
  if (!toma_env(autoridades, "VORTCP_TLS_CA") || !toma_env(certificado, "VORTCP_TLS_CERT") ||
      !toma_env(clave, "VORTCP_TLS_CLAVE") || !toma_env(ajustes.nombre_tls, "VORTCP_TLS_NOMBRE"))
    return SALIDA_ERROR;
  if (ajustes.nombre_tls[0] == '\0') copia_texto(ajustes.nombre_tls, ajustes.servidor);
  const char* variable = nullptr;
  const char* valor = nullptr;
  FalloClienteTls fallo = FalloClienteTls::clave;
  if (clave[0] == '\0' || certificado[0] != '\0')
    ajustes.tls = plat_tls_cliente(FicherosTls{autoridades, certificado, clave}, &fallo);
  switch (fallo) {
    case FalloClienteTls::ninguno:
      return SALIDA_BIEN;
    case FalloClienteTls::sistema:
      fflush(stdout);
      fprintf(stderr, "Conexion TLS rechazada (TLS no disponible en este sistema)\n");
      return SALIDA_CONEXION;
    case FalloClienteTls::autoridades:
      variable = "VORTCP_TLS_CA", valor = autoridades;
      break;
    case FalloClienteTls::certificado:
      variable = "VORTCP_TLS_CERT", valor = certificado;
      break;
    case FalloClienteTls::clave:
      // A key read from the certificate's own file is that file's fault.
      variable = clave[0] != '\0' ? "VORTCP_TLS_CLAVE" : "VORTCP_TLS_CERT";
      valor = clave[0] != '\0' ? clave : certificado;
      break;
  }
  printf("Valor no valido en la variable %s (%s)\n", variable, valor);
  return SALIDA_ERROR;
}

// SERVIDOR and SERVPORT, the last settings read before the first connection:
// a server that is not named, or a port that is no port, is said by its
// setting's name instead of as a failed look-up or connect. SALIDA_BIEN, or
// SALIDA_CONEXION after "Falta la variable %s\n" or "Valor no valido en la
// variable SERVPORT (%s)\n".
int lee_destino(const char* puerto) {
  const char* falta = ajustes.servidor[0] == '\0' ? "SERVIDOR" : puerto[0] == '\0' ? "SERVPORT" : nullptr;
  if (falta != nullptr) {
    printf("Falta la variable %s\n", falta);
    return SALIDA_CONEXION;
  }
  size_t n = strlen(puerto);
  long valor = n <= 5 && son_cifras(puerto, n) ? atol(puerto) : 0;
  if (valor < 1 || valor > 65535) {
    imprime_del_servidor(stdout, "Valor no valido en la variable SERVPORT (%s)\n", puerto);
    return SALIDA_CONEXION;
  }
  ajustes.puerto = (int32_t)valor;
  return SALIDA_BIEN;
}

}  // namespace

int prepara_conexion() {
  if (ctx.test == 1) printf("Inicio socket en Windows ...\n");
  int rc = plat_inicia_red();
  if (rc != 0) {
    printf("WSAStartup failed: error code = %d\n", rc);
    return SALIDA_CONEXION;
  }
  if (ctx.test == 1) printf("Inicio llamada socket ...\n");

  char multias[TAM_AJUSTE], puerto[TAM_AJUSTE];
  if (!toma_env(multias, "MULTIAS") || !toma_env(ctx.base, "BASE") || !toma_env(puerto, "SERVPORT"))
    return SALIDA_ERROR;
  ajustes.con_broker = multias[0] == '1';
  if (!toma_env(ajustes.servidor, "SERVIDOR") || !lee_limite_espera()) return SALIDA_ERROR;
  int estado = lee_ajustes_tls();
  if (estado != SALIDA_BIEN) return estado;
  if (!prepara_tablas()) return SALIDA_ERROR;
  return lee_destino(puerto);
}

int abre_sesion(Sesion& s) {
  int32_t puerto = ajustes.puerto;
  if (ajustes.con_broker) {
    int32_t maximo = 0;
    // A silent run (a console batch) does not announce its broker exchange.
    Broker b = pide_puerto_al_broker(&puerto, !ctx.silencioso, &maximo);
    if (b == Broker::sin_sesion) imprime_sin_sesion_libre(maximo);
    if (b != Broker::puerto) return SALIDA_CONEXION;
  }
  return conecta_servidor(s, puerto, true);
}

OtraSesion abre_otra_sesion(Sesion& s, int32_t* maximo) {
  int32_t puerto = ajustes.puerto;
  if (ajustes.con_broker) {
    Broker b = pide_puerto_al_broker(&puerto, false, maximo);
    if (b == Broker::sin_sesion) return OtraSesion::sin_sesion_libre;
    if (b == Broker::fallo) return OtraSesion::fallida;
  }
  return conecta_servidor(s, puerto, false) == SALIDA_BIEN ? OtraSesion::abierta : OtraSesion::fallida;
}

void imprime_sin_sesion_libre(int32_t maximo) {
  char texto[TAM_AJUSTE * 2 + 256];
  formatea(texto,
           "(2) Error de conexion al AS/400 identificado como (%s) puerto (%d).\n"
           "Superado el numero maximo de sesiones definidas (%d).\n",
           ajustes.servidor, ajustes.puerto, maximo);
  printf("%s\n", texto);
}

bool hay_intermediario() {
  return ajustes.con_broker;
}

void cierra_sesion(Sesion& s) {
  plat_tls_cierra(s.tls);
  s.tls = nullptr;
  plat_cierra_socket(s.sd);
  s.sd = SOCKET_INVALIDO;
  s.plazo_ms = 0;
}

void reinicia_sesion(Sesion& s) {
  s.sd = SOCKET_INVALIDO;
  s.tls = nullptr;
  s.plazo_ms = 0;
  s.fallo = false;
  s.cortada = false;
  s.largo = 0;
  s.npendientes = 0;
  s.empezada_tomados = 0;
  s.empezada_largo = 10;
}

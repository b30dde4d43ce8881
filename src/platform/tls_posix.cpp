// TLS on POSIX (tls.h) with OpenSSL 3: the library loaded when a run first
// asks for TLS, the client's context (TLS 1.2 or later, the peer always
// verified against the given certificates or the system's store, the client
// certificate), the handshake on a non-blocking socket within its time, the
// reading of why it failed, and the reads and writes of a blocking socket
// under the receive time-outs and interruptions of plataforma_posix.cpp.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cerrno>
#include <climits>
#include <new>

#include "platform/plataforma_interna.h"
#include "platform/tls.h"

struct ClienteTls {
  SSL_CTX* contexto;
};

struct ConexionTls {
  SSL* ssl;
  int sd;
  // What the server has said so far, seen by observa (the handshake's
  // messages and alerts as they are read).
  bool pide_certificado = false;  // a CertificateRequest came
  bool billete = false;           // a NewSessionTicket came: the handshake was accepted
  int alerta = -1;                // the description of the last alert received
  // A fatal failure happened: no close message may be sent any more.
  bool rota = false;
};

namespace {

// The OpenSSL functions the connection calls. libssl is opened only when a
// run asks for TLS (plat_tls_cliente): loading it and libcrypto costs every
// run about 2 MB of memory and a few milliseconds, which the runs in clear
// do not pay. The headers give each function its type.
// clang-format off
#define FUNCIONES_OPENSSL(X)                                                                              \
  X(TLS_client_method) X(SSL_CTX_new) X(SSL_CTX_free) X(SSL_CTX_ctrl) X(SSL_CTX_set_verify)               \
  X(SSL_CTX_set_options) X(SSL_CTX_set_default_passwd_cb) X(SSL_CTX_load_verify_locations)                \
  X(SSL_CTX_set_default_verify_paths) X(SSL_CTX_use_certificate_chain_file)                               \
  X(SSL_CTX_use_PrivateKey_file) X(SSL_CTX_check_private_key) X(SSL_new) X(SSL_free) X(SSL_set_fd)        \
  X(SSL_get0_param) X(SSL_ctrl) X(SSL_set_msg_callback) X(SSL_connect) X(SSL_get_error)                   \
  X(SSL_get_verify_result) X(SSL_get_certificate) X(SSL_peek) X(SSL_version) X(SSL_read) X(SSL_write_ex)  \
  X(SSL_has_pending) X(SSL_pending) X(SSL_CTX_set_default_read_buffer_len) X(SSL_shutdown)                \
  X(ERR_clear_error) X(X509_VERIFY_PARAM_set_hostflags) X(X509_VERIFY_PARAM_set1_ip_asc)                  \
  X(X509_VERIFY_PARAM_set1_host)
// clang-format on

struct OpenSsl {
#define CAMPO_OPENSSL(f) decltype(&::f) f = nullptr;
  FUNCIONES_OPENSSL(CAMPO_OPENSSL)
#undef CAMPO_OPENSSL
};
// Filled once, by the first plat_tls_cliente, before any connection.
OpenSsl openssl;

// Opens libssl (and with it libcrypto) and finds every function. False when
// the library or one of them is missing.
bool carga_openssl() {
  if (openssl.SSL_new != nullptr) return true;
  void* biblioteca = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
  if (biblioteca == nullptr) return false;
  OpenSsl cargada;
  bool completa = true;
#define BUSCA_OPENSSL(f)                                                    \
  cargada.f = reinterpret_cast<decltype(cargada.f)>(dlsym(biblioteca, #f)); \
  completa = completa && cargada.f != nullptr;
  FUNCIONES_OPENSSL(BUSCA_OPENSSL)
#undef BUSCA_OPENSSL
  // libssl stays open for the rest of the process, found or not.
  if (completa) openssl = cargada;
  return completa;
}

// The longest wait for the server's verdict on the client certificate under
// TLS 1.3 (see espera_veredicto): a server sends it, or its session tickets,
// within one round trip.
constexpr int ESPERA_VEREDICTO_MS = 2000;
// Waits on a socket are cut in slices of this length, so that a thread whose
// signals are blocked (a session of a run through several) still sees an
// interruption recorded by another.
constexpr int TAJADA_MS = 100;

// Never asks for a password: a protected key is a key that cannot be used.
int sin_contrasena(char*, int, int, void*) {
  return 0;
}

void observa(int escrito, int, int tipo, const void* datos, size_t largo, SSL*, void* arg) {
  if (escrito || largo == 0) return;
  ConexionTls* c = static_cast<ConexionTls*>(arg);
  const unsigned char* p = static_cast<const unsigned char*>(datos);
  if (tipo == SSL3_RT_HANDSHAKE) {
    if (p[0] == SSL3_MT_CERTIFICATE_REQUEST) c->pide_certificado = true;
    if (p[0] == SSL3_MT_NEWSESSION_TICKET) c->billete = true;
  } else if (tipo == SSL3_RT_ALERT && largo >= 2) {
    c->alerta = p[1];
  }
}

bool es_ip(const char* nombre) {
  struct in_addr a;
  return inet_pton(AF_INET, nombre, &a) == 1;
}

// The name the certificate must carry, and the server name sent in the
// handshake (never an address: TLS's server name extension does not take
// one). False when OpenSSL refuses it.
bool pon_nombre(SSL* ssl, const char* nombre) {
  X509_VERIFY_PARAM* p = openssl.SSL_get0_param(ssl);
  // The subject's common name is never read as a host name: the same rule
  // as on Windows, and that of today's certificates.
  openssl.X509_VERIFY_PARAM_set_hostflags(
      p, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
  if (es_ip(nombre)) return openssl.X509_VERIFY_PARAM_set1_ip_asc(p, nombre) == 1;
  return openssl.SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                          const_cast<char*>(nombre)) == 1 &&
         openssl.X509_VERIFY_PARAM_set1_host(p, nombre, 0) == 1;
}

RechazoTls de_verificacion(long error) {
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return RechazoTls::caducado;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return RechazoTls::aun_no_valido;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return RechazoTls::nombre;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return RechazoTls::no_confiable;
    default:
      return RechazoTls::no_valido;
  }
}

// Why the handshake failed: the chain's verification first, then the
// alert the server sent when it had asked for a client certificate.
RechazoTls motivo_del_fallo(const ConexionTls* c) {
  long verificacion = openssl.SSL_get_verify_result(c->ssl);
  if (verificacion != X509_V_OK) return de_verificacion(verificacion);
  if (c->alerta == TLS13_AD_CERTIFICATE_REQUIRED) return RechazoTls::pide_certificado;
  if (c->pide_certificado && c->alerta >= 0)
    return openssl.SSL_get_certificate(c->ssl) == nullptr ? RechazoTls::pide_certificado
                                                          : RechazoTls::certificado_rechazado;
  return RechazoTls::negociacion;
}

// Waits until the socket is ready for `evento` or the time is up: true when
// it is ready (or has failed: the next call says how).
bool espera_socket(int sd, short evento, int64_t limite) {
  for (;;) {
    if (plat_interrupcion() != 0) return false;
    int64_t queda = limite - plat_reloj_ms();
    if (queda <= 0) return false;
    struct pollfd p;
    p.fd = sd;
    p.events = evento;
    p.revents = 0;
    int r = poll(&p, 1, queda < TAJADA_MS ? (int)queda : TAJADA_MS);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return true;
  }
}

// The end of a wait that timed out or was interrupted.
RechazoTls fin_de_espera() {
  return plat_interrupcion() != 0 ? RechazoTls::interrumpida : RechazoTls::sin_respuesta;
}

// The handshake on the non-blocking socket. True when it ended well.
bool negocia(ConexionTls* c, int64_t limite, RechazoTls* rechazo) {
  for (;;) {
    if (plat_interrupcion() != 0) {
      *rechazo = RechazoTls::interrumpida;
      return false;
    }
    openssl.ERR_clear_error();
    int r = openssl.SSL_connect(c->ssl);
    if (r == 1) return true;
    int e = openssl.SSL_get_error(c->ssl, r);
    if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
      c->rota = true;
      *rechazo = motivo_del_fallo(c);
      return false;
    }
    if (!espera_socket(c->sd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, limite)) {
      *rechazo = fin_de_espera();
      return false;
    }
  }
}

// Under TLS 1.3 the client's certificate (or its absence) is judged by the
// server after the client has ended its handshake: a refusal comes as an
// alert after it, an acceptance as the session tickets that the server
// sends then. Waiting for either here means that a refused client is told so
// before any frame is sent. A server that sends no ticket is taken as
// accepting once ESPERA_VEREDICTO_MS have passed. True when accepted.
bool espera_veredicto(ConexionTls* c, int64_t limite, RechazoTls* rechazo) {
  int64_t hasta = plat_reloj_ms() + ESPERA_VEREDICTO_MS;
  if (hasta > limite) hasta = limite;
  for (;;) {
    if (c->billete) return true;
    openssl.ERR_clear_error();
    char byte;
    int r = openssl.SSL_peek(c->ssl, &byte, 1);
    if (r > 0 || c->billete) return true;
    int e = openssl.SSL_get_error(c->ssl, r);
    if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
      c->rota = true;
      *rechazo = motivo_del_fallo(c);
      // A close with no alert is a refusal all the same.
      if (*rechazo == RechazoTls::negociacion)
        *rechazo = openssl.SSL_get_certificate(c->ssl) == nullptr ? RechazoTls::pide_certificado
                                                                  : RechazoTls::certificado_rechazado;
      return false;
    }
    if (!espera_socket(c->sd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, hasta)) {
      if (plat_interrupcion() != 0) {
        *rechazo = RechazoTls::interrumpida;
        return false;
      }
      return true;
    }
  }
}

// The read of plat_tls_recibe and plat_tls_recibe_con_plazo on the blocking
// socket: EAGAIN is the receive time-out (PLAT_SIN_DATOS with con_plazo;
// without it the read goes on waiting), EINTR a signal (given up once an
// interruption is recorded).
long lee(ConexionTls* c, void* destino, size_t n, bool con_plazo) {
  int pedir = n > (size_t)INT_MAX ? INT_MAX : (int)n;
  for (;;) {
    if (plat_interrupcion() != 0) {
      errno = EINTR;
      return -1;
    }
    openssl.ERR_clear_error();
    errno = 0;
    int r = openssl.SSL_read(c->ssl, destino, pedir);
    if (r > 0) return r;
    int e = openssl.SSL_get_error(c->ssl, r);
    if (e == SSL_ERROR_ZERO_RETURN) return 0;
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      if (con_plazo && (errno == EAGAIN || errno == EWOULDBLOCK)) return PLAT_SIN_DATOS;
      continue;
    }
    c->rota = true;
    if (e == SSL_ERROR_SYSCALL && errno == 0) return 0;  // the socket's end, or a cut
    if (e != SSL_ERROR_SYSCALL) errno = EPROTO;
    return -1;
  }
}

// One read that never waits on the socket: what OpenSSL holds decrypted, or
// a record that the socket's bytes complete now; PLAT_SIN_DATOS when neither
// is there (a record not yet whole stays in OpenSSL). The socket is made
// non-blocking for it.
long lee_sin_esperar(ConexionTls* c, void* destino, size_t n) {
  if (openssl.SSL_pending(c->ssl) > 0) return lee(c, destino, n, false);
  int banderas = fcntl(c->sd, F_GETFL);
  if (banderas < 0 || fcntl(c->sd, F_SETFL, banderas | O_NONBLOCK) != 0) {
    errno = EIO;
    return -1;
  }
  long r = lee(c, destino, n, true);
  int error = errno;
  // A socket left non-blocking would make every later read spin.
  if (fcntl(c->sd, F_SETFL, banderas) != 0) {
    c->rota = true;
    error = EIO;
    r = -1;
  }
  errno = error;
  return r;
}

}  // namespace

ClienteTls* plat_tls_cliente(const FicherosTls& f, FalloClienteTls* fallo) {
  *fallo = FalloClienteTls::sistema;
  if (!carga_openssl()) return nullptr;
  SSL_CTX* ctx = openssl.SSL_CTX_new(openssl.TLS_client_method());
  if (ctx == nullptr ||
      openssl.SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr) != 1) {
    openssl.SSL_CTX_free(ctx);
    *fallo = FalloClienteTls::sistema;
    return nullptr;
  }
  openssl.SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  // The frames carry their own lengths: a connection cut without TLS's
  // close message is a closed connection like any other.
  openssl.SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Records are read from the socket as many at a time as it holds, up to
  // 64 KB (a frame of two records in one read), not a header and a body
  // apiece. What is read and not yet decrypted stays in OpenSSL: the wait
  // for the rest of a frame asks for it (plat_tls_espera_datos).
  openssl.SSL_CTX_ctrl(ctx, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
  openssl.SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
  openssl.SSL_CTX_set_default_passwd_cb(ctx, sin_contrasena);
  *fallo = FalloClienteTls::ninguno;
  bool con_autoridades = f.autoridades != nullptr && f.autoridades[0] != '\0';
  if (con_autoridades ? openssl.SSL_CTX_load_verify_locations(ctx, f.autoridades, nullptr) != 1
                      : openssl.SSL_CTX_set_default_verify_paths(ctx) != 1) {
    *fallo = con_autoridades ? FalloClienteTls::autoridades : FalloClienteTls::sistema;
  } else if (f.certificado != nullptr && f.certificado[0] != '\0') {
    const char* clave = f.clave != nullptr && f.clave[0] != '\0' ? f.clave : f.certificado;
    if (openssl.SSL_CTX_use_certificate_chain_file(ctx, f.certificado) != 1) {
      *fallo = FalloClienteTls::certificado;
    } else if (openssl.SSL_CTX_use_PrivateKey_file(ctx, clave, SSL_FILETYPE_PEM) != 1 ||
               openssl.SSL_CTX_check_private_key(ctx) != 1) {
      *fallo = FalloClienteTls::clave;
    }
  }
  openssl.ERR_clear_error();
  ClienteTls* cliente = *fallo == FalloClienteTls::ninguno ? new (std::nothrow) ClienteTls{ctx} : nullptr;
  if (cliente == nullptr) {
    openssl.SSL_CTX_free(ctx);
    if (*fallo == FalloClienteTls::ninguno) *fallo = FalloClienteTls::sistema;
  }
  return cliente;
}

ConexionTls* plat_tls_conecta(ClienteTls* cliente, socket_t s, const char* nombre, int max_ms,
                              RechazoTls* rechazo) {
  *rechazo = RechazoTls::negociacion;
  ConexionTls* c = new (std::nothrow) ConexionTls{};
  if (c == nullptr) return nullptr;
  c->sd = (int)s;
  c->ssl = openssl.SSL_new(cliente->contexto);
  int banderas = fcntl(c->sd, F_GETFL);
  bool listo = c->ssl != nullptr && openssl.SSL_set_fd(c->ssl, c->sd) == 1 && pon_nombre(c->ssl, nombre) &&
               banderas >= 0 && fcntl(c->sd, F_SETFL, banderas | O_NONBLOCK) == 0;
  if (listo) {
    openssl.SSL_set_msg_callback(c->ssl, observa);
    openssl.SSL_ctrl(c->ssl, SSL_CTRL_SET_MSG_CALLBACK_ARG, 0, c);
    int64_t limite = plat_reloj_ms() + max_ms;
    bool hecho = negocia(c, limite, rechazo);
    if (hecho && c->pide_certificado && openssl.SSL_version(c->ssl) >= TLS1_3_VERSION)
      hecho = espera_veredicto(c, limite, rechazo);
    // Reads and writes from here on block, under the socket's time-outs.
    bool bloqueante = fcntl(c->sd, F_SETFL, banderas) == 0;
    if (hecho && bloqueante) {
      openssl.SSL_set_msg_callback(c->ssl, nullptr);
      openssl.ERR_clear_error();
      return c;
    }
  }
  openssl.ERR_clear_error();
  openssl.SSL_free(c->ssl);
  delete c;
  return nullptr;
}

long plat_tls_envia(ConexionTls* c, const void* datos, size_t n) {
  for (;;) {
    if (plat_interrupcion() != 0) {
      c->rota = true;
      errno = EINTR;
      return -1;
    }
    openssl.ERR_clear_error();
    errno = 0;
    size_t escritos = 0;
    if (openssl.SSL_write_ex(c->ssl, datos, n, &escritos) == 1) return (long)n;
    int e = openssl.SSL_get_error(c->ssl, 0);
    // Cut short by a signal: the same write again, as OpenSSL asks.
    if ((e == SSL_ERROR_WANT_WRITE || e == SSL_ERROR_WANT_READ) && errno == EINTR) continue;
    c->rota = true;
    if (e != SSL_ERROR_SYSCALL || errno == 0) errno = e == SSL_ERROR_SYSCALL ? EPIPE : EPROTO;
    return -1;
  }
}

long plat_tls_recibe(ConexionTls* c, void* destino, size_t n) {
  return lee(c, destino, n, false);
}

long plat_tls_recibe_con_plazo(ConexionTls* c, void* destino, size_t n, int max_ms, int* plazo_ms) {
  if (max_ms < 1) max_ms = 1;
  if (pon_plazo_recepcion((socket_t)c->sd, max_ms, plazo_ms)) return lee(c, destino, n, true);
  // A socket without a time-out: reads that never wait, and poll between
  // them for the rest of max_ms. A blocking read would wait for the rest of
  // a record begun, with no limit.
  int64_t limite = plat_reloj_ms() + max_ms;
  for (;;) {
    long r = lee_sin_esperar(c, destino, n);
    if (r != PLAT_SIN_DATOS) return r;
    if (!espera_socket(c->sd, POLLIN, limite)) break;
  }
  if (plat_interrupcion() == 0) return PLAT_SIN_DATOS;
  errno = EINTR;
  return -1;
}

// Whatever OpenSSL holds ends the wait at once: bytes decrypted, and also
// bytes read ahead, which may be whole records or the start of one (a
// partial record gives the next receive nothing without the socket: that
// receive then waits on it under its own time-out). Once OpenSSL holds
// nothing, the socket is waited on for the bytes of the frame still missing.
void plat_tls_espera_datos(ConexionTls* c, size_t faltan, int max_ms) {
  if (openssl.SSL_has_pending(c->ssl) != 0) return;
  plat_espera_datos((socket_t)c->sd, faltan, max_ms);
}

void plat_tls_cierra(ConexionTls* c) {
  if (c == nullptr) return;
  int banderas = fcntl(c->sd, F_GETFL);
  // One try, never waiting: a peer that no longer reads must not hold the
  // end of the run.
  if (!c->rota && banderas >= 0 && fcntl(c->sd, F_SETFL, banderas | O_NONBLOCK) == 0) {
    openssl.SSL_shutdown(c->ssl);
    fcntl(c->sd, F_SETFL, banderas);
  }
  openssl.ERR_clear_error();
  openssl.SSL_free(c->ssl);
  delete c;
}

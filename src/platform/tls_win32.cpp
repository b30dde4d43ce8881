// TLS on Windows (tls.h) with SChannel, the system's own TLS: the client's
// credentials (TLS 1.2, and 1.3 where the system offers it), the handshake
// with the server's chain checked by the connection itself
// (tls_certificados_win32.cpp), and the records encrypted and decrypted
// over the socket calls of plataforma_win32.cpp, which keep their time
// limits and interruptions.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
#include <subauth.h>
#include <security.h>
#include <schannel.h>
// clang-format on

#include "platform/tls_win32.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr size_t MAX_CLARO_REGISTRO = 16384;                    // a record's plaintext
constexpr size_t MAX_REGISTRO = 5 + MAX_CLARO_REGISTRO + 2048;  // a record as it travels
constexpr size_t TAM_CIFRADO = 2 * MAX_REGISTRO;                // received, not yet decrypted
constexpr size_t TAM_CLARO = 5 * MAX_CLARO_REGISTRO;            // decrypted, not yet taken
constexpr size_t TAM_ENVIO = MAX_CLARO_REGISTRO + 1024;         // one record being sent
constexpr int ESPERA_VEREDICTO_MS = 2000;                       // as on POSIX (tls_posix.cpp)
constexpr int ALERTA_CERTIFICADO_REQUERIDO = 116;               // TLS 1.3's certificate_required
constexpr unsigned char MENSAJE_PIDE_CERTIFICADO = 13;          // CertificateRequest

constexpr ULONG PETICION = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

// Every call into SSPI takes this lock. Windows allows them from any thread,
// but Wine's SChannel keeps its handles in a table that it grows without a
// lock: the sessions of a run through several, each in its thread, would
// race on it. No call waits on the network while it holds the lock.
std::mutex cerrojo_sspi;

}  // namespace

struct ClienteTls {
  CredHandle credenciales;
  HCERTSTORE autoridades;      // VORTCP_TLS_CA's, or nullptr: the system's store
  PCCERT_CONTEXT certificado;  // the client's, or nullptr
};

struct ConexionTls {
  socket_t sd;
  ClienteTls* cliente;
  CtxtHandle contexto;
  bool con_contexto = false;
  char objetivo[256] = {0};  // the server name sent; empty for an address
  SecPkgContext_StreamSizes tamanos;
  // What the server has said in the clear during the handshake, read from
  // its records as they come (TLS 1.2 sends these unencrypted): the
  // certificate request and an alert, for the reason of a failure.
  bool en_claro = true;
  size_t observados = 0;     // bytes of `cifrado` already read by observa
  size_t resto_mensaje = 0;  // bytes of a handshake message that go on in the next record
  bool pide_certificado = false;
  int alerta = -1;
  // After the handshake: a post-handshake message came (a session ticket of
  // TLS 1.3: the server accepted the handshake), and one is being handled.
  bool posterior = false;
  bool renegociando = false;
  bool rota = false;     // a fatal failure: no close message any more
  bool cerrada = false;  // the server sent its close message
  unsigned char cifrado[TAM_CIFRADO];
  size_t ncifrado = 0;
  unsigned char claro[TAM_CLARO];
  size_t inicio = 0, nclaro = 0;
  unsigned char envio[TAM_ENVIO];
};

namespace {

const char* objetivo_de(const ConexionTls* c) {
  return c->objetivo[0] != '\0' ? c->objetivo : nullptr;
}

// Hands a token of SSPI to the socket and frees it. False when the send fails.
bool envia_token(ConexionTls* c, SecBuffer& token) {
  bool bien = true;
  if (token.pvBuffer != nullptr && token.cbBuffer > 0)
    bien = plat_envia(c->sd, token.pvBuffer, token.cbBuffer) >= 0;
  if (token.pvBuffer != nullptr) FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  token.cbBuffer = 0;
  return bien;
}

// One step of InitializeSecurityContext on `entrada` bytes of cifrado (or
// the first step, without), sending what it gives; *extra gets the bytes it
// left unread at the end of the input.
SECURITY_STATUS paso(ConexionTls* c, bool primero, size_t entrada, size_t* extra) {
  SecBuffer fuera = {0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc dfuera = {SECBUFFER_VERSION, 1, &fuera};
  SecBuffer dentro[2] = {{(ULONG)entrada, SECBUFFER_TOKEN, c->cifrado}, {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc ddentro = {SECBUFFER_VERSION, 2, dentro};
  ULONG atributos = 0;
  SECURITY_STATUS st;
  {
    std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
    st = InitializeSecurityContextA(&c->cliente->credenciales, primero ? nullptr : &c->contexto,
                                    const_cast<char*>(objetivo_de(c)), PETICION, 0, 0,
                                    primero ? nullptr : &ddentro, 0, primero ? &c->contexto : nullptr,
                                    &dfuera, &atributos, nullptr);
  }
  if (primero && (st == SEC_I_CONTINUE_NEEDED || st == SEC_E_OK)) c->con_contexto = true;
  *extra = dentro[1].BufferType == SECBUFFER_EXTRA ? dentro[1].cbBuffer : 0;
  // A failure's token is an alert for the server: it goes too.
  if (!envia_token(c, fuera) && !FAILED(st)) st = SEC_E_INTERNAL_ERROR;
  return st;
}

// Drops the bytes of cifrado that a step has taken, keeping the last
// `extra`.
void consume(ConexionTls* c, size_t extra) {
  size_t tomados = c->ncifrado - extra;
  if (extra > 0) memmove(c->cifrado, c->cifrado + tomados, extra);
  c->ncifrado = extra;
  c->observados = c->observados > tomados ? c->observados - tomados : 0;
}

// Reads the records of the handshake that are whole in cifrado and not read
// yet, while they are unencrypted: a CertificateRequest, an alert.
void observa(ConexionTls* c) {
  size_t i = c->observados;
  while (c->en_claro && i + 5 <= c->ncifrado) {
    const unsigned char* r = c->cifrado + i;
    size_t largo = ((size_t)r[3] << 8) | r[4];
    if (i + 5 + largo > c->ncifrado) break;
    const unsigned char* p = r + 5;
    if (r[0] == 22) {
      size_t j = c->resto_mensaje < largo ? c->resto_mensaje : largo;
      c->resto_mensaje -= j;
      while (j < largo) {
        if (j + 4 > largo) {
          c->en_claro = false;  // a message's header cut by the record: no more reading
          break;
        }
        size_t n = ((size_t)p[j + 1] << 16) | ((size_t)p[j + 2] << 8) | p[j + 3];
        if (p[j] == MENSAJE_PIDE_CERTIFICADO) c->pide_certificado = true;
        if (j + 4 + n > largo) {
          c->resto_mensaje = j + 4 + n - largo;
          break;
        }
        j += 4 + n;
      }
    } else if (r[0] == 21 && largo == 2) {
      c->alerta = p[1];
    } else {
      c->en_claro = false;  // change_cipher_spec, or not TLS: what follows is not read
    }
    i += 5 + largo;
  }
  c->observados = i;
}

RechazoTls motivo_del_fallo(const ConexionTls* c) {
  if (c->alerta == ALERTA_CERTIFICADO_REQUERIDO) return RechazoTls::pide_certificado;
  if (c->pide_certificado && c->alerta >= 0)
    return c->cliente->certificado == nullptr ? RechazoTls::pide_certificado
                                              : RechazoTls::certificado_rechazado;
  return RechazoTls::negociacion;
}

// Reads more of what the server sends into cifrado, within `limite` (on
// plat_reloj_ms's clock; 0: no limit): the count, 0 at a close, -1 on a
// failure or an interruption, PLAT_SIN_DATOS when the time is up.
long lee_crudo(ConexionTls* c, int64_t limite) {
  if (c->ncifrado >= TAM_CIFRADO) return -1;
  void* destino = c->cifrado + c->ncifrado;
  size_t libre = TAM_CIFRADO - c->ncifrado;
  long k;
  if (limite > 0) {
    int64_t queda = limite - plat_reloj_ms();
    if (queda <= 0) return PLAT_SIN_DATOS;
    int plazo = 0;
    k = plat_recibe_con_plazo(c->sd, destino, libre, (int)queda, &plazo);
  } else {
    k = plat_recibe(c->sd, destino, libre);
  }
  if (k > 0) c->ncifrado += (size_t)k;
  return k;
}

// The handshake, up to its end or its failure (*rechazo).
bool negocia(ConexionTls* c, int64_t limite, RechazoTls* rechazo) {
  size_t extra = 0;
  if (paso(c, true, 0, &extra) != SEC_I_CONTINUE_NEEDED) return false;
  bool leer = true;
  int sin_credenciales = 0;
  for (;;) {
    if (leer) {
      long k = lee_crudo(c, limite);
      if (k == PLAT_SIN_DATOS || (k < 0 && plat_interrupcion() != 0)) {
        *rechazo = plat_interrupcion() != 0 ? RechazoTls::interrumpida : RechazoTls::sin_respuesta;
        return false;
      }
      if (k <= 0) {
        *rechazo = motivo_del_fallo(c);
        return false;
      }
    }
    observa(c);
    SECURITY_STATUS st = paso(c, false, c->ncifrado, &extra);
    leer = true;
    if (st == SEC_E_INCOMPLETE_MESSAGE) continue;
    if (st == SEC_I_INCOMPLETE_CREDENTIALS && ++sin_credenciales == 1) {
      // The server asks for a certificate the run does not have: the same
      // input again, and the handshake goes on without one.
      c->pide_certificado = true;
      leer = false;
      continue;
    }
    if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED) {
      *rechazo = motivo_del_fallo(c);
      return false;
    }
    consume(c, extra);
    if (st == SEC_E_OK) return true;
    leer = c->ncifrado == 0;
  }
}

enum class Descifrado { nada, progreso, cerrada, fallo };

// A post-handshake message (SEC_I_RENEGOTIATE): InitializeSecurityContext
// takes the bytes that DecryptMessage left. False on a failure.
bool renegocia(ConexionTls* c) {
  size_t extra = 0;
  SECURITY_STATUS st = paso(c, false, c->ncifrado, &extra);
  if (st == SEC_E_INCOMPLETE_MESSAGE) return true;  // more is needed: renegociando stays
  if (st != SEC_E_OK && st != SEC_I_CONTINUE_NEEDED) return false;
  consume(c, extra);
  c->renegociando = st == SEC_I_CONTINUE_NEEDED;
  c->posterior = true;
  return true;
}

// Decrypts every whole record of cifrado while claro has room for one more.
// What stays in cifrado is then the start of a record, or, once claro is
// full, whole records too: claro then holds more than the rest of any frame
// (TAM_TRAMA), so the wait for it ends at once all the same.
Descifrado descifra(ConexionTls* c) {
  Descifrado r = Descifrado::nada;
  for (;;) {
    if (c->renegociando) {
      if (c->ncifrado == 0) return r;
      size_t antes = c->ncifrado;
      if (!renegocia(c)) return Descifrado::fallo;
      if (c->renegociando && c->ncifrado == antes) return r;
      r = Descifrado::progreso;
      continue;
    }
    if (c->nclaro == 0) c->inicio = 0;
    if (c->inicio + c->nclaro + MAX_CLARO_REGISTRO > TAM_CLARO) {
      memmove(c->claro, c->claro + c->inicio, c->nclaro);
      c->inicio = 0;
    }
    if (c->nclaro + MAX_CLARO_REGISTRO > TAM_CLARO || c->ncifrado < 5) return r;
    size_t largo = ((size_t)c->cifrado[3] << 8) | c->cifrado[4];
    if (5 + largo > MAX_REGISTRO) return Descifrado::fallo;
    if (5 + largo > c->ncifrado) return r;
    SecBuffer b[4] = {{(ULONG)c->ncifrado, SECBUFFER_DATA, c->cifrado},
                      {0, SECBUFFER_EMPTY, nullptr},
                      {0, SECBUFFER_EMPTY, nullptr},
                      {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc d = {SECBUFFER_VERSION, 4, b};
    SECURITY_STATUS st;
    {
      std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
      st = DecryptMessage(&c->contexto, &d, 0, nullptr);
    }
    if (st == SEC_E_INCOMPLETE_MESSAGE) return r;
    if (st == SEC_I_CONTEXT_EXPIRED) {
      c->cerrada = true;
      return Descifrado::cerrada;
    }
    if (st != SEC_E_OK && st != SEC_I_RENEGOTIATE) return Descifrado::fallo;
    size_t extra = 0;
    for (SecBuffer& x : b) {
      if (x.BufferType == SECBUFFER_DATA && x.cbBuffer > 0 && x.cbBuffer <= MAX_CLARO_REGISTRO) {
        memcpy(c->claro + c->inicio + c->nclaro, x.pvBuffer, x.cbBuffer);
        c->nclaro += x.cbBuffer;
      } else if (x.BufferType == SECBUFFER_EXTRA) {
        extra = x.cbBuffer;
      }
    }
    consume(c, extra);
    r = Descifrado::progreso;
    if (st == SEC_I_RENEGOTIATE) c->renegociando = true;
  }
}

// The bytes of plat_tls_recibe and plat_tls_recibe_con_plazo (max_ms 0: no
// limit).
long recibe(ConexionTls* c, void* destino, size_t n, int max_ms) {
  int64_t limite = max_ms > 0 ? plat_reloj_ms() + max_ms : 0;
  for (;;) {
    Descifrado d = descifra(c);
    if (c->nclaro > 0) {
      size_t k = n < c->nclaro ? n : c->nclaro;
      memcpy(destino, c->claro + c->inicio, k);
      c->inicio += k;
      c->nclaro -= k;
      return (long)k;
    }
    if (d == Descifrado::fallo) {
      c->rota = true;
      WSASetLastError(WSAECONNABORTED);
      return -1;
    }
    if (c->cerrada) return 0;
    long k = lee_crudo(c, limite);
    if (k == PLAT_SIN_DATOS) return k;
    if (k <= 0) {
      c->rota = true;
      return k;
    }
  }
}

// The connection's record sizes and, under TLS 1.3 when the server may judge
// a client certificate, its verdict (as tls_posix.cpp waits for it): a
// session ticket or data is an acceptance, an alert or a close a negativa.
bool espera_veredicto(ConexionTls* c, int64_t limite, RechazoTls* rechazo) {
  SecPkgContext_ConnectionInfo info;
  memset(&info, 0, sizeof info);
  {
    std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
    QueryContextAttributesA(&c->contexto, SECPKG_ATTR_CONNECTION_INFO, &info);
  }
  bool tls13 = (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) != 0;
  if (!tls13 || (!c->pide_certificado && c->cliente->certificado == nullptr)) return true;
  int64_t hasta = plat_reloj_ms() + ESPERA_VEREDICTO_MS;
  if (hasta > limite) hasta = limite;
  RechazoTls negativa =
      c->cliente->certificado != nullptr ? RechazoTls::certificado_rechazado : RechazoTls::pide_certificado;
  for (;;) {
    Descifrado d = descifra(c);
    if (c->nclaro > 0 || c->posterior) return true;
    if (d == Descifrado::fallo || d == Descifrado::cerrada) {
      *rechazo = negativa;
      return false;
    }
    long k = lee_crudo(c, hasta);
    if (k == PLAT_SIN_DATOS || (k < 0 && plat_interrupcion() != 0)) {
      if (plat_interrupcion() == 0) return true;
      *rechazo = RechazoTls::interrumpida;
      return false;
    }
    if (k <= 0) {
      *rechazo = negativa;
      return false;
    }
  }
}

// The server's certificate against the client's trusted ones and the name.
bool verifica(ConexionTls* c, const char* nombre, RechazoTls* rechazo) {
  PCCERT_CONTEXT remoto = nullptr;
  SECURITY_STATUS st;
  {
    std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
    st = QueryContextAttributesA(&c->contexto, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remoto);
    if (st == SEC_E_OK) st = QueryContextAttributesA(&c->contexto, SECPKG_ATTR_STREAM_SIZES, &c->tamanos);
  }
  if (st != SEC_E_OK || remoto == nullptr) {
    if (remoto != nullptr) CertFreeCertificateContext(remoto);
    *rechazo = RechazoTls::negociacion;
    return false;
  }
  bool bien = verifica_servidor(remoto, c->cliente->autoridades, nombre, rechazo);
  CertFreeCertificateContext(remoto);
  return bien;
}

bool adquiere(ClienteTls* c) {
  PCCERT_CONTEXT certificados[1] = {c->certificado};
  DWORD cuantos = c->certificado != nullptr ? 1 : 0;
  DWORD banderas = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  // Windows 10 1809 and later take SCH_CREDENTIALS, which offers TLS 1.3
  // beside 1.2 where SChannel has it (Windows 11, Server 2022); what is
  // older, Wine among them, takes SCHANNEL_CRED and TLS 1.2.
  TLS_PARAMETERS parametros;
  memset(&parametros, 0, sizeof parametros);
  parametros.grbitDisabledProtocols =
      SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
  SCH_CREDENTIALS nuevas;
  memset(&nuevas, 0, sizeof nuevas);
  nuevas.dwVersion = SCH_CREDENTIALS_VERSION;
  nuevas.cCreds = cuantos;
  nuevas.paCred = certificados;
  nuevas.dwFlags = banderas;
  nuevas.cTlsParameters = 1;
  nuevas.pTlsParameters = &parametros;
  char paquete[] = UNISP_NAME_A;
  std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
  if (AcquireCredentialsHandleA(nullptr, paquete, SECPKG_CRED_OUTBOUND, nullptr, &nuevas, nullptr, nullptr,
                                &c->credenciales, nullptr) == SEC_E_OK)
    return true;
  SCHANNEL_CRED viejas;
  memset(&viejas, 0, sizeof viejas);
  viejas.dwVersion = SCHANNEL_CRED_VERSION;
  viejas.cCreds = cuantos;
  viejas.paCred = certificados;
  viejas.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  viejas.dwFlags = banderas;
  return AcquireCredentialsHandleA(nullptr, paquete, SECPKG_CRED_OUTBOUND, nullptr, &viejas, nullptr, nullptr,
                                   &c->credenciales, nullptr) == SEC_E_OK;
}

void libera(ConexionTls* c) {
  if (c->con_contexto) {
    std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
    DeleteSecurityContext(&c->contexto);
  }
  delete c;
}

}  // namespace

ClienteTls* plat_tls_cliente(const FicherosTls& f, FalloClienteTls* fallo) {
  ClienteTls* c = new (std::nothrow) ClienteTls{};
  *fallo = FalloClienteTls::sistema;
  if (c == nullptr) return nullptr;
  *fallo = FalloClienteTls::ninguno;
  if (f.autoridades != nullptr && f.autoridades[0] != '\0') {
    c->autoridades = lee_autoridades(f.autoridades);
    if (c->autoridades == nullptr) *fallo = FalloClienteTls::autoridades;
  }
  if (*fallo == FalloClienteTls::ninguno && f.certificado != nullptr && f.certificado[0] != '\0') {
    c->certificado = lee_certificado(f.certificado);
    const char* clave = f.clave != nullptr && f.clave[0] != '\0' ? f.clave : f.certificado;
    if (c->certificado == nullptr) {
      *fallo = FalloClienteTls::certificado;
    } else if (!pon_clave(c->certificado, clave)) {
      *fallo = FalloClienteTls::clave;
    }
  }
  if (*fallo == FalloClienteTls::ninguno && !adquiere(c)) *fallo = FalloClienteTls::sistema;
  if (*fallo == FalloClienteTls::ninguno) return c;
  if (c->certificado != nullptr) CertFreeCertificateContext(c->certificado);
  if (c->autoridades != nullptr) CertCloseStore(c->autoridades, 0);
  delete c;
  return nullptr;
}

ConexionTls* plat_tls_conecta(ClienteTls* cliente, socket_t s, const char* nombre, int max_ms,
                              RechazoTls* rechazo) {
  *rechazo = RechazoTls::negociacion;
  ConexionTls* c = new (std::nothrow) ConexionTls();
  if (c == nullptr) return nullptr;
  c->sd = s;
  c->cliente = cliente;
  // TLS's server name takes a host name, never an address.
  unsigned char ip[4];
  if (!lee_ipv4(nombre, ip)) snprintf(c->objetivo, sizeof c->objetivo, "%s", nombre);
  int64_t limite = plat_reloj_ms() + max_ms;
  if (negocia(c, limite, rechazo) && verifica(c, nombre, rechazo) && espera_veredicto(c, limite, rechazo)) {
    c->en_claro = false;
    return c;
  }
  libera(c);
  return nullptr;
}

long plat_tls_envia(ConexionTls* c, const void* datos, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(datos);
  size_t cabecera = c->tamanos.cbHeader, cola = c->tamanos.cbTrailer;
  size_t trozo_max = c->tamanos.cbMaximumMessage;
  if (cabecera + cola >= TAM_ENVIO) return -1;
  if (trozo_max == 0 || trozo_max > TAM_ENVIO - cabecera - cola) trozo_max = TAM_ENVIO - cabecera - cola;
  size_t hecho = 0;
  while (hecho < n) {
    size_t k = n - hecho < trozo_max ? n - hecho : trozo_max;
    memcpy(c->envio + cabecera, p + hecho, k);
    SecBuffer b[4] = {{(ULONG)cabecera, SECBUFFER_STREAM_HEADER, c->envio},
                      {(ULONG)k, SECBUFFER_DATA, c->envio + cabecera},
                      {(ULONG)cola, SECBUFFER_STREAM_TRAILER, c->envio + cabecera + k},
                      {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc d = {SECBUFFER_VERSION, 4, b};
    SECURITY_STATUS st;
    {
      std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
      st = EncryptMessage(&c->contexto, 0, &d, 0);
    }
    if (st != SEC_E_OK) {
      c->rota = true;
      WSASetLastError(WSAECONNABORTED);
      return -1;
    }
    size_t total = b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer;
    if (plat_envia(c->sd, c->envio, total) < 0) {
      c->rota = true;
      return -1;
    }
    hecho += k;
  }
  return (long)n;
}

long plat_tls_recibe(ConexionTls* c, void* destino, size_t n) {
  return recibe(c, destino, n, 0);
}

long plat_tls_recibe_con_plazo(ConexionTls* c, void* destino, size_t n, int max_ms, int*) {
  return recibe(c, destino, n, max_ms < 1 ? 1 : max_ms);
}

// What is decrypted counts, and the bytes received and not yet decrypted
// (the start of a record, or whole ones behind a full claro) count for the
// rest.
void plat_tls_espera_datos(ConexionTls* c, size_t faltan, int max_ms) {
  if (c->nclaro >= faltan) return;
  size_t falta = faltan - c->nclaro;
  plat_espera_datos(c->sd, falta > c->ncifrado ? falta - c->ncifrado : 1, max_ms);
}

void plat_tls_cierra(ConexionTls* c) {
  if (c == nullptr) return;
  if (!c->rota && !c->cerrada && c->con_contexto) {
    DWORD tipo = SCHANNEL_SHUTDOWN;
    SecBuffer b = {sizeof tipo, SECBUFFER_TOKEN, &tipo};
    SecBufferDesc d = {SECBUFFER_VERSION, 1, &b};
    SecBuffer fuera = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc dfuera = {SECBUFFER_VERSION, 1, &fuera};
    ULONG atributos = 0;
    {
      std::lock_guard<std::mutex> cerrojo(cerrojo_sspi);
      if (ApplyControlToken(&c->contexto, &d) == SEC_E_OK)
        InitializeSecurityContextA(&c->cliente->credenciales, &c->contexto, const_cast<char*>(objetivo_de(c)),
                                   PETICION, 0, 0, nullptr, 0, nullptr, &dfuera, &atributos, nullptr);
    }
    // One try, never waiting: a peer that no longer reads must not hold the
    // end of the run.
    if (fuera.pvBuffer != nullptr && fuera.cbBuffer > 0) {
      u_long no_bloquea = 1, bloquea = 0;
      ioctlsocket((SOCKET)c->sd, FIONBIO, &no_bloquea);
      send((SOCKET)c->sd, static_cast<const char*>(fuera.pvBuffer), (int)fuera.cbBuffer, 0);
      ioctlsocket((SOCKET)c->sd, FIONBIO, &bloquea);
    }
    if (fuera.pvBuffer != nullptr) FreeContextBuffer(fuera.pvBuffer);
  }
  libera(c);
}

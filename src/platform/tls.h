// TLS over the run's sockets: the client's settings (the certificates it
// trusts, its own certificate), loaded once for the run, and one TLS
// connection over each connected socket. OpenSSL on POSIX (tls_posix.cpp),
// SChannel on Windows (tls_win32.cpp). Nothing here prints: every failure
// comes back as a value, and the caller says what it means.
#pragma once

#include <cstddef>

#include "platform/plataforma.h"

// The run's settings: made once, then shared by every connection of every
// thread, and kept until the process ends.
struct ClienteTls;
// One connection: used by one thread at a time (the session's), except for
// plat_corta_socket on its socket, which any thread may call.
struct ConexionTls;

// The client's files, PEM; nullptr or empty for none.
struct FicherosTls {
  const char* autoridades;  // the certificates trusted; none: the system's
  const char* certificado;  // the client's certificate, for a server that asks for one
  const char* clave;        // its private key (RSA on Windows); none: in the certificate's file
};

// What could not be used of the settings.
enum class FalloClienteTls {
  ninguno,
  autoridades,  // the trusted certificates: no file there, or no certificate in it
  certificado,  // the client's certificate
  clave,        // its key: missing, protected by a password, or not the certificate's
  sistema       // the TLS library itself did not start
};
// Loads the settings. Returns them, or nullptr with *fallo saying what failed.
ClienteTls* plat_tls_cliente(const FicherosTls& ficheros, FalloClienteTls* fallo);

// Why a connection was not made. The server's certificate chain is checked
// first (trust, then the name, then the dates), then the server's verdict
// on the client.
enum class RechazoTls {
  no_confiable,           // the chain does not end at a trusted certificate
  nombre,                 // the certificate does not name the name checked
  caducado,               // a certificate of the chain has expired
  aun_no_valido,          // a certificate of the chain is not valid yet
  no_valido,              // any other fault of the chain (a signature, its use)
  pide_certificado,       // the server asks for a client certificate and none is set
  certificado_rechazado,  // the server refused the client certificate
  sin_respuesta,          // the handshake did not end within its time
  interrumpida,           // an interruption was recorded meanwhile (plat_interrupcion)
  negociacion             // any other failure: a peer that does not speak TLS, no common
                          // version or cipher, a connection closed or reset
};
// The handshake of TLS 1.2 or later on the connected socket s, checking the
// server's chain and that its certificate names `nombre` (a host name, or an
// IPv4 address in dotted form; only the certificate's subject alternative
// names count), all within max_ms. When the server asks for a client
// certificate under TLS 1.3, it also waits (a little, within max_ms) for the
// server's verdict on it, which that version gives after the handshake.
// Returns the connection, or nullptr with *rechazo. s stays open either way;
// its owner closes it after plat_tls_cierra.
ConexionTls* plat_tls_conecta(ClienteTls* cliente, socket_t s, const char* nombre, int max_ms,
                              RechazoTls* rechazo);

// The counterparts of plat_envia, plat_recibe, plat_recibe_con_plazo and
// plat_espera_datos (plataforma.h) for the bytes of a TLS connection, with
// the same results, interruptions and time limits. A failure of TLS itself
// (a record that does not decrypt, an alert) is -1 with the socket error
// code EPROTO on POSIX, WSAECONNABORTED on Windows; a close by the peer,
// with or without TLS's close message, is 0. A receive with a limit takes
// what TLS holds decrypted at once, and waits no longer than max_ms for a
// record to complete, even when the socket's receive time-out cannot be set.
// An interruption is -1 with nothing taken: the record begun stays whole.
long plat_tls_envia(ConexionTls* c, const void* datos, size_t n);
long plat_tls_recibe(ConexionTls* c, void* destino, size_t n);
long plat_tls_recibe_con_plazo(ConexionTls* c, void* destino, size_t n, int max_ms, int* plazo_ms);
// The wait for the rest of a frame, `faltan` bytes. POSIX: it returns at
// once when OpenSSL holds any byte, decrypted or read ahead (the start of a
// record not yet whole included), and otherwise waits on the socket for
// the rest. Windows: the bytes decrypted and those received of records not
// yet decrypted count toward `faltan`, and the socket is waited on for the
// rest.
void plat_tls_espera_datos(ConexionTls* c, size_t faltan, int max_ms);
// Ends the connection: TLS's close message when the connection is still
// sound (one try, never waiting), then its memory. nullptr does nothing.
void plat_tls_cierra(ConexionTls* c);

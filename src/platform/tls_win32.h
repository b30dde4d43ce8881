// What the two Windows TLS files share and nobody else sees: the
// certificates of the client's settings read from PEM files, the client
// key put where SChannel takes it from, and the check of the server's chain
// and name (tls_certificados_win32.cpp), for the connections of
// tls_win32.cpp.
#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include "platform/tls.h"

// Every certificate of a PEM file in a store of its own, or nullptr when the
// file cannot be read or holds none.
HCERTSTORE lee_autoridades(const char* ruta);
// The first certificate of a PEM file, or nullptr.
PCCERT_CONTEXT lee_certificado(const char* ruta);
// Reads the RSA private key of a PEM file (PKCS#8 or PKCS#1, not encrypted),
// checks that it is the certificate's, and puts it in a key container of the
// run's own (SChannel takes a client key from a container, never from
// memory), removed when the process ends. False when any step fails.
bool pon_clave(PCCERT_CONTEXT certificado, const char* ruta);
// The 4 bytes of a dotted IPv4 address (four decimal numbers up to 255);
// false when the text is not one.
bool lee_ipv4(const char* texto, unsigned char (&ip)[4]);
// Checks the server's certificate (with the chain it sent in its store)
// against the trusted certificates (autoridades, or the system's store when
// nullptr): a chain that ends at one of them, then `nombre` among its
// subject alternative names, then the dates of the chain, then anything else
// the chain's check found. True when all is well; false with *rechazo.
bool verifica_servidor(PCCERT_CONTEXT servidor, HCERTSTORE autoridades, const char* nombre,
                       RechazoTls* rechazo);

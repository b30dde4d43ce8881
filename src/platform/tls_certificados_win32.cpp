// The certificates of TLS on Windows (tls_win32.h): PEM files read with
// crypt32, the client's RSA key imported into a key container of the run's
// own (removed at the process's end), and the check of the server's chain
// and name that the connection makes itself, so that its rules are those of
// the POSIX build: the authorities given or the system's store, the name
// only among the subject alternative names, a wildcard for one whole label.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/tls_win32.h"

namespace {

using Bytes = std::vector<BYTE>;

// The whole file; false when it cannot be read.
bool lee_fichero(const char* ruta, std::string* texto) {
  FILE* f = fopen(ruta, "rb");
  if (f == nullptr) return false;
  char trozo[4096];
  size_t n;
  while ((n = fread(trozo, 1, sizeof trozo, f)) > 0) texto->append(trozo, n);
  bool bien = ferror(f) == 0;
  fclose(f);
  return bien;
}

// The DER bytes of every PEM block of the file labelled `etiqueta`
// ("CERTIFICATE", "PRIVATE KEY"...), in order.
std::vector<Bytes> bloques(const std::string& texto, const char* etiqueta) {
  std::vector<Bytes> encontrados;
  std::string inicio = std::string("-----BEGIN ") + etiqueta + "-----";
  std::string fin = std::string("-----END ") + etiqueta + "-----";
  size_t pos = 0;
  for (;;) {
    size_t a = texto.find(inicio, pos);
    if (a == std::string::npos) break;
    a += inicio.size();
    size_t b = texto.find(fin, a);
    if (b == std::string::npos) break;
    pos = b + fin.size();
    DWORD n = 0;
    if (!CryptStringToBinaryA(texto.data() + a, (DWORD)(b - a), CRYPT_STRING_BASE64, nullptr, &n, nullptr,
                              nullptr))
      continue;
    Bytes der(n);
    if (CryptStringToBinaryA(texto.data() + a, (DWORD)(b - a), CRYPT_STRING_BASE64, der.data(), &n, nullptr,
                             nullptr)) {
      der.resize(n);
      encontrados.push_back(der);
    }
  }
  return encontrados;
}

// One DER element at p[*i] with tag `etiqueta`: *i moves to its content and
// *largo gets the content's length. False when it is not there whole.
bool elemento_der(const Bytes& p, size_t* i, BYTE etiqueta, size_t* largo) {
  if (*i + 2 > p.size() || p[*i] != etiqueta) return false;
  size_t j = *i + 1;
  size_t n = p[j++];
  if (n & 0x80) {
    size_t cifras = n & 0x7F;
    if (cifras == 0 || cifras > 4 || j + cifras > p.size()) return false;
    n = 0;
    while (cifras-- > 0) n = (n << 8) | p[j++];
  }
  if (j + n > p.size()) return false;
  *i = j;
  *largo = n;
  return true;
}

// The RSAPrivateKey (PKCS#1) inside a PrivateKeyInfo (PKCS#8) of an RSA
// key; false for anything else. (The decoder of PKCS#8 is missing from
// older crypt32s, Wine's among them.)
bool de_pkcs8(const Bytes& pkcs8, Bytes* pkcs1) {
  static const BYTE RSA[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};  // 1.2.840.113549.1.1.1
  size_t i = 0, n = 0;
  if (!elemento_der(pkcs8, &i, 0x30, &n) || !elemento_der(pkcs8, &i, 0x02, &n)) return false;
  i += n;  // the version
  size_t fin_algoritmo;
  if (!elemento_der(pkcs8, &i, 0x30, &n)) return false;
  fin_algoritmo = i + n;
  if (!elemento_der(pkcs8, &i, 0x06, &n) || n != sizeof RSA || memcmp(pkcs8.data() + i, RSA, n) != 0)
    return false;
  i = fin_algoritmo;
  if (!elemento_der(pkcs8, &i, 0x04, &n)) return false;
  pkcs1->assign(pkcs8.begin() + (long)i, pkcs8.begin() + (long)(i + n));
  return true;
}

// The key container of the run, removed when the process ends.
char contenedor[64];

void borra_contenedor() {
  HCRYPTPROV prov;
  CryptAcquireContextA(&prov, contenedor, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_DELETEKEYSET);
}

// True when the key in the container is the certificate's.
bool es_del_certificado(HCRYPTPROV prov, PCCERT_CONTEXT certificado) {
  DWORD n = 0;
  if (!CryptExportPublicKeyInfo(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, nullptr, &n)) return false;
  Bytes publica(n);
  PCERT_PUBLIC_KEY_INFO info = reinterpret_cast<PCERT_PUBLIC_KEY_INFO>(publica.data());
  return CryptExportPublicKeyInfo(prov, AT_KEYEXCHANGE, X509_ASN_ENCODING, info, &n) &&
         CertComparePublicKeyInfo(X509_ASN_ENCODING, &certificado->pCertInfo->SubjectPublicKeyInfo, info);
}

bool igual_sin_caso(char a, char b) {
  if (a >= 'A' && a <= 'Z') a = (char)(a - 'A' + 'a');
  if (b >= 'A' && b <= 'Z') b = (char)(b - 'A' + 'a');
  return a == b;
}

// The `largo` bytes at a against the text b, without regard to case.
bool iguales(const char* a, size_t largo, const char* b) {
  if (strlen(b) != largo) return false;
  for (size_t i = 0; i < largo; i++)
    if (!igual_sin_caso(a[i], b[i])) return false;
  return true;
}

// A DNS name of the certificate, its `largo` bytes as the certificate holds
// them, against the name asked for: without regard to case; "*.rest" stands
// for one whole first label, and rest must hold two labels at least
// ("*.com" names no host). A name holding a NUL or a byte outside ASCII
// names nothing (a NUL would end it early for a reader of C strings:
// "host\0.other" is no name of host).
bool dns_coincide(const BYTE* bytes, size_t largo, const char* nombre) {
  for (size_t i = 0; i < largo; i++)
    if (bytes[i] == 0 || bytes[i] >= 0x80) return false;
  const char* patron = reinterpret_cast<const char*>(bytes);
  if (largo >= 2 && patron[0] == '*' && patron[1] == '.') {
    const char* resto = patron + 1;
    size_t largo_resto = largo - 1;
    if (memchr(resto + 1, '.', largo_resto - 1) == nullptr) return false;
    const char* punto = strchr(nombre, '.');
    return punto != nullptr && punto != nombre && iguales(resto, largo_resto, punto);
  }
  return iguales(patron, largo, nombre);
}

// True when the certificate's subject alternative names hold `nombre`: an
// address among its IP addresses, a host name among its DNS names. The
// extension's DER is read here, each name with the length it has there.
bool nombra(PCCERT_CONTEXT certificado, const char* nombre) {
  PCERT_INFO info = certificado->pCertInfo;
  PCERT_EXTENSION ext = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (ext == nullptr) return false;
  Bytes der(ext->Value.pbData, ext->Value.pbData + ext->Value.cbData);
  size_t i = 0, n = 0;
  if (!elemento_der(der, &i, 0x30, &n)) return false;  // GeneralNames
  size_t fin = i + n;
  unsigned char ip[4];
  bool es_ip = lee_ipv4(nombre, ip);
  // Each GeneralName: [2] dNSName and [7] iPAddress are read, the others
  // stepped over.
  constexpr BYTE NOMBRE_DNS = 0x82, DIRECCION_IP = 0x87;
  while (i < fin) {
    BYTE etiqueta = der[i];
    size_t largo = 0;
    if (!elemento_der(der, &i, etiqueta, &largo) || i + largo > fin) return false;
    const BYTE* valor = der.data() + i;
    if (es_ip ? etiqueta == DIRECCION_IP && largo == 4 && memcmp(valor, ip, 4) == 0
              : etiqueta == NOMBRE_DNS && dns_coincide(valor, largo, nombre))
      return true;
    i += largo;
  }
  return false;
}

bool esta_en(HCERTSTORE almacen, PCCERT_CONTEXT certificado) {
  PCCERT_CONTEXT hallado =
      CertFindCertificateInStore(almacen, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificado, nullptr);
  if (hallado == nullptr) return false;
  CertFreeCertificateContext(hallado);
  return true;
}

// What the chain built for the server's certificate says, in the order of
// the POSIX build: trust, the name, the dates, anything else.
bool evalua(PCCERT_CHAIN_CONTEXT cadena, PCCERT_CONTEXT servidor, HCERTSTORE autoridades, const char* nombre,
            RechazoTls* rechazo) {
  DWORD e = cadena->TrustStatus.dwErrorStatus;
  PCERT_SIMPLE_CHAIN simple = cadena->cChain > 0 ? cadena->rgpChain[0] : nullptr;
  if (simple == nullptr || simple->cElement == 0) {
    *rechazo = RechazoTls::no_valido;
    return false;
  }
  PCCERT_CONTEXT raiz = simple->rgpElement[simple->cElement - 1]->pCertContext;
  bool completa = (e & CERT_TRUST_IS_PARTIAL_CHAIN) == 0;
  // With authorities of its own, the run trusts them alone.
  bool confiable = completa && (autoridades != nullptr ? esta_en(autoridades, raiz)
                                                       : (e & CERT_TRUST_IS_UNTRUSTED_ROOT) == 0);
  *rechazo = RechazoTls::no_confiable;
  if (!confiable) return false;
  *rechazo = RechazoTls::nombre;
  if (!nombra(servidor, nombre)) return false;
  if ((e & CERT_TRUST_IS_NOT_TIME_VALID) != 0) {
    for (DWORD i = 0; i < simple->cElement; i++) {
      LONG t = CertVerifyTimeValidity(nullptr, simple->rgpElement[i]->pCertContext->pCertInfo);
      *rechazo = t > 0 ? RechazoTls::caducado : RechazoTls::aun_no_valido;
      if (t != 0) return false;
    }
  }
  const DWORD ignorados = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_NOT_TIME_VALID |
                          CERT_TRUST_IS_NOT_TIME_NESTED | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                          CERT_TRUST_IS_OFFLINE_REVOCATION;
  *rechazo = RechazoTls::no_valido;
  return (e & ~ignorados) == 0;
}

}  // namespace

HCERTSTORE lee_autoridades(const char* ruta) {
  std::string texto;
  if (!lee_fichero(ruta, &texto)) return nullptr;
  HCERTSTORE almacen = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
  if (almacen == nullptr) return nullptr;
  int leidos = 0;
  for (const Bytes& der : bloques(texto, "CERTIFICATE")) {
    if (CertAddEncodedCertificateToStore(almacen, X509_ASN_ENCODING, der.data(), (DWORD)der.size(),
                                         CERT_STORE_ADD_USE_EXISTING, nullptr))
      leidos++;
  }
  if (leidos > 0) return almacen;
  CertCloseStore(almacen, 0);
  return nullptr;
}

PCCERT_CONTEXT lee_certificado(const char* ruta) {
  std::string texto;
  if (!lee_fichero(ruta, &texto)) return nullptr;
  std::vector<Bytes> der = bloques(texto, "CERTIFICATE");
  if (der.empty()) return nullptr;
  return CertCreateCertificateContext(X509_ASN_ENCODING, der[0].data(), (DWORD)der[0].size());
}

bool pon_clave(PCCERT_CONTEXT certificado, const char* ruta) {
  std::string texto;
  if (!lee_fichero(ruta, &texto)) return false;
  Bytes pkcs1;
  std::vector<Bytes> pkcs8 = bloques(texto, "PRIVATE KEY");
  std::vector<Bytes> rsa = bloques(texto, "RSA PRIVATE KEY");
  if (!pkcs8.empty()) {
    if (!de_pkcs8(pkcs8[0], &pkcs1)) return false;
  } else if (!rsa.empty()) {
    pkcs1 = rsa[0];
  } else {
    return false;
  }
  BYTE* blob = nullptr;
  DWORD largo = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, PKCS_RSA_PRIVATE_KEY, pkcs1.data(),
                           (DWORD)pkcs1.size(), CRYPT_DECODE_ALLOC_FLAG, nullptr, &blob, &largo))
    return false;
  snprintf(contenedor, sizeof contenedor, "vortcp-%lu-%lu", (unsigned long)GetCurrentProcessId(),
           (unsigned long)GetTickCount());
  HCRYPTPROV prov = 0;
  HCRYPTKEY clave = 0;
  bool hecho = CryptAcquireContextA(&prov, contenedor, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES, CRYPT_NEWKEYSET);
  if (hecho) {
    atexit(borra_contenedor);
    hecho = CryptImportKey(prov, blob, largo, 0, 0, &clave) && es_del_certificado(prov, certificado);
    if (clave != 0) CryptDestroyKey(clave);
    CryptReleaseContext(prov, 0);
  }
  SecureZeroMemory(blob, largo);
  LocalFree(blob);
  SecureZeroMemory(pkcs1.data(), pkcs1.size());
  if (!hecho) return false;
  wchar_t nombre[64];
  MultiByteToWideChar(CP_ACP, 0, contenedor, -1, nombre, 64);
  CRYPT_KEY_PROV_INFO info;
  memset(&info, 0, sizeof info);
  info.pwszContainerName = nombre;
  info.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
  info.dwProvType = PROV_RSA_AES;
  info.dwKeySpec = AT_KEYEXCHANGE;
  return CertSetCertificateContextProperty(certificado, CERT_KEY_PROV_INFO_PROP_ID, 0, &info);
}

bool lee_ipv4(const char* texto, unsigned char (&ip)[4]) {
  const char* p = texto;
  for (int k = 0; k < 4; k++) {
    int valor = 0, cifras = 0;
    while (*p >= '0' && *p <= '9' && cifras < 4) valor = valor * 10 + (*p++ - '0'), cifras++;
    if (cifras == 0 || cifras > 3 || valor > 255) return false;
    ip[k] = (unsigned char)valor;
    if (k < 3 && *p++ != '.') return false;
  }
  return *p == '\0';
}

bool verifica_servidor(PCCERT_CONTEXT servidor, HCERTSTORE autoridades, const char* nombre,
                       RechazoTls* rechazo) {
  // The chain may take its certificates from what the server sent and from
  // the authorities given; its root is judged by evalua.
  HCERTSTORE adicional = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (adicional != nullptr) {
    CertAddStoreToCollection(adicional, servidor->hCertStore, 0, 0);
    if (autoridades != nullptr) CertAddStoreToCollection(adicional, autoridades, 0, 0);
  }
  CERT_CHAIN_PARA para;
  memset(&para, 0, sizeof para);
  para.cbSize = sizeof para;
  LPSTR uso = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = &uso;
  PCCERT_CHAIN_CONTEXT cadena = nullptr;
  bool hecha = CertGetCertificateChain(nullptr, servidor, nullptr, adicional, &para,
                                       CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &cadena);
  if (adicional != nullptr) CertCloseStore(adicional, 0);
  if (!hecha || cadena == nullptr) {
    *rechazo = RechazoTls::no_valido;
    return false;
  }
  bool bien = evalua(cadena, servidor, autoridades, nombre, rechazo);
  CertFreeCertificateChain(cadena);
  return bien;
}

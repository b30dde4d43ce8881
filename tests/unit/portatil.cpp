// The two socket APIs the tests meet (Winsock and BSD) differ only in their
// headers, the type of a length and the name of close: those few differences
// are kept here, so the test files themselves need no conditional code.
#include "portatil.h"

#ifdef _WIN32
#include <stdlib.h>
#include <winsock2.h>
#include <ws2tcpip.h>
using largo_direccion = int;
static int cierra(socket_t s) {
  return closesocket((SOCKET)s);
}
static const int SOLO_ENVIO = SD_SEND;
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
static const bool FIN_CRLF = true;
static const bool RAIZ_DE_UNIDAD = true;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using largo_direccion = socklen_t;
static int cierra(socket_t s) {
  return close((int)s);
}
static const int SOLO_ENVIO = SHUT_WR;
static const bool FIN_CRLF = false;
static const bool RAIZ_DE_UNIDAD = false;
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

void sin_nagle(socket_t s) {
  int uno = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&uno, sizeof uno);
}

bool hay_datos(socket_t s, int milisegundos) {
  fd_set conjunto;
  FD_ZERO(&conjunto);
  FD_SET(s, &conjunto);
  struct timeval espera;
  espera.tv_sec = 0;
  espera.tv_usec = milisegundos * 1000;
  return select((int)s + 1, &conjunto, nullptr, nullptr, &espera) > 0;
}

}  // namespace

bool crea_par_sockets(socket_t par[2]) {
  par[0] = par[1] = SOCKET_INVALIDO;
  if (plat_inicia_red() != 0) return false;
  socket_t oyente = (socket_t)socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  dir.sin_port = 0;
  largo_direccion largo = sizeof dir;
  bool ok = oyente != SOCKET_INVALIDO && bind(oyente, (struct sockaddr*)&dir, sizeof dir) == 0 &&
            listen(oyente, 1) == 0 && getsockname(oyente, (struct sockaddr*)&dir, &largo) == 0;
  if (ok) {
    par[0] = (socket_t)socket(AF_INET, SOCK_STREAM, 0);
    ok = par[0] != SOCKET_INVALIDO && connect(par[0], (struct sockaddr*)&dir, sizeof dir) == 0;
  }
  if (ok) {
    par[1] = (socket_t)accept(oyente, nullptr, nullptr);
    ok = par[1] != SOCKET_INVALIDO;
  }
  if (oyente != SOCKET_INVALIDO) cierra(oyente);
  if (!ok) {
    if (par[0] != SOCKET_INVALIDO) cierra(par[0]);
    if (par[1] != SOCKET_INVALIDO) cierra(par[1]);
    par[0] = par[1] = SOCKET_INVALIDO;
    return false;
  }
  sin_nagle(par[0]);
  sin_nagle(par[1]);
  return true;
}

bool envia_todo(socket_t s, const std::string& datos) {
  size_t hecho = 0;
  while (hecho < datos.size()) {
    int r = (int)send(s, datos.data() + hecho, (int)(datos.size() - hecho), 0);
    if (r <= 0) return false;
    hecho += (size_t)r;
  }
  return true;
}

std::string lee_pendiente(socket_t s) {
  std::string r;
  char b[65536];
  while (hay_datos(s, 20)) {
    int n = (int)recv(s, b, (int)sizeof b, 0);
    if (n <= 0) break;
    r.append(b, (size_t)n);
  }
  return r;
}

// A plain close with unread bytes in its buffer resets the connection, and the
// other end would see a failed receive instead of a close.
void cierra_extremo(socket_t& s) {
  if (s == SOCKET_INVALIDO) return;
  shutdown(s, SOLO_ENVIO);
  lee_pendiente(s);
  cierra(s);
  s = SOCKET_INVALIDO;
}

void pon_variable(const char* nombre, const char* valor) {
#ifdef _WIN32
  _putenv_s(nombre, valor);
#else
  setenv(nombre, valor, 1);
#endif
}

void quita_variable(const char* nombre) {
#ifdef _WIN32
  _putenv_s(nombre, "");
#else
  unsetenv(nombre);
#endif
}

std::string crea_directorio_temporal(const char* prefijo) {
  namespace fs = std::filesystem;
  static std::atomic<unsigned> cuenta{0};
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) return "";
  std::random_device azar;
  for (int intento = 0; intento < 100; intento++) {
    fs::path p = base / (std::string(prefijo) + std::to_string(azar()) + "_" + std::to_string(cuenta++));
    if (fs::create_directory(p, ec)) return p.string();
  }
  return "";
}

void borra_arbol(const std::string& ruta) {
  std::error_code ec;
  if (!ruta.empty()) std::filesystem::remove_all(ruta, ec);
}

static std::string sin_cr_lf(const std::string& r) {
  if (!FIN_CRLF) return r;
  std::string sin_cr;
  for (size_t i = 0; i < r.size(); i++)
    if (!(r[i] == '\r' && i + 1 < r.size() && r[i + 1] == '\n')) sin_cr += r[i];
  return sin_cr;
}

static FILE* fichero_captura = nullptr;
static int salida_guardada = -1;

void captura_salida() {
  fflush(stdout);
  fichero_captura = tmpfile();
  if (fichero_captura == nullptr) return;
  salida_guardada = dup(fileno(stdout));
  dup2(fileno(fichero_captura), fileno(stdout));
}

std::string salida_capturada() {
  std::string r;
  if (fichero_captura == nullptr) return r;
  fflush(stdout);
  dup2(salida_guardada, fileno(stdout));
  close(salida_guardada);
  salida_guardada = -1;
  rewind(fichero_captura);
  char b[4096];
  size_t n;
  while ((n = fread(b, 1, sizeof b, fichero_captura)) > 0) r.append(b, n);
  fclose(fichero_captura);
  fichero_captura = nullptr;
  return sin_cr_lf(r);
}

static std::filesystem::path directorio_previo, arbol_actual;

static void vacia(const std::filesystem::path& dir) {
  std::error_code ec;
  for (const auto& entrada : std::filesystem::directory_iterator(dir, ec))
    std::filesystem::remove_all(entrada.path(), ec);
}

std::string entra_en_arbol_temporal() {
  namespace fs = std::filesystem;
  std::error_code ec;
  directorio_previo = fs::current_path(ec);
  if (RAIZ_DE_UNIDAD) {
    const char* raiz = getenv("VORTCP_RAIZ_PRUEBAS");
    if (raiz == nullptr || *raiz == '\0') return "";
    arbol_actual = raiz;
    vacia(arbol_actual);
  } else {
    arbol_actual = crea_directorio_temporal("vortcp_arbol_");
    if (arbol_actual.empty()) return "";
  }
  fs::current_path(arbol_actual, ec);
  if (ec) return "";
  return arbol_actual.string();
}

void sale_del_arbol_temporal() {
  std::error_code ec;
  std::filesystem::current_path(directorio_previo, ec);
  if (arbol_actual.empty()) return;
  if (RAIZ_DE_UNIDAD) {
    vacia(arbol_actual);
  } else {
    std::filesystem::remove_all(arbol_actual, ec);
  }
  arbol_actual.clear();
}

std::string ruta_mostrada(const std::string& relativa) {
  std::string formato = "\\" + relativa;
  for (char& c : formato)
    if (c == '/') c = '\\';
  char r[1024];
  plat_ruta(r, sizeof r, "%s", formato.c_str());
  return r;
}

std::string lee_texto_local(const std::string& ruta) {
  std::ifstream f(ruta, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  std::string crudo = s.str();
  std::string r = sin_cr_lf(crudo);
  // Each CR LF dropped one byte: a LF that came alone leaves the counts unequal,
  // and the text is marked so that the test's comparison shows it.
  if (FIN_CRLF && crudo.size() - r.size() != (size_t)std::count(r.begin(), r.end(), '\n'))
    return "(LF sin CR) " + r;
  return r;
}

bool en_windows() {
  return RAIZ_DE_UNIDAD;
}

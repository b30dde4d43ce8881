// The POSIX implementation of the platform layer (plataforma.h): BSD sockets,
// nanosleep, mkdir, "/" paths relative to the current directory, rename() for
// the atomic replace, setenv/unsetenv, and iconv between CP1252 and CP850.
#include <arpa/inet.h>
#include <errno.h>
#include <iconv.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "main/plataforma.h"
#include "main/texto.h"

int plat_inicia_red() { return 0; }

socket_t plat_crea_socket() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  return s < 0 ? SOCKET_INVALIDO : (socket_t)s;
}

int plat_error_red() { return errno; }

bool plat_error_es_bloqueo(int codigo) { return codigo == EWOULDBLOCK || codigo == EAGAIN; }

bool plat_direccion_punteada(const char* nombre, uint32_t* direccion) {
  struct in_addr a;
  if (inet_pton(AF_INET, nombre, &a) != 1) return false;
  *direccion = a.s_addr;
  return true;
}

bool plat_busca_host(const char* nombre, uint32_t* direccion) {
  struct addrinfo pista;
  memset(&pista, 0, sizeof pista);
  pista.ai_family = AF_INET;
  pista.ai_socktype = SOCK_STREAM;
  struct addrinfo* resultado = nullptr;
  if (getaddrinfo(nombre, nullptr, &pista, &resultado) != 0 || resultado == nullptr) return false;
  *direccion = ((struct sockaddr_in*)resultado->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(resultado);
  return true;
}

int plat_conecta(socket_t s, uint32_t direccion, int puerto) {
  struct sockaddr_in destino;
  memset(&destino, 0, sizeof destino);
  destino.sin_family = AF_INET;
  destino.sin_port = htons((uint16_t)(puerto & 0xFFFF));
  destino.sin_addr.s_addr = direccion;
  int r;
  do {
    r = connect((int)s, (struct sockaddr*)&destino, sizeof destino);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? -1 : 0;
}

static FuenteRecepcion fuente_prueba = nullptr;
static DestinoEnvio destino_prueba = nullptr;
static bool pausa_activa = true;

void plat_establece_red_prueba(FuenteRecepcion fuente, DestinoEnvio destino) {
  fuente_prueba = fuente;
  destino_prueba = destino;
}

void plat_establece_pausa_prueba(bool activa) { pausa_activa = activa; }

long plat_envia(socket_t s, const void* datos, size_t n) {
  if (destino_prueba != nullptr) return destino_prueba(s, datos, n);
  const char* p = (const char*)datos;
  size_t hecho = 0;
  while (hecho < n) {
    ssize_t r = send((int)s, p + hecho, n - hecho, MSG_NOSIGNAL);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    hecho += (size_t)r;
  }
  return (long)n;
}

long plat_recibe(socket_t s, void* destino, size_t n) {
  if (fuente_prueba != nullptr) return fuente_prueba(s, destino, n);
  for (;;) {
    ssize_t r = recv((int)s, destino, n, 0);
    if (r < 0 && errno == EINTR) continue;
    return (long)r;
  }
}

void plat_cierra_socket(socket_t s) {
  if (s != SOCKET_INVALIDO) close((int)s);
}

void plat_pausa_ms(int milisegundos) {
  if (!pausa_activa) return;
  struct timespec t;
  t.tv_sec = milisegundos / 1000;
  t.tv_nsec = (long)(milisegundos % 1000) * 1000000L;
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

FechaHora plat_fecha_hora_local() {
  time_t ahora = time(nullptr);
  struct tm t;
  localtime_r(&ahora, &t);
  return FechaHora{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

// The program's paths are written as on Windows ("\LIB\FILE\MBR.ext", a leading
// backslash being the root of the drive). Here the tree hangs from the current
// directory: one leading backslash is dropped and the others become "/".
bool plat_ruta_v(char* destino, size_t capacidad, const char* formato, va_list args) {
  if (capacidad == 0) return false;
  int n = vsnprintf(destino, capacidad, formato, args);
  if (n < 0 || (size_t)n >= capacidad) {
    destino[0] = '\0';
    return false;
  }
  char* p = destino;
  if (*p == '\\') memmove(p, p + 1, strlen(p + 1) + 1);
  for (; *p; p++)
    if (*p == '\\') *p = '/';
  return true;
}

bool plat_ruta(char* destino, size_t capacidad, const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  bool ok = plat_ruta_v(destino, capacidad, formato, args);
  va_end(args);
  return ok;
}

void plat_crea_directorio(const char* ruta) { (void)mkdir(ruta, 0777); }

FILE* plat_abre_texto(const char* ruta, const char* modo) { return fopen(ruta, modo); }

FILE* plat_abre_binario(const char* ruta, const char* modo) {
  char m[8];
  formatea(m, "%sb", modo);
  return fopen(ruta, m);
}

char* plat_lee_linea(char* destino, int capacidad, FILE* f) {
  if (fgets(destino, capacidad, f) == nullptr) return nullptr;
  size_t n = strlen(destino);
  if (n >= 2 && destino[n - 1] == '\n' && destino[n - 2] == '\r') {
    destino[n - 2] = '\n';
    destino[n - 1] = '\0';
  } else if (capacidad > 1 && n == (size_t)capacidad - 1 && n >= 1 && destino[n - 1] == '\r') {
    // The CR may be the last byte that fitted, with its LF still unread.
    int c = getc(f);
    if (c == '\n') {
      destino[n - 1] = '\n';
    } else if (c != EOF) {
      ungetc(c, f);
    }
  }
  return destino;
}

bool plat_reemplaza_fichero(const char* origen, const char* destino) {
  return rename(origen, destino) == 0;
}

void plat_borra_fichero(const char* ruta) { (void)unlink(ruta); }

bool plat_cierra_escrito(FILE* f) {
  bool bien = fflush(f) == 0 && ferror(f) == 0;
  return fclose(f) == 0 && bien;
}

int plat_errno() { return errno; }

const char* plat_describe_error() { return strerror(errno); }

const char* plat_getenv(const char* nombre) { return getenv(nombre); }

void plat_putenv(const char* texto) {
  const char* igual = strchr(texto, '=');
  if (igual == nullptr) return;
  std::string nombre(texto, (size_t)(igual - texto));
  if (nombre.empty()) return;
  for (char& c : nombre)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  if (igual[1] == '\0') {
    unsetenv(nombre.c_str());
  } else {
    setenv(nombre.c_str(), igual + 1, 1);
  }
}

// One byte through iconv; -1 when the conversion is not exact.
static int convierte_byte(const char* de, const char* a, unsigned char c) {
  iconv_t cd = iconv_open(a, de);
  if (cd == (iconv_t)-1) return -1;
  char entrada[1] = {(char)c};
  char salida[8];
  char* pe = entrada;
  char* ps = salida;
  size_t ne = 1, ns = sizeof salida;
  size_t r = iconv(cd, &pe, &ne, &ps, &ns);
  iconv_close(cd);
  if (r != 0 || ne != 0 || sizeof salida - ns != 1) return -1;
  return (unsigned char)salida[0];
}

int plat_ansi_a_oem(unsigned char c) { return convierte_byte("CP1252", "CP850", c); }

int plat_oem_a_ansi(unsigned char c) { return convierte_byte("CP850", "CP1252", c); }

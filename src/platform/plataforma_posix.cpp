// The POSIX implementation of the platform layer (plataforma.h): BSD sockets,
// poll with SO_RCVLOWAT for the wait inside a frame, SO_RCVTIMEO for a receive
// with a time limit, TCP_QUICKACK, shutdown, getrandom, sigaction and the
// signal mask of a session's thread, mkdir, "/" paths relative to the current
// directory, rename() for the atomic replace, setenv/unsetenv, and iconv between CP1252 and CP850 (test
// dumps) and between CP1252 and UTF-8.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/plataforma.h"
#include "platform/plataforma_interna.h"

int plat_inicia_red() {
  return 0;
}

socket_t plat_crea_socket() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  return s < 0 ? SOCKET_INVALIDO : (socket_t)s;
}

int plat_error_red() {
  return errno;
}

bool plat_error_es_bloqueo(int codigo) {
  return codigo == EWOULDBLOCK || codigo == EAGAIN;
}

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

// The first interruption recorded by the handler; 0 while there is none.
// Atomic, not only volatile: the threads of the sessions of a run read it
// while the handler writes it in another thread; a lock-free atomic is as
// safe in a signal handler as a sig_atomic_t.
static std::atomic<int> senal_recibida{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free atomic");

static void registra_senal(int numero) {
  int guardado = errno;
  int ninguna = 0;
  senal_recibida.compare_exchange_strong(ninguna, numero);
  errno = guardado;
}

void plat_vigila_interrupciones() {
  struct sigaction accion;
  memset(&accion, 0, sizeof accion);
  accion.sa_handler = registra_senal;
  sigemptyset(&accion.sa_mask);
  // No SA_RESTART: a receive that waits must give up at once.
  accion.sa_flags = 0;
  sigaction(SIGINT, &accion, nullptr);
  sigaction(SIGTERM, &accion, nullptr);
}

void plat_hilo_sin_interrupciones() {
  sigset_t senales;
  sigemptyset(&senales);
  sigaddset(&senales, SIGINT);
  sigaddset(&senales, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &senales, nullptr);
}

int plat_interrupcion() {
  if (senal_recibida == SIGPIPE) return SALIDA_CERRADA;
  return senal_recibida == SIGINT ? 2 : senal_recibida == SIGTERM ? 15 : 0;
}

void plat_registra_salida_cerrada() {
  registra_senal(SIGPIPE);
}

bool plat_salida_sin_lector(FILE* f) {
  struct pollfd p;
  p.fd = fileno(f);
  p.events = POLLOUT;
  p.revents = 0;
  return p.fd >= 0 && poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

void plat_inicia_proceso() {
  signal(SIGPIPE, SIG_IGN);
}

void plat_olvida_interrupcion() {
  senal_recibida = 0;
}

long plat_envia(socket_t s, const void* datos, size_t n) {
  if (destino_prueba != nullptr) return destino_prueba(s, datos, n);
  const char* p = (const char*)datos;
  size_t hecho = 0;
  while (hecho < n) {
    if (senal_recibida != 0) {
      errno = EINTR;
      return -1;
    }
    ssize_t r = send((int)s, p + hecho, n - hecho, MSG_NOSIGNAL);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    hecho += (size_t)r;
  }
  return (long)n;
}

// The time-out is a property of the socket: it is set once, not per receive.
bool pon_plazo_recepcion(socket_t s, int max_ms, int* plazo_ms) {
  if (*plazo_ms == max_ms) return true;
  struct timeval t;
  t.tv_sec = max_ms / 1000;
  t.tv_usec = (max_ms % 1000) * 1000;
  if (setsockopt((int)s, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t) != 0) return false;
  *plazo_ms = max_ms;
  return true;
}

namespace {

// The receive of both plat_recibe and plat_recibe_con_plazo: interruptions by
// other signals are retried, and once one is recorded the result is -1. EAGAIN
// on a blocking socket is the receive time-out that plat_recibe_con_plazo set:
// PLAT_SIN_DATOS with con_plazo; without it the receive goes on waiting, as
// plat_recibe has no time limit.
long recibe_del_socket(socket_t s, void* destino, size_t n, bool con_plazo) {
  for (;;) {
    if (senal_recibida != 0) {
      errno = EINTR;
      return -1;
    }
    ssize_t r = recv((int)s, destino, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (con_plazo) return PLAT_SIN_DATOS;
      continue;
    }
    return (long)r;
  }
}

// Without a time-out on the socket, poll stands in for it. Cut short by
// another signal, it waits on for the rest of max_ms: a receive after it
// would have no limit at all.
long recibe_tras_poll(socket_t s, void* destino, size_t n, int max_ms) {
  int64_t limite = plat_reloj_ms() + max_ms;
  for (;;) {
    if (senal_recibida != 0) {
      errno = EINTR;
      return -1;
    }
    int64_t queda = limite - plat_reloj_ms();
    if (queda <= 0) return PLAT_SIN_DATOS;
    struct pollfd p;
    p.fd = (int)s;
    p.events = POLLIN;
    p.revents = 0;
    int r = poll(&p, 1, (int)queda);
    if (r == 0) return PLAT_SIN_DATOS;
    if (r > 0) return recibe_del_socket(s, destino, n, false);
    if (errno != EINTR) return -1;
  }
}

}  // namespace

long plat_recibe(socket_t s, void* destino, size_t n) {
  if (fuente_prueba != nullptr) return fuente_prueba(s, destino, n);
  return recibe_del_socket(s, destino, n, false);
}

long plat_recibe_con_plazo(socket_t s, void* destino, size_t n, int max_ms, int* plazo_ms) {
  if (fuente_prueba != nullptr) return fuente_prueba(s, destino, n);
  if (max_ms < 1) max_ms = 1;
  if (!pon_plazo_recepcion(s, max_ms, plazo_ms)) return recibe_tras_poll(s, destino, n, max_ms);
  return recibe_del_socket(s, destino, n, true);
}

void plat_acusa_recibo(socket_t s) {
  if (fuente_prueba != nullptr) return;
#ifdef TCP_QUICKACK
  int uno = 1;
  setsockopt((int)s, IPPROTO_TCP, TCP_QUICKACK, &uno, sizeof uno);
#else
  (void)s;
#endif
}

void plat_corta_socket(socket_t s) {
  if (s == SOCKET_INVALIDO) return;
  shutdown((int)s, SHUT_RDWR);
}

void plat_cierra_socket(socket_t s) {
  if (s == SOCKET_INVALIDO) return;
  close((int)s);
}

bool plat_aleatorio(void* destino, size_t n) {
  unsigned char* p = (unsigned char*)destino;
  size_t hecho = 0;
  while (hecho < n) {
    ssize_t r = getrandom(p + hecho, n - hecho, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    hecho += (size_t)r;
  }
  if (hecho == n) return true;
  // A kernel without getrandom: the device gives the same bytes.
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  hecho = 0;
  while (hecho < n) {
    ssize_t r = read(fd, p + hecho, n - hecho);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    hecho += (size_t)r;
  }
  close(fd);
  return hecho == n;
}

int64_t plat_reloj_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Bytes ready to be received on the socket, or -1 when it cannot tell.
static long disponibles(int s) {
  int n = 0;
  return ioctl(s, FIONREAD, &n) == 0 ? (long)n : -1;
}

// With SO_RCVLOWAT at the bytes still missing, poll wakes only when they are
// all there, or at a close or an error (TCP honours the mark in poll). It
// waits in slices of 200 microseconds: part of the rest that came and then a
// quiet slice ends the wait early, so that the caller takes it and it is
// acknowledged (plat_acusa_recibo). The slice is longer than the gap between
// two segments of one send on a 100 Mbit/s link (116 us), and short enough
// that a frame written in Nagle-held pieces costs a small part of a frame's
// time per piece. The stack acknowledges bytes that sit
// unread only after its delayed-acknowledgement timer (up to 40 ms) when a
// piece comes alone, and a server whose stack holds the next small piece
// until then (Nagle) would send nothing more meanwhile. A socket that does
// not honour the mark (a local pair) wakes while anything is there: the wait
// then checks the count and takes short naps until the time is up.
void plat_espera_datos(socket_t s, size_t faltan, int max_ms) {
  if (!pausa_activa || fuente_prueba != nullptr || faltan == 0) return;
  constexpr long TAJADA_NS = 200000;
  int sd = (int)s;
  int marca = faltan > (size_t)(1 << 20) ? (1 << 20) : (int)faltan;
  bool con_marca = setsockopt(sd, SOL_SOCKET, SO_RCVLOWAT, &marca, sizeof marca) == 0;
  int64_t limite = plat_reloj_ms() + max_ms;
  // The count is read once per pass, after the wait: the next pass starts
  // from it.
  long hay = disponibles(sd);
  for (;;) {
    if (hay < 0 || (size_t)hay >= faltan || senal_recibida != 0) break;
    int64_t queda = limite - plat_reloj_ms();
    if (queda <= 0) break;
    struct pollfd p;
    p.fd = sd;
    p.events = POLLIN | POLLRDHUP;
    p.revents = 0;
    long ns = queda * 1000000 < TAJADA_NS ? (long)queda * 1000000 : TAJADA_NS;
    struct timespec tajada = {0, ns};
    int r = ppoll(&p, 1, &tajada, nullptr);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) break;
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL)) != 0) break;
    long ahora_hay = disponibles(sd);
    if (ahora_hay < 0 || (size_t)ahora_hay >= faltan) break;
    // Part of it, and nothing more for a slice: the server may be waiting
    // for the acknowledgement of that part.
    if (r == 0 && ahora_hay > 0 && ahora_hay == hay) break;
    if (r > 0 && ahora_hay == hay) {
      // Readable, but nothing new: the mark is not honoured here.
      struct timespec siesta = {0, 1000000L};
      nanosleep(&siesta, nullptr);
    }
    hay = ahora_hay;
  }
  if (con_marca) {
    int uno = 1;
    setsockopt(sd, SOL_SOCKET, SO_RCVLOWAT, &uno, sizeof uno);
  }
}

FechaHora plat_fecha_hora_local() {
  time_t ahora = time(nullptr);
  struct tm t;
  localtime_r(&ahora, &t);
  return FechaHora{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

FechaHora plat_fecha_hora_utc() {
  time_t ahora = time(nullptr);
  struct tm t;
  gmtime_r(&ahora, &t);
  return FechaHora{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

// The program's paths are written as on Windows ("\LIB\FILE\MBR.ext", a leading
// backslash being the root of the drive). Here the tree hangs from the current
// directory: one leading backslash is dropped and the others become "/".
void ajusta_ruta_local(char* ruta) {
  char* p = ruta;
  if (*p == '\\') memmove(p, p + 1, strlen(p + 1) + 1);
  for (; *p; p++)
    if (*p == '\\') *p = '/';
}

bool plat_crea_directorio(const char* ruta) {
  if (mkdir(ruta, 0777) == 0) return true;
  // Whatever the error says, a directory at the path is what was asked for.
  int codigo = errno;
  struct stat st;
  if (stat(ruta, &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = codigo == EEXIST ? ENOTDIR : codigo;
  return false;
}

FILE* plat_crea_nuevo(const char* ruta, bool binario) {
  // "x": O_EXCL, so that nothing at the path (a file, a planted link) is
  // opened; "e": O_CLOEXEC. Only when something is there is it removed.
  const char* modo = binario ? "wbxe" : "wxe";
  FILE* f = fopen(ruta, modo);
  if (f == nullptr && errno == EEXIST) {
    if (unlink(ruta) != 0) return nullptr;
    f = fopen(ruta, modo);
  }
  return f;
}

// The instant of a local date and time; false when it is not a valid one.
static bool instante_local(const FechaHora& f, time_t* instante) {
  struct tm t;
  tm_de_fecha(f, &t);
  *instante = mktime(&t);
  // mktime moves a day or hour that does not exist (30 February, the hour
  // skipped when clocks go forward) to one that does: that is no valid time.
  return *instante != (time_t)-1 && t.tm_year == f.anio - 1900 && t.tm_mon == f.mes - 1 &&
         t.tm_mday == f.dia && t.tm_hour == f.hora && t.tm_min == f.minuto && t.tm_sec == f.segundo;
}

static void tiempos_de(time_t instante, struct timespec (&tiempos)[2]) {
  tiempos[0].tv_sec = 0;
  tiempos[0].tv_nsec = UTIME_OMIT;
  tiempos[1].tv_sec = instante;
  tiempos[1].tv_nsec = 0;
}

bool plat_pon_fecha_abierto(FILE* fichero, const FechaHora& f) {
  time_t instante;
  if (!instante_local(f, &instante) || fflush(fichero) != 0) return false;
  struct timespec tiempos[2];
  tiempos_de(instante, tiempos);
  return futimens(fileno(fichero), tiempos) == 0;
}

bool plat_tiene_fecha(const char* ruta, const FechaHora& f) {
  struct stat st;
  struct tm t;
  if (stat(ruta, &st) != 0 || !S_ISREG(st.st_mode) || localtime_r(&st.st_mtime, &t) == nullptr) return false;
  // The fields compared as they are (an incremental run asks this of every
  // unchanged copy, and mktime would read the time zone each time); only a
  // time that differs is asked whether a file could be given it at all.
  FechaHora tiene{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  if (segundos_entre(tiene, f) <= 2) return true;
  time_t instante;
  return !instante_local(f, &instante);
}

// The lock files this process holds, by device and inode: asking again for
// one of them is asking for what the process has (flock would make a second
// open of the same file wait for the first).
static std::vector<std::pair<dev_t, ino_t>> bloqueos_tomados;

// Opens the lock file, never through a link and only as a regular file: a
// link, FIFO, device or socket at the path is removed and the open tried
// again (O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from waiting for
// a writer, fstat tells what was opened). -1 on failure, a directory there
// included; *st gets what fstat said.
static int abre_bloqueo(const char* ruta, struct stat* st) {
  for (int intento = 0; intento < 4; intento++) {
    int fd = open(ruta, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0) {
      if (fstat(fd, st) == 0 && S_ISREG(st->st_mode)) return fd;
      close(fd);
    } else {
      struct stat visto;
      if (lstat(ruta, &visto) != 0 || S_ISREG(visto.st_mode) || S_ISDIR(visto.st_mode)) return -1;
    }
    if (unlink(ruta) != 0) return -1;
  }
  return -1;
}

Bloqueo plat_bloquea(const char* ruta, int max_ms) {
  struct stat st;
  int fd = abre_bloqueo(ruta, &st);
  if (fd < 0) return Bloqueo::fallo;
  for (const auto& b : bloqueos_tomados) {
    if (b.first == st.st_dev && b.second == st.st_ino) {
      close(fd);
      return Bloqueo::tomado;
    }
  }
  int64_t limite = plat_reloj_ms() + max_ms;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // fd stays open for the rest of the process: the lock with it.
      bloqueos_tomados.emplace_back(st.st_dev, st.st_ino);
      return Bloqueo::tomado;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    if (plat_interrupcion() != 0) {
      close(fd);
      return Bloqueo::interrumpido;
    }
    if (plat_reloj_ms() >= limite) {
      close(fd);
      return Bloqueo::ocupado;
    }
    struct timespec siesta = {0, 50000000L};
    nanosleep(&siesta, nullptr);
  }
  close(fd);
  return Bloqueo::fallo;
}

FILE* plat_abre_texto(const char* ruta, const char* modo) {
  return fopen(ruta, modo);
}

void plat_devuelve_memoria() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

bool plat_ruta_con_enlace(const char* ruta) {
  char parte[4096];
  size_t n = strlen(ruta);
  if (n >= sizeof parte) return true;  // not looked at whole: not trusted
  for (size_t i = 1; i <= n; i++) {
    if (i < n && ruta[i] != '/') continue;
    memcpy(parte, ruta, i);
    parte[i] = '\0';
    struct stat st;
    if (lstat(parte, &st) == 0 && S_ISLNK(st.st_mode)) return true;
  }
  return false;
}

bool plat_es_fichero(const char* ruta) {
  struct stat st;
  return stat(ruta, &st) == 0 && S_ISREG(st.st_mode);
}

FILE* plat_abre_lectura_regular(const char* ruta) {
  // stat first, so that a device is never opened (an open can act on one);
  // fstat after, for what may have been put there in between.
  struct stat st;
  if (stat(ruta, &st) != 0) return nullptr;
  int codigo = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (!S_ISREG(st.st_mode)) {
    errno = codigo;
    return nullptr;
  }
  int fd = open(ruta, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    codigo = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(fd);
    errno = codigo;
    return nullptr;
  }
  FILE* f = fdopen(fd, "r");
  if (f == nullptr) close(fd);
  return f;
}

FILE* plat_abre_binario(const char* ruta, const char* modo) {
  char m[8];
  snprintf(m, sizeof m, "%sb", modo);
  return fopen(ruta, m);
}

size_t plat_lee_texto(FILE* f, char* destino, size_t n) {
  for (;;) {
    size_t k = fread(destino, 1, n, f);
    if (k == 0 || memchr(destino, '\r', k) == nullptr) return k;
    size_t j = 0;
    for (size_t i = 0; i < k; i++) {
      if (destino[i] == '\r') {
        if (i + 1 < k) {
          if (destino[i + 1] == '\n') continue;
        } else {
          // The CR is the last byte read: its LF, if any, is still unread.
          int c = getc(f);
          if (c != EOF) ungetc(c, f);
          if (c == '\n') continue;
        }
      }
      destino[j++] = destino[i];
    }
    // A read that held only a dropped CR is not the end of the file.
    if (j > 0) return j;
  }
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

size_t plat_lee_trozo(char* destino, size_t capacidad, FILE* f) {
  if (capacidad == 0) return 0;
  size_t n = 0;
  while (n + 1 < capacidad) {
    int c = getc(f);
    if (c == EOF) break;
    if (c == '\r') {
      int siguiente = getc(f);
      if (siguiente == '\n') {
        c = '\n';
      } else if (siguiente != EOF) {
        ungetc(siguiente, f);
      }
    }
    destino[n++] = (char)c;
    if (c == '\n') break;
  }
  destino[n] = '\0';
  return n;
}

bool plat_es_terminal(FILE* f) {
  return isatty(fileno(f)) == 1;
}

bool plat_reemplaza_fichero(const char* origen, const char* destino) {
  return rename(origen, destino) == 0;
}

void plat_borra_fichero(const char* ruta) {
  (void)unlink(ruta);
}

const char* plat_variable_idioma() {
  const char* propio = getenv("VORTCP_LANG");
  return propio != nullptr && propio[0] != '\0' ? "VORTCP_LANG" : "LANG";
}

bool plat_lang_es_regional() {
  return true;
}

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

int plat_ansi_a_oem(unsigned char c) {
  return convierte_byte("CP1252", "CP850", c);
}

int plat_oem_a_ansi(unsigned char c) {
  return convierte_byte("CP850", "CP1252", c);
}

namespace {

// A conversion of one direction, opened once and kept for the run.
iconv_t conversor(const char* a, const char* de) {
  iconv_t cd = iconv_open(a, de);
  return cd;
}

// Converts one run of bytes; false when iconv refuses a byte of it.
bool convierte(iconv_t cd, const char* origen, size_t n, char** salida, size_t* libre) {
  char* pe = const_cast<char*>(origen);
  size_t ne = n;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  return iconv(cd, &pe, &ne, salida, libre) != (size_t)-1 && ne == 0;
}

bool sin_caracter_cp1252(unsigned char c) {
  return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

}  // namespace

namespace {

// CP1252 to UTF-8 one byte at a time, as iconv converts each: built once, so
// that a conversion is table look-ups that any number of threads may make at
// once (an iconv descriptor keeps state and cannot be shared). The five bytes
// CP1252 leaves without a character become the control characters of the
// same value; without a converter, Latin-1 stands in (CP1252 but for 0x80 to
// 0x9F).
struct Cp1252Utf8 {
  unsigned char largo[256];
  char bytes[256][3];
};

Cp1252Utf8 construye_cp1252_utf8() {
  Cp1252Utf8 t{};
  iconv_t cd = conversor("UTF-8", "CP1252");
  for (int c = 0; c < 256; c++) {
    char byte = (char)c;
    char* salida = t.bytes[c];
    size_t libre = sizeof t.bytes[c];
    bool hecho = !sin_caracter_cp1252((unsigned char)c) && cd != (iconv_t)-1 &&
                 convierte(cd, &byte, 1, &salida, &libre);
    if (hecho) {
      t.largo[c] = (unsigned char)(sizeof t.bytes[c] - libre);
    } else if (c < 0x80) {
      t.bytes[c][0] = byte;
      t.largo[c] = 1;
    } else {
      t.bytes[c][0] = (char)(0xC0 | (c >> 6));
      t.bytes[c][1] = (char)(0x80 | (c & 0x3F));
      t.largo[c] = 2;
    }
  }
  if (cd != (iconv_t)-1) iconv_close(cd);
  return t;
}

}  // namespace

size_t plat_cp1252_a_utf8(const char* origen, size_t n, char* destino) {
  static const Cp1252Utf8 tabla = construye_cp1252_utf8();
  char* salida = destino;
  for (size_t i = 0; i < n; i++) {
    unsigned char c = (unsigned char)origen[i];
    if (c < 0x80) {
      *salida++ = (char)c;
      continue;
    }
    unsigned char k = tabla.largo[c];
    memcpy(salida, tabla.bytes[c], k);
    salida += k;
  }
  return (size_t)(salida - destino);
}

long plat_utf8_a_cp1252(const char* origen, size_t n, char* destino) {
  // What a person wrote, read by the console alone: one descriptor serves.
  static iconv_t cd = conversor("CP1252", "UTF-8");
  if (cd == (iconv_t)-1) return -1;
  char* salida = destino;
  size_t libre = n;
  if (!convierte(cd, origen, n, &salida, &libre)) return -1;
  return (long)(salida - destino);
}

/* The server half of the lock-step limit: it streams the frames of a library
 * transfer (one 105-byte header per member, text blocks of at most --bloque
 * payload bytes, the end code) and waits for a 12-byte "OK" frame after each,
 * as the real server does, but with nothing else to do: no catalogue, no
 * conversion, one send per frame. What vortcp achieves against this pair is
 * the cost of everything above the bare exchange on this machine.
 *
 * limite_servidor --puerto N --miembros M --bytes B [--bloque 29990] [--archivos 4]
 * prints "escuchando en 127.0.0.1:PORT" once it listens and serves one
 * connection at a time until SIGTERM. */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#define TRAMA_MAX 30000

static int escribe_todo(int s, const char *p, size_t n) {
  while (n > 0) {
    ssize_t r = send(s, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    p += r;
    n -= (size_t)r;
  }
  return 0;
}

static int lee_todo(int s, char *p, size_t n) {
  while (n > 0) {
    ssize_t r = recv(s, p, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    p += r;
    n -= (size_t)r;
  }
  return 0;
}

/* One frame in: its payload length, or -1. */
static int recibe(int s, char *carga) {
  char largo[11];
  if (lee_todo(s, largo, 10) < 0) return -1;
  largo[10] = 0;
  int n = atoi(largo) - 10;
  if (n < 0 || n > TRAMA_MAX - 10) return -1;
  return lee_todo(s, carga, (size_t)n) < 0 ? -1 : n;
}

/* The payload is already in trama + 10; only the length digits are written. */
static int envia(int s, char *trama, int carga) {
  char largo[16];
  snprintf(largo, sizeof largo, "%.10d", carga + 10);
  memcpy(trama, largo, 10);
  return escribe_todo(s, trama, (size_t)carga + 10);
}

static int envia_y_espera(int s, char *trama, int carga, char *respuesta) {
  if (envia(s, trama, carga) < 0) return -1;
  int n = recibe(s, respuesta);
  return n == 2 && respuesta[0] == 'O' && respuesta[1] == 'K' ? 0 : -1;
}

static void sirve(int s, int miembros, long bytes, int bloque, int archivos) {
  static char trama[TRAMA_MAX], respuesta[TRAMA_MAX];
  if (recibe(s, respuesta) < 0) return;
  memset(trama, 'x', sizeof trama);
  for (int m = 0; m < miembros; m++) {
    /* Header 01: code, length, library, file, member, type, text, date, time. */
    char archivo[16], miembro[16], cab[128];
    snprintf(archivo, sizeof archivo, "QSRC%d", m % archivos % 1000);
    snprintf(miembro, sizeof miembro, "M%d", m % 1000000000);
    snprintf(cab, sizeof cab, "0100105%-10s%-10.10s%-10.10s%-4s%-50s%s%s", "BANCO", archivo, miembro, "CBL", "",
             "20250101", "120000");
    memcpy(trama + 10, cab, 105);
    if (envia_y_espera(s, trama, 105, respuesta) < 0) return;
    memset(trama + 10, 'x', 105);
    for (long hecho = 0; hecho < bytes;) {
      long trozo = bytes - hecho < bloque - 7 ? bytes - hecho : bloque - 7;
      char cabeza[8];
      snprintf(cabeza, sizeof cabeza, "02%.5ld", trozo + 7);
      memcpy(trama + 10, cabeza, 7);
      if (envia_y_espera(s, trama, (int)trozo + 7, respuesta) < 0) return;
      hecho += trozo;
    }
  }
  memcpy(trama + 10, "9900007", 7);
  if (envia(s, trama, 7) < 0) return;
  recibe(s, respuesta); /* the client's 9600 */
}

int main(int argc, char **argv) {
  int puerto = 0, miembros = 0, bloque = 29990, archivos = 4;
  long bytes = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--puerto")) puerto = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--miembros")) miembros = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--bytes")) bytes = atol(argv[i + 1]);
    else if (!strcmp(argv[i], "--bloque")) bloque = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--archivos")) archivos = atoi(argv[i + 1]);
    else {
      fprintf(stderr, "limite_servidor: opcion no valida: %s\n", argv[i]);
      return 2;
    }
  }
  if (miembros < 0 || bytes < 0 || bloque < 8 || bloque > TRAMA_MAX - 10 || archivos < 1) {
    fprintf(stderr, "limite_servidor: valores no validos\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  int l = socket(AF_INET, SOCK_STREAM, 0);
  int uno = 1;
  setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_port = htons((unsigned short)puerto);
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t largo = sizeof dir;
  if (bind(l, (struct sockaddr *)&dir, sizeof dir) < 0 || listen(l, 8) < 0 ||
      getsockname(l, (struct sockaddr *)&dir, &largo) < 0) {
    perror("limite_servidor");
    return 1;
  }
  printf("escuchando en 127.0.0.1:%d\n", ntohs(dir.sin_port));
  fflush(stdout);
  for (;;) {
    int s = accept(l, NULL, NULL);
    if (s < 0) {
      if (errno == EINTR) continue;
      perror("limite_servidor: accept");
      return 1;
    }
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
    sirve(s, miembros, bytes, bloque, archivos);
    close(s);
  }
}

/* A server with no SQL work: it replays a session recorded once against
 * zizez-sim. What vortcp achieves against it is the client's own cost of a
 * query or a load, with nothing of the simulator's in it.
 *
 * replica_sql --graba FILE --destino PORT [--puerto 0]
 *   a recording relay: one connection is joined to zizez-sim on PORT, every
 *   byte is passed on as it comes, and every whole frame of either side is
 *   kept in FILE in the order it went through ('C' or 'S', then the frame as
 *   sent: its ten length characters, ASCII or EBCDIC, and its payload). Once
 *   both sides have closed it prints "grabada: C tramas del cliente, S del
 *   servidor" and exits.
 *
 * replica_sql --sirve FILE [--puerto 0]
 *   the replay: FILE is read into memory once; then, one connection at a
 *   time, each whole frame read from the client is compared with the
 *   client's frame recorded at that point and answered with the server
 *   frames recorded after it, one send each. When the client closes it
 *   prints "sesion N: R tramas recibidas de G grabadas, D distintas".
 *
 * Both print "escuchando en 127.0.0.1:PORT" once they listen. */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "red.h"


/* A frame length that a frame can have, or -1. */
static int largo_valido(const char *d) {
  int v = largo_de(d);
  return v < 10 || v > TRAMA_MAX ? -1 : v;
}

static int escucha(int puerto) {
  int l = escucha_local(puerto, 8, "replica_sql", NULL);
  if (l < 0) exit(1);
  return l;
}

static int acepta(int l) {
  for (;;) {
    int s = accept(l, NULL, NULL);
    if (s >= 0) {
      int uno = 1;
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
      return s;
    }
    if (errno != EINTR) {
      perror("replica_sql: accept");
      exit(1);
    }
  }
}

/* --- recording ------------------------------------------------------------ */

/* One direction of the relay: the bytes of the frame being cut out. */
struct sentido {
  int origen, destino, abierto;
  char etiqueta;
  char trama[TRAMA_MAX];
  int tomados, esperado; /* esperado: the frame's length once its digits are in */
  int tramas;
};

static void corta_tramas(struct sentido *d, const char *p, size_t n, FILE *f) {
  for (size_t i = 0; i < n;) {
    int falta = (d->esperado ? d->esperado : 10) - d->tomados;
    int toma = (size_t)falta < n - i ? falta : (int)(n - i);
    memcpy(d->trama + d->tomados, p + i, (size_t)toma);
    d->tomados += toma;
    i += (size_t)toma;
    if (!d->esperado && d->tomados == 10) {
      d->esperado = largo_valido(d->trama);
      if (d->esperado < 0) {
        fprintf(stderr, "replica_sql: longitud de trama no valida (%c)\n", d->etiqueta);
        exit(1);
      }
    }
    if (d->esperado && d->tomados == d->esperado) {
      fputc(d->etiqueta, f);
      fwrite(d->trama, 1, (size_t)d->tomados, f);
      d->tramas++;
      d->tomados = d->esperado = 0;
    }
  }
}

static int graba(const char *fichero, int destino, int puerto) {
  FILE *f = fopen(fichero, "wb");
  if (!f) {
    perror(fichero);
    return 1;
  }
  int l = escucha(puerto);
  int c = acepta(l);
  close(l);
  int s = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_port = htons((unsigned short)destino);
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, (struct sockaddr *)&dir, sizeof dir) < 0) {
    perror("replica_sql: connect");
    return 1;
  }
  static struct sentido ida, vuelta;
  ida.origen = vuelta.destino = c;
  ida.destino = vuelta.origen = s;
  ida.etiqueta = 'C';
  vuelta.etiqueta = 'S';
  ida.abierto = vuelta.abierto = 1;
  struct sentido *d[2] = {&ida, &vuelta};
  while (ida.abierto || vuelta.abierto) {
    struct pollfd p[2];
    for (int i = 0; i < 2; i++) {
      p[i].fd = d[i]->abierto ? d[i]->origen : -1;
      p[i].events = POLLIN;
      p[i].revents = 0;
    }
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      perror("replica_sql: poll");
      return 1;
    }
    for (int i = 0; i < 2; i++) {
      if (!p[i].revents) continue;
      static char buf[1 << 16];
      ssize_t n = recv(d[i]->origen, buf, sizeof buf, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        d[i]->abierto = 0;
        shutdown(d[i]->destino, SHUT_WR);
        continue;
      }
      corta_tramas(d[i], buf, (size_t)n, f);
      if (escribe_todo(d[i]->destino, buf, (size_t)n) < 0) d[i]->abierto = 0;
    }
  }
  close(c);
  close(s);
  if (fclose(f) != 0) {
    perror(fichero);
    return 1;
  }
  printf("grabada: %d tramas del cliente, %d del servidor\n", ida.tramas, vuelta.tramas);
  fflush(stdout);
  return 0;
}

/* --- replay ---------------------------------------------------------------- */

struct evento {
  char etiqueta;
  const char *trama;
  size_t largo;
};

static int sirve(const char *fichero, int puerto) {
  FILE *f = fopen(fichero, "rb");
  if (!f) {
    perror(fichero);
    return 1;
  }
  fseek(f, 0, SEEK_END);
  long tam = ftell(f);
  fseek(f, 0, SEEK_SET);
  char *datos = malloc((size_t)tam + 1);
  if (fread(datos, 1, (size_t)tam, f) != (size_t)tam) {
    perror(fichero);
    return 1;
  }
  fclose(f);
  struct evento *ev = malloc(sizeof *ev * ((size_t)tam / 11 + 1));
  int nev = 0, grabadas = 0;
  for (long i = 0; i < tam;) {
    int n = i + 11 <= tam ? largo_valido(datos + i + 1) : -1;
    if ((datos[i] != 'C' && datos[i] != 'S') || n < 0 || i + 1 + n > tam) {
      fprintf(stderr, "replica_sql: grabacion no valida en el byte %ld\n", i);
      return 1;
    }
    ev[nev].etiqueta = datos[i];
    ev[nev].trama = datos + i + 1;
    ev[nev].largo = (size_t)n;
    grabadas += datos[i] == 'C';
    nev++;
    i += 1 + n;
  }
  int l = escucha(puerto);
  static char trama[TRAMA_MAX];
  for (int sesion = 1;; sesion++) {
    int s = acepta(l);
    int pos = 0, recibidas = 0, distintas = 0;
    while (pos < nev && ev[pos].etiqueta == 'S' && escribe_todo(s, ev[pos].trama, ev[pos].largo) == 0) pos++;
    for (;;) {
      if (lee_todo(s, trama, 10) < 0) break;
      int n = largo_valido(trama);
      if (n < 0 || lee_todo(s, trama + 10, (size_t)n - 10) < 0) break;
      recibidas++;
      if (pos >= nev) {
        distintas++;
        continue;
      }
      if (ev[pos].largo != (size_t)n || memcmp(ev[pos].trama, trama, (size_t)n) != 0) distintas++;
      pos++;
      while (pos < nev && ev[pos].etiqueta == 'S' && escribe_todo(s, ev[pos].trama, ev[pos].largo) == 0) pos++;
    }
    close(s);
    printf("sesion %d: %d tramas recibidas de %d grabadas, %d distintas\n", sesion, recibidas, grabadas, distintas);
    fflush(stdout);
  }
}

int main(int argc, char **argv) {
  const char *graba_en = NULL, *sirve_de = NULL;
  int destino = 0, puerto = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--graba")) graba_en = argv[i + 1];
    else if (!strcmp(argv[i], "--sirve")) sirve_de = argv[i + 1];
    else if (!strcmp(argv[i], "--destino")) destino = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--puerto")) puerto = atoi(argv[i + 1]);
    else {
      fprintf(stderr, "replica_sql: opcion no valida: %s\n", argv[i]);
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
  if (graba_en && destino > 0 && !sirve_de) return graba(graba_en, destino, puerto);
  if (sirve_de && !graba_en) return sirve(sirve_de, puerto);
  fprintf(stderr, "uso: replica_sql --graba FICHERO --destino PUERTO [--puerto 0]\n"
                  "     replica_sql --sirve FICHERO [--puerto 0]\n");
  return 2;
}

/* A delaying link on 127.0.0.1, in place of a LAN: every connection accepted
 * on the listening port is joined to a new connection to the destination
 * port, and each direction is forwarded in segments of at most --segmento
 * bytes (1448, the payload of an Ethernet TCP segment), each one released
 * --retardo-us microseconds (250) after the bytes arrived. The kernel here
 * has no netem and none of this needs root.
 *
 * Per direction a reader takes whatever the socket holds, stamps it and
 * queues it cut into segments; a writer sends each segment with its own send
 * call (TCP_NODELAY) at its release time, so a big frame reaches the far
 * side in pieces, as it does across a network.
 *
 * enlace_lento --destino PUERTO [--puerto 0] [--segmento 1448] [--retardo-us 250]
 * prints "escuchando en 127.0.0.1:PORT" once it listens; runs until SIGTERM. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "red.h"

static int destino, segmento = 1448;
static long retardo_ns = 250000;

struct trozo {
  struct trozo *sig;
  struct timespec suelta; /* release time, CLOCK_MONOTONIC */
  size_t largo;           /* 0 marks the end of the direction */
  char datos[];
};

struct sentido {
  int origen, dest;
  pthread_mutex_t m;
  pthread_cond_t c;
  struct trozo *primero, *ultimo;
  struct union_ *u;
};

struct union_ {
  struct sentido ida, vuelta;
  pthread_mutex_t m;
  int vivos; /* directions still running; the last one closes both sockets */
};

static void encola(struct sentido *d, struct trozo *t) {
  t->sig = NULL;
  pthread_mutex_lock(&d->m);
  if (d->ultimo) d->ultimo->sig = t;
  else d->primero = t;
  d->ultimo = t;
  pthread_cond_signal(&d->c);
  pthread_mutex_unlock(&d->m);
}

static void *lector(void *arg) {
  struct sentido *d = arg;
  static __thread char buf[1 << 16];
  for (;;) {
    ssize_t n = recv(d->origen, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_nsec += retardo_ns;
    t.tv_sec += t.tv_nsec / 1000000000L;
    t.tv_nsec %= 1000000000L;
    if (n <= 0) {
      struct trozo *fin = calloc(1, sizeof *fin);
      fin->suelta = t;
      encola(d, fin);
      return NULL;
    }
    for (ssize_t i = 0; i < n; i += segmento) {
      size_t largo = (size_t)(n - i < segmento ? n - i : segmento);
      struct trozo *tr = malloc(sizeof *tr + largo);
      tr->suelta = t;
      tr->largo = largo;
      memcpy(tr->datos, buf + i, largo);
      encola(d, tr);
    }
  }
}

static void termina_sentido(struct sentido *d) {
  struct union_ *u = d->u;
  shutdown(d->dest, SHUT_WR);
  pthread_mutex_lock(&u->m);
  int quedan = --u->vivos;
  pthread_mutex_unlock(&u->m);
  if (quedan == 0) {
    close(u->ida.origen);
    close(u->ida.dest);
    free(u);
  }
}

static void *escritor(void *arg) {
  struct sentido *d = arg;
  pthread_t l;
  pthread_create(&l, NULL, lector, d);
  int roto = 0;
  for (;;) {
    pthread_mutex_lock(&d->m);
    while (!d->primero) pthread_cond_wait(&d->c, &d->m);
    struct trozo *t = d->primero;
    d->primero = t->sig;
    if (!d->primero) d->ultimo = NULL;
    pthread_mutex_unlock(&d->m);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t->suelta, NULL) == EINTR) {
    }
    size_t largo = t->largo;
    for (size_t hecho = 0; !roto && hecho < largo;) {
      ssize_t r = send(d->dest, t->datos + hecho, largo - hecho, MSG_NOSIGNAL);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) roto = 1;
      else hecho += (size_t)r;
    }
    free(t);
    if (largo == 0) break;
    /* A dead far side: stop reading too, so the peer sees the close. */
    if (roto) shutdown(d->origen, SHUT_RD);
  }
  pthread_join(l, NULL);
  termina_sentido(d);
  return NULL;
}

/* One send per segment is not enough on its own: under load the kernel joins
 * small sends still queued into one bigger segment (autocorking). A maximum
 * segment size on both sockets of the link keeps every segment it sends at
 * most --segmento bytes, as a network's MTU would. The size set counts the
 * 12 bytes of the timestamp option that Linux puts in every segment, as an
 * Ethernet link carries 1,448 bytes of data in a maximum segment of 1,460. */
static void limita_segmento(int s) {
  int mss = segmento + 12;
  if (setsockopt(s, IPPROTO_TCP, TCP_MAXSEG, &mss, sizeof mss) < 0) perror("enlace_lento: TCP_MAXSEG");
}

static void une(int cliente) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_port = htons((unsigned short)destino);
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  limita_segmento(s);
  if (connect(s, (struct sockaddr *)&dir, sizeof dir) < 0) {
    perror("enlace_lento: connect");
    close(s);
    close(cliente);
    return;
  }
  int uno = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
  setsockopt(cliente, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
  struct union_ *u = calloc(1, sizeof *u);
  pthread_mutex_init(&u->m, NULL);
  u->vivos = 2;
  struct sentido *d[2] = {&u->ida, &u->vuelta};
  u->ida.origen = cliente;
  u->ida.dest = s;
  u->vuelta.origen = s;
  u->vuelta.dest = cliente;
  for (int i = 0; i < 2; i++) {
    d[i]->u = u;
    pthread_mutex_init(&d[i]->m, NULL);
    pthread_cond_init(&d[i]->c, NULL);
  }
  for (int i = 0; i < 2; i++) {
    pthread_t h;
    pthread_create(&h, NULL, escritor, d[i]);
    pthread_detach(h);
  }
}

int main(int argc, char **argv) {
  int puerto = 0;
  long retardo_us = 250;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--destino")) destino = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--puerto")) puerto = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--segmento")) segmento = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--retardo-us")) retardo_us = atol(argv[i + 1]);
    else {
      fprintf(stderr, "enlace_lento: opcion no valida: %s\n", argv[i]);
      return 2;
    }
  }
  if (destino <= 0 || segmento < 1 || retardo_us < 0) {
    fprintf(stderr, "uso: enlace_lento --destino PUERTO [--puerto 0] [--segmento 1448] [--retardo-us 250]\n");
    return 2;
  }
  retardo_ns = retardo_us * 1000L;
  /* The default timer slack (50 us) would be a fifth of the delay. */
  prctl(PR_SET_TIMERSLACK, 1UL);
  signal(SIGPIPE, SIG_IGN);
  /* The segment limit is inherited by every accepted socket. */
  int l = escucha_local(puerto, 16, "enlace_lento", limita_segmento);
  if (l < 0) return 1;
  for (;;) {
    int c = accept(l, NULL, NULL);
    if (c < 0) {
      if (errno == EINTR) continue;
      perror("enlace_lento: accept");
      return 1;
    }
    une(c);
  }
}

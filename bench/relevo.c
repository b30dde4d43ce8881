/* A plain TCP relay on 127.0.0.1: the path of a TLS terminator without the
 * encryption, for row 10's reference rows. Every connection accepted is
 * joined to a new connection to the destination port and served by one
 * thread that polls both sockets and writes on at once what it reads, at
 * most 16 KB at a time (a TLS record's worth), as stunnel does.
 *
 * relevo --destino PUERTO [--puerto 0]
 * prints "escuchando en 127.0.0.1:PORT" once it listens; runs until SIGTERM. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "red.h"

#define TROZO 16384

static int destino;

/* Forwards both directions until either side closes or fails. */
static void *sirve(void *arg) {
  int a = (int)(intptr_t)arg;
  int b = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_port = htons((unsigned short)destino);
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  char buf[TROZO];
  if (connect(b, (struct sockaddr *)&dir, sizeof dir) == 0) {
    struct pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    for (;;) {
      if (poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      int hecho = 0;
      for (int i = 0; i < 2 && !hecho; i++) {
        if (p[i].revents == 0) continue;
        ssize_t n = recv(p[i].fd, buf, sizeof buf, 0);
        if (n <= 0 || escribe_todo(p[1 - i].fd, buf, (size_t)n) < 0) hecho = 1;
      }
      if (hecho) break;
    }
  } else {
    perror("relevo: connect");
  }
  close(a);
  close(b);
  return NULL;
}

int main(int argc, char **argv) {
  int puerto = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--destino")) destino = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--puerto")) puerto = atoi(argv[i + 1]);
    else {
      fprintf(stderr, "relevo: opcion no valida: %s\n", argv[i]);
      return 2;
    }
  }
  if (destino <= 0) {
    fprintf(stderr, "uso: relevo --destino PUERTO [--puerto 0]\n");
    return 2;
  }
  int l = escucha_local(puerto, 64, "relevo", NULL);
  if (l < 0) return 1;
  for (;;) {
    int c = accept(l, NULL, NULL);
    if (c < 0) {
      if (errno == EINTR) continue;
      perror("relevo: accept");
      return 1;
    }
    pthread_t h;
    if (pthread_create(&h, NULL, sirve, (void *)(intptr_t)c) != 0) {
      close(c);
      continue;
    }
    pthread_detach(h);
  }
}

/* What the benchmark's C helpers (the limit pair, the recording relay, the
 * delaying link) share: whole sends and receives over a socket, the length of
 * a frame from its ten digits, and a listening socket on 127.0.0.1 that says
 * its port. Header-only: each helper is compiled alone. */
#ifndef BANCO_RED_H
#define BANCO_RED_H

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

#define TRAMA_MAX 30000

/* Sends all n bytes; 0, or -1 when the connection failed. */
static inline int escribe_todo(int s, const char *p, size_t n) {
  while (n > 0) {
    ssize_t r = send(s, p, n, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    p += r;
    n -= (size_t)r;
  }
  return 0;
}

/* Receives exactly n bytes; 0, or -1 at a close or a failure first. */
static inline int lee_todo(int s, char *p, size_t n) {
  while (n > 0) {
    ssize_t r = recv(s, p, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    p += r;
    n -= (size_t)r;
  }
  return 0;
}

/* The frame length its ten characters announce (ASCII or EBCDIC digits), or
 * -1 when one of them is not a digit. */
static inline int largo_de(const char *d) {
  int v = 0;
  for (int i = 0; i < 10; i++) {
    unsigned char c = (unsigned char)d[i];
    if (c >= 0xF0 && c <= 0xF9) c = (unsigned char)('0' + c - 0xF0);
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

/* A socket listening on 127.0.0.1:puerto (0: a free port), after `prepara`
 * (when not NULL) has set it up; "escuchando en 127.0.0.1:PORT" is printed and
 * flushed. -1, after perror(nombre), on a failure. */
static inline int escucha_local(int puerto, int cola, const char *nombre, void (*prepara)(int)) {
  int l = socket(AF_INET, SOCK_STREAM, 0);
  int uno = 1;
  setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
  if (prepara != NULL) prepara(l);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_port = htons((unsigned short)puerto);
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t largo = sizeof dir;
  if (bind(l, (struct sockaddr *)&dir, sizeof dir) < 0 || listen(l, cola) < 0 ||
      getsockname(l, (struct sockaddr *)&dir, &largo) < 0) {
    perror(nombre);
    return -1;
  }
  printf("escuchando en 127.0.0.1:%d\n", ntohs(dir.sin_port));
  fflush(stdout);
  return l;
}

#endif

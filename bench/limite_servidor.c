/* The server half of the lock-step limit: it streams the frames of a library
 * transfer (one 105-byte header per member, text blocks of at most --bloque
 * payload bytes, the end code) and waits for a 12-byte "OK" frame after each,
 * as the real server does, but with nothing else to do: no catalogue, no
 * conversion, every frame built before the first connection, one send per
 * frame and one whole-frame read per answer. What a client achieves against
 * this server is the cost of everything above the bare exchange.
 *
 * Two dialects, the same frames (count and sizes) in both:
 * - by default the ASCII one of limite_cliente: length characters, codes and
 *   headers in ASCII, records ended by LF;
 * - with --vortcp what vortcp itself reads: length characters, codes and
 *   headers in EBCDIC, records ended by 0x15, the members named as in the
 *   benchmark data (four source files M00000 ... of library --biblioteca).
 *   vortcp's "OK" answers (EBCDIC too) are checked, and its 9600 is read.
 *
 * Every member carries the same --bytes of text: records of 80 characters
 * and their end (81 bytes each), the last one cut when --bytes is not a
 * multiple of 81.
 *
 * limite_servidor --puerto N --miembros M --bytes B [--bloque 29990] [--archivos 4]
 *                 [--vortcp] [--biblioteca BANCO]
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

#include "red.h"

#define LARGO_CABECERA 105
#define LARGO_REGISTRO 81

static int en_ebcdic; /* --vortcp */

/* EBCDIC of the characters the frames use (letters, digits, a few signs);
 * 0 for any other, which the frames never hold. */
static unsigned char a_ebcdic(unsigned char c) {
  static const char signos[] = " .(+*);-/,_:'=";
  static const unsigned char codigos[] = {0x40, 0x4B, 0x4D, 0x4E, 0x5C, 0x5D, 0x5E,
                                          0x60, 0x61, 0x6B, 0x6D, 0x7A, 0x7D, 0x7E};
  if (c >= '0' && c <= '9') return (unsigned char)(0xF0 + c - '0');
  if (c >= 'A' && c <= 'I') return (unsigned char)(0xC1 + c - 'A');
  if (c >= 'J' && c <= 'R') return (unsigned char)(0xD1 + c - 'J');
  if (c >= 'S' && c <= 'Z') return (unsigned char)(0xE2 + c - 'S');
  if (c >= 'a' && c <= 'i') return (unsigned char)(0x81 + c - 'a');
  if (c >= 'j' && c <= 'r') return (unsigned char)(0x91 + c - 'j');
  if (c >= 's' && c <= 'z') return (unsigned char)(0xA2 + c - 's');
  if (c == '\n') return 0x15;
  const char *p = c ? strchr(signos, c) : NULL;
  return p ? codigos[p - signos] : 0;
}

/* n bytes of text as the dialect sends them. */
static void al_dialecto(char *p, size_t n) {
  if (!en_ebcdic) return;
  for (size_t i = 0; i < n; i++) {
    unsigned char e = a_ebcdic((unsigned char)p[i]);
    if (!e) {
      fprintf(stderr, "limite_servidor: caracter sin EBCDIC: 0x%02x\n", (unsigned char)p[i]);
      exit(2);
    }
    p[i] = (char)e;
  }
}

/* A whole frame at trama: the length characters, then the payload already in
 * trama + 10 (converted here with them). Returns the frame's size. */
static size_t arma(char *trama, size_t carga) {
  char largo[16];
  snprintf(largo, sizeof largo, "%.10lu", (unsigned long)(carga + 10));
  memcpy(trama, largo, 10);
  al_dialecto(trama, carga + 10);
  return carga + 10;
}

/* One frame in: its payload length, or -1. */
static int recibe(int s, char *carga) {
  char largo[10];
  if (lee_todo(s, largo, 10) < 0) return -1;
  int n = largo_de(largo) - 10;
  if (n < 0 || n > TRAMA_MAX - 10) return -1;
  return lee_todo(s, carga, (size_t)n) < 0 ? -1 : n;
}

/* Everything the server sends, built once: a header frame per member, the
 * block frames of one member's text (the same for every member) and the end
 * code, each frame at its offset with its size. */
struct flujo {
  char *cabeceras;  /* miembros frames of 10 + 105 bytes */
  char *bloques;    /* nbloques frames, back to back */
  size_t *inicio, *tamano;
  int nbloques;
  char fin[17];     /* the end code 99 */
  char ok[2];       /* the answer awaited, in the dialect */
};

static void prepara(struct flujo *f, int miembros, long bytes, int bloque, int archivos, const char *biblioteca) {
  static const char *fuentes[4][2] = {{"QRPGLESRC", "RPGL"}, {"QCBLSRC", "CBL"}, {"QCLSRC", "CLP"},
                                      {"QDDSSRC", "PF"}};
  size_t una = 10 + LARGO_CABECERA;
  f->cabeceras = malloc((size_t)(miembros > 0 ? miembros : 1) * una);
  for (int m = 0; m < miembros; m++) {
    /* Header 01: code, length, library, file, member, type, text, date, time. */
    char archivo[16], miembro[16], texto[64], cab[LARGO_CABECERA + 1];
    const char *tipo = "CBL";
    if (en_ebcdic) {
      snprintf(archivo, sizeof archivo, "%s", fuentes[m % 4][0]);
      tipo = fuentes[m % 4][1];
      snprintf(miembro, sizeof miembro, "M%05d", m % 1000000000);
      snprintf(texto, sizeof texto, "Miembro %d de prueba", m);
    } else {
      snprintf(archivo, sizeof archivo, "QSRC%d", m % archivos % 1000);
      snprintf(miembro, sizeof miembro, "M%d", m % 1000000000);
      texto[0] = 0;
    }
    snprintf(cab, sizeof cab, "0100105%-10.10s%-10.10s%-10.10s%-4.4s%-50.50s%s%s", biblioteca, archivo, miembro,
             tipo, texto, "20250101", "120000");
    char *t = f->cabeceras + (size_t)m * una;
    memcpy(t + 10, cab, LARGO_CABECERA);
    arma(t, LARGO_CABECERA);
  }
  /* One member's text, then its blocks of at most bloque - 7 bytes. */
  char *texto = malloc((size_t)bytes + LARGO_REGISTRO + 1);
  for (long r = 0; r * LARGO_REGISTRO < bytes; r++) {
    snprintf(texto + r * LARGO_REGISTRO, LARGO_REGISTRO + 1, "%-72s%08ld\n",
             "     C     TOTAL     ADD       IMPORTE       TOTAL", (r + 1) % 100000000);
  }
  long por_bloque = bloque - 7;
  f->nbloques = (int)((bytes + por_bloque - 1) / por_bloque);
  f->bloques = malloc((size_t)f->nbloques * (size_t)TRAMA_MAX + 1);
  f->inicio = malloc(sizeof(size_t) * (size_t)(f->nbloques + 1));
  f->tamano = malloc(sizeof(size_t) * (size_t)(f->nbloques + 1));
  size_t pos = 0;
  for (int b = 0; b < f->nbloques; b++) {
    long desde = b * por_bloque, trozo = bytes - desde < por_bloque ? bytes - desde : por_bloque;
    char *t = f->bloques + pos, cabeza[24];
    snprintf(cabeza, sizeof cabeza, "02%.5ld", trozo + 7);
    memcpy(t + 10, cabeza, 7);
    memcpy(t + 17, texto + desde, (size_t)trozo);
    f->inicio[b] = pos;
    f->tamano[b] = arma(t, (size_t)trozo + 7);
    pos += f->tamano[b];
  }
  free(texto);
  memcpy(f->fin + 10, "9900007", 7);
  arma(f->fin, 7);
  memcpy(f->ok, "OK", 2);
  al_dialecto(f->ok, 2);
}

static int envia_y_espera(int s, const char *trama, size_t tamano, const struct flujo *f, char *respuesta) {
  if (escribe_todo(s, trama, tamano) < 0) return -1;
  int n = recibe(s, respuesta);
  return n == 2 && memcmp(respuesta, f->ok, 2) == 0 ? 0 : -1;
}

static void sirve(int s, int miembros, const struct flujo *f) {
  static char respuesta[TRAMA_MAX];
  if (recibe(s, respuesta) < 0) return; /* the request */
  for (int m = 0; m < miembros; m++) {
    if (envia_y_espera(s, f->cabeceras + (size_t)m * (10 + LARGO_CABECERA), 10 + LARGO_CABECERA, f, respuesta) < 0)
      return;
    for (int b = 0; b < f->nbloques; b++) {
      if (envia_y_espera(s, f->bloques + f->inicio[b], f->tamano[b], f, respuesta) < 0) return;
    }
  }
  if (escribe_todo(s, f->fin, 17) < 0) return;
  recibe(s, respuesta); /* the client's 9600 */
}

int main(int argc, char **argv) {
  int puerto = 0, miembros = 0, bloque = 29990, archivos = 4;
  long bytes = 0;
  const char *biblioteca = "BANCO";
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "--vortcp")) {
      en_ebcdic = 1;
      continue;
    }
    if (i + 1 >= argc) {
      fprintf(stderr, "limite_servidor: falta el valor de %s\n", argv[i]);
      return 2;
    }
    if (!strcmp(argv[i], "--puerto")) puerto = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--miembros")) miembros = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--bytes")) bytes = atol(argv[i + 1]);
    else if (!strcmp(argv[i], "--bloque")) bloque = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--archivos")) archivos = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--biblioteca")) biblioteca = argv[i + 1];
    else {
      fprintf(stderr, "limite_servidor: opcion no valida: %s\n", argv[i]);
      return 2;
    }
    i++;
  }
  if (miembros < 0 || bytes < 0 || bloque < 8 || bloque > TRAMA_MAX - 10 || archivos < 1 ||
      strlen(biblioteca) < 1 || strlen(biblioteca) > 10) {
    fprintf(stderr, "limite_servidor: valores no validos\n");
    return 2;
  }
  struct flujo f;
  prepara(&f, miembros, bytes, bloque, archivos, biblioteca);
  signal(SIGPIPE, SIG_IGN);
  int l = escucha_local(puerto, 8, "limite_servidor", NULL);
  if (l < 0) return 1;
  int uno = 1;
  for (;;) {
    int s = accept(l, NULL, NULL);
    if (s < 0) {
      if (errno == EINTR) continue;
      perror("limite_servidor: accept");
      return 1;
    }
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
    sirve(s, miembros, &f);
    close(s);
  }
}

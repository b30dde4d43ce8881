/* The client half of the lock-step limit: the least a client of this protocol
 * must do. It sends a 70-byte request, then for every frame it receives
 * answers a 12-byte "OK" frame; a header (01) opens DIR/FILE/MEMBER.txt, a
 * text block (02) is written to it untranslated, any other code ends the
 * stream and is answered with 9600, as a transfer run ends.
 *
 * limite_cliente PUERTO DIR   (exit status 0 when the stream ended normally) */
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "red.h"


static int recibe(int s, char *carga) {
  char largo[11];
  if (lee_todo(s, largo, 10) < 0) return -1;
  largo[10] = 0;
  int n = atoi(largo) - 10;
  if (n < 0 || n > TRAMA_MAX - 10) return -1;
  return lee_todo(s, carga, (size_t)n) < 0 ? -1 : n;
}

static int envia(int s, const char *carga, int n) {
  char trama[TRAMA_MAX];
  snprintf(trama, sizeof trama, "%.10d", n + 10);
  memcpy(trama + 10, carga, (size_t)n);
  return escribe_todo(s, trama, (size_t)n + 10);
}

/* A blank-padded field of a header, without its blanks. */
static void campo(const char *carga, int desde, int ancho, char *dest) {
  memcpy(dest, carga + desde, (size_t)ancho);
  dest[ancho] = 0;
  for (int i = ancho - 1; i >= 0 && dest[i] == ' '; i--) dest[i] = 0;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "uso: limite_cliente PUERTO DIR\n");
    return 2;
  }
  int s = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in dir;
  memset(&dir, 0, sizeof dir);
  dir.sin_family = AF_INET;
  dir.sin_port = htons((unsigned short)atoi(argv[1]));
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, (struct sockaddr *)&dir, sizeof dir) < 0) {
    perror("limite_cliente: connect");
    return 1;
  }
  int uno = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
  char peticion[71];
  snprintf(peticion, sizeof peticion, "%-70s", "9400070BANCO");
  if (envia(s, peticion, 70) < 0) return 1;
  static char carga[TRAMA_MAX];
  char archivo_creado[11] = "", archivo[11], miembro[11], ruta[4096];
  FILE *f = NULL;
  for (;;) {
    int n = recibe(s, carga);
    if (n < 0) {
      fprintf(stderr, "limite_cliente: conexion perdida\n");
      return 1;
    }
    if (n >= 105 && carga[0] == '0' && carga[1] == '1') {
      if (f && fclose(f) != 0) return 1;
      campo(carga, 17, 10, archivo);
      campo(carga, 27, 10, miembro);
      snprintf(ruta, sizeof ruta, "%s/%s", argv[2], archivo);
      if (strcmp(archivo, archivo_creado) != 0) {
        mkdir(ruta, 0777);
        snprintf(archivo_creado, sizeof archivo_creado, "%s", archivo);
      }
      snprintf(ruta, sizeof ruta, "%s/%s/%s.txt", argv[2], archivo, miembro);
      if (!(f = fopen(ruta, "w"))) {
        perror(ruta);
        return 1;
      }
    } else if (n >= 7 && carga[0] == '0' && carga[1] == '2') {
      if (f && fwrite(carga + 7, 1, (size_t)n - 7, f) != (size_t)n - 7) return 1;
    } else {
      break;
    }
    if (envia(s, "OK", 2) < 0) return 1;
  }
  if (f && fclose(f) != 0) return 1;
  if (envia(s, "9600", 4) < 0) return 1;
  close(s);
  return 0;
}

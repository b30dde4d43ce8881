// The request of a transfer run (peticion.h).
#include "transfer/run/peticion.h"

#include <cstring>

#include "base/texto.h"

Peticion peticion_de_la_ejecucion() {
  Peticion p;
  p.icodigo = ctx.icodigo;
  copia_texto(p.biblioteca, ctx.biblioteca);
  copia_texto(p.archivo, ctx.archivo);
  copia_texto(p.miembro, ctx.miembro);
  copia_texto(p.tipo, ctx.tipo);
  copia_texto(p.fechad, ctx.fechad);
  copia_texto(p.horad, ctx.horad);
  return p;
}

bool indexa(const Peticion& p) {
  return p.tipo[0] == '\0' || p.tipo[0] == ' ';
}

void construye_peticion(const Peticion& p, char (&registro)[LARGO_PETICION + 1]) {
  construye_peticion_de(p, registro, p.archivo, p.miembro, p.fechad, p.horad);
}

void construye_peticion_de(const Peticion& p, char (&peticion)[LARGO_PETICION + 1], const char* archivo,
                           const char* miembro, const char* fechad, const char* horad) {
  // The fields are joined without separators, then the record is cut or
  // filled with blanks to exactly 70 characters. tipo travels only when a
  // member is named.
  char registro[8 * TAM_AJUSTE];
  if (miembro[0] != ' ') {
    formatea(registro, "%.2d%.5d%s%s%s%s%.8s%.6s                               ", p.icodigo, LARGO_PETICION,
             p.biblioteca, archivo, miembro, p.tipo, fechad, horad);
  } else {
    formatea(registro, "%.2d%.5d%s%s%s%.8s%.6s                               ", p.icodigo, LARGO_PETICION,
             p.biblioteca, archivo, miembro, fechad, horad);
  }
  size_t n = strlen(registro);
  while (n < (size_t)LARGO_PETICION) registro[n++] = ' ';
  registro[LARGO_PETICION] = '\0';
  copia_texto(peticion, registro);
}

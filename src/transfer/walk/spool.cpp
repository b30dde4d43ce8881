// The spool walk (spool.h).
#include "transfer/walk/spool.h"

#include <cstdio>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/mensaje.h"
#include "transfer/walk/progreso.h"
#include "wire/intercambio.h"
#include "wire/tablas.h"

namespace {

// Spool bytes as the console shows them, after ebc_fija. Four of them are
// turned into the letters of the console's OEM code page; a console that is
// written UTF-8 gets those letters from the CP1252 text itself.
unsigned char sustituye(unsigned char c) {
  switch (c) {
    case 0x15:
      return 0x0A;
    case 0x60:
      return 0x27;
    case 0xF9:
      return 0x23;
    default:
      break;
  }
  if (ctx.utf8) return c;
  switch (c) {
    case 0xD1:
      return 0xA5;
    case 0xF1:
      return 0xA4;
    case 0xEE:
      return 0xD3;
    case 0xFE:
      return 0xDA;
    default:
      return c;
  }
}

// A spool block (67 or 68, the layout it names) on the console, then "OK".
void muestra_spool(Recorrido& r, int codigo) {
  // Every byte gives at most two on the console, plus the final line end.
  unsigned char* salida = r.spool;
  Mensaje m = mensaje_actual(r.sesion);
  bool largo5 = codigo == 68;
  int inicio = largo5 ? 12 : 11;
  int32_t largo = lee_numero(m, 2, 5);
  int32_t columnas = lee_numero(m, 7, largo5 ? 5 : 4);
  if (ctx.test == 1) printf("Recibe %d octetos longitud registro=%d \n", largo, columnas);
  int32_t n = 0;
  const unsigned char* datos = datos_de_bloque(m, inicio, largo, &n);
  size_t k = 0;
  int32_t c = 0;
  for (int32_t i = 0; i < n; i++) {
    unsigned char b = sustituye(m.tabla[datos[i]]);
    c++;
    // In the 5-digit layout 0x03 breaks the line and is not shown. A 0x15
    // shows as a line end but does not restart the column count.
    if (largo5 && b == 0x03) {
      salida[k++] = '\n';
      c = 0;
      continue;
    }
    salida[k++] = b;
    if (c == columnas) {
      salida[k++] = '\n';
      c = 0;
    }
  }
  salida[k++] = '\n';
  escribe_del_servidor(stdout, salida, k);
  progreso_bytes(r.comun.progreso, n);
  responde_ok(r.sesion);
}

}  // namespace

void trata_spl(Recorrido& r) {
  Sesion& s = r.sesion;
  if (ctx.test == 1) printf("Espera recibir de as\n");
  recibe_as(s);
  if (ctx.test == 1) printf("Recibido de as\n");
  for (;;) {
    char codigo[3];
    lee_texto(mensaje_actual(s), 0, 2, false, codigo);
    int valor = lee_entero(codigo);
    if (ctx.test == 1) printf("Va a procesar lista (%s)\n", codigo);
    if (s.fallo || (valor != 67 && valor != 68)) {
      if (ctx.test == 1) printf("Sale de procesar lista (%s)\n", codigo);
      return;
    }
    muestra_spool(r, valor);
    if (salida_estandar_cerrada()) return;
  }
}

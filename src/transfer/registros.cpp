// Record reception: text blocks (02, 08) translated into the open member or
// message file, raw blocks (04) copied untranslated into the open data file,
// and spool blocks (67, 68) shown on the console. Each block is written with
// one write of its translated bytes, not byte by byte.
#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "platform/plataforma.h"
#include "transfer/objeto.h"
#include "transfer/progreso.h"
#include "transfer/transferencia.h"
#include "wire/tablas.h"

// The EBCDIC new-line byte; the built-in table maps it to itself.
constexpr unsigned char FIN_REGISTRO = 0x15;

bool graba_texto(Recorrido& r) {
  unsigned char* traducido = r.traducido;
  Mensaje m = mensaje_actual(r.sesion);
  // A block with no open file (no header before it) has nowhere to go.
  if (r.objeto.abierto) {
    int32_t n = 0;
    const unsigned char* datos = datos_de_bloque(m, 7, lee_numero(m, 2, 5), &n);
    traduce_tabla_ebc(traducido, datos, (size_t)n);
    // The record ends are looked for on the translated bytes: whatever the
    // language file maps to 0x15 ends a record too.
    int32_t registros = 0;
    unsigned char* p = traducido;
    unsigned char* fin = traducido + n;
    while ((p = (unsigned char*)memchr(p, FIN_REGISTRO, (size_t)(fin - p))) != nullptr) {
      *p++ = '\n';
      registros++;
    }
    size_t escritos = 0;
    if (!graba_texto_persona(r, traducido, (size_t)n, &escritos)) return false;
    r.objeto.registros += registros;
    r.objeto.bytes += (int64_t)escritos;
  }
  responde_ok(r.sesion);
  return true;
}

bool graba_ebcdic(Recorrido& r) {
  Mensaje m = mensaje_actual(r.sesion);
  if (r.objeto.abierto) {
    int32_t n = 0;
    const unsigned char* datos = datos_de_bloque(m, 12, lee_numero(m, 2, 5), &n);
    int32_t largo_registro = lee_numero(m, 7, 5);
    if (!graba_bytes(r, datos, (size_t)n)) return false;
    if (largo_registro > 0) r.objeto.registros += n / largo_registro;
    r.objeto.bytes += n;
  }
  responde_ok(r.sesion);
  return true;
}

// Spool bytes as the console shows them, after ebc_fija. Four of them are
// turned into the letters of the console's OEM code page; a console that is
// written UTF-8 gets those letters from the CP1252 text itself.
static unsigned char sustituye(unsigned char c) {
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
  progreso_bytes(n);
  responde_ok(r.sesion);
}

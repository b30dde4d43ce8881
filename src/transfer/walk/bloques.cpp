// Record blocks (bloques.h).
#include "transfer/walk/bloques.h"

#include <cstring>

#include "transfer/walk/mensaje.h"
#include "transfer/walk/objeto.h"
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

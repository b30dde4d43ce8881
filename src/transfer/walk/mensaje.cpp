// The message in hand of a walk and the answer "OK" (mensaje.h).
#include "transfer/walk/mensaje.h"

#include "base/texto.h"
#include "wire/intercambio.h"
#include "wire/tablas.h"

Mensaje mensaje_actual(const Sesion& s) {
  int32_t largo = s.largo;
  if (largo < 0) largo = 0;
  if (largo > TAM_TRAMA) largo = TAM_TRAMA;
  return Mensaje{(const unsigned char*)s.buffer, largo, ebc_fija};
}

void responde_ok(Sesion& s) {
  copia_texto(s.buffer, "OK");
  envia_as(s, s.buffer, 2, 1);
  if (s.fallo) {
    // Nothing will come after an answer that did not go out; the walk ends
    // as it does after a failed receive.
    s.largo = 0;
    return;
  }
  recibe_as(s);
}

Cabecera lee_cabecera(const Mensaje& m, int codigo) {
  Cabecera c{};
  lee_texto(m, 7, 10, true, c.biblioteca);
  lee_texto(m, 17, 10, true, c.archivo);
  if (codigo == 7) {
    copia_texto(c.tipo, "MSG");
    lee_texto(m, 27, 50, true, c.texto);
    lee_texto(m, 77, 8, false, c.fecha);
    lee_texto(m, 85, 6, false, c.hora);
  } else if (codigo != 5) {
    lee_texto(m, 27, 10, true, c.miembro);
    lee_texto(m, 37, 4, true, c.tipo);
    lee_texto(m, 41, 50, true, c.texto);
    lee_texto(m, 91, 8, false, c.fecha);
    lee_texto(m, 99, 6, false, c.hora);
  }
  return c;
}

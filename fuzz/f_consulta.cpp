// The display of query replies: ejecuta_consulta (02 and its fetch loop of 03)
// or ejecuta_sentencia (04) over arbitrary replies served as frames, and
// lee_columnas and muestra_filas straight on the first reply. A reply may lie
// about every count and length; the display must stay within what arrived.
// The end of the served replies is a failed receive, which ends the run.
//
// Input: byte 0, bit 0: message 04 instead of a query; bit 1: DICT 1; bit 2:
// delimb 0 (bcp layout); bit 3: output to a file; bit 4: test level 1; bit 5:
// the session in EBCDIC. Then the replies, separated by 00 FF 00.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "comun.h"
#include "sql/consulta.h"
#include "sql/muestra.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  reinicia_contexto();
  static FILE* nulo = fopen("/dev/null", "w");
  Entrada e = parte_entrada(datos, n, 1);
  uint8_t c = e.cabecera[0];
  ctx.dict = (c & 2) ? 1 : 0;
  ctx.delim = (c & 4) ? '~' : '|';
  ctx.delimb = (c & 4) ? 0 : 1;
  ctx.isalida = (c & 8) ? 1 : 0;
  ctx.fsalida = ctx.isalida ? nulo : nullptr;
  ctx.test = (c & 16) ? 1 : 0;
  ctx.en_ebcdic = (c & 32) ? 1 : 0;
  if (ctx.en_ebcdic)
    setenv("WWW_EBCDIC", "1", 1);
  else
    unsetenv("WWW_EBCDIC");
  std::vector<std::string> respuestas = parte_lista(e.resto, e.nresto);
  for (auto& r : respuestas)
    if (r.size() > MAX_CARGA) r.resize(MAX_CARGA);

  // The pieces of the display, on the first reply as it would arrive.
  {
    static char copia[TAM_TRAMA + 1];
    const std::string& r0 = respuestas[0];
    memcpy(copia, r0.data(), r0.size());
    copia[r0.size()] = '\0';
    Mensaje r = respuesta_de(copia, (int)r0.size());
    static AreaCursor area;
    area = AreaCursor{};
    area.ultima_columna = -1;
    int columnas = lee_columnas(r, area, ctx.dict, ctx.test, nulo);
    COMPRUEBA(columnas >= 0);
    COMPRUEBA(area.ultima_columna >= -1 && area.ultima_columna < MAX_COLUMNAS);
    COMPRUEBA(columnas <= MAX_COLUMNAS ? area.ultima_columna == columnas - 1 : area.ultima_columna == -1);
    for (int k = 0; k <= area.ultima_columna; k++) {
      COMPRUEBA(strnlen(area.columnas[k].nombre, sizeof area.columnas[k].nombre) <= MAX_NOMBRE_COLUMNA);
      COMPRUEBA(area.columnas[k].ancho >= 0);
    }
    // Rows of a reply with a width above the widest column are never shown;
    // every row shown takes at least one byte of what was received.
    if (ancho_no_valido(area) == 0) {
      int filas = (int)(c >> 6) * 40000 + 3;
      int escritas = muestra_filas(nulo, r, 27, filas, area, FormaTabla{ctx.delim, ctx.delimb, false, false});
      COMPRUEBA(escritas >= 0 && escritas <= filas);
      COMPRUEBA(escritas <= (r.largo > 27 ? r.largo - 27 : 0));
    }
  }

  sirve_tramas(respuestas, ctx.en_ebcdic == 1);
  try {
    if (c & 1)
      ejecuta_sentencia("UPDATE T SET A = 1");
    else
      ejecuta_consulta("SELECT * FROM T");
  } catch (const FinPrograma& fin) {
    // Only the end of the served replies (a failed receive) ends the run.
    COMPRUEBA(fin.estado < 0 || fin.estado == 1);
  }
  COMPRUEBA(ctx.icursor >= 0 && ctx.icursor < NUM_CURSORES);
  unsetenv("WWW_EBCDIC");
  return 0;
}

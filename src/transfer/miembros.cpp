// Source members (header 01): the local tree of a library (\LIB with xvoras,
// xpanta, xlista, and one directory per source file), the member's index
// entry, and its text file \LIB\FILE\MBR.ext named by the source type.
#include "base/contexto.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

bool abre_miembro(Sesion& s) {
  Mensaje m = mensaje_actual(s);
  char tipo_fuente[8], texto[64], fecha[16], hora[16];
  lee_texto(m, 7, 10, true, ctx.biblioteca_actual);
  lee_texto(m, 17, 10, true, ctx.archivo_actual);
  lee_texto(m, 27, 10, true, ctx.miembro_actual);
  lee_texto(m, 37, 4, true, tipo_fuente);
  lee_texto(m, 41, 50, true, texto);
  lee_texto(m, 91, 8, false, fecha);
  lee_texto(m, 99, 6, false, hora);
  if (!acepta_cabecera(ctx.biblioteca_actual, ctx.archivo_actual, ctx.miembro_actual, tipo_fuente))
    return false;
  // The next header completes the object before it.
  if (ctx.fichero_abierto && !cierra_fichero()) return false;

  if (!crea_directorios_biblioteca(ctx.biblioteca_actual)) return false;
  char ruta[TAM_RUTA];
  if (ctx.archivo_actual[0] != '\0' &&
      plat_ruta(ruta, "\\%s\\%s", ctx.biblioteca_actual, ctx.archivo_actual) && !asegura_directorio(ruta)) {
    return false;
  }
  // The index keeps the type as the server sent it, not the extension; the
  // entry is recorded once the member is complete.
  Cabecera c{tipo_fuente, texto, fecha, hora};
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, ctx.miembro_actual, linea)) return false;

  char extension[8];
  extension_de_tipo(tipo_fuente, extension);
  plat_ruta(ruta, "\\%s\\%s\\%s.%s", ctx.biblioteca_actual, ctx.archivo_actual, ctx.miembro_actual,
            extension);
  imprime_obtiene(ruta, true);
  if (!abre_objeto_de_cabecera(ruta, false, c, linea)) return false;
  responde_ok(s);
  return true;
}

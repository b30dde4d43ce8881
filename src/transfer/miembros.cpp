// Source members (header 01): the local tree of a library (\LIB with xvoras,
// xpanta, xlista, and one directory per source file), the member's index
// entry, and its text file \LIB\FILE\MBR.ext named by the source type.
#include "main/contexto.h"
#include "main/plataforma.h"
#include "main/texto.h"
#include "transfer/nombres.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

void abre_miembro() {
  if (ctx.fichero_abierto) cierra_fichero();

  Mensaje m = mensaje_actual();
  char tipo_fuente[8], texto[64], fecha[16], hora[16];
  lee_texto(m, 7, 10, true, ctx.biblioteca);
  lee_texto(m, 17, 10, true, ctx.archivo);
  lee_texto(m, 27, 10, true, ctx.miembro);
  lee_texto(m, 37, 4, true, tipo_fuente);
  lee_texto(m, 41, 50, true, texto);
  lee_texto(m, 91, 8, false, fecha);
  lee_texto(m, 99, 6, false, hora);
  comprueba_nombres(ctx.biblioteca, ctx.archivo, ctx.miembro, tipo_fuente);

  crea_directorios_biblioteca(ctx.biblioteca);
  char ruta[TAM_RUTA];
  if (ctx.archivo[0] != '\0' && plat_ruta(ruta, "\\%s\\%s", ctx.biblioteca, ctx.archivo)) {
    asegura_directorio(ruta);
  }
  // The index keeps the type as the server sent it, not the extension.
  if (indice_sin_filtro()) {
    actualiza_xinfo(ctx.biblioteca, ctx.archivo, ctx.miembro, tipo_fuente, texto, fecha, hora);
  }

  char extension[8];
  extension_de_tipo(tipo_fuente, extension);
  plat_ruta(ruta, "\\%s\\%s\\%s.%s", ctx.biblioteca, ctx.archivo, ctx.miembro, extension);
  imprime_obtiene(ruta, true);
  abre_fichero_actual(ruta, false);
  responde_ok();
}

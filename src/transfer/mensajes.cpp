// Message files (header 07): \LIB\FILE.msg in the library directory, filled
// by the 08 text blocks, and its index entry with a blank member and type MSG.
#include "main/contexto.h"
#include "main/plataforma.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

void abre_mensajes() {
  if (ctx.fichero_abierto) cierra_fichero();

  Mensaje m = mensaje_actual();
  char texto[64], fecha[16], hora[16];
  ctx.miembro[0] = '\0';
  lee_texto(m, 7, 10, true, ctx.biblioteca);
  lee_texto(m, 17, 10, true, ctx.archivo);
  lee_texto(m, 27, 50, true, texto);
  lee_texto(m, 77, 8, false, fecha);
  lee_texto(m, 85, 6, false, hora);
  comprueba_nombres(ctx.biblioteca, ctx.archivo, nullptr, nullptr);

  crea_directorios_biblioteca(ctx.biblioteca);
  if (indice_sin_filtro()) actualiza_xinfo(ctx.biblioteca, ctx.archivo, "", "MSG", texto, fecha, hora);

  char ruta[TAM_RUTA];
  plat_ruta(ruta, "\\%s\\%s.%s", ctx.biblioteca, ctx.archivo, "msg");
  imprime_obtiene(ruta, true);
  abre_fichero_actual(ruta, false);
  responde_ok();
}

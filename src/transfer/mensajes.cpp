// Message files (header 07): \LIB\FILE.msg in the library directory, filled
// by the 08 text blocks, and its index entry with a blank member and type MSG.
#include "base/contexto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

bool abre_mensajes(Sesion& s) {
  Mensaje m = mensaje_actual(s);
  char texto[64], fecha[16], hora[16];
  ctx.miembro_actual[0] = '\0';
  lee_texto(m, 7, 10, true, ctx.biblioteca_actual);
  lee_texto(m, 17, 10, true, ctx.archivo_actual);
  lee_texto(m, 27, 50, true, texto);
  lee_texto(m, 77, 8, false, fecha);
  lee_texto(m, 85, 6, false, hora);
  if (!acepta_cabecera(ctx.biblioteca_actual, ctx.archivo_actual, nullptr, nullptr)) return false;
  if (ctx.fichero_abierto && !cierra_fichero()) return false;

  if (!crea_directorios_biblioteca(ctx.biblioteca_actual)) return false;
  Cabecera c{"MSG", texto, fecha, hora};
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, "", linea)) return false;

  char ruta[TAM_RUTA];
  plat_ruta(ruta, "\\%s\\%s.%s", ctx.biblioteca_actual, ctx.archivo_actual, "msg");
  imprime_obtiene(ruta, true);
  if (!abre_objeto_de_cabecera(ruta, false, c, linea)) return false;
  responde_ok(s);
  return true;
}

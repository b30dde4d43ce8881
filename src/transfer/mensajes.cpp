// Message files (header 07): \LIB\FILE.msg in the library directory, filled
// by the 08 text blocks, and its index entry with a blank member and type MSG.
#include "base/contexto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

bool abre_mensajes() {
  Mensaje m = mensaje_actual();
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
  char linea[LARGO_LINEA_XINFO + 2];
  bool indexa = indice_sin_filtro();
  if (indexa) {
    if (!prepara_xinfo(ctx.biblioteca_actual)) return false;
    construye_linea_xinfo(linea, ctx.biblioteca_actual, ctx.archivo_actual, "", "MSG", texto, fecha, hora,
                          plat_fecha_hora_local());
  }

  char ruta[TAM_RUTA];
  plat_ruta(ruta, "\\%s\\%s.%s", ctx.biblioteca_actual, ctx.archivo_actual, "msg");
  imprime_obtiene(ruta, true);
  FechaHora cambio;
  bool con_fecha = fecha_de_cabecera(fecha, hora, &cambio);
  if (!abre_objeto(ruta, false, con_fecha ? &cambio : nullptr, ctx.biblioteca_actual,
                   indexa ? linea : nullptr))
    return false;
  responde_ok();
  return true;
}

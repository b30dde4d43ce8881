// Data files: the raw copy (header 03, then 04 blocks) into \LIB\FILE.ebc or
// \LIB\FILE_MBR.ebc, stored byte for byte, and the converted copy (header 05
// and its one data block) into \LIB\FILE.dta.
#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/progreso.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"
#include "wire/tablas.h"

// A member with a name of its own goes to FILE_MBR.ebc, and then FILE.ebc must
// exist too: when missing it is made holding one line end (anew, so that a
// link planted there is not followed); when present it is left alone,
// whatever it holds.
static bool asegura_fichero_base(const char* biblioteca, const char* archivo) {
  char base[TAM_RUTA];
  plat_ruta(base, "\\%s\\%s.ebc", biblioteca, archivo);
  FILE* f = plat_abre_binario(base, "r");
  if (f != nullptr) {
    fclose(f);
    return true;
  }
  f = plat_crea_nuevo(base, false);
  if (f == nullptr) {
    antes_de_un_fallo();
    imprime_del_servidor(stdout, "Imposible abrir (%s)\n", base);
    return false;
  }
  bool bien = fputs("\n", f) != EOF;
  if (plat_cierra_escrito(f) && bien) return true;
  antes_de_un_fallo();
  imprime_del_servidor(stdout, "Error al grabar (%s)\n", base);
  return false;
}

bool abre_ebcdic(Sesion& s) {
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

  if (!crea_directorios_biblioteca(ctx.biblioteca_actual)) return false;
  Cabecera c{tipo_fuente, texto, fecha, hora};
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, ctx.miembro_actual, linea)) return false;
  // Unlike headers 01 and 07, the previous file is closed after the index.
  if (ctx.fichero_abierto && !cierra_fichero()) return false;

  char ruta[TAM_RUTA];
  bool propio = ctx.miembro_actual[0] != '\0' && ctx.miembro_actual[0] != ' ' &&
                strcmp(ctx.miembro_actual, ctx.archivo_actual) != 0;
  if (propio) {
    if (!asegura_fichero_base(ctx.biblioteca_actual, ctx.archivo_actual)) return false;
    plat_ruta(ruta, "\\%s\\%s_%s.ebc", ctx.biblioteca_actual, ctx.archivo_actual, ctx.miembro_actual);
  } else {
    plat_ruta(ruta, "\\%s\\%s.ebc", ctx.biblioteca_actual, ctx.archivo_actual);
  }
  // The log gets only the counts of a raw copy, not this half of its line.
  imprime_obtiene(ruta, false);
  if (!abre_objeto_de_cabecera(ruta, true, c, linea)) return false;
  responde_ok(s);
  return true;
}

bool trata_datos(Sesion& s) {
  static unsigned char traducido[TAM_TRAMA];
  Mensaje m = mensaje_actual(s);
  ctx.miembro_actual[0] = '\0';
  lee_texto(m, 7, 10, true, ctx.biblioteca_actual);
  lee_texto(m, 17, 10, true, ctx.archivo_actual);
  if (!acepta_cabecera(ctx.biblioteca_actual, ctx.archivo_actual, nullptr, nullptr)) return false;
  // An open file is completed and reported first, as every other header does.
  if (ctx.fichero_abierto && !cierra_fichero()) return false;

  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", ctx.biblioteca_actual) && !asegura_directorio(ruta)) return false;
  plat_ruta(ruta, "\\%s\\%s.dta", ctx.biblioteca_actual, ctx.archivo_actual);
  imprime_obtiene(ruta, false);
  // The header carries no date: the file keeps the time of the transfer.
  if (!abre_objeto(ruta, false, nullptr, nullptr, nullptr)) return false;
  marca_convertido();
  responde_ok(s);
  // The data block never came: the copy is incomplete.
  if (s.fallo) return deja_incompleto();

  // The data block: its code is not looked at, and its length field counts
  // the data bytes only (not the whole payload as in the other blocks).
  int32_t n = 0;
  m = mensaje_actual(s);
  const unsigned char* datos = datos_de_bloque(m, 7, 7L + lee_numero(m, 2, 5), &n);
  for (int32_t i = 0; i < n; i++) traducido[i] = ebc_fija[datos[i]];
  size_t escritos = 0;
  if (!graba_texto_persona(traducido, (size_t)n, &escritos)) return false;
  // Complete before the count is shown, so a failed close is not reported as
  // a good copy.
  if (!completa_objeto()) return false;
  imprime_cuenta((long long)escritos, 11, " bytes\n", false);
  progreso_fin_objeto(0, false);
  responde_ok(s);
  return true;
}

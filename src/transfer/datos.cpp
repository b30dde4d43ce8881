// Data files: the raw copy (header 03, then 04 blocks) into \LIB\FILE.ebc or
// \LIB\FILE_MBR.ebc, stored byte for byte, and the converted copy (header 05
// and its one data block) into \LIB\FILE.dta.
#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/objeto.h"
#include "transfer/progreso.h"
#include "transfer/solo_cambios.h"
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
    falla(stdout, "Imposible abrir (%s)\n", base);
    return false;
  }
  bool bien = fputs("\n", f) != EOF;
  if (plat_cierra_escrito(f) && bien) return true;
  falla(stdout, "Error al grabar (%s)\n", base);
  return false;
}

bool abre_ebcdic(Recorrido& r, const Cabecera& c) {
  if (!acepta_cabecera(c)) return false;
  char ruta[TAM_RUTA], base[TAM_RUTA];
  ruta_de_objeto(ruta, ClaseArchivo::datos, c.biblioteca, c.archivo, c.miembro, c.tipo);
  // An incremental run: a member the server sends unchanged is not written
  // (its blocks then find no file open).
  if (salta_sin_cambios(r, c, ruta)) {
    if (r.objeto.abierto && !completa_objeto(r)) return false;
    responde_ok(r.sesion);
    return true;
  }

  if (!crea_directorios_biblioteca(c.biblioteca)) return false;
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, linea)) return false;
  // Unlike headers 01 and 07, the previous file is closed after the index.
  if (r.objeto.abierto && !completa_objeto(r)) return false;

  ruta_de_objeto(base, ClaseArchivo::datos, c.biblioteca, c.archivo, "", "");
  // A member with a name of its own has a path other than the file's.
  if (strcmp(ruta, base) != 0 && !asegura_fichero_base(c.biblioteca, c.archivo)) return false;
  // The log gets only the counts of a raw copy, not this half of its line.
  anuncia_objeto(r, ruta, false);
  if (!abre_objeto(r, c, ruta, true, linea)) return false;
  responde_ok(r.sesion);
  return true;
}

bool trata_datos(Recorrido& r, const Cabecera& c) {
  if (!acepta_cabecera(c)) return false;
  // An open file is completed and reported first, as every other header does.
  if (r.objeto.abierto && !completa_objeto(r)) return false;

  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", c.biblioteca) && !asegura_directorio(ruta)) return false;
  plat_ruta(ruta, "\\%s\\%s.dta", c.biblioteca, c.archivo);
  anuncia_objeto(r, ruta, false);
  // The header carries no date: the file keeps the time of the transfer.
  if (!abre_objeto(r, c, ruta, false, nullptr)) return false;
  marca_convertido(r);
  responde_ok(r.sesion);
  // The data block never came: the copy is incomplete.
  if (r.sesion.fallo) return deja_incompleto(r);

  // The data block: its code is not looked at, and its length field counts
  // the data bytes only (not the whole payload as in the other blocks).
  int32_t n = 0;
  Mensaje m = mensaje_actual(r.sesion);
  const unsigned char* datos = datos_de_bloque(m, 7, 7L + lee_numero(m, 2, 5), &n);
  for (int32_t i = 0; i < n; i++) r.traducido[i] = ebc_fija[datos[i]];
  size_t escritos = 0;
  if (!graba_texto_persona(r, r.traducido, (size_t)n, &escritos)) return false;
  r.objeto.bytes += (int64_t)escritos;
  // Complete before the count is shown, so a failed close is not reported as
  // a good copy.
  if (!completa_objeto(r)) return false;
  responde_ok(r.sesion);
  return true;
}

// Source members (header 01): the local tree of a library (\LIB with xvoras,
// xpanta, xlista, and one directory per source file), the member's index
// entry, and its text file \LIB\FILE\MBR.ext named by the source type.
#include "base/contexto.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/objeto.h"
#include "transfer/solo_cambios.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

bool abre_miembro(Recorrido& r, const Cabecera& c) {
  if (!acepta_cabecera(c)) return false;
  // The next header completes the object before it.
  if (r.objeto.abierto && !completa_objeto(r)) return false;
  char ruta[TAM_RUTA];
  ruta_de_objeto(ruta, ClaseArchivo::fuente, c.biblioteca, c.archivo, c.miembro, c.tipo);
  // An incremental run: a member the server sends unchanged is not written.
  if (salta_sin_cambios(r, c, ruta)) {
    responde_ok(r.sesion);
    return true;
  }

  if (!crea_directorios_biblioteca(c.biblioteca)) return false;
  char carpeta[TAM_RUTA];
  if (c.archivo[0] != '\0' && plat_ruta(carpeta, "\\%s\\%s", c.biblioteca, c.archivo) &&
      !asegura_directorio(carpeta)) {
    return false;
  }
  // The index keeps the type as the server sent it, not the extension; the
  // entry is recorded once the member is complete.
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, linea)) return false;

  anuncia_objeto(r, ruta, true);
  if (!abre_objeto(r, c, ruta, false, linea)) return false;
  responde_ok(r.sesion);
  return true;
}

// Source members (header 01): the local tree of a library (\LIB with xvoras,
// xpanta, xlista, and one directory per source file), the member's index
// entry, and its text file \LIB\FILE\MBR.ext named by the source type.
#include "base/contexto.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/objeto.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

bool abre_miembro(Recorrido& r, const Cabecera& c) {
  if (!acepta_cabecera(c)) return false;
  // The next header completes the object before it.
  if (r.objeto.abierto && !completa_objeto(r)) return false;

  if (!crea_directorios_biblioteca(c.biblioteca)) return false;
  char ruta[TAM_RUTA];
  if (c.archivo[0] != '\0' && plat_ruta(ruta, "\\%s\\%s", c.biblioteca, c.archivo) &&
      !asegura_directorio(ruta)) {
    return false;
  }
  // The index keeps the type as the server sent it, not the extension; the
  // entry is recorded once the member is complete.
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, linea)) return false;

  char extension[8];
  extension_de_tipo(c.tipo, extension);
  plat_ruta(ruta, "\\%s\\%s\\%s.%s", c.biblioteca, c.archivo, c.miembro, extension);
  anuncia_objeto(r, ruta, true);
  if (!abre_objeto(r, c, ruta, false, linea)) return false;
  responde_ok(r.sesion);
  return true;
}

// Message files (header 07): \LIB\FILE.msg in the library directory, filled
// by the 08 text blocks, and its index entry with a blank member and type MSG.
#include "base/contexto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/objeto.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

bool abre_mensajes(Recorrido& r, const Cabecera& c) {
  if (!acepta_cabecera(c)) return false;
  if (r.objeto.abierto && !completa_objeto(r)) return false;

  if (!crea_directorios_biblioteca(c.biblioteca)) return false;
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(c, linea)) return false;

  char ruta[TAM_RUTA];
  ruta_de_objeto(ruta, ClaseArchivo::mensajes, c.biblioteca, c.archivo, "", "");
  anuncia_objeto(r, ruta, true);
  if (!abre_objeto(r, c, ruta, false, linea)) return false;
  responde_ok(r.sesion);
  return true;
}

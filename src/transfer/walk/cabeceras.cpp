// The handlers of the headers that open an object (cabeceras.h): the local
// tree of a library (\LIB with xvoras, xpanta and xlista, one folder per
// source file), the object's index entry, and its file: a source member
// \LIB\FILE\MBR.ext named by its source type, a raw data copy \LIB\FILE.ebc
// or \LIB\FILE_MBR.ebc stored byte for byte, a message file \LIB\FILE.msg,
// or a converted data copy \LIB\FILE.dta.
#include "transfer/walk/cabeceras.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "transfer/walk/arbol.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/mensaje.h"
#include "transfer/walk/nombres.h"
#include "transfer/walk/objeto.h"
#include "transfer/walk/salto.h"
#include "wire/tablas.h"

namespace {

// What the header of one class of object does differently.
struct Clase {
  ClaseArchivo clase;
  // The object still open is completed after the new one's index entry is
  // prepared (raw data), not as soon as the header is accepted.
  bool completa_tras_indice;
  bool salta;               // an incremental run may skip it unchanged
  bool carpeta_de_archivo;  // its file has a folder of its own (\LIB\FILE)
  bool fichero_base;        // a member with a name of its own needs \LIB\FILE.ebc too
  bool en_log;              // the first half of its result line goes to the log
  bool binario;             // its file is written in binary
};

constexpr Clase FUENTE{ClaseArchivo::fuente, false, true, true, false, true, false};
constexpr Clase DATOS{ClaseArchivo::datos, true, true, false, true, false, true};
constexpr Clase MENSAJES{ClaseArchivo::mensajes, false, false, false, false, true, false};

// The index entry of the object of header c, when the index is to be
// updated: the library's index prepared and the line built into linea;
// otherwise linea is left empty. False after the index's failure is said.
bool prepara_entrada(Recorrido& r, const Cabecera& c, char (&linea)[LARGO_LINEA_XINFO + 2]) {
  linea[0] = '\0';
  if (!r.comun.indexa) return true;
  FalloIndice fallo;
  if (!prepara_xinfo(r.comun.indices, c.biblioteca, &fallo)) {
    informa_fallo_indice(r.comun, &r, fallo);
    return false;
  }
  construye_linea_xinfo(linea, c.biblioteca, c.archivo, c.miembro, c.tipo, c.texto, c.fecha, c.hora,
                        plat_fecha_hora_local());
  return true;
}

// A member with a name of its own goes to FILE_MBR.ebc, and then FILE.ebc must
// exist too: when missing it is made holding one line end (anew, so that a
// link planted there is not followed); when present it is left alone,
// whatever it holds.
bool asegura_fichero_base(Recorrido& r, const char* biblioteca, const char* archivo) {
  char base[TAM_RUTA];
  plat_ruta(base, "\\%s\\%s.ebc", biblioteca, archivo);
  FILE* f = plat_abre_binario(base, "r");
  if (f != nullptr) {
    fclose(f);
    return true;
  }
  f = plat_crea_nuevo(base, false);
  if (f == nullptr) {
    falla(r.comun, &r, stdout, "Imposible abrir (%s)\n", base);
    return false;
  }
  bool bien = fputs("\n", f) != EOF;
  if (plat_cierra_escrito(f) && bien) return true;
  falla(r.comun, &r, stdout, "Error al grabar (%s)\n", base);
  return false;
}

// The header of an object of class k: its checks, the object before it
// completed, its skip, its folders and index entry, and its file opened.
bool abre_objeto_de_clase(Recorrido& r, const Cabecera& c, const Clase& k) {
  if (!acepta_cabecera(r, c)) return false;
  // The next header completes the object before it.
  if (!k.completa_tras_indice && r.objeto.abierto && !completa_objeto(r)) return false;
  char ruta[TAM_RUTA];
  ruta_de_objeto(ruta, k.clase, c.biblioteca, c.archivo, c.miembro, c.tipo);
  // An incremental run: an object the server sends unchanged is not written
  // (its blocks then find no file open).
  if (k.salta && salta_sin_cambios(r, c, ruta, k.clase)) {
    if (r.objeto.abierto && !completa_objeto(r)) return false;
    responde_ok(r.sesion);
    return true;
  }

  if (!crea_directorios_biblioteca(r, c.biblioteca)) return false;
  char carpeta[TAM_RUTA];
  if (k.carpeta_de_archivo && c.archivo[0] != '\0' &&
      plat_ruta(carpeta, "\\%s\\%s", c.biblioteca, c.archivo) && !asegura_directorio(r.comun, &r, carpeta)) {
    return false;
  }
  // The index keeps the type as the server sent it, not the extension; the
  // entry is recorded once the object is complete.
  char linea[LARGO_LINEA_XINFO + 2];
  if (!prepara_entrada(r, c, linea)) return false;
  if (k.completa_tras_indice && r.objeto.abierto && !completa_objeto(r)) return false;

  if (k.fichero_base) {
    char base[TAM_RUTA];
    ruta_de_objeto(base, k.clase, c.biblioteca, c.archivo, "", "");
    // A member with a name of its own has a path other than the file's.
    if (strcmp(ruta, base) != 0 && !asegura_fichero_base(r, c.biblioteca, c.archivo)) return false;
  }
  anuncia_objeto(r, ruta, k.en_log);
  if (!abre_objeto(r, c, ruta, k.binario, linea)) return false;
  r.objeto.mensajes = k.clase == ClaseArchivo::mensajes;
  describe_para_informe(r, c, ruta, k.clase, false);
  responde_ok(r.sesion);
  return true;
}

}  // namespace

bool abre_miembro(Recorrido& r, const Cabecera& c) {
  return abre_objeto_de_clase(r, c, FUENTE);
}

bool abre_ebcdic(Recorrido& r, const Cabecera& c) {
  return abre_objeto_de_clase(r, c, DATOS);
}

bool abre_mensajes(Recorrido& r, const Cabecera& c) {
  return abre_objeto_de_clase(r, c, MENSAJES);
}

bool trata_datos(Recorrido& r, const Cabecera& c) {
  if (!acepta_cabecera(r, c)) return false;
  // An open file is completed and reported first, as every other header does.
  if (r.objeto.abierto && !completa_objeto(r)) return false;

  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", c.biblioteca) && !asegura_directorio(r.comun, &r, ruta)) return false;
  plat_ruta(ruta, "\\%s\\%s.dta", c.biblioteca, c.archivo);
  anuncia_objeto(r, ruta, false);
  // The header carries no date: the file keeps the time of the transfer.
  if (!abre_objeto(r, c, ruta, false, nullptr)) return false;
  marca_convertido(r);
  describe_para_informe(r, c, ruta, ClaseArchivo::datos, true);
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

// The transfer's local files: the checks a header must pass before anything
// is written (names that would leave the local tree, one run per library),
// the library directories, and the one open object. An object is written
// into a working file beside its path, "<path>.parcial", and moved over the
// path in one atomic step only once it is complete, so that a run that stops
// early never replaces a good copy with a cut one.
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/nombres.h"
#include "transfer/progreso.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

namespace {

constexpr int ESPERA_BLOQUEO_MS = 10000;
constexpr char SUFIJO_PARCIAL[] = ".parcial";

// The open object beyond what RunContext shows: its working file, the
// header's change date, and its index entry, recorded only once complete.
struct Objeto {
  char parcial[TAM_RUTA];
  bool con_fecha;
  FechaHora fecha;
  bool convertido;  // a converted data file: its count line is its bytes alone
  bool indexar;
  char biblioteca[TAM_AJUSTE];
  char linea[LARGO_LINEA_XINFO + 2];
};
Objeto objeto;

// The directories asked for in this run: a library of thousands of members
// makes each of them once, not once per member.
std::unordered_set<std::string> directorios_hechos;
// The libraries this run holds the lock of.
std::unordered_set<std::string> bibliotecas_tomadas;

// Console and log share these lines; the log is absent only in tests. The
// console's goes through the terminal filter: it holds names from the server.
void imprime(const char* texto) {
  escribe_nombres(stdout, texto);
  if (ctx.flog != nullptr) fputs(texto, ctx.flog);
}

// A write, close or final move of the object failed: its working file goes
// (it cannot be trusted), the earlier copy stays. Returns false after "Error
// al grabar (%s)\n" with the object's path.
bool falla_escritura() {
  if (ctx.fichero_actual != nullptr) fclose(ctx.fichero_actual);
  ctx.fichero_actual = nullptr;
  ctx.fichero_abierto = 0;
  objeto.indexar = false;
  plat_borra_fichero(objeto.parcial);
  borra_progreso();
  imprime_del_servidor(stdout, "Error al grabar (%s)\n", ctx.ruta_actual);
  return false;
}

// The closing step of an object: whatever ends the run while it is open,
// it is left incomplete, never lost without its line.
bool cierra_objeto_abierto() {
  return deja_incompleto();
}

}  // namespace

void antes_de_un_fallo() {
  deja_incompleto();
  borra_progreso();
}

bool acepta_cabecera(const char* biblioteca, const char* archivo, const char* miembro, const char* tipo) {
  const char* malo = primer_nombre_no_valido(biblioteca, archivo, miembro, tipo);
  if (malo != nullptr) {
    char nombre[TAM_AJUSTE];
    copia_texto(nombre, malo);
    antes_de_un_fallo();
    imprime_del_servidor(stdout, "Nombre no valido recibido del servidor (%s)\n", nombre);
    return false;
  }
  // One run at a time per library: a second run into the same folder would
  // rewrite the index from a copy that misses the first run's entries. The
  // lock is taken at the library's first header, before anything is written
  // into it, and kept to the end of the run.
  if (bibliotecas_tomadas.count(biblioteca) != 0) return true;
  char ruta[TAM_RUTA];
  bool directorios = plat_ruta(ruta, "\\%s", biblioteca) && asegura_directorio(ruta) &&
                     plat_ruta(ruta, "\\%s\\xvoras", biblioteca) && asegura_directorio(ruta);
  Bloqueo bloqueo = Bloqueo::fallo;
  if (directorios) {
    plat_ruta(ruta, "\\%s\\xvoras\\xinfo.bloqueo", biblioteca);
    bloqueo = plat_bloquea(ruta, 0);
    if (bloqueo == Bloqueo::ocupado) {
      // Another run holds it: say so once, and wait. What the indexes have
      // taken is written first, so that the wait holds back nothing that is
      // complete.
      if (!graba_indices()) return false;
      imprime_del_servidor(stderr, "Esperando a otra transferencia de la biblioteca %s\n", biblioteca);
      fflush(stderr);
      bloqueo = plat_bloquea(ruta, ESPERA_BLOQUEO_MS);
    }
    if (bloqueo == Bloqueo::tomado) {
      bibliotecas_tomadas.insert(biblioteca);
      return true;
    }
  }
  antes_de_un_fallo();
  if (bloqueo == Bloqueo::ocupado) {
    imprime_del_servidor(stdout, "Biblioteca %s en uso por otra transferencia\n", biblioteca);
  } else if (directorios) {
    imprime_del_servidor(stdout, "Imposible abrir (%s)\n", ruta);
  }
  return false;
}

bool asegura_directorio(const char* ruta) {
  if (directorios_hechos.count(ruta) != 0) return true;
  if (!plat_crea_directorio(ruta)) {
    antes_de_un_fallo();
    imprime_del_servidor(stdout, "Imposible crear el directorio (%s)\n", ruta);
    return false;
  }
  directorios_hechos.insert(ruta);
  return true;
}

void olvida_directorios() {
  directorios_hechos.clear();
  bibliotecas_tomadas.clear();
}

bool crea_directorios_biblioteca(const char* biblioteca) {
  static const char* const carpetas[] = {"xvoras", "xpanta", "xlista"};
  char ruta[TAM_RUTA];
  if (plat_ruta(ruta, "\\%s", biblioteca) && !asegura_directorio(ruta)) return false;
  for (const char* carpeta : carpetas) {
    if (plat_ruta(ruta, "\\%s\\%s", biblioteca, carpeta) && !asegura_directorio(ruta)) return false;
  }
  return true;
}

bool indice_sin_filtro() {
  return ctx.tipo[0] == '\0' || ctx.tipo[0] == ' ';
}

bool abre_objeto(const char* ruta, bool binario, const FechaHora* fecha, const char* biblioteca,
                 const char* linea_indice) {
  Objeto& o = objeto;
  // A working path that does not fit cannot be made: the open fails below.
  if (formatea(o.parcial, "%s%s", ruta, SUFIJO_PARCIAL) >= (int)sizeof o.parcial) o.parcial[0] = '\0';
  FILE* f = o.parcial[0] != '\0' ? plat_crea_nuevo(o.parcial, binario) : nullptr;
  if (f == nullptr) {
    antes_de_un_fallo();
    imprime_del_servidor(stdout, "Imposible abrir (%s)\n", ruta);
    return false;
  }
  registra_cierre(cierra_objeto_abierto);
  // A block of a big member is near 30,000 bytes: a buffer of several blocks
  // makes one write of many, not two of each.
  static char bufer[1 << 17];
  setvbuf(f, bufer, _IOFBF, sizeof bufer);
  o.convertido = false;
  o.con_fecha = fecha != nullptr;
  if (fecha != nullptr) o.fecha = *fecha;
  o.indexar = linea_indice != nullptr;
  copia_texto(o.biblioteca, biblioteca != nullptr ? biblioteca : "");
  copia_texto(o.linea, linea_indice != nullptr ? linea_indice : "");
  ctx.fichero_actual = f;
  copia_texto(ctx.ruta_actual, ruta);
  ctx.fichero_abierto = 1;
  return true;
}

bool prepara_entrada(const Cabecera& c, const char* miembro, char (&linea)[LARGO_LINEA_XINFO + 2]) {
  linea[0] = '\0';
  if (!indice_sin_filtro()) return true;
  if (!prepara_xinfo(ctx.biblioteca_actual)) return false;
  construye_linea_xinfo(linea, ctx.biblioteca_actual, ctx.archivo_actual, miembro, c.tipo, c.texto, c.fecha,
                        c.hora, plat_fecha_hora_local());
  return true;
}

bool abre_objeto_de_cabecera(const char* ruta, bool binario, const Cabecera& c, const char* linea) {
  FechaHora cambio;
  bool con_fecha = fecha_de_cabecera(c.fecha, c.hora, &cambio);
  return abre_objeto(ruta, binario, con_fecha ? &cambio : nullptr, ctx.biblioteca_actual,
                     linea[0] != '\0' ? linea : nullptr);
}

void marca_convertido() {
  objeto.convertido = true;
}

bool graba_bytes(const void* datos, size_t n) {
  if (n == 0) return true;
  if (fwrite(datos, 1, n, ctx.fichero_actual) != n) return falla_escritura();
  progreso_bytes((int64_t)n);
  return true;
}

bool graba_texto_persona(const unsigned char* texto, size_t n, size_t* escritos) {
  *escritos = n;
  if (!ctx.utf8) return graba_bytes(texto, n);
  static char utf8[3 * TAM_TRAMA];
  *escritos = plat_cp1252_a_utf8((const char*)texto, n, utf8);
  return graba_bytes(utf8, *escritos);
}

bool completa_objeto() {
  FILE* f = ctx.fichero_actual;
  ctx.fichero_actual = nullptr;
  ctx.fichero_abierto = 0;
  // The date goes on once every byte is written. The flush at the close is
  // often the only news of a write that failed late.
  if (f != nullptr && objeto.con_fecha) plat_pon_fecha_abierto(f, objeto.fecha);
  if (f != nullptr && !plat_cierra_escrito(f)) return falla_escritura();
  // A move that fails (a directory at the path, say) is a failed write of
  // the object: its working file goes with it.
  if (!plat_reemplaza_fichero(objeto.parcial, ctx.ruta_actual)) return falla_escritura();
  return true;
}

bool registra_objeto() {
  if (!objeto.indexar) return true;
  objeto.indexar = false;
  return registra_xinfo(objeto.biblioteca, objeto.linea);
}

bool deja_incompleto() {
  if (!ctx.fichero_abierto) return true;
  FILE* f = ctx.fichero_actual;
  ctx.fichero_actual = nullptr;
  ctx.fichero_abierto = 0;
  objeto.indexar = false;
  if (f != nullptr && !plat_cierra_escrito(f)) return falla_escritura();
  if (objeto.convertido) {
    imprime_cuenta(ctx.num_bytes, 11, " bytes\n", false);
  } else {
    imprime_cuenta(ctx.num_registros, 11, " registros   ", true);
    imprime_cuenta(ctx.num_bytes, 10, " bytes\n", true);
  }
  progreso_fin_objeto(ctx.num_registros, true);
  ctx.num_registros = 0;
  ctx.num_bytes = 0;
  char linea[TAM_RUTA + 32];
  formatea(linea, "Incompleto: %s\n", objeto.parcial);
  imprime(linea);
  if (ctx.flog != nullptr) fflush(ctx.flog);
  return true;
}

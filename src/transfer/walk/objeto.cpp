// The open object of a walk and its result line (objeto.h).
#include "transfer/walk/objeto.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/nombres.h"
#include "transfer/walk/progreso.h"

namespace {

constexpr char SUFIJO_PARCIAL[] = ".parcial";

void anade(char (&destino)[TAM_LINEA_RESULTADO], size_t& n, const char* texto) {
  size_t k = strlen(texto);
  if (k > sizeof destino - 1 - n) k = sizeof destino - 1 - n;
  memcpy(destino + n, texto, k);
  n += k;
  destino[n] = '\0';
}

// One piece of the object's result line, for the console and, when en_log,
// for the log: written at once, or kept for the end of the line when the walk
// writes whole lines. The progress line is erased before anything reaches the
// console.
void pieza(Recorrido& r, const char* texto, bool en_log) {
  Objeto& o = r.objeto;
  if (r.lineas_enteras) {
    anade(o.pendiente_consola, o.npendiente_consola, texto);
    if (en_log) anade(o.pendiente_log, o.npendiente_log, texto);
    return;
  }
  borra_progreso(r.comun.progreso);
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  escribe_nombres(stdout, texto);
  if (en_log && ctx.flog != nullptr) fputs(texto, ctx.flog);
}

// The object's result line is done: when the walk writes whole lines, its
// pieces go out now, in one write to each. With vacia_log the log is flushed
// (a line that must not wait in a buffer).
void fin_de_linea(Recorrido& r, bool vacia_log) {
  Objeto& o = r.objeto;
  // The progress line is erased under the lines' lock, which a redraw does
  // not wait for (it is skipped while a line is written): no redraw by
  // another session can come between the two.
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  if (r.lineas_enteras) {
    borra_progreso(r.comun.progreso);
    escribe_nombres(stdout, o.pendiente_consola);
    if (ctx.flog != nullptr) fputs(o.pendiente_log, ctx.flog);
    o.npendiente_consola = o.npendiente_log = 0;
    o.pendiente_consola[0] = o.pendiente_log[0] = '\0';
  }
  if (vacia_log && ctx.flog != nullptr) fflush(ctx.flog);
}

// A count piece: "%s%s <literal>" with the count grouped by "." and
// right-aligned in ancho columns.
void pieza_cuenta(Recorrido& r, long long cuenta, int ancho, const char* literal, bool en_log) {
  char digitos[32], agrupado[48], relleno[16], linea[96];
  formatea(digitos, "%lld", cuenta);
  pon_puntos(agrupado, digitos);
  llena_blancos(relleno, ancho - (int)strlen(agrupado));
  formatea(linea, "%s%s%s", relleno, agrupado, literal);
  pieza(r, linea, en_log);
}

// The counts that complete the result line: records and bytes, or the bytes
// alone of a converted file (which the log does not get).
void piezas_de_cuentas(Recorrido& r) {
  const Objeto& o = r.objeto;
  if (o.convertido) {
    pieza_cuenta(r, o.bytes, 11, " bytes\n", false);
  } else {
    pieza_cuenta(r, o.registros, 11, " registros   ", true);
    pieza_cuenta(r, o.bytes, 10, " bytes\n", true);
  }
}

// A failure of the object's own that ends its line (console only):
// "<que> (<ruta>)\n".
void pieza_de_fallo(Recorrido& r, const char* que, const char* ruta) {
  char texto[TAM_RUTA + 64];
  formatea(texto, "%s (%s)\n", que, ruta);
  pieza(r, texto, false);
  fin_de_linea(r, false);
}

// A write, close or final move of the object failed: its working file goes
// (it cannot be trusted), the earlier copy stays. Returns false after "Error
// al grabar (%s)\n" with the object's path.
bool falla_escritura(Recorrido& r) {
  Objeto& o = r.objeto;
  if (o.fichero != nullptr) fclose(o.fichero);
  o.fichero = nullptr;
  o.abierto = false;
  o.indexar = false;
  plat_borra_fichero(o.parcial);
  borra_progreso(r.comun.progreso);
  pieza_de_fallo(r, "Error al grabar", o.ruta);
  return false;
}

// Records the complete object's index entry, marked with its place in a
// one-session run's order: its unit, then its number in the unit. False as
// registra_xinfo.
bool registra_objeto(Recorrido& r) {
  Objeto& o = r.objeto;
  if (!o.indexar) return true;
  o.indexar = false;
  uint64_t marca = o.mensajes && r.con_mensajes ? (uint64_t)r.unidad_mensajes << 32
                                                : ((uint64_t)r.unidad << 32) | r.entradas++;
  FalloIndice fallo;
  if (registra_xinfo(r.comun.indices, o.biblioteca, o.linea_indice, marca, &fallo)) return true;
  informa_fallo_indice(r.comun, &r, fallo);
  return false;
}

// The object is done, complete or not: the progress counts, and the walk's
// own part of them.
void cuenta_fin_de_objeto(Recorrido& r, bool incompleto) {
  progreso_fin_objeto(r.comun.progreso, r.objeto.registros, incompleto);
  r.aportado.objetos++;
  r.aportado.registros += r.objeto.registros;
  if (incompleto) r.aportado.incompletos++;
}

}  // namespace

void antes_de_un_fallo(Compartido& c, Recorrido* r) {
  if (r != nullptr) deja_incompleto(*r);
  borra_progreso(c.progreso);
}

void falla(Compartido& c, Recorrido* r, FILE* f, const char* formato, ...) {
  antes_de_un_fallo(c, r);
  char texto[4096];
  va_list args;
  va_start(args, formato);
  formatea_v(texto, sizeof texto, formato, args);
  va_end(args);
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  borra_progreso(c.progreso);
  escribe_nombres(f, texto);
}

void informa_fallo_indice(Compartido& c, Recorrido* r, const FalloIndice& fallo) {
  if (fallo.tipo == FalloIndice::Tipo::apertura) {
    falla(c, r, stderr, "Error apertura fichero: %s  rc=%d \n", fallo.ruta, fallo.codigo);
  } else {
    falla(c, r, stdout, "Error al grabar (%s)\n", fallo.ruta);
  }
}

void anuncia_objeto(Recorrido& r, const char* ruta, bool en_log) {
  char relleno[32], linea[TAM_RUTA + 64];
  llena_blancos(relleno, 30 - (int)strlen(ruta));
  formatea(linea, "Obtiene: %s%s", ruta, relleno);
  progreso_objeto(r.comun.progreso, ruta, linea);
  pieza(r, linea, en_log);
}

bool abre_objeto(Recorrido& r, const Cabecera& c, const char* ruta, bool binario, const char* linea_indice) {
  Objeto& o = r.objeto;
  // A working path that does not fit cannot be made: the open fails below.
  if (formatea(o.parcial, "%s%s", ruta, SUFIJO_PARCIAL) >= (int)sizeof o.parcial) o.parcial[0] = '\0';
  FILE* f = o.parcial[0] != '\0' ? plat_crea_nuevo(o.parcial, binario) : nullptr;
  if (f == nullptr) {
    antes_de_un_fallo(r.comun, &r);
    pieza_de_fallo(r, "Imposible abrir", ruta);
    return false;
  }
  setvbuf(f, o.bufer, _IOFBF, sizeof o.bufer);
  o.fichero = f;
  o.abierto = true;
  copia_texto(o.ruta, ruta);
  o.con_fecha = fecha_de_cabecera(c.fecha, c.hora, &o.fecha);
  o.registros = 0;
  o.bytes = 0;
  o.convertido = false;
  o.mensajes = false;
  o.indexar = linea_indice != nullptr && linea_indice[0] != '\0';
  copia_texto(o.biblioteca, c.biblioteca);
  copia_texto(o.linea_indice, o.indexar ? linea_indice : "");
  return true;
}

void marca_convertido(Recorrido& r) {
  r.objeto.convertido = true;
}

bool graba_bytes(Recorrido& r, const void* datos, size_t n) {
  if (n == 0) return true;
  if (fwrite(datos, 1, n, r.objeto.fichero) != n) return falla_escritura(r);
  progreso_bytes(r.comun.progreso, (int64_t)n);
  r.aportado.bytes += (int64_t)n;
  return true;
}

bool graba_texto_persona(Recorrido& r, const unsigned char* texto, size_t n, size_t* escritos) {
  *escritos = n;
  if (!ctx.utf8) return graba_bytes(r, texto, n);
  *escritos = plat_cp1252_a_utf8((const char*)texto, n, r.utf8);
  return graba_bytes(r, r.utf8, *escritos);
}

bool completa_objeto(Recorrido& r) {
  Objeto& o = r.objeto;
  FILE* f = o.fichero;
  o.fichero = nullptr;
  o.abierto = false;
  // The date goes on once every byte is written. The flush at the close is
  // often the only news of a write that failed late.
  if (f != nullptr && o.con_fecha) plat_pon_fecha_abierto(f, o.fecha);
  if (f != nullptr && !plat_cierra_escrito(f)) return falla_escritura(r);
  // A move that fails (a directory at the path, say) is a failed write of
  // the object: its working file goes with it.
  if (!plat_reemplaza_fichero(o.parcial, o.ruta)) return falla_escritura(r);
  piezas_de_cuentas(r);
  fin_de_linea(r, true);
  cuenta_fin_de_objeto(r, false);
  anota_objeto(r, false);
  o.registros = 0;
  o.bytes = 0;
  return registra_objeto(r);
}

bool deja_incompleto(Recorrido& r) {
  Objeto& o = r.objeto;
  if (!o.abierto) return true;
  FILE* f = o.fichero;
  o.fichero = nullptr;
  o.abierto = false;
  o.indexar = false;
  if (f != nullptr && !plat_cierra_escrito(f)) return falla_escritura(r);
  piezas_de_cuentas(r);
  cuenta_fin_de_objeto(r, true);
  anota_objeto(r, true);
  o.registros = 0;
  o.bytes = 0;
  char linea[TAM_RUTA + 32];
  formatea(linea, "Incompleto: %s\n", o.parcial);
  pieza(r, linea, true);
  fin_de_linea(r, true);
  return true;
}

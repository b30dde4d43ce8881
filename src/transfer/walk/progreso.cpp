// The progress line and the summary of a transfer run (progreso.h).
#include "transfer/walk/progreso.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"

namespace {

constexpr int64_t INTERVALO_MS = 100;  // at most ten redraws a second
constexpr size_t ANCHO = 79;           // one row of a common terminal, so that \r reaches its start

// A count with its thousands grouped by ".".
void agrupa(char (&dest)[48], int64_t n) {
  char digitos[32];
  formatea(digitos, "%lld", (long long)n);
  pon_puntos(dest, digitos);
}

int64_t kb_por_segundo(int64_t bytes, int64_t ms) {
  return ms > 0 ? bytes / ms : 0;
}

void dibuja(EstadoProgreso& p) {
  // A session writing a result line holds the lines' lock, and has just
  // erased the line or is about to: the redraw waits for the next time. The
  // lock is only tried, so that its holder may erase the line meanwhile.
  std::unique_lock<std::mutex> salida(cerrojo_salida(), std::try_to_lock);
  if (!salida.owns_lock()) return;
  char actual[48], total[48], linea[512];
  agrupa(actual, p.bytes_objeto);
  agrupa(total, p.bytes);
  int64_t ms = plat_reloj_ms() - p.inicio_ms;
  if (p.con_plan) {
    char objetos[48], objetos_plan[48], bytes_plan[48];
    agrupa(objetos, p.objetos);
    agrupa(objetos_plan, p.objetos_plan);
    agrupa(bytes_plan, p.bytes_plan);
    formatea(linea, "%s de %s objetos  %s de %s bytes  %lld KB/s", objetos, objetos_plan, total, bytes_plan,
             (long long)kb_por_segundo(p.bytes, ms));
  } else if (p.sobre_salida) {
    formatea(linea, "%s %s bytes (%lld objetos, %lld KB/s)", p.mitad, actual, (long long)p.objetos,
             (long long)kb_por_segundo(p.bytes, ms));
  } else {
    formatea(linea, "%lld objetos  %s  %s bytes  total %s bytes  %lld KB/s", (long long)p.objetos, p.ruta,
             actual, total, (long long)kb_por_segundo(p.bytes, ms));
  }
  size_t n = strlen(linea);
  if (n > ANCHO) n = ANCHO;
  if (p.filtra)
    for (size_t i = 0; i < n; i++) linea[i] = visible(linea[i]);
  fputc('\r', stderr);
  fwrite(linea, 1, n, stderr);
  for (size_t i = n; i < p.dibujado; i++) fputc(' ', stderr);
  fflush(stderr);
  p.dibujado = n > p.dibujado ? n : p.dibujado;
}

void borra(EstadoProgreso& p) {
  if (!p.activo || p.dibujado == 0) return;
  fputc('\r', stderr);
  for (size_t i = 0; i < p.dibujado; i++) fputc(' ', stderr);
  fputc('\r', stderr);
  fflush(stderr);
  p.dibujado = 0;
}

}  // namespace

void inicia_progreso(Progreso& pr) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  const char* valor = plat_getenv("VORTCP_PROGRESO");
  bool pedido = valor != nullptr && strcmp(valor, "1") == 0;
  bool quitado = valor != nullptr && strcmp(valor, "0") == 0;
  p = EstadoProgreso{};
  p.activo = !quitado && (pedido || es_terminal_de_la_ejecucion(stderr));
  p.filtra = p.activo && es_terminal_de_la_ejecucion(stderr);
  p.sobre_salida = p.activo && es_terminal_de_la_ejecucion(stdout) && p.filtra;
  p.inicio_ms = p.ultimo_ms = plat_reloj_ms();
}

void progreso_plan(Progreso& pr, int64_t objetos, int64_t bytes) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  p.con_plan = true;
  p.objetos_plan = objetos;
  p.bytes_plan = bytes;
}

void progreso_retira(Progreso& pr, const Aportacion& a) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  p.objetos -= a.objetos;
  p.incompletos -= a.incompletos;
  p.registros -= a.registros;
  p.bytes -= a.bytes;
  p.sin_cambios -= a.sin_cambios;
}

void progreso_suma(Progreso& pr, const Aportacion& a) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  p.objetos += a.objetos;
  p.incompletos += a.incompletos;
  p.registros += a.registros;
  p.bytes += a.bytes;
  p.sin_cambios += a.sin_cambios;
}

void progreso_sin_cambios(Progreso& pr, int64_t n) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  p.incremental = true;
  p.sin_cambios += n;
}

void progreso_refresca(Progreso& pr) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  if (!p.activo) return;
  int64_t ahora = plat_reloj_ms();
  if (ahora - p.ultimo_ms < INTERVALO_MS) return;
  p.ultimo_ms = ahora;
  dibuja(p);
}

void progreso_objeto(Progreso& pr, const char* ruta, const char* mitad) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  if (!p.activo) return;
  copia_texto(p.ruta, ruta);
  copia_texto(p.mitad, mitad);
  p.bytes_objeto = 0;
}

void progreso_bytes(Progreso& pr, int64_t n) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  p.bytes += n;
  p.bytes_objeto += n;
  if (!p.activo) return;
  int64_t ahora = plat_reloj_ms();
  if (ahora - p.ultimo_ms < INTERVALO_MS) return;
  p.ultimo_ms = ahora;
  dibuja(p);
}

void borra_progreso(Progreso& pr) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  borra(p);
}

void progreso_fin_objeto(Progreso& pr, int64_t registros, bool incompleto) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  EstadoProgreso& p = pr.e;
  p.objetos++;
  p.registros += registros;
  if (incompleto) p.incompletos++;
  p.mitad[0] = '\0';
}

void imprime_resumen(Progreso& pr) {
  char linea[512];
  bool en_pantalla;
  {
    std::lock_guard<std::mutex> g(pr.cerrojo);
    EstadoProgreso& p = pr.e;
    en_pantalla = p.activo;
    if (en_pantalla) borra(p);
    // A run that ended before its transfer started has no time of its own.
    int64_t ms = p.inicio_ms > 0 ? plat_reloj_ms() - p.inicio_ms : 0;
    char objetos[48], registros[48], bytes[48], incompletos[48], cola[48] = "";
    agrupa(objetos, p.objetos);
    agrupa(registros, p.registros);
    agrupa(bytes, p.bytes);
    agrupa(incompletos, p.incompletos);
    if (p.incremental) formatea(cola, "; %lld sin cambios", (long long)p.sin_cambios);
    formatea(linea,
             "Total: %s objetos, %s registros, %s bytes en %lld,%lld s (%lld KB/s); %s incompletos%s\n",
             objetos, registros, bytes, (long long)(ms / 1000), (long long)(ms % 1000 / 100),
             (long long)kb_por_segundo(p.bytes, ms), incompletos, cola);
    if (en_pantalla) {
      fputs(linea, stderr);
      fflush(stderr);
    }
  }
  // The log gets it whether or not the screen does: a run that nobody
  // watches (cron) leaves its totals there.
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  if (ctx.flog != nullptr) fputs(linea, ctx.flog);
}

Aportacion totales(Progreso& pr) {
  std::lock_guard<std::mutex> g(pr.cerrojo);
  const EstadoProgreso& p = pr.e;
  Aportacion a;
  a.objetos = p.objetos;
  a.incompletos = p.incompletos;
  a.registros = p.registros;
  a.bytes = p.bytes;
  a.sin_cambios = p.sin_cambios;
  return a;
}

// Shared pieces of the fuzz targets; see comun.h.
#include "comun.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/fin.h"
#include "platform/plataforma.h"
#include "sql/cursores.h"
#include "sql/intercambio_sql.h"
#include "wire/lzw.h"
#include "wire/tablas.h"
#include "wire/trama.h"

namespace {

[[noreturn]] void fin_lanza(int estado) {
  throw FinPrograma{estado};
}

struct Red {
  const uint8_t* datos = nullptr;
  size_t n = 0;
  size_t pos = 0;
  std::vector<size_t> trozos;
  size_t siguiente = 0;
  std::string enviado;
} red;

long recibe_de_entrada(socket_t, void* destino, size_t n) {
  if (red.pos >= red.n) return 0;
  size_t k = red.n - red.pos;
  if (k > n) k = n;
  if (!red.trozos.empty()) {
    size_t t = red.trozos[red.siguiente++ % red.trozos.size()];
    if (k > t) k = t;
  }
  memcpy(destino, red.datos + red.pos, k);
  red.pos += k;
  return (long)k;
}

long envia_a_memoria(socket_t, const void* datos, size_t n) {
  // Only the start of a long exchange is kept: enough for the checks.
  if (red.enviado.size() < (1u << 20)) red.enviado.append((const char*)datos, n);
  return (long)n;
}

FILE* nulo = nullptr;
AreaCursor* areas[NUM_CURSORES];
Sesion* sesion = new Sesion();

}  // namespace

void inicia_objetivo() {
  static bool hecho = false;
  if (hecho) return;
  hecho = true;
  establece_manejador_fin(fin_lanza);
  plat_establece_pausa_prueba(false);
  plat_establece_red_prueba(recibe_de_entrada, envia_a_memoria);
  if (getenv("VORTCP_FUZZ_SALIDA") == nullptr) {
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  }
  nulo = fopen("/dev/null", "w");
  if (nulo == nullptr) abort();
  for (auto& a : areas) a = new AreaCursor{};
  limpia_areas();
  if (!reserva_tablas_lzw()) abort();
}

void reinicia_contexto() {
  ctx = RunContext{};
  ctx.isesion = 1;
  Sesion& s = *sesion;
  s.sd = 3;
  s.plazo_ms = 0;
  s.traza = nulo;
  s.fallo = false;
  s.largo = 0;
  s.npendientes = 0;
  establece_sesion_sql(s);
  ctx.ftrace = nulo;
  ctx.flog = nulo;
  ctx.ibufsize = 4096;
  ctx.delim = ';';
  memcpy(ctx.tabla_ebc, ebc_fija, sizeof ctx.tabla_ebc);
  memcpy(ctx.tabla_asc, asc_fija, sizeof ctx.tabla_asc);
  for (int i = 0; i < NUM_CURSORES; i++) pon_area_de_pruebas(i, areas[i]);
  prepara_red(nullptr, 0, nullptr, 0);
}

Sesion& sesion_objetivo() {
  return *sesion;
}

void limpia_areas() {
  for (auto* a : areas) {
    *a = AreaCursor{};
    a->ultima_columna = -1;
  }
}

void prepara_red(const uint8_t* trozos, size_t ntrozos, const uint8_t* datos, size_t n) {
  red.datos = datos;
  red.n = n;
  red.pos = 0;
  red.trozos.clear();
  for (size_t i = 0; i < ntrozos; i++) red.trozos.push_back(trozos[i] == 0 ? 256 : trozos[i]);
  red.siguiente = 0;
  red.enviado.clear();
}

const std::string& enviado() {
  return red.enviado;
}

size_t pendiente_red() {
  return red.n - red.pos;
}

void sirve_tramas(const std::vector<std::string>& cargas, bool digitos_ebcdic) {
  static std::string flujo;
  flujo.clear();
  for (const auto& c : cargas) {
    char slen[16];
    snprintf(slen, sizeof slen, "%.10d", (int)c.size() + 10);
    if (digitos_ebcdic)
      for (int i = 0; i < 10; i++) slen[i] = (char)asc_fija[(unsigned char)slen[i]];
    flujo.append(slen, 10);
    flujo += c;
  }
  prepara_red(nullptr, 0, (const uint8_t*)flujo.data(), flujo.size());
}

std::vector<std::string> tramas_enviadas(bool digitos_ebcdic) {
  std::vector<std::string> r;
  const std::string& e = red.enviado;
  size_t pos = 0;
  while (pos < e.size()) {
    if (e.size() - pos < 10) hallazgo("trama enviada cortada");
    char slen[11] = {0};
    for (int i = 0; i < 10; i++) {
      unsigned char b = (unsigned char)e[pos + i];
      slen[i] = (char)(digitos_ebcdic ? ebc_fija[b] : b);
      if (slen[i] < '0' || slen[i] > '9') hallazgo("longitud de trama enviada no numerica");
    }
    long largo = atol(slen);
    if (largo < 10 || largo > TAM_TRAMA || (size_t)largo > e.size() - pos)
      hallazgo("longitud de trama enviada erronea");
    r.push_back(e.substr(pos + 10, (size_t)largo - 10));
    pos += (size_t)largo;
  }
  return r;
}

std::vector<std::string> parte_lista(const uint8_t* datos, size_t n) {
  std::vector<std::string> r;
  std::string texto((const char*)datos, n);
  const std::string sep("\0\xff\0", 3);
  size_t inicio = 0;
  for (;;) {
    size_t fin = texto.find(sep, inicio);
    if (fin == std::string::npos) {
      r.push_back(texto.substr(inicio));
      return r;
    }
    r.push_back(texto.substr(inicio, fin - inicio));
    inicio = fin + 3;
  }
}

Entrada parte_entrada(const uint8_t* datos, size_t n, size_t cabecera) {
  Entrada e{};
  size_t k = n < cabecera ? n : cabecera;
  memcpy(e.cabecera, datos, k);
  e.resto = datos + k;
  e.nresto = n - k;
  return e;
}

void hallazgo(const char* texto) {
  fprintf(stderr, "HALLAZGO: %s\n", texto);
  fflush(stderr);
  abort();
}

// The indexes of a run (indices.h): which library's index is in memory,
// when each is written, and the failures of reading and writing them.
#include "transfer/index/indices.h"

#include <cstring>

#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/index/almacen.h"
#include "transfer/index/fichero.h"
#include "transfer/index/hash.h"

// The index of one library as the run knows it: its lines, its files, and
// where its writes stand.
struct Indice {
  char biblioteca[TAM_AJUSTE];
  char ruta[TAM_RUTA];
  char temporal[TAM_RUTA];
  Almacen almacen;
  bool pendiente = false;  // updates not written yet
  bool escrito = false;    // written at least once in this run
  bool fallido = false;    // a write failed: the file on disk is left alone
  bool en_disco = false;   // there is an index file (read at start or written since)
  int64_t ultima_escritura = 0;
};

namespace {

constexpr int64_t INTERVALO_ESCRITURA_MS = 1000;

bool falla_con(FalloIndice* fallo, FalloIndice::Tipo tipo, const char* ruta, int codigo) {
  fallo->tipo = tipo;
  copia_texto(fallo->ruta, ruta);
  fallo->codigo = codigo;
  return false;
}

// The index of the library, read the first time it is asked for; nullptr
// when it cannot be read.
Indice* indice_de(Indices& ix, const char* biblioteca, FalloIndice* fallo) {
  for (auto& i : ix.lista)
    if (strcmp(i->biblioteca, biblioteca) == 0) return i.get();
  auto nuevo = std::make_unique<Indice>();
  Indice& i = *nuevo;
  copia_texto(i.biblioteca, biblioteca);
  plat_ruta(i.ruta, "\\%s\\xvoras\\xinfo", biblioteca);
  plat_ruta(i.temporal, "\\%s\\xvoras\\xinfo.tmp", biblioteca);
  inicia_almacen(i.almacen, ix.clave);
  int codigo = 0;
  if (!lee_fichero_indice(
          i.ruta, &i.en_disco, [&](const char* p, size_t n) { agrega_linea(i.almacen, p, n); }, &codigo)) {
    falla_con(fallo, FalloIndice::Tipo::apertura, i.ruta, codigo);
    return nullptr;
  }
  ix.lista.push_back(std::move(nuevo));
  return ix.lista.back().get();
}

// Writes i if it has updates not on disk. False after a failure; the index
// is then left alone for the rest of the run.
bool graba(Indice& i, FalloIndice* fallo) {
  if (!i.pendiente || i.fallido) return true;
  int codigo = 0;
  Escritura e =
      escribe_fichero_indice(i.almacen, i.temporal, i.ruta, !i.en_disco && i.almacen.vivas == 0, &codigo);
  i.pendiente = false;
  i.escrito = true;
  i.ultima_escritura = plat_reloj_ms();
  switch (e) {
    case Escritura::bien:
      if (i.en_disco || i.almacen.vivas > 0) i.en_disco = true;
      return true;
    case Escritura::sin_temporal:
      i.fallido = true;
      return falla_con(fallo, FalloIndice::Tipo::apertura, i.temporal, codigo);
    case Escritura::sin_grabar:
      i.fallido = true;
      return falla_con(fallo, FalloIndice::Tipo::grabacion, i.temporal, 0);
    case Escritura::sin_reemplazo:
      break;
  }
  i.fallido = true;
  return falla_con(fallo, FalloIndice::Tipo::grabacion, i.ruta, 0);
}

// An index with updates is written at once the first time (and while it has
// no file yet: the library's first header only tried one, so its first
// complete object must not wait), then at most once a second.
bool toca_escribir(const Indice& i, int64_t ahora) {
  return i.pendiente && !i.fallido &&
         (!i.escrito || !i.en_disco || ahora - i.ultima_escritura >= INTERVALO_ESCRITURA_MS);
}

bool prepara(Indices& ix, const char* biblioteca, FalloIndice* fallo) {
  Indice* i = indice_de(ix, biblioteca, fallo);
  if (i == nullptr) return false;
  // The first header of a library writes its index at once, so that an index
  // that cannot be written is reported at the header that needed it.
  if (i->escrito || i->fallido) return !i->fallido;
  i->pendiente = true;
  return graba(*i, fallo);
}

bool registra(Indices& ix, const char* biblioteca, const char* linea, uint64_t marca, FalloIndice* fallo) {
  Indice* i = indice_de(ix, biblioteca, fallo);
  if (i == nullptr) return false;
  size_t n = strlen(linea);
  if (n > 0 && linea[n - 1] == '\n') n--;
  quita_clave(i->almacen, linea, n);
  agrega_linea(i->almacen, linea, n, marca + 1);
  compacta(i->almacen);
  i->pendiente = true;
  return !toca_escribir(*i, plat_reloj_ms()) || graba(*i, fallo);
}

}  // namespace

Indices::Indices() {
  clave[0] = clave[1] = 0;
  clave_al_azar(clave);
}

Indices::~Indices() = default;

bool prepara_xinfo(Indices& ix, const char* biblioteca, FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  return prepara(ix, biblioteca, fallo);
}

bool registra_xinfo(Indices& ix, const char* biblioteca, const char* linea, uint64_t marca,
                    FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  return registra(ix, biblioteca, linea, marca, fallo);
}

bool actualiza_xinfo(Indices& ix, const char* biblioteca, const char* archivo, const char* miembro,
                     const char* tipo_fuente, const char* texto, const char* fecha, const char* hora,
                     FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  Indice* previo = nullptr;
  for (auto& i : ix.lista)
    if (strcmp(i->biblioteca, biblioteca) == 0) previo = i.get();
  bool primera = previo == nullptr || !previo->escrito;
  if (!prepara(ix, biblioteca, fallo)) return false;
  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, biblioteca, archivo, miembro, tipo_fuente, texto, fecha, hora,
                        plat_fecha_hora_local());
  if (!registra(ix, biblioteca, linea, 0, fallo)) return false;
  // The library's first update reaches the disk with its entry.
  Indice* i = indice_de(ix, biblioteca, fallo);
  return !primera || i == nullptr || graba(*i, fallo);
}

bool lee_lineas_xinfo(Indices& ix, const char* biblioteca,
                      void (*por_linea)(const char* linea, size_t largo, void* dato), void* dato,
                      FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  for (auto& i : ix.lista) {
    if (strcmp(i->biblioteca, biblioteca) != 0) continue;
    for (const LineaAlmacen& l : i->almacen.lineas)
      if (viva(l)) por_linea(bytes_de(i->almacen, l), l.largo, dato);
    return true;
  }
  char ruta[TAM_RUTA];
  plat_ruta(ruta, "\\%s\\xvoras\\xinfo", biblioteca);
  bool hay;
  int codigo = 0;
  if (lee_fichero_indice(
          ruta, &hay, [&](const char* p, size_t n) { por_linea(p, n, dato); }, &codigo))
    return true;
  return falla_con(fallo, FalloIndice::Tipo::apertura, ruta, codigo);
}

bool fecha_en_xinfo(Indices& ix, const char* biblioteca, const char* archivo, const char* miembro,
                    char (&fecha)[9], char (&hora)[7], bool* de_esta_ejecucion, FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  Indice* i = indice_de(ix, biblioteca, fallo);
  if (i == nullptr) return false;
  char clave[LARGO_LINEA_XINFO + 2];
  construye_clave_xinfo(clave, biblioteca, archivo, miembro);
  const LineaAlmacen* l = linea_vigente(i->almacen, clave, strlen(clave));
  if (l == nullptr) return false;
  const char* p = bytes_de(i->almacen, *l);
  campo_xinfo(p, l->largo, XINFO_FECHA, fecha, sizeof fecha);
  campo_xinfo(p, l->largo, XINFO_HORA, hora, sizeof hora);
  *de_esta_ejecucion = l->marca != 0;
  return true;
}

bool quita_de_xinfo(Indices& ix, const char* biblioteca, const char* archivo, const char* miembro,
                    FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  Indice* i = indice_de(ix, biblioteca, fallo);
  if (i == nullptr) return false;
  // A line of the key alone: only its first 31 characters are looked at.
  char clave[LARGO_LINEA_XINFO + 2];
  construye_clave_xinfo(clave, biblioteca, archivo, miembro);
  if (quita_clave(i->almacen, clave, strlen(clave)) > 0) i->pendiente = true;
  return true;
}

void ordena_indices(Indices& ix) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  for (auto& i : ix.lista)
    if (ordena_por_marcas(i->almacen)) i->pendiente = true;
}

bool graba_indices_si_toca(Indices& ix, FalloIndice* fallo) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  if (ix.lista.empty()) return true;
  int64_t ahora = plat_reloj_ms();
  for (auto& i : ix.lista)
    if (toca_escribir(*i, ahora) && !graba(*i, fallo)) return false;
  return true;
}

bool graba_indices(Indices& ix, std::vector<FalloIndice>* fallos) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  bool bien = true;
  for (auto& i : ix.lista) {
    FalloIndice fallo;
    if (graba(*i, &fallo)) continue;
    bien = false;
    if (fallos != nullptr) fallos->push_back(fallo);
  }
  return bien;
}

void fija_clave_indice(Indices& ix, uint64_t k0, uint64_t k1) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  ix.clave[0] = k0;
  ix.clave[1] = k1;
}

uint64_t hash_clave_indice(Indices& ix, const char* linea) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  return hash_clave(ix.clave, linea, strlen(linea));
}

size_t cadena_mas_larga(Indices& ix, const char* biblioteca) {
  std::lock_guard<std::mutex> cerrojo(ix.cerrojo);
  size_t maxima = 0;
  for (const auto& i : ix.lista) {
    if (strcmp(i->biblioteca, biblioteca) != 0) continue;
    size_t n = cadena_mas_larga(i->almacen);
    if (n > maxima) maxima = n;
  }
  return maxima;
}

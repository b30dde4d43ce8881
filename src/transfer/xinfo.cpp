// The local index of a library (xinfo.h): building entry lines, the key rule,
// the index of each library kept in memory for the run, and its replacement on
// disk through xinfo.tmp and one atomic rename. The indexes are shared by
// every session of a run: one mutex guards all of them.
#include "transfer/xinfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "transfer/objeto.h"

void fecha_actualizacion(const FechaHora& ahora, char (&dest)[9]) {
  int anio = ahora.anio % 100;
  int siglo = anio > 90 ? 19 : 20;
  formatea(dest, "%02d%02d%02d%02d", siglo, anio, ahora.mes, ahora.dia);
}

void construye_linea_xinfo(char (&dest)[LARGO_LINEA_XINFO + 2], const char* biblioteca, const char* archivo,
                           const char* miembro, const char* tipo_fuente, const char* texto, const char* fecha,
                           const char* hora, const FechaHora& ahora) {
  if (strlen(fecha) >= 3 && fecha[2] == ' ') fecha = "";
  char dia[9];
  fecha_actualizacion(ahora, dia);
  formatea(dest, "A%-10.10s%-10.10s%-10.10s%-6.6s%-55.55s%-8.8s%-6.6s%.8s%02d%02d%02d\n", biblioteca, archivo,
           miembro, tipo_fuente, texto, fecha, hora, dia, ahora.hora, ahora.minuto, ahora.segundo);
  // The description, date and time come from the server unchecked: a control
  // byte there (a line feed above all) would split the entry into two lines
  // and leave a stray line that no later update removes. It becomes a blank.
  for (int i = 0; i < LARGO_LINEA_XINFO && dest[i] != '\0'; i++)
    if ((unsigned char)dest[i] < 0x20) dest[i] = ' ';
}

void campo_xinfo(const char* linea, size_t largo, CampoXinfo campo, char* dest, size_t cap) {
  size_t n = 0;
  if (campo.desde < largo) n = largo - campo.desde < campo.ancho ? largo - campo.desde : campo.ancho;
  while (n > 0 && linea[campo.desde + n - 1] == ' ') n--;
  if (n >= cap) n = cap - 1;
  if (n > 0) memcpy(dest, linea + campo.desde, n);
  dest[n] = '\0';
}

namespace {

// One key field of a line: up to 10 bytes from offset, ending early at a line
// feed or a NUL, trailing blanks removed. Its length; the bytes start at
// linea + offset.
size_t campo_clave(const char* linea, size_t largo, size_t offset) {
  size_t n = 0;
  while (n < 10 && offset + n < largo && linea[offset + n] != '\n' && linea[offset + n] != '\0') n++;
  while (n > 0 && linea[offset + n - 1] == ' ') n--;
  return n;
}

bool claves_iguales(const char* a, size_t la, const char* b, size_t lb) {
  if (la > 0 && a[0] == '#') return false;
  static const size_t offsets[] = {1, 11, 21};
  for (size_t offset : offsets) {
    size_t na = campo_clave(a, la, offset);
    size_t nb = campo_clave(b, lb, offset);
    if (na != nb || (na > 0 && memcmp(a + offset, b + offset, na) != 0)) return false;
  }
  return true;
}

// --- The hash of a key -------------------------------------------------------
// The names are the server's: with a hash anyone can compute, a server could
// pick thousands of names that share one bucket and make every update walk
// them all. The hash is SipHash-1-3, keyed with a value drawn at random for
// each run (and for each index that rebuilds its buckets, below), so that
// which names collide cannot be known in advance.

uint64_t rota(uint64_t x, int b) {
  return (x << b) | (x >> (64 - b));
}

void ronda_sip(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
  v0 += v1;
  v1 = rota(v1, 13);
  v1 ^= v0;
  v0 = rota(v0, 32);
  v2 += v3;
  v3 = rota(v3, 16);
  v3 ^= v2;
  v0 += v3;
  v3 = rota(v3, 21);
  v3 ^= v0;
  v2 += v1;
  v1 = rota(v1, 17);
  v1 ^= v2;
  v2 = rota(v2, 32);
}

// SipHash with one round per word and three at the end.
uint64_t siphash_1_3(const uint64_t (&clave)[2], const unsigned char* m, size_t n) {
  uint64_t v0 = 0x736f6d6570736575ULL ^ clave[0];
  uint64_t v1 = 0x646f72616e646f6dULL ^ clave[1];
  uint64_t v2 = 0x6c7967656e657261ULL ^ clave[0];
  uint64_t v3 = 0x7465646279746573ULL ^ clave[1];
  size_t enteras = n - n % 8;
  for (size_t i = 0; i < enteras; i += 8) {
    uint64_t w = 0;
    for (int k = 7; k >= 0; k--) w = (w << 8) | m[i + (size_t)k];
    v3 ^= w;
    ronda_sip(v0, v1, v2, v3);
    v0 ^= w;
  }
  uint64_t ultima = (uint64_t)(n & 0xFF) << 56;
  for (size_t k = 0; k < n % 8; k++) ultima |= (uint64_t)m[enteras + k] << (8 * k);
  v3 ^= ultima;
  ronda_sip(v0, v1, v2, v3);
  v0 ^= ultima;
  v2 ^= 0xFF;
  for (int r = 0; r < 3; r++) ronda_sip(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

// The key new indexes start with: drawn once per run, or fixed by a test.
uint64_t clave_de_la_ejecucion[2];
bool clave_elegida = false;

void clave_al_azar(uint64_t (&clave)[2]) {
  if (plat_aleatorio(clave, sizeof clave)) return;
  // No random source: the clock and an address still differ from run to run.
  uint64_t mezcla = (uint64_t)plat_reloj_ms() * 0x9E3779B97F4A7C15ULL;
  clave[0] ^= mezcla ^ (uint64_t)(uintptr_t)&clave;
  clave[1] ^= rota(mezcla, 29) ^ (uint64_t)(uintptr_t)&clave_elegida;
}

const uint64_t (&clave_inicial())[2] {
  if (!clave_elegida) {
    clave_al_azar(clave_de_la_ejecucion);
    clave_elegida = true;
  }
  return clave_de_la_ejecucion;
}

// The hash of the three key fields of a line, each closed by a byte that no
// field holds at its end (0xFF), so that ("AB", "C") and ("A", "BC") differ.
uint64_t hash_clave(const uint64_t (&clave)[2], const char* linea, size_t largo) {
  unsigned char campos[3 * 11];
  size_t n = 0;
  static const size_t offsets[] = {1, 11, 21};
  for (size_t offset : offsets) {
    size_t k = campo_clave(linea, largo, offset);
    memcpy(campos + n, linea + offset, k);
    n += k;
    campos[n++] = 0xFF;
  }
  return siphash_1_3(clave, campos, n);
}

constexpr uint32_t NINGUNA = 0x7FFFFFFFu;  // no line (the top bit marks a dead line)
constexpr int64_t INTERVALO_ESCRITURA_MS = 1000;
// A chain longer than this is no accident of a random key: the buckets are
// rebuilt under a new one (at most once per doubling of the lines, so that
// lines that truly share a key, which a hand-made index can hold, cost one
// rebuild and no more).
constexpr size_t CADENA_MAXIMA = 32;
// The text of the lines lives in blocks of this size (a longer line gets a
// block of its own): a growing index never copies what it holds, and a
// library of 20,000 members keeps the whole process under 8 MB.
constexpr size_t TAM_BLOQUE = 1 << 18;

// One line of an index: its bytes in a block, without the line end.
struct Linea {
  uint32_t bloque;
  uint32_t inicio;  // offset in the block
  uint32_t largo;
  uint32_t siguiente;  // next line in the same hash bucket, or NINGUNA; the top bit: the line is dead
  // 0 for a line read from the file; for a line this run recorded, 1 + the
  // mark it was recorded with (the order of a one-session run).
  uint64_t marca;
};
constexpr uint32_t MUERTA = 0x80000000u;

struct Bloque {
  std::unique_ptr<char[]> datos;
  size_t capacidad;
  size_t usado;
};

// The index of one library as the run knows it: every line in file order,
// dropped lines marked dead until the next compaction, and the entry lines
// (not the "#" ones) chained by the hash of their key so that the lines of a
// key are found at once.
struct Indice {
  char biblioteca[TAM_AJUSTE];
  char ruta[TAM_RUTA];
  char temporal[TAM_RUTA];
  std::vector<Bloque> bloques;
  std::vector<Linea> lineas;
  std::vector<uint32_t> cubos;  // a power of two in size
  uint64_t clave[2];            // of the hash of its buckets
  size_t lineas_al_cambiar_clave = 0;
  size_t vivas = 0;
  bool pendiente = false;  // updates not written yet
  bool escrito = false;    // written at least once in this run
  bool fallido = false;    // a write failed: the file on disk is left alone
  bool en_disco = false;   // there is an index file (read at start or written since)
  int64_t ultima_escritura = 0;
};

std::vector<std::unique_ptr<Indice>> indices;
// Held by every function of xinfo.h that looks at the indexes or at the key
// of the run, for the whole of what it does (writes included).
std::mutex cerrojo_indices;

bool viva(const Linea& l) {
  return (l.siguiente & MUERTA) == 0;
}
uint32_t siguiente(const Linea& l) {
  return l.siguiente & ~MUERTA;
}
const char* bytes(const Indice& ix, const Linea& l) {
  return ix.bloques[l.bloque].datos.get() + l.inicio;
}

uint32_t cubo_de(const Indice& ix, const char* linea, size_t largo) {
  return (uint32_t)(hash_clave(ix.clave, linea, largo) & (ix.cubos.size() - 1));
}

void encadena(Indice& ix, uint32_t i) {
  Linea& l = ix.lineas[i];
  const char* p = bytes(ix, l);
  if (l.largo > 0 && p[0] == '#') return;
  uint32_t c = cubo_de(ix, p, l.largo);
  l.siguiente = ix.cubos[c];
  ix.cubos[c] = i;
}

// Rebuilds the buckets for the lines there are, at most half full.
void rehace_cubos(Indice& ix) {
  size_t n = 64;
  while (n < 2 * ix.lineas.size()) n *= 2;
  std::vector<uint32_t>().swap(ix.cubos);
  ix.cubos.assign(n, NINGUNA);
  for (uint32_t i = 0; i < ix.lineas.size(); i++) {
    if (!viva(ix.lineas[i])) continue;
    ix.lineas[i].siguiente = NINGUNA;
    encadena(ix, i);
  }
}

// Room for n bytes at the end of the text: the last block, or a new one.
void sitio(std::vector<Bloque>& bloques, size_t n) {
  if (!bloques.empty() && bloques.back().capacidad - bloques.back().usado >= n) return;
  size_t capacidad = n > TAM_BLOQUE ? n : TAM_BLOQUE;
  bloques.push_back(Bloque{std::unique_ptr<char[]>(new char[capacidad]), capacidad, 0});
}

void agrega_linea(Indice& ix, const char* p, size_t n, uint64_t marca = 0) {
  sitio(ix.bloques, n);
  Bloque& b = ix.bloques.back();
  memcpy(b.datos.get() + b.usado, p, n);
  ix.lineas.push_back(
      Linea{(uint32_t)(ix.bloques.size() - 1), (uint32_t)b.usado, (uint32_t)n, NINGUNA, marca});
  b.usado += n;
  ix.vivas++;
  if (ix.lineas.size() * 2 > ix.cubos.size()) {
    rehace_cubos(ix);
  } else {
    encadena(ix, (uint32_t)(ix.lineas.size() - 1));
  }
}

// Drops the dead lines once they are an eighth of the live ones, so that a
// run which replaces every entry of a big library keeps its memory near what
// the live lines need. The live lines are copied, in order, into new blocks,
// and each old block is freed as soon as all its lines are copied: at no time
// are both copies whole.
void compacta(Indice& ix) {
  size_t muertas = ix.lineas.size() - ix.vivas;
  if (muertas < 1024 || muertas * 8 < ix.vivas) return;
  std::vector<Bloque> nuevos;
  size_t escritas = 0;
  for (size_t i = 0; i < ix.lineas.size(); i++) {
    Linea l = ix.lineas[i];
    // Every line of the blocks before this line's is copied by now.
    for (uint32_t b = 0; b < l.bloque; b++) ix.bloques[b].datos.reset();
    if (!viva(l)) continue;
    sitio(nuevos, l.largo);
    Bloque& destino = nuevos.back();
    memcpy(destino.datos.get() + destino.usado, bytes(ix, l), l.largo);
    ix.lineas[escritas++] =
        Linea{(uint32_t)(nuevos.size() - 1), (uint32_t)destino.usado, l.largo, NINGUNA, l.marca};
    destino.usado += l.largo;
  }
  ix.bloques.swap(nuevos);
  ix.lineas.resize(escritas);
  ix.lineas.shrink_to_fit();
  rehace_cubos(ix);
}

// Drops every live line with the key of `nueva`; dead lines met in the chain
// are unlinked on the way. A chain found longer than CADENA_MAXIMA makes the
// index take a new key.
void quita_clave(Indice& ix, const char* nueva, size_t largo) {
  uint32_t c = cubo_de(ix, nueva, largo);
  uint32_t* enlace = &ix.cubos[c];
  size_t recorridas = 0;
  while (*enlace != NINGUNA) {
    recorridas++;
    Linea& l = ix.lineas[*enlace];
    uint32_t despues = siguiente(l);
    if (viva(l) && claves_iguales(bytes(ix, l), l.largo, nueva, largo)) {
      l.siguiente |= MUERTA;
      ix.vivas--;
    }
    if (!viva(l)) {
      *enlace = despues;
    } else {
      enlace = &l.siguiente;
    }
  }
  if (recorridas > CADENA_MAXIMA && ix.lineas.size() >= 2 * ix.lineas_al_cambiar_clave) {
    ix.lineas_al_cambiar_clave = ix.lineas.size();
    clave_al_azar(ix.clave);
    rehace_cubos(ix);
  }
}

bool falla_apertura(const char* ruta, int codigo) {
  falla(stderr, "Error apertura fichero: %s  rc=%d \n", ruta, codigo);
  return false;
}

// Reads the index file at ruta, each line (without its line end) handed to
// por_linea, lines judged whole whatever their length. A last line without a
// line end becomes a line like the others. A missing index (or library
// folder) is an empty one (*hay false); one that exists but cannot be read
// gives false (after its message), so that it is never replaced by an index
// holding only the new entries. Only a regular file is read: a FIFO there
// would make the run wait for a writer, a device hand it endless bytes.
template <typename PorLinea>
bool lee_fichero_indice(const char* ruta, bool* hay, PorLinea por_linea) {
  *hay = false;
  FILE* f = plat_abre_lectura_regular(ruta);
  if (f == nullptr) {
    int codigo = plat_errno();
    if (codigo != ENOENT && codigo != ENOTDIR) return falla_apertura(ruta, codigo);
    return true;
  }
  *hay = true;
  // Once per library and run: a block of the file at a time.
  constexpr size_t TAM_LECTURA = 1 << 16;
  std::unique_ptr<char[]> leido(new char[TAM_LECTURA]);
  char* bloque = leido.get();
  std::string resto;
  size_t k;
  while ((k = plat_lee_texto(f, bloque, TAM_LECTURA)) > 0) {
    size_t desde = 0;
    while (desde < k) {
      const char* fin = (const char*)memchr(bloque + desde, '\n', k - desde);
      if (fin == nullptr) {
        resto.append(bloque + desde, k - desde);
        break;
      }
      size_t n = (size_t)(fin - (bloque + desde));
      if (resto.empty()) {
        por_linea(bloque + desde, n);
      } else {
        resto.append(bloque + desde, n);
        por_linea(resto.data(), resto.size());
        resto.clear();
      }
      desde += n + 1;
    }
  }
  bool error = ferror(f) != 0;
  int codigo = plat_errno();
  fclose(f);
  if (error) return falla_apertura(ruta, codigo > 0 ? codigo : 1);
  if (!resto.empty()) por_linea(resto.data(), resto.size());
  return true;
}

bool lee_indice(Indice& ix) {
  return lee_fichero_indice(ix.ruta, &ix.en_disco, [&](const char* p, size_t n) { agrega_linea(ix, p, n); });
}

// The index of the library, read the first time it is asked for; nullptr
// when it cannot be read (the reason printed).
Indice* indice_de(const char* biblioteca) {
  for (auto& ix : indices)
    if (strcmp(ix->biblioteca, biblioteca) == 0) return ix.get();
  auto nuevo = std::make_unique<Indice>();
  Indice& ix = *nuevo;
  copia_texto(ix.biblioteca, biblioteca);
  plat_ruta(ix.ruta, "\\%s\\xvoras\\xinfo", biblioteca);
  plat_ruta(ix.temporal, "\\%s\\xvoras\\xinfo.tmp", biblioteca);
  memcpy(ix.clave, clave_inicial(), sizeof ix.clave);
  rehace_cubos(ix);
  if (!lee_indice(ix)) return nullptr;
  indices.push_back(std::move(nuevo));
  return indices.back().get();
}

enum class Escritura { bien, sin_temporal, sin_grabar, sin_reemplazo };

// Writes the live lines into xinfo.tmp and renames it over xinfo. Every
// failure leaves the old index as it was and no working file behind; *codigo
// gets the error number of a working file that cannot be made.
// An index with no file and no lines yet is only tried: its working file is
// made and removed, so that a library whose index cannot be written is found
// out at its first header without leaving an empty index behind.
Escritura escribe_indice(Indice& ix, int* codigo) {
  FILE* salida = plat_crea_nuevo(ix.temporal, false);
  if (salida == nullptr) {
    *codigo = plat_errno();
    return Escritura::sin_temporal;
  }
  if (!ix.en_disco && ix.vivas == 0) {
    bool cerrado = plat_cierra_escrito(salida);
    plat_borra_fichero(ix.temporal);
    return cerrado ? Escritura::bien : Escritura::sin_grabar;
  }
  // At most once a second per library: the buffer is the write's own.
  constexpr size_t TAM_BUFER = 1 << 16;
  std::unique_ptr<char[]> bufer(new char[TAM_BUFER]);
  setvbuf(salida, bufer.get(), _IOFBF, TAM_BUFER);
  bool bien = true;
  for (const Linea& l : ix.lineas) {
    if (!viva(l)) continue;
    if (fwrite(bytes(ix, l), 1, l.largo, salida) != l.largo || fputc('\n', salida) == EOF) {
      bien = false;
      break;
    }
  }
  bool cerrado = plat_cierra_escrito(salida);
  if (!bien || !cerrado) {
    plat_borra_fichero(ix.temporal);
    return Escritura::sin_grabar;
  }
  if (!plat_reemplaza_fichero(ix.temporal, ix.ruta)) {
    plat_borra_fichero(ix.temporal);
    return Escritura::sin_reemplazo;
  }
  ix.en_disco = true;
  return Escritura::bien;
}

// Writes ix if it has updates not on disk. Returns false after printing the
// failure ("Error apertura fichero: %s  rc=%d \n" on the error stream for a
// working file that cannot be made, "Error al grabar (%s)\n" otherwise); the
// index is then left alone for the rest of the run.
bool graba(Indice& ix) {
  if (!ix.pendiente || ix.fallido) return true;
  int codigo = 0;
  Escritura e = escribe_indice(ix, &codigo);
  ix.pendiente = false;
  ix.escrito = true;
  ix.ultima_escritura = plat_reloj_ms();
  if (e == Escritura::bien) return true;
  ix.fallido = true;
  switch (e) {
    case Escritura::sin_temporal:
      falla(stderr, "Error apertura fichero: %s  rc=%d \n", ix.temporal, codigo);
      break;
    case Escritura::sin_grabar:
      falla(stdout, "Error al grabar (%s)\n", ix.temporal);
      break;
    default:
      falla(stdout, "Error al grabar (%s)\n", ix.ruta);
      break;
  }
  return false;
}

// An index with updates is written at once the first time (and while it has
// no file yet: the library's first header only tried one, so its first
// complete object must not wait), then at most once a second.
bool toca_escribir(const Indice& ix, int64_t ahora) {
  return ix.pendiente && !ix.fallido &&
         (!ix.escrito || !ix.en_disco || ahora - ix.ultima_escritura >= INTERVALO_ESCRITURA_MS);
}

}  // namespace

bool misma_clave(const char* linea, const char* nueva) {
  return claves_iguales(linea, strlen(linea), nueva, strlen(nueva));
}

namespace {

bool prepara(const char* biblioteca) {
  Indice* ix = indice_de(biblioteca);
  if (ix == nullptr) return false;
  // The first header of a library writes its index at once, so that an index
  // that cannot be written is reported at the header that needed it.
  if (ix->escrito || ix->fallido) return !ix->fallido;
  ix->pendiente = true;
  return graba(*ix);
}

bool registra(const char* biblioteca, const char* linea, uint64_t marca) {
  Indice* indice = indice_de(biblioteca);
  if (indice == nullptr) return false;
  Indice& ix = *indice;
  size_t n = strlen(linea);
  if (n > 0 && linea[n - 1] == '\n') n--;
  quita_clave(ix, linea, n);
  agrega_linea(ix, linea, n, marca + 1);
  compacta(ix);
  ix.pendiente = true;
  return !toca_escribir(ix, plat_reloj_ms()) || graba(ix);
}

}  // namespace

bool prepara_xinfo(const char* biblioteca) {
  // Whatever way the run ends from here on, what the index has taken is
  // written first. (Before the index's lock: termina holds its own while
  // the steps take this one.)
  registra_cierre(graba_indices);
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  return prepara(biblioteca);
}

bool registra_xinfo(const char* biblioteca, const char* linea, uint64_t marca) {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  return registra(biblioteca, linea, marca);
}

bool actualiza_xinfo(const char* biblioteca, const char* archivo, const char* miembro,
                     const char* tipo_fuente, const char* texto, const char* fecha, const char* hora) {
  registra_cierre(graba_indices);
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  Indice* previo = nullptr;
  for (auto& ix : indices)
    if (strcmp(ix->biblioteca, biblioteca) == 0) previo = ix.get();
  bool primera = previo == nullptr || !previo->escrito;
  if (!prepara(biblioteca)) return false;
  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, biblioteca, archivo, miembro, tipo_fuente, texto, fecha, hora,
                        plat_fecha_hora_local());
  if (!registra(biblioteca, linea, 0)) return false;
  // The library's first update reaches the disk with its entry.
  Indice* ix = indice_de(biblioteca);
  return !primera || ix == nullptr || graba(*ix);
}

bool lee_lineas_xinfo(const char* biblioteca, void (*por_linea)(const char* linea, size_t largo, void* dato),
                      void* dato) {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  for (auto& ix : indices) {
    if (strcmp(ix->biblioteca, biblioteca) != 0) continue;
    for (const Linea& l : ix->lineas)
      if (viva(l)) por_linea(bytes(*ix, l), l.largo, dato);
    return true;
  }
  char ruta[TAM_RUTA];
  plat_ruta(ruta, "\\%s\\xvoras\\xinfo", biblioteca);
  bool hay;
  return lee_fichero_indice(ruta, &hay, [&](const char* p, size_t n) { por_linea(p, n, dato); });
}

bool fecha_en_xinfo(const char* biblioteca, const char* archivo, const char* miembro, char (&fecha)[9],
                    char (&hora)[7], bool* de_esta_ejecucion) {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  Indice* ix = indice_de(biblioteca);
  if (ix == nullptr) return false;
  char clave[LARGO_LINEA_XINFO + 2];
  formatea(clave, "A%-10.10s%-10.10s%-10.10s", biblioteca, archivo, miembro);
  size_t largo = strlen(clave);
  // A chain holds its lines newest first: the first of the key is the one in
  // force.
  for (uint32_t i = ix->cubos[cubo_de(*ix, clave, largo)]; i != NINGUNA; i = siguiente(ix->lineas[i])) {
    const Linea& l = ix->lineas[i];
    const char* p = bytes(*ix, l);
    if (!viva(l) || !claves_iguales(p, l.largo, clave, largo)) continue;
    campo_xinfo(p, l.largo, XINFO_FECHA, fecha, sizeof fecha);
    campo_xinfo(p, l.largo, XINFO_HORA, hora, sizeof hora);
    *de_esta_ejecucion = l.marca != 0;
    return true;
  }
  return false;
}

bool quita_de_xinfo(const char* biblioteca, const char* archivo, const char* miembro) {
  registra_cierre(graba_indices);
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  Indice* ix = indice_de(biblioteca);
  if (ix == nullptr) return false;
  // A line of the key alone: only its first 31 characters are looked at.
  char clave[LARGO_LINEA_XINFO + 2];
  formatea(clave, "A%-10.10s%-10.10s%-10.10s", biblioteca, archivo, miembro);
  size_t antes = ix->vivas;
  quita_clave(*ix, clave, strlen(clave));
  if (ix->vivas != antes) ix->pendiente = true;
  return true;
}

bool graba_indices_si_toca() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  if (indices.empty()) return true;
  int64_t ahora = plat_reloj_ms();
  for (auto& ix : indices)
    if (toca_escribir(*ix, ahora) && !graba(*ix)) return false;
  return true;
}

bool graba_indices() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  bool bien = true;
  for (auto& ix : indices)
    if (!graba(*ix)) bien = false;
  return bien;
}

namespace {

// The lines this run recorded in ix, put in the order of their marks. They
// are the live lines from the first one the run recorded on: every line of
// the file was read before the first was recorded, and a recorded line goes
// last, its earlier line of the same key dropped. The marks of one unit
// grow with its lines, so a unit keeps the order they were received in.
void ordena(Indice& ix) {
  size_t desde = 0;
  while (desde < ix.lineas.size() && (!viva(ix.lineas[desde]) || ix.lineas[desde].marca == 0)) desde++;
  std::vector<Linea> cola;
  for (size_t i = desde; i < ix.lineas.size(); i++)
    if (viva(ix.lineas[i])) cola.push_back(ix.lineas[i]);
  auto por_marca = [](const Linea& a, const Linea& b) { return a.marca < b.marca; };
  if (std::is_sorted(cola.begin(), cola.end(), por_marca)) return;
  std::stable_sort(cola.begin(), cola.end(), por_marca);
  ix.lineas.resize(desde);
  ix.lineas.insert(ix.lineas.end(), cola.begin(), cola.end());
  rehace_cubos(ix);
  ix.pendiente = true;
}

}  // namespace

void ordena_indices() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  for (auto& ix : indices) ordena(*ix);
}

void descarta_indices() {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  indices.clear();
}

void fija_clave_indice(uint64_t k0, uint64_t k1) {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  clave_de_la_ejecucion[0] = k0;
  clave_de_la_ejecucion[1] = k1;
  clave_elegida = true;
}

uint64_t hash_clave_indice(const char* linea) {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  return hash_clave(clave_inicial(), linea, strlen(linea));
}

size_t cadena_mas_larga(const char* biblioteca) {
  std::lock_guard<std::mutex> cerrojo(cerrojo_indices);
  size_t maxima = 0;
  for (const auto& ix : indices) {
    if (strcmp(ix->biblioteca, biblioteca) != 0) continue;
    for (uint32_t cabeza : ix->cubos) {
      size_t n = 0;
      for (uint32_t i = cabeza; i != NINGUNA; i = siguiente(ix->lineas[i])) n++;
      if (n > maxima) maxima = n;
    }
  }
  return maxima;
}

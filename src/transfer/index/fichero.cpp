// An index file on disk (fichero.h).
#include "transfer/index/fichero.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/plataforma.h"

bool lee_fichero_indice(const char* ruta, bool* hay, const PorLineaIndice& por_linea, int* codigo) {
  *hay = false;
  FILE* f = plat_abre_lectura_regular(ruta);
  if (f == nullptr) {
    *codigo = plat_errno();
    return *codigo == ENOENT || *codigo == ENOTDIR;
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
  int numero = plat_errno();
  fclose(f);
  if (error) {
    *codigo = numero > 0 ? numero : 1;
    return false;
  }
  if (!resto.empty()) por_linea(resto.data(), resto.size());
  return true;
}

Escritura escribe_fichero_indice(const Almacen& a, const char* temporal, const char* ruta, bool solo_probar,
                                 int* codigo) {
  FILE* salida = plat_crea_nuevo(temporal, false);
  if (salida == nullptr) {
    *codigo = plat_errno();
    return Escritura::sin_temporal;
  }
  if (solo_probar) {
    bool cerrado = plat_cierra_escrito(salida);
    plat_borra_fichero(temporal);
    return cerrado ? Escritura::bien : Escritura::sin_grabar;
  }
  // At most once a second per library: the buffer is the write's own.
  constexpr size_t TAM_BUFER = 1 << 16;
  std::unique_ptr<char[]> bufer(new char[TAM_BUFER]);
  setvbuf(salida, bufer.get(), _IOFBF, TAM_BUFER);
  bool bien = true;
  for (const LineaAlmacen& l : a.lineas) {
    if (!viva(l)) continue;
    if (fwrite(bytes_de(a, l), 1, l.largo, salida) != l.largo || fputc('\n', salida) == EOF) {
      bien = false;
      break;
    }
  }
  bool cerrado = plat_cierra_escrito(salida);
  if (!bien || !cerrado) {
    plat_borra_fichero(temporal);
    return Escritura::sin_grabar;
  }
  if (!plat_reemplaza_fichero(temporal, ruta)) {
    plat_borra_fichero(temporal);
    return Escritura::sin_reemplazo;
  }
  return Escritura::bien;
}

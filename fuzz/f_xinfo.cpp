// The index reader: actualiza_xinfo over an arbitrary existing xinfo and an
// entry whose text, date and time fields hold arbitrary bytes (names pass the
// header check first, as in the walk). The new index must be what the rule
// says: the old lines in their order without those of the new key ("#" lines
// always kept, a last line without its line end given one), then the new entry
// as one line of exactly 120 characters; no working file is left behind.
//
// Input: file, member, type, text, date and time separated by NUL bytes (each
// cut to its header width), then the old index.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "arbol.h"
#include "base/texto.h"
#include "comun.h"
#include "transfer/index/indices.h"
#include "transfer/walk/nombres.h"

namespace {

std::string lee_fichero(const char* ruta, bool* existe) {
  FILE* f = fopen(ruta, "rb");
  *existe = f != nullptr;
  std::string r;
  if (f == nullptr) return r;
  char b[4096];
  size_t k;
  while ((k = fread(b, 1, sizeof b, f)) > 0) r.append(b, k);
  fclose(f);
  return r;
}

std::string campo_clave(const std::string& linea, size_t offset) {
  std::string r;
  for (size_t i = offset; i < linea.size() && i < offset + 10 && linea[i] != '\n' && linea[i] != '\0'; i++)
    r += linea[i];
  while (!r.empty() && r.back() == ' ') r.pop_back();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  entra_en_arbol();
  // Only the index and its working copy are ever written here.
  unlink("LIB1/xvoras/xinfo");
  unlink("LIB1/xvoras/xinfo.tmp");
  reinicia_contexto();

  static const size_t anchos[6] = {10, 10, 4, 50, 8, 6};
  std::string campos[6];
  size_t pos = 0;
  for (int k = 0; k < 6; k++) {
    while (pos < n && datos[pos] != 0) campos[k] += (char)datos[pos++];
    if (pos < n) pos++;
    if (campos[k].size() > anchos[k]) campos[k].resize(anchos[k]);
  }
  // Names, type and text come trimmed from the header; dates keep their width.
  for (int k = 0; k < 4; k++)
    while (!campos[k].empty() && campos[k].back() == ' ') campos[k].pop_back();
  if (!nombre_valido(campos[0].c_str()) || !nombre_valido(campos[1].c_str()) ||
      !nombre_valido(campos[2].c_str()))
    return 0;
  std::string viejo((const char*)datos + pos, n - pos);

  mkdir("LIB1", 0777);
  mkdir("LIB1/xvoras", 0777);
  if (!viejo.empty() || (n > 0 && datos[n - 1] == 0)) {
    FILE* f = fopen("LIB1/xvoras/xinfo", "wb");
    fwrite(viejo.data(), 1, viejo.size(), f);
    fclose(f);
  }
  Indices indices;
  FalloIndice fallo;
  if (!actualiza_xinfo(indices, "LIB1", campos[0].c_str(), campos[1].c_str(), campos[2].c_str(),
                       campos[3].c_str(), campos[4].c_str(), campos[5].c_str(), &fallo)) {
    hallazgo("un indice legible no se pudo actualizar");
  }
  bool existe;
  std::string nuevo = lee_fichero("LIB1/xvoras/xinfo", &existe);
  COMPRUEBA(existe);
  lee_fichero("LIB1/xvoras/xinfo.tmp", &existe);
  COMPRUEBA(!existe);
  comprueba_arbol();

  // The new entry: the last line, 120 characters and its line end.
  COMPRUEBA(nuevo.size() >= 121 && nuevo.back() == '\n');
  std::string entrada = nuevo.substr(nuevo.size() - 121);
  COMPRUEBA(entrada[0] == 'A' && entrada.find('\n') == 120);
  COMPRUEBA(nuevo.size() == 121 || nuevo[nuevo.size() - 122] == '\n');

  // The old lines that stay, as the text-mode reading gives them (a NUL byte
  // is part of its line, and ends a key field).
  std::string esperado;
  size_t inicio = 0;
  while (inicio < viejo.size()) {
    size_t fin = viejo.find('\n', inicio);
    std::string linea = viejo.substr(inicio, fin == std::string::npos ? std::string::npos : fin - inicio);
    inicio = fin == std::string::npos ? viejo.size() : fin + 1;
    if (fin != std::string::npos && !linea.empty() && linea.back() == '\r') linea.pop_back();
    bool misma = linea[0] != '#' && campo_clave(linea, 1) == "LIB1" && campo_clave(linea, 11) == campos[0] &&
                 campo_clave(linea, 21) == campos[1];
    if (linea.empty()) misma = false;
    if (!misma) esperado += linea + "\n";
  }
  COMPRUEBA(nuevo.compare(0, nuevo.size() - 121, esperado) == 0 && nuevo.size() - 121 == esperado.size());
  return 0;
}

// The temporary tree of the targets that write files; see arbol.h.
#include "arbol.h"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "comun.h"

namespace {

std::string temporal;
std::string arbol;

std::set<std::string> entradas(const std::string& dir) {
  std::set<std::string> r;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return r;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") r.insert(n);
  }
  closedir(d);
  return r;
}

int borra(const char* ruta, const struct stat*, int, struct FTW*) {
  remove(ruta);
  return 0;
}

void borra_contenido(const std::string& dir) {
  for (const auto& n : entradas(dir)) {
    std::string r = dir + "/" + n;
    chmod(r.c_str(), 0777);
    nftw(r.c_str(), borra, 16, FTW_DEPTH | FTW_PHYS);
  }
}

}  // namespace

void entra_en_arbol() {
  if (!arbol.empty()) return;
  char plantilla[] = "/tmp/vortcp-fuzz-arbol-XXXXXX";
  if (mkdtemp(plantilla) == nullptr) abort();
  temporal = plantilla;
  arbol = temporal + "/arbol";
  if (mkdir(arbol.c_str(), 0777) != 0 || chdir(arbol.c_str()) != 0) abort();
  atexit([] {
    borra_contenido(temporal);
    rmdir(temporal.c_str());
  });
}

void vacia_arbol() {
  if (chdir(arbol.c_str()) != 0) abort();
  borra_contenido(arbol);
}

void comprueba_arbol() {
  auto fuera = entradas(temporal);
  if (fuera.size() != 1 || *fuera.begin() != "arbol") hallazgo("se escribio fuera del arbol local");
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr || arbol != cwd) hallazgo("el directorio de trabajo cambio");
}

const std::string& ruta_arbol() {
  return arbol;
}

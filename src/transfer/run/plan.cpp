// The plan of a several-session run (plan.h): the files of the mode, their
// split by generic member names, the one-session order and the largest-first
// order of the units.
#include "transfer/run/plan.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "base/texto.h"
#include "transfer/walk/nombres.h"

bool clase_en_el_modo(int32_t icodigo, ClaseArchivo clase) {
  switch (icodigo) {
    case 95:
      return clase == ClaseArchivo::fuente;
    case 97:
      return clase == ClaseArchivo::datos;
    default:
      return true;
  }
}

int rango_de_clase(ClaseArchivo clase) {
  return clase == ClaseArchivo::fuente ? 0 : clase == ClaseArchivo::datos ? 1 : 2;
}

namespace {

int64_t bytes_de(const ArchivoCatalogo& a) {
  if (a.miembros.empty()) return a.tamano > 0 ? a.tamano : 0;
  int64_t n = 0;
  for (const MiembroCatalogo& m : a.miembros) n += m.tamano > 0 ? m.tamano : 0;
  return n;
}

// A unit being formed, with the sort keys of the one-session order.
struct Pieza {
  Unidad u;
  int rango;
  size_t archivo;  // the file's place in the catalogue
  size_t miembro;  // the place of its first member in the file
};

struct Partidor {
  const ArchivoCatalogo& a;
  size_t posicion;
  int rango;
  int64_t objetivo;
  std::vector<Pieza>& piezas;

  void emite(const char* miembro, const std::vector<size_t>& indices) {
    Pieza p{};
    copia_texto(p.u.archivo, a.nombre);
    copia_texto(p.u.miembro, miembro);
    for (size_t i : indices) p.u.bytes += a.miembros[i].tamano > 0 ? a.miembros[i].tamano : 0;
    p.u.objetos = (int64_t)indices.size();
    p.rango = rango;
    p.archivo = p.u.archivo_catalogo = posicion;
    p.miembro = indices.empty() ? 0 : *std::min_element(indices.begin(), indices.end());
    piezas.push_back(p);
  }

  // The members `indices`, all beginning with `prefijo` (n characters):
  // one unit "prefijo*" when they fit the target or cannot be told apart
  // further, else one group per next character, and the member named
  // exactly `prefijo` (if any) as a unit of its own name.
  void parte(const std::string& prefijo, const std::vector<size_t>& indices) {
    int64_t total = 0;
    for (size_t i : indices) total += a.miembros[i].tamano > 0 ? a.miembros[i].tamano : 0;
    // A generic name holds at most 9 characters before its "*".
    bool divisible = indices.size() > 1 && prefijo.size() < (size_t)TAM_NOMBRE_CATALOGO - 2;
    if (total <= objetivo || !divisible) {
      std::string generico = prefijo + "*";
      emite(generico.c_str(), indices);
      return;
    }
    std::map<unsigned char, std::vector<size_t>> grupos;
    std::vector<size_t> exacto;
    for (size_t i : indices) {
      const char* nombre = a.miembros[i].nombre;
      if (strlen(nombre) == prefijo.size()) {
        exacto.push_back(i);
      } else {
        grupos[(unsigned char)nombre[prefijo.size()]].push_back(i);
      }
    }
    if (!exacto.empty()) emite(prefijo.c_str(), exacto);
    for (auto& g : grupos) parte(prefijo + (char)g.first, g.second);
  }
};

}  // namespace

Plan planifica(const Catalogo& catalogo, int32_t icodigo, const char* archivo, int sesiones) {
  Plan plan;
  std::vector<size_t> elegidos;
  for (size_t i = 0; i < catalogo.archivos.size(); i++) {
    const ArchivoCatalogo& a = catalogo.archivos[i];
    if (!clase_en_el_modo(icodigo, a.clase) || !casa_nombre(archivo, a.nombre)) continue;
    elegidos.push_back(i);
    plan.bytes += bytes_de(a);
    plan.objetos += a.miembros.empty() ? 1 : (int64_t)a.miembros.size();
  }
  int64_t objetivo = plan.bytes / (sesiones > 0 ? sesiones : 1);
  std::vector<Pieza> piezas;
  for (size_t i : elegidos) {
    const ArchivoCatalogo& a = catalogo.archivos[i];
    Partidor p{a, i, rango_de_clase(a.clase), objetivo, piezas};
    std::vector<size_t> todos(a.miembros.size());
    for (size_t k = 0; k < todos.size(); k++) todos[k] = k;
    if (a.miembros.size() > 1 && bytes_de(a) > objetivo) {
      p.parte("", todos);
    } else {
      p.emite("", todos);
      if (a.miembros.empty()) {
        piezas.back().u.bytes = bytes_de(a);
        piezas.back().u.objetos = 1;
      }
    }
  }
  std::sort(piezas.begin(), piezas.end(), [](const Pieza& x, const Pieza& y) {
    if (x.rango != y.rango) return x.rango < y.rango;
    if (x.archivo != y.archivo) return x.archivo < y.archivo;
    return x.miembro < y.miembro;
  });
  for (size_t i = 0; i < piezas.size(); i++) {
    piezas[i].u.orden = (int)i;
    plan.unidades.push_back(piezas[i].u);
  }
  std::stable_sort(plan.unidades.begin(), plan.unidades.end(),
                   [](const Unidad& x, const Unidad& y) { return x.bytes > y.bytes; });
  return plan;
}

// The plan of a several-session run (plan.h): the files of the mode, their
// split by generic member names, the one-session order and the largest-first
// order of the units.
#include "transfer/run/plan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
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

// a + b for sizes and counts of the catalogue (never negative): the largest
// value when the sum would not fit.
int64_t suma(int64_t a, int64_t b) {
  if (b < 0) b = 0;
  return a > INT64_MAX - b ? INT64_MAX : a + b;
}

int64_t bytes_de(const ArchivoCatalogo& a) {
  if (a.miembros.empty()) return suma(0, a.tamano);
  int64_t n = 0;
  for (const MiembroCatalogo& m : a.miembros) n = suma(n, m.tamano);
  return n;
}

bool nombre_de_catalogo(const char* nombre) {
  return nombre_valido(nombre) && strchr(nombre, '*') == nullptr && strchr(nombre, ' ') == nullptr;
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
    for (size_t i : indices) p.u.bytes = suma(p.u.bytes, a.miembros[i].tamano);
    p.u.objetos = (int64_t)indices.size();
    p.rango = rango;
    p.archivo = p.u.archivo_catalogo = posicion;
    p.u.orden_mensajes = -1;
    p.miembro = indices.empty() ? 0 : *std::min_element(indices.begin(), indices.end());
    piezas.push_back(p);
  }

  // The members `indices`, all beginning with `prefijo` (n characters):
  // one unit "prefijo*" when they fit the target or cannot be told apart
  // further, else one group per next character, and the member named
  // exactly `prefijo` (if any) as a unit of its own name.
  void parte(const std::string& prefijo, const std::vector<size_t>& indices) {
    int64_t total = 0;
    for (size_t i : indices) total = suma(total, a.miembros[i].tamano);
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
  // The names of the message files in scope, and of the other files.
  std::set<std::string> mensajes, otros;
  for (size_t i = 0; i < catalogo.archivos.size(); i++) {
    const ArchivoCatalogo& a = catalogo.archivos[i];
    if (!clase_en_el_modo(icodigo, a.clase) || !casa_nombre(archivo, a.nombre)) continue;
    elegidos.push_back(i);
    plan.bytes = suma(plan.bytes, bytes_de(a));
    plan.objetos = suma(plan.objetos, a.miembros.empty() ? 1 : (int64_t)a.miembros.size());
    (a.clase == ClaseArchivo::mensajes ? mensajes : otros).insert(a.nombre);
  }
  int64_t objetivo = plan.bytes / (sesiones > 0 ? sesiones : 1);
  std::vector<Pieza> piezas;
  for (size_t i : elegidos) {
    const ArchivoCatalogo& a = catalogo.archivos[i];
    Partidor p{a, i, rango_de_clase(a.clase), objetivo, piezas};
    std::vector<size_t> todos(a.miembros.size());
    for (size_t k = 0; k < todos.size(); k++) todos[k] = k;
    // A file that shares its name with a message file is never split: the
    // unit of the message file, its name with no member, brings the file's
    // members too.
    bool comparte = a.clase != ClaseArchivo::mensajes && mensajes.count(a.nombre) != 0;
    if (a.miembros.size() > 1 && bytes_de(a) > objetivo && !comparte) {
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
  for (size_t i = 0; i < piezas.size(); i++) piezas[i].u.orden = (int)i;
  // A message file whose name a file in scope has goes into that file's
  // unit, keeping its own place in the order.
  std::map<std::string, size_t> unidad_de_nombre;
  for (size_t i = 0; i < piezas.size(); i++)
    if (piezas[i].rango != rango_de_clase(ClaseArchivo::mensajes)) unidad_de_nombre[piezas[i].u.archivo] = i;
  for (Pieza& p : piezas) {
    bool mensaje = p.rango == rango_de_clase(ClaseArchivo::mensajes);
    auto it = unidad_de_nombre.find(p.u.archivo);
    if (!mensaje || it == unidad_de_nombre.end() || otros.count(p.u.archivo) == 0) continue;
    Unidad& u = piezas[it->second].u;
    u.orden_mensajes = p.u.orden;
    u.bytes = suma(u.bytes, p.u.bytes);
    u.objetos = suma(u.objetos, p.u.objetos);
    p.u.orden = -1;
  }
  for (const Pieza& p : piezas)
    if (p.u.orden >= 0) plan.unidades.push_back(p.u);
  std::stable_sort(plan.unidades.begin(), plan.unidades.end(),
                   [](const Unidad& x, const Unidad& y) { return x.bytes > y.bytes; });
  return plan;
}

bool catalogo_valido(const Catalogo& catalogo, char* motivo, size_t cap) {
  auto malo = [&](const char* nombre) {
    formatea(motivo, cap, "nombre no valido (%s)", nombre);
    return false;
  };
  for (const ArchivoCatalogo& a : catalogo.archivos) {
    if (!nombre_de_catalogo(a.nombre) || es_carpeta_propia(a.nombre)) return malo(a.nombre);
    for (const MiembroCatalogo& m : a.miembros) {
      if (!nombre_de_catalogo(m.nombre)) return malo(m.nombre);
      if (!nombre_de_catalogo(m.tipo)) return malo(m.tipo);
    }
  }
  return true;
}

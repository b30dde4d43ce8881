// The comparison of an incremental run (incremental.h): index lines read as
// entries, the catalogue's objects judged against them, the units of what
// changed with their dates, and the objects deleted on the server.
#include "transfer/incremental.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/contexto.h"
#include "base/texto.h"
#include "transfer/nombres.h"
#include "transfer/xinfo.h"

namespace {

int compara_clave(const EntradaIndice& a, const EntradaIndice& b) {
  int c = strcmp(a.archivo, b.archivo);
  return c != 0 ? c : strcmp(a.miembro, b.miembro);
}

std::string ruta(ClaseArchivo clase, const char* biblioteca, const char* archivo, const char* miembro,
                 const char* tipo) {
  char r[TAM_RUTA];
  ruta_de_objeto(r, clase, biblioteca, archivo, miembro, tipo);
  return r;
}

// The moment of a date and time, comparable as text: YYYYMMDDHHMMSS.
std::string momento(const char* fecha, const char* hora) {
  std::string m(fecha);
  m += hora;
  m.resize(14, '0');
  return m;
}

// The dates of a unit of what changed: the earliest change of the members it
// holds (none when one of them has no date), never before the run's own.
void fechas_de_unidad(Unidad& u, const ArchivoCatalogo& a, const char* fechad, const char* horad) {
  u.fechad[0] = u.horad[0] = '\0';
  std::string primero;
  bool sin_fecha = a.miembros.empty();
  for (const MiembroCatalogo& m : a.miembros) {
    if (!casa_nombre(u.miembro, m.nombre)) continue;
    if (m.fecha[0] == '\0') sin_fecha = true;
    std::string t = momento(m.fecha, m.hora);
    if (primero.empty() || t < primero) primero = t;
  }
  if (fechad[0] == '\0' && horad[0] != '\0') {
    // A time of any day cannot be joined to a date: the run's own stands.
    copia_texto(u.horad, horad);
    return;
  }
  std::string propio = fechad[0] != '\0' ? momento(fechad, horad) : "";
  if (sin_fecha || primero.empty() || (!propio.empty() && primero < propio)) {
    copia_texto(u.fechad, fechad);
    copia_texto(u.horad, horad);
    return;
  }
  copia_texto(u.fechad, primero.substr(0, 8).c_str());
  copia_texto(u.horad, primero.substr(8, 6).c_str());
}

// In the run's own scope of dates: changed at or after FECHAD and HORAD
// (HORAD alone: at or after that time of any day), as the server keeps
// objects. An object without a date is kept: the server alone can judge it.
bool en_fechas(const MiembroCatalogo& m, const char* fechad, const char* horad) {
  if (m.fecha[0] == '\0') return true;
  if (fechad[0] != '\0') return momento(m.fecha, m.hora) >= momento(fechad, horad);
  if (horad[0] == '\0') return true;
  std::string h(m.hora), desde(horad);
  h.resize(6, '0');
  desde.resize(6, '0');
  return h >= desde;
}

}  // namespace

bool entrada_de_linea(const char* linea, size_t largo, const char* biblioteca, EntradaIndice* e) {
  if (largo > 0 && linea[0] == '#') return false;
  if (largo < 22) return false;
  char b[TAM_NOMBRE_CATALOGO];
  campo_xinfo(linea, largo, XINFO_BIBLIOTECA, b, sizeof b);
  if (strcmp(b, biblioteca) != 0) return false;
  *e = EntradaIndice{};
  campo_xinfo(linea, largo, XINFO_ARCHIVO, e->archivo, sizeof e->archivo);
  campo_xinfo(linea, largo, XINFO_MIEMBRO, e->miembro, sizeof e->miembro);
  campo_xinfo(linea, largo, XINFO_TIPO, e->tipo, sizeof e->tipo);
  campo_xinfo(linea, largo, XINFO_FECHA, e->fecha, sizeof e->fecha);
  campo_xinfo(linea, largo, XINFO_HORA, e->hora, sizeof e->hora);
  return e->archivo[0] != '\0';
}

ClaseArchivo clase_de_entrada(const EntradaIndice& e, const Catalogo& catalogo, ExisteFichero existe) {
  for (const ArchivoCatalogo& a : catalogo.archivos)
    if (strcmp(a.nombre, e.archivo) == 0) return a.clase;
  if (strcmp(e.tipo, "MSG") == 0 && e.miembro[0] == '\0') return ClaseArchivo::mensajes;
  // A raw data member carries the type of its physical file (PF) as DDS
  // sources do: the local copy that exists tells a member's class first.
  const char* lib = catalogo.biblioteca;
  if (existe(ruta(ClaseArchivo::fuente, lib, e.archivo, e.miembro, e.tipo).c_str()))
    return ClaseArchivo::fuente;
  if (existe(ruta(ClaseArchivo::datos, lib, e.archivo, e.miembro, e.tipo).c_str()))
    return ClaseArchivo::datos;
  return e.tipo[0] == '\0' ? ClaseArchivo::datos : ClaseArchivo::fuente;
}

std::vector<uint32_t> ordena_por_clave(const std::vector<EntradaIndice>& indice) {
  std::vector<uint32_t> orden(indice.size());
  for (uint32_t i = 0; i < orden.size(); i++) orden[i] = i;
  std::stable_sort(orden.begin(), orden.end(),
                   [&](uint32_t a, uint32_t b) { return compara_clave(indice[a], indice[b]) < 0; });
  // Of the lines of one key, the last (the most recent) is the one in force.
  size_t n = 0;
  for (size_t i = 0; i < orden.size(); i++) {
    if (n > 0 && compara_clave(indice[orden[n - 1]], indice[orden[i]]) == 0) n--;
    orden[n++] = orden[i];
  }
  orden.resize(n);
  orden.shrink_to_fit();
  return orden;
}

long busca_por_clave(const std::vector<EntradaIndice>& indice, const std::vector<uint32_t>& orden,
                     const char* archivo, const char* miembro) {
  auto menor = [&](uint32_t p, int) {
    int c = strcmp(indice[p].archivo, archivo);
    return c < 0 || (c == 0 && strcmp(indice[p].miembro, miembro) < 0);
  };
  auto it = std::lower_bound(orden.begin(), orden.end(), 0, menor);
  if (it == orden.end() || strcmp(indice[*it].archivo, archivo) != 0 ||
      strcmp(indice[*it].miembro, miembro) != 0)
    return -1;
  return (long)*it;
}

Comparacion compara_con_indice(const Catalogo& catalogo, int32_t icodigo, const char* archivo,
                               const char* fechad, const char* horad,
                               const std::vector<EntradaIndice>& indice, ExisteFichero existe, int sesiones,
                               bool incremental) {
  Comparacion r;
  const char* lib = catalogo.biblioteca;
  std::vector<uint32_t> orden = ordena_por_clave(indice);
  // The index lines in force whose object the catalogue lists.
  std::vector<char> listada(indice.size(), 0);

  // The files with something new or changed, and (for a full plan) all of
  // the run's scope.
  Catalogo alcance{}, cambiado{};
  copia_texto(alcance.biblioteca, lib);
  copia_texto(cambiado.biblioteca, lib);
  std::vector<std::string> por_rango[3];
  auto marca = [&](const char* nombre, const char* miembro) {
    long p = busca_por_clave(indice, orden, nombre, miembro);
    if (p >= 0) listada[(size_t)p] = 1;
    return p;
  };
  for (const ArchivoCatalogo& a : catalogo.archivos) {
    if (a.clase == ClaseArchivo::mensajes) marca(a.nombre, "");
    if (!clase_en_el_modo(icodigo, a.clase) || !casa_nombre(archivo, a.nombre)) {
      for (const MiembroCatalogo& m : a.miembros) marca(a.nombre, m.nombre);
      continue;
    }
    if (!incremental) alcance.archivos.push_back(a);
    std::vector<std::string>& rutas = por_rango[rango_de_clase(a.clase)];
    ArchivoCatalogo copia{};
    copia_texto(copia.nombre, a.nombre);
    copia.clase = a.clase;
    copia.tamano = a.tamano;
    if (a.clase == ClaseArchivo::mensajes) {
      // The catalogue gives a message file no change date: it always moves.
      rutas.push_back(ruta(a.clase, lib, a.nombre, "", ""));
      cambiado.archivos.push_back(copia);
      continue;
    }
    for (const MiembroCatalogo& m : a.miembros) {
      long p = marca(a.nombre, m.nombre);
      if (!en_fechas(m, fechad, horad)) continue;
      const EntradaIndice* e = p >= 0 ? &indice[(size_t)p] : nullptr;
      bool igual = incremental && e != nullptr && m.fecha[0] != '\0' && strcmp(e->fecha, m.fecha) == 0 &&
                   strcmp(e->hora, m.hora) == 0 &&
                   existe(ruta(a.clase, lib, a.nombre, m.nombre, e->tipo).c_str());
      if (igual) {
        r.sin_cambios++;
        continue;
      }
      rutas.push_back(ruta(a.clase, lib, a.nombre, m.nombre, m.tipo));
      // The catalogue lists a converted data file as a member of the file's
      // own name, as it does a raw one; a converted copy has no index line,
      // and an earlier run's FILE.dta without a FILE.ebc tells it.
      char dta[TAM_RUTA];
      if (a.clase == ClaseArchivo::datos && e == nullptr && strcmp(m.nombre, a.nombre) == 0 &&
          plat_ruta(dta, "\\%s\\%s.dta", lib, a.nombre) && existe(dta) && !existe(rutas.back().c_str()))
        rutas.back() = dta;
      copia.miembros.push_back(m);
    }
    if (!copia.miembros.empty()) cambiado.archivos.push_back(std::move(copia));
  }
  for (auto& rutas : por_rango)
    for (std::string& p : rutas) r.recibiria.push_back(std::move(p));

  if (incremental) {
    r.plan = planifica(cambiado, icodigo, "", sesiones);
    for (Unidad& u : r.plan.unidades)
      fechas_de_unidad(u, cambiado.archivos[u.archivo_catalogo], fechad, horad);
    r.plan.sin_cambios = r.sin_cambios;
  } else {
    r.plan = planifica(alcance, icodigo, "", sesiones);
    for (Unidad& u : r.plan.unidades) {
      copia_texto(u.fechad, fechad);
      copia_texto(u.horad, horad);
    }
  }

  for (size_t i = 0; i < indice.size(); i++) {
    const EntradaIndice& e = indice[i];
    // Each key once, by its line in force.
    if (busca_por_clave(indice, orden, e.archivo, e.miembro) != (long)i || listada[i] ||
        !casa_nombre(archivo, e.archivo))
      continue;
    // A line edited by hand could name a path outside the tree: a mirror
    // never goes there.
    if (primer_nombre_no_valido(lib, e.archivo, e.miembro, e.tipo) != nullptr) continue;
    ClaseArchivo clase = clase_de_entrada(e, catalogo, existe);
    if (!clase_en_el_modo(icodigo, clase)) continue;
    r.eliminados.push_back(Eliminado{e, ruta(clase, lib, e.archivo, e.miembro, e.tipo)});
  }
  return r;
}

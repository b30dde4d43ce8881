// The comparison of a run with the library's index (comparacion.h): which
// index lines the catalogue lists, what of each file in scope is new,
// changed or unchanged, the plan of what is to be received with each unit's
// dates, and what the server deleted.
#include "transfer/run/comparacion.h"

#include <algorithm>
#include <cstring>

#include "base/contexto.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/walk/nombres.h"

namespace {

std::string ruta(ClaseArchivo clase, const char* biblioteca, const char* archivo, const char* miembro,
                 const char* tipo) {
  char r[TAM_RUTA];
  ruta_de_objeto(r, clase, biblioteca, archivo, miembro, tipo);
  return r;
}

// The source type as a transfer header carries it: its first 4 characters.
// The catalogue gives the whole type (RPGLE, SQLRPGLE), the header and the
// index line what the local file is named by.
std::string tipo_de_cabecera(const char* tipo) {
  return std::string(tipo, strnlen(tipo, LARGO_TIPO_CABECERA));
}

// The moment of a date and time, comparable as text: YYYYMMDDHHMMSS.
std::string momento(const char* fecha, const char* hora) {
  std::string m(fecha);
  m += hora;
  m.resize(14, '0');
  return m;
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

// The comparison under way: its inputs, the index sorted by key, which of
// its lines in force the catalogue lists, and the files and paths found.
struct Comparando {
  Comparando(const Catalogo& c, const Alcance& a, const std::vector<EntradaIndice>& i, ExisteFichero e,
             CopiaIntacta in)
      : catalogo(c),
        alcance(a),
        indice(i),
        existe(e),
        intacta(in),
        orden(ordena_por_clave(i)),
        listada(i.size(), 0) {
    copia_texto(todo.biblioteca, c.biblioteca);
    copia_texto(cambiado.biblioteca, c.biblioteca);
  }

  const Catalogo& catalogo;
  const Alcance& alcance;
  const std::vector<EntradaIndice>& indice;
  ExisteFichero existe;
  CopiaIntacta intacta;
  std::vector<uint32_t> orden;
  std::vector<char> listada;
  Catalogo todo{};                        // every file in scope (a full plan)
  Catalogo cambiado{};                    // the files with something new or changed, with those members
  std::vector<std::string> por_rango[3];  // the paths to receive, by class in a stream's order
  std::vector<ObjetoComparado> detalle_por_rango[3];  // their objects, with Alcance::detalle
  Comparacion r;

  // The index line in force of the key, marked as listed; -1 when none.
  long marca(const char* archivo, const char* miembro) {
    long p = busca_por_clave(indice, orden, archivo, miembro);
    if (p >= 0) listada[(size_t)p] = 1;
    return p;
  }
  static ObjetoComparado describe(const ArchivoCatalogo& a, const MiembroCatalogo& m,
                                  const std::string& ruta) {
    ObjetoComparado o{};
    o.ruta = ruta;
    o.clase = a.clase;
    copia_texto(o.archivo, a.nombre);
    copia_texto(o.miembro, m.nombre);
    copia_texto(o.tipo, a.clase == ClaseArchivo::mensajes ? "MSG" : tipo_de_cabecera(m.tipo).c_str());
    copia_texto(o.fecha, m.fecha);
    copia_texto(o.hora, m.hora);
    return o;
  }
  void juzga_miembro(const ArchivoCatalogo& a, const MiembroCatalogo& m, ArchivoCatalogo& copia);
  void juzga_archivo(const ArchivoCatalogo& a);
  void planifica_lo_recibido();
  void busca_eliminados();
};

// A member of a file in scope: out of the run's dates, unchanged, or to be
// received (its path, and the member in its file's copy of what changed).
void Comparando::juzga_miembro(const ArchivoCatalogo& a, const MiembroCatalogo& m, ArchivoCatalogo& copia) {
  const char* lib = catalogo.biblioteca;
  long p = marca(a.nombre, m.nombre);
  if (!en_fechas(m, alcance.fechad, alcance.horad)) return;
  const EntradaIndice* e = p >= 0 ? &indice[(size_t)p] : nullptr;
  // A source type that changed on the server changes the copy's extension:
  // the copy under the old one is said (or removed), and the member is
  // received again under the new. A line whose type could not be a
  // header's is damaged: it names no copy.
  std::string tipo = tipo_de_cabecera(m.tipo);
  bool cambio_de_tipo = false;
  std::string vieja;  // the copy the index line names, when it names one
  if (e != nullptr && (a.clase != ClaseArchivo::fuente || nombre_valido(e->tipo))) {
    vieja = ruta(a.clase, lib, a.nombre, m.nombre, e->tipo);
    if (a.clase == ClaseArchivo::fuente) {
      char antes[16], ahora[16];
      extension_de_tipo(e->tipo, antes);
      extension_de_tipo(tipo.c_str(), ahora);
      cambio_de_tipo = strcmp(antes, ahora) != 0;
      if (cambio_de_tipo && existe(vieja.c_str()))
        r.otro_tipo.push_back(CopiaVieja{vieja, ruta(a.clase, lib, a.nombre, m.nombre, tipo.c_str())});
    }
  }
  // The copy the index line names is the one judged: its path takes the
  // line's own source type.
  if (alcance.incremental && !vieja.empty() && !cambio_de_tipo &&
      sin_cambios(m.fecha, m.hora, e->fecha, e->hora, vieja.c_str(), intacta)) {
    r.sin_cambios++;
    if (alcance.detalle) r.iguales.push_back(describe(a, m, vieja));
    return;
  }
  std::vector<std::string>& rutas = por_rango[rango_de_clase(a.clase)];
  rutas.push_back(cambio_de_tipo || vieja.empty() || a.clase != ClaseArchivo::fuente
                      ? ruta(a.clase, lib, a.nombre, m.nombre, tipo.c_str())
                      : vieja);
  // The catalogue lists a converted data file as a member of the file's
  // own name, as it does a raw one; a converted copy has no index line,
  // and an earlier run's FILE.dta without a FILE.ebc tells it.
  char dta[TAM_RUTA];
  if (a.clase == ClaseArchivo::datos && e == nullptr && strcmp(m.nombre, a.nombre) == 0 &&
      plat_ruta(dta, "\\%s\\%s.dta", lib, a.nombre) && existe(dta) && !existe(rutas.back().c_str()))
    rutas.back() = dta;
  if (alcance.detalle) detalle_por_rango[rango_de_clase(a.clase)].push_back(describe(a, m, rutas.back()));
  copia.miembros.push_back(m);
}

// A file of the catalogue: its index lines marked as listed, and, when it is
// in the run's scope, each of its objects judged.
void Comparando::juzga_archivo(const ArchivoCatalogo& a) {
  if (a.clase == ClaseArchivo::mensajes) marca(a.nombre, "");
  if (!clase_en_el_modo(alcance.icodigo, a.clase) || !casa_nombre(alcance.archivo, a.nombre)) {
    for (const MiembroCatalogo& m : a.miembros) marca(a.nombre, m.nombre);
    return;
  }
  if (!alcance.incremental) todo.archivos.push_back(a);
  ArchivoCatalogo copia{};
  copia_texto(copia.nombre, a.nombre);
  copia.clase = a.clase;
  copia.tamano = a.tamano;
  if (a.clase == ClaseArchivo::mensajes) {
    // The catalogue gives a message file no change date: it always moves.
    por_rango[rango_de_clase(a.clase)].push_back(ruta(a.clase, catalogo.biblioteca, a.nombre, "", ""));
    if (alcance.detalle)
      detalle_por_rango[rango_de_clase(a.clase)].push_back(
          describe(a, MiembroCatalogo{}, por_rango[rango_de_clase(a.clase)].back()));
    cambiado.archivos.push_back(copia);
    return;
  }
  for (const MiembroCatalogo& m : a.miembros) juzga_miembro(a, m, copia);
  if (!copia.miembros.empty()) cambiado.archivos.push_back(std::move(copia));
}

// The plan of what is to be received: of what changed, each unit asked for
// since its earliest change, or of every file in scope since the run's own
// dates.
void Comparando::planifica_lo_recibido() {
  if (alcance.incremental) {
    r.plan = planifica(cambiado, alcance.icodigo, "", alcance.sesiones);
    for (Unidad& u : r.plan.unidades) {
      fechas_de_unidad(u, cambiado.archivos[u.archivo_catalogo], alcance.fechad, alcance.horad);
      // A message file has no date in the catalogue: a unit that brings one
      // is asked for since the run's own dates.
      if (u.orden_mensajes >= 0) {
        copia_texto(u.fechad, alcance.fechad);
        copia_texto(u.horad, alcance.horad);
      }
    }
    r.plan.sin_cambios = r.sin_cambios;
    return;
  }
  r.plan = planifica(todo, alcance.icodigo, "", alcance.sesiones);
  for (Unidad& u : r.plan.unidades) {
    copia_texto(u.fechad, alcance.fechad);
    copia_texto(u.horad, alcance.horad);
  }
}

// The index lines in force of the scope that the catalogue does not list.
void Comparando::busca_eliminados() {
  const char* lib = catalogo.biblioteca;
  for (size_t i = 0; i < indice.size(); i++) {
    const EntradaIndice& e = indice[i];
    // Each key once, by its line in force.
    if (busca_por_clave(indice, orden, e.archivo, e.miembro) != (long)i || listada[i] ||
        !casa_nombre(alcance.archivo, e.archivo))
      continue;
    // A line edited by hand could name a path outside the tree: a mirror
    // never goes there.
    if (primer_nombre_no_valido(lib, e.archivo, e.miembro, e.tipo) != nullptr) continue;
    ClaseArchivo clase = clase_de_entrada(e, catalogo, existe);
    if (!clase_en_el_modo(alcance.icodigo, clase)) continue;
    // A member's line without its member would name the file's own copy.
    if (clase != ClaseArchivo::mensajes && e.miembro[0] == '\0') continue;
    r.eliminados.push_back(Eliminado{e, ruta(clase, lib, e.archivo, e.miembro, e.tipo), clase});
  }
}

}  // namespace

ClaseArchivo clase_de_entrada(const EntradaIndice& e, const Catalogo& catalogo, ExisteFichero existe) {
  // A message file's line names no member; a file of the same name may be
  // listed too.
  bool de_mensajes = strcmp(e.tipo, "MSG") == 0 && e.miembro[0] == '\0';
  for (const ArchivoCatalogo& a : catalogo.archivos)
    if (strcmp(a.nombre, e.archivo) == 0 && (a.clase == ClaseArchivo::mensajes) == de_mensajes)
      return a.clase;
  if (de_mensajes) return ClaseArchivo::mensajes;
  // A raw data member carries the type of its physical file (PF) as DDS
  // sources do: the local copy that exists tells a member's class first.
  const char* lib = catalogo.biblioteca;
  if (existe(ruta(ClaseArchivo::fuente, lib, e.archivo, e.miembro, e.tipo).c_str()))
    return ClaseArchivo::fuente;
  if (existe(ruta(ClaseArchivo::datos, lib, e.archivo, e.miembro, e.tipo).c_str()))
    return ClaseArchivo::datos;
  return e.tipo[0] == '\0' ? ClaseArchivo::datos : ClaseArchivo::fuente;
}

Comparacion compara_con_indice(const Catalogo& catalogo, const Alcance& alcance,
                               const std::vector<EntradaIndice>& indice, ExisteFichero existe,
                               CopiaIntacta intacta) {
  Comparando c(catalogo, alcance, indice, existe, intacta);
  for (const ArchivoCatalogo& a : catalogo.archivos) c.juzga_archivo(a);
  for (auto& rutas : c.por_rango)
    for (std::string& p : rutas) c.r.recibiria.push_back(std::move(p));
  for (auto& objetos : c.detalle_por_rango)
    for (ObjetoComparado& o : objetos) c.r.a_recibir.push_back(std::move(o));
  c.planifica_lo_recibido();
  c.busca_eliminados();
  return std::move(c.r);
}

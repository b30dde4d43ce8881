// The JSON report of a transfer run (informe_json.h). The document is built with
// nlohmann::json: keys in Spanish, strings in UTF-8 (names from the server
// are CP1252), objects in the order the run learnt them, each path once.
#include "app/informe_json.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>

#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "transfer/walk/informe.h"
#include "transfer/walk/nombres.h"
#include "transfer/walk/progreso.h"

#ifndef VORTCP_VERSION
#define VORTCP_VERSION "0"  // set by the build from the project's version
#endif

namespace {

using json = nlohmann::ordered_json;

// CP1252 bytes (a name from the server, a path made of them) as UTF-8.
std::string utf8(const char* texto) {
  size_t n = strlen(texto);
  std::string r(3 * n + 1, '\0');
  r.resize(plat_cp1252_a_utf8(texto, n, &r[0]));
  return r;
}

std::string sin_relleno(const char* nombre) {
  char t[TAM_AJUSTE];
  copia_texto(t, nombre);
  quita_blancos(t);
  return utf8(t);
}

std::string iso8601_utc(const FechaHora& f) {
  char t[32];
  formatea(t, "%04d-%02d-%02dT%02d:%02d:%02dZ", f.anio, f.mes, f.dia, f.hora, f.minuto, f.segundo);
  return t;
}

// A change date and time of the catalogue or a header (YYYYMMDD, HHMMSS)
// as ISO 8601 local time; null when they are not a valid date.
json fecha_de_cambio(const char* fecha, const char* hora) {
  FechaHora f;
  if (!fecha_de_cabecera(fecha, hora, &f)) return nullptr;
  char t[32];
  formatea(t, "%04d-%02d-%02dT%02d:%02d:%02d", f.anio, f.mes, f.dia, f.hora, f.minuto, f.segundo);
  return t;
}

const char* clase_de(const EntradaInforme& e) {
  if (e.convertido) return "convertido";
  switch (e.clase) {
    case ClaseArchivo::fuente:
      return "fuente";
    case ClaseArchivo::datos:
      return "datos";
    case ClaseArchivo::mensajes:
      return "mensajes";
  }
  return "";
}

const char* modo_de(int32_t icodigo, const char* modo) {
  if (modo[0] != '\0') return modo;
  switch (icodigo) {
    case 94:
      return "ALL";
    case 95:
      return "MBR";
    case 97:
      return "DAT";
    case 66:
      return "SPL";
    case 67:
      return "SPF";
    default:
      return "END";
  }
}

// The objects of the report, each path once: a later entry of a path (a
// unit's second try, or the deletion of a copy first judged unchanged)
// replaces an earlier one where it stood, but for an incomplete one over a
// complete one. The planned objects of the units
// lost for good that never came are sin_transferir.
std::vector<EntradaInforme> objetos_del_informe(Informe& i, bool simulacion) {
  std::lock_guard<std::mutex> cerrojo(i.cerrojo);
  std::vector<EntradaInforme> r;
  std::unordered_map<std::string, size_t> lugar;
  for (const EntradaInforme& e : i.objetos) {
    auto it = lugar.find(e.ruta);
    if (it != lugar.end()) {
      // A second try cut short does not undo the first's complete object:
      // the summary counts the try that completed more, and the tree holds
      // that copy.
      const char* antes = r[it->second].estado;
      bool completo = antes == ESTADO_NUEVO || antes == ESTADO_CAMBIADO || antes == ESTADO_SIN_CAMBIOS;
      if (!(completo && e.estado == ESTADO_INCOMPLETO)) r[it->second] = e;
      continue;
    }
    lugar.emplace(e.ruta, r.size());
    r.push_back(e);
  }
  if (simulacion) return r;
  for (const EntradaInforme& e : i.previstos) {
    if (lugar.count(e.ruta) != 0) continue;
    for (const auto& perdida : i.perdidas) {
      if (perdida.first != e.archivo || !casa_nombre(perdida.second.c_str(), e.miembro)) continue;
      EntradaInforme x = e;
      x.estado = ESTADO_SIN_TRANSFERIR;
      lugar.emplace(x.ruta, r.size());
      r.push_back(x);
      break;
    }
  }
  return r;
}

json documento(const DatosInforme& d, Compartido* comun) {
  json j;
  j["version"] = VORTCP_VERSION;
  j["inicio"] = iso8601_utc(d.inicio);
  j["fin"] = iso8601_utc(d.fin);
  j["modo"] = modo_de(d.peticion.icodigo, d.modo);
  j["biblioteca"] = sin_relleno(d.peticion.biblioteca);
  j["archivo"] = sin_relleno(d.peticion.archivo);
  j["miembro"] = sin_relleno(d.peticion.miembro);
  j["ajustes"] = {{"sesiones", d.sesiones},
                  {"incremental", d.incremental},
                  {"espejo", d.espejo},
                  {"simulacion", d.simula}};
  // As the shell sees it: -1 is 255.
  j["estado_salida"] = d.estado & 0xFF;
  Aportacion t;
  std::vector<EntradaInforme> objetos;
  if (comun != nullptr) {
    t = totales(comun->progreso);
    objetos = objetos_del_informe(comun->informe, d.simula);
  }
  std::unordered_map<std::string, int64_t> por_estado;
  for (const EntradaInforme& e : objetos) por_estado[e.estado]++;
  j["totales"] = {{"objetos", t.objetos},
                  {"registros", t.registros},
                  {"bytes", t.bytes},
                  {"nuevos", por_estado[ESTADO_NUEVO]},
                  {"cambiados", por_estado[ESTADO_CAMBIADO]},
                  {"sin_cambios", por_estado[ESTADO_SIN_CAMBIOS]},
                  {"eliminados_en_servidor", por_estado[ESTADO_ELIMINADO_EN_SERVIDOR]},
                  {"eliminados", por_estado[ESTADO_ELIMINADO]},
                  {"incompletos", por_estado[ESTADO_INCOMPLETO]},
                  {"sin_transferir", por_estado[ESTADO_SIN_TRANSFERIR]}};
  if (d.simula) j["totales"]["recibiria"] = por_estado[ESTADO_RECIBIRIA];
  json lista = json::array();
  for (const EntradaInforme& e : objetos) {
    lista.push_back({{"ruta", utf8(e.ruta.c_str())},
                     {"clase", clase_de(e)},
                     {"tipo", utf8(e.tipo)},
                     {"estado", e.estado},
                     {"registros", e.registros},
                     {"bytes", e.bytes},
                     {"fecha_cambio", fecha_de_cambio(e.fecha, e.hora)}});
  }
  j["objetos"] = std::move(lista);
  return j;
}

}  // namespace

bool prepara_informe(DatosInforme* d) {
  d->inicio = plat_fecha_hora_utc();
  const char* valor = plat_getenv("VORTCP_INFORME");
  if (valor == nullptr || valor[0] == '\0') return true;
  if (!plat_formatea_fecha(d->ruta, sizeof d->ruta, valor, plat_fecha_hora_local()) || d->ruta[0] == '\0') {
    char mostrado[TAM_AJUSTE];
    copia_texto(mostrado, valor);
    printf("Valor no valido en la variable VORTCP_INFORME (%s)\n", mostrado);
    d->ruta[0] = '\0';
    return false;
  }
  return true;
}

bool escribe_informe(const DatosInforme& d, Compartido* comun) {
  if (d.ruta[0] == '\0') return true;
  std::string texto = documento(d, comun).dump(2, ' ', false, json::error_handler_t::replace) + "\n";
  char temporal[TAM_RUTA + 16];
  bool bien = formatea(temporal, "%s.tmp", d.ruta) < (int)sizeof temporal;
  FILE* f = bien ? plat_crea_nuevo(temporal, true) : nullptr;
  if (f != nullptr) {
    bien = fwrite(texto.data(), 1, texto.size(), f) == texto.size();
    bien = plat_cierra_escrito(f) && bien;
    bien = bien && plat_reemplaza_fichero(temporal, d.ruta);
    if (!bien) plat_borra_fichero(temporal);
  }
  if (f != nullptr && bien) return true;
  fflush(stdout);
  imprime_del_servidor(stderr, "Imposible escribir el informe (%s)\n", d.ruta);
  return false;
}

// Parsing of the simulator's options (long options only, "--name value").
#include "opciones.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char* const USO =
    "uso: zizez-sim [opciones]\n"
    "  --direccion IP          direccion de escucha (127.0.0.1)\n"
    "  --puerto N              puerto de sesion sin intermediario (0 = uno libre)\n"
    "  --broker N              intermediario en N (0 = uno libre); sesiones en N+n+1\n"
    "  --max-sesiones N        sesiones a la vez (4)\n"
    "  --bd DIR                carpeta del sistema simulado (SQLite)\n"
    "  --muestras DIR          crea el sistema desde esta carpeta si falta (por omision,\n"
    "                          ../share/vortcp/samples junto al programa instalado)\n"
    "  --solo-crea             rehace el sistema desde --muestras y termina\n"
    "  --tabla FICHERO         tabla ebcdic.<LANG> del cliente\n"
    "  --bloque N              bytes por bloque de texto o registros (29990)\n"
    "  --registro DIR          un registro legible por sesion en DIR\n"
    "fallos:\n"
    "  --trozos N[:MS]         envia cada trama en trozos de N bytes con pausas\n"
    "  --dos-tramas            dos mensajes de transferencia en un solo envio\n"
    "  --corta-tras N          cierra tras N mensajes enviados\n"
    "  --corta-en-trama N      cierra a mitad del mensaje N\n"
    "  --trama-larga N         el mensaje N anuncia una longitud mayor de 30000\n"
    "  --nombre-hostil TEXTO   nombre de archivo de cada cabecera de transferencia\n"
    "  --bloque-mentiroso      los bloques de texto dicen llevar 100 bytes mas\n"
    "  --sesion-con-fallos L   los fallos solo en las sesiones numeradas en L (2 o 2,3)\n"
    "  --archivo-con-fallos A[/M][:N]\n"
    "                          los fallos solo en las transferencias que piden el archivo A\n"
    "                          (y el miembro M), y solo en las N primeras\n"
    "  --retardo-ms N          cada sesion espera N ms antes de cada mensaje que envia\n"
    "  --sin-catalogo          las consultas del catalogo fallan (SQL -204)\n"
    "  --catalogo-hostil M     respuestas del catalogo que se contradicen (vacio, repite, fin, doble)\n";

bool entero(const char* texto, int minimo, int maximo, int& valor) {
  char* fin = nullptr;
  long v = std::strtol(texto, &fin, 10);
  if (!*texto || (*fin && *fin != ':') || v < minimo || v > maximo) return false;
  valor = static_cast<int>(v);
  return true;
}

// "2" or "2,3,7": session numbers from 1.
bool lista_de_sesiones(const char* texto, std::vector<int>& sesiones) {
  sesiones.clear();
  std::string t = texto;
  size_t ini = 0;
  for (;;) {
    size_t coma = t.find(',', ini);
    std::string n = t.substr(ini, coma == std::string::npos ? std::string::npos : coma - ini);
    int v = 0;
    if (n.empty() || n.find(':') != std::string::npos || !entero(n.c_str(), 1, 1000000, v)) return false;
    sesiones.push_back(v);
    if (coma == std::string::npos) return true;
    ini = coma + 1;
  }
}

// "FILE", "FILE/MEMBER", either followed by ":N".
bool archivo_con_fallos(const char* texto, Opciones& op) {
  std::string t = texto;
  op.veces_con_fallos = 0;
  size_t dos_puntos = t.find(':');
  if (dos_puntos != std::string::npos) {
    if (!entero(t.c_str() + dos_puntos + 1, 1, 1000000, op.veces_con_fallos)) return false;
    t.resize(dos_puntos);
  }
  size_t barra = t.find('/');
  op.archivo_con_fallos = t.substr(0, barra);
  op.miembro_con_fallos = barra == std::string::npos ? "" : t.substr(barra + 1);
  for (std::string* s : {&op.archivo_con_fallos, &op.miembro_con_fallos}) {
    for (char& c : *s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return !op.archivo_con_fallos.empty() && (barra == std::string::npos || !op.miembro_con_fallos.empty());
}
}  // namespace

bool lee_opciones(int argc, char** argv, Opciones& op) {
  for (int i = 1; i < argc; i++) {
    const char* o = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    bool usa_valor = true;
    bool ok = v != nullptr;
    if (!std::strcmp(o, "--direccion")) {
      if (ok) op.direccion = v;
    } else if (!std::strcmp(o, "--puerto")) {
      ok = ok && entero(v, 0, 65535, op.puerto);
    } else if (!std::strcmp(o, "--broker")) {
      ok = ok && entero(v, 0, 65535, op.puerto_broker);
    } else if (!std::strcmp(o, "--max-sesiones")) {
      ok = ok && entero(v, 1, 999, op.max_sesiones);
    } else if (!std::strcmp(o, "--bd")) {
      if (ok) op.bd = v;
    } else if (!std::strcmp(o, "--muestras")) {
      if (ok) op.muestras = v;
    } else if (!std::strcmp(o, "--tabla")) {
      if (ok) op.tabla = v;
    } else if (!std::strcmp(o, "--bloque")) {
      ok = ok && entero(v, 20, 29990, op.bloque);
    } else if (!std::strcmp(o, "--registro")) {
      if (ok) op.registro = v;
    } else if (!std::strcmp(o, "--trozos")) {
      ok = ok && entero(v, 1, 29999, op.fallos.trozo);
      const char* dos_puntos = ok ? std::strchr(v, ':') : nullptr;
      if (dos_puntos) ok = entero(dos_puntos + 1, 0, 10000, op.fallos.pausa_trozo_ms);
    } else if (!std::strcmp(o, "--corta-tras")) {
      ok = ok && entero(v, 1, 1000000, op.fallos.corta_tras);
    } else if (!std::strcmp(o, "--corta-en-trama")) {
      ok = ok && entero(v, 1, 1000000, op.fallos.corta_en_trama);
    } else if (!std::strcmp(o, "--trama-larga")) {
      ok = ok && entero(v, 1, 1000000, op.fallos.trama_larga);
    } else if (!std::strcmp(o, "--nombre-hostil")) {
      if (ok) op.fallos.nombre_hostil = v;
    } else if (!std::strcmp(o, "--sesion-con-fallos")) {
      ok = ok && lista_de_sesiones(v, op.sesiones_con_fallos);
    } else if (!std::strcmp(o, "--archivo-con-fallos")) {
      ok = ok && archivo_con_fallos(v, op);
    } else if (!std::strcmp(o, "--catalogo-hostil")) {
      op.catalogo_hostil = v;
      ok = ok && (op.catalogo_hostil == "vacio" || op.catalogo_hostil == "repite" ||
                  op.catalogo_hostil == "fin" || op.catalogo_hostil == "doble");
    } else if (!std::strcmp(o, "--retardo-ms")) {
      ok = ok && entero(v, 0, 60000, op.retardo_ms) && !std::strchr(v, ':');
    } else {
      usa_valor = false;
      ok = true;
      if (!std::strcmp(o, "--help") || !std::strcmp(o, "-h")) {
        std::fputs(USO, stdout);
        op.ayuda = true;
        return false;
      } else if (!std::strcmp(o, "--solo-crea")) {
        op.solo_crea = true;
      } else if (!std::strcmp(o, "--dos-tramas")) {
        op.fallos.dos_tramas = true;
      } else if (!std::strcmp(o, "--bloque-mentiroso")) {
        op.fallos.bloque_mentiroso = true;
      } else if (!std::strcmp(o, "--sin-catalogo")) {
        op.sin_catalogo = true;
      } else {
        ok = false;
      }
    }
    if (!ok) {
      std::fprintf(stderr, "zizez-sim: opcion no valida: %s\n%s", o, USO);
      return false;
    }
    if (usa_valor) i++;
  }
  if (op.bd.empty()) {
    std::fprintf(stderr, "zizez-sim: falta --bd\n%s", USO);
    return false;
  }
  if (op.tabla.empty() && !op.muestras.empty()) op.tabla = op.muestras + "/basico/ebcdic.ESP";
  return true;
}

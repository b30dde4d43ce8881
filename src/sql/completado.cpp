// Names for Tab (completado.h): what the word before the cursor is, read from
// the line's pieces; the session's store of table and column names, filled
// from the catalogue views within one deadline per Tab.
#include "sql/completado.h"

#include <cstring>
#include <map>
#include <set>
#include <string_view>

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "sql/barra.h"
#include "sql/intercambio_sql.h"
#include "sql/lectura.h"

namespace {

// A piece of the line: a name (letters, digits, _ # @ $, and a backslash
// that begins it), a quoted name, or one character of anything else.
// Literals between single quotes are skipped.
struct Pieza {
  std::string texto;  // upper case for a name
  size_t ini, fin;
  bool nombre;
};

bool es_de_nombre(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
         c == '@' || c == '$' || (unsigned char)c >= 0x80;
}

std::string mayusculas(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return s;
}

std::vector<Pieza> piezas_de(const char* linea, size_t largo) {
  std::vector<Pieza> piezas;
  size_t i = 0;
  while (i < largo) {
    char c = linea[i];
    size_t ini = i;
    if (c == ' ' || c == '\t') {
      i++;
    } else if (c == '\'') {
      for (i++; i < largo && linea[i] != '\''; i++) {
      }
      i++;
    } else if (c == '"') {
      for (i++; i < largo && linea[i] != '"'; i++) {
      }
      piezas.push_back({std::string(linea + ini + 1, (i < largo ? i : largo) - ini - 1), ini, i + 1, true});
      i++;
    } else if (es_de_nombre(c) || c == '\\') {
      for (i++; i < largo && es_de_nombre(linea[i]); i++) {
      }
      piezas.push_back({mayusculas(std::string(linea + ini, i - ini)), ini, i, true});
    } else {
      piezas.push_back({std::string(1, c), ini, ++i, false});
    }
  }
  return piezas;
}

bool es_una_de(const std::string& s, std::initializer_list<const char*> palabras) {
  for (const char* p : palabras)
    if (s == p) return true;
  return false;
}

// After these words come table names.
bool antes_de_tabla(const std::string& s) {
  return es_una_de(s, {"FROM", "JOIN", "INTO", "UPDATE", "TABLE"});
}

// Words that end a table's name in a list, and can be no alias.
bool reservada(const std::string& s) {
  return antes_de_tabla(s) ||
         es_una_de(
             s, {"WHERE",  "ON",     "INNER",  "LEFT",      "RIGHT",  "FULL", "OUTER", "CROSS", "GROUP",
                 "ORDER",  "HAVING", "UNION",  "SET",       "VALUES", "AS",   "FETCH", "LIMIT", "WITH",
                 "SELECT", "USING",  "EXCEPT", "INTERSECT", "BY",     "AND",  "OR",    "NOT",   "EXCEPTION"});
}

// The tables the line names, and their aliases (alias -> table).
void tablas_de_la_linea(const std::vector<Pieza>& p, std::vector<std::string>* tablas,
                        std::map<std::string, std::string>* alias) {
  for (size_t i = 0; i < p.size(); i++) {
    if (!p[i].nombre || !antes_de_tabla(p[i].texto)) continue;
    bool lista = p[i].texto == "FROM";
    size_t j = i + 1;
    for (;;) {
      if (j >= p.size() || !p[j].nombre || reservada(p[j].texto)) break;
      std::string tabla = p[j].texto;
      j++;
      if (j + 1 < p.size() && p[j].texto == "." && p[j + 1].nombre) {
        tabla += "." + p[j + 1].texto;
        j += 2;
      }
      bool nueva = true;
      for (const std::string& t : *tablas) nueva = nueva && t != tabla;
      if (nueva) tablas->push_back(tabla);
      if (j < p.size() && p[j].nombre && p[j].texto == "AS") j++;
      if (j < p.size() && p[j].nombre && !reservada(p[j].texto)) (*alias)[p[j++].texto] = tabla;
      if (!lista || j >= p.size() || p[j].texto != ",") break;
      j++;
    }
  }
}

}  // namespace

ContextoNombre contexto_de_nombre(const char* linea, size_t largo, size_t cursor) {
  ContextoNombre c;
  if (cursor > largo) cursor = largo;
  std::vector<Pieza> todas = piezas_de(linea, largo);
  std::vector<Pieza> antes;
  for (const Pieza& p : todas)
    if (p.fin <= cursor) antes.push_back(p);
  long k = (long)antes.size() - 1;
  size_t inicio = cursor;
  if (k >= 0 && antes[k].nombre && antes[k].fin == cursor) inicio = antes[k--].ini;
  std::string calificador;
  if (k >= 1 && antes[k].texto == "." && antes[k].fin == inicio && antes[k - 1].nombre &&
      antes[k - 1].fin == antes[k].ini) {
    calificador = antes[k - 1].texto;
    k -= 2;
  }
  // \d NAME, or a word right after a word that tables follow, or in FROM's
  // list after a comma.
  bool tabla = k == 0 && antes[0].texto == "\\D";
  if (k >= 0 && antes_de_tabla(antes[k].texto)) tabla = true;
  if (k >= 0 && antes[k].texto == ",") {
    for (long j = k - 1; j >= 0; j--) {
      if (antes[j].nombre && (reservada(antes[j].texto))) {
        tabla = antes[j].texto == "FROM";
        break;
      }
    }
  }
  if (tabla) {
    c.clase = ClaseNombre::tabla;
    c.biblioteca = calificador;
    return c;
  }
  if (k < 0) return c;  // the first word is the console's to complete
  std::vector<std::string> tablas;
  std::map<std::string, std::string> alias;
  tablas_de_la_linea(todas, &tablas, &alias);
  if (!calificador.empty()) {
    auto a = alias.find(calificador);
    std::string elegida = a != alias.end() ? a->second : "";
    for (const std::string& t : tablas) {
      size_t punto = t.rfind('.');
      if (elegida.empty() &&
          (t == calificador || (punto != std::string::npos && t.substr(punto + 1) == calificador)))
        elegida = t;
    }
    if (elegida.empty()) return c;
    tablas.assign(1, elegida);
  }
  if (tablas.empty()) return c;
  c.clase = ClaseNombre::columna;
  c.tablas = tablas;
  return c;
}

namespace {

std::map<std::string, std::vector<std::string>> tablas_de;    // library -> its tables
std::map<std::string, std::vector<std::string>> columnas_de;  // "T" or "LIB.T" -> its columns
bool catalogo_rechazado = false;                              // the server refused the views: not asked again
size_t bytes_guardados = 0;                                   // of the rows read into the two stores

// Reads a catalogue statement of `columnas` columns, all of it by the time
// `limite` (plat_reloj_ms). False when it gave nothing (no answer in time, a
// refused or broken reply, more names than the store may keep, a lost
// session): nothing is kept then.
bool lee(const std::string& sentencia, int columnas, std::vector<std::vector<std::string>>* filas,
         int64_t limite) {
  if (catalogo_rechazado || sesion_perdida()) return false;
  int codigo = 0;
  size_t bytes = 0;
  Lectura l = lee_filas_de_texto(sentencia, columnas, filas, &codigo, limite,
                                 MAX_BYTES_NOMBRES - bytes_guardados, &bytes);
  if (l == Lectura::error_sql) catalogo_rechazado = true;
  if (l != Lectura::bien) return false;
  bytes_guardados += bytes;
  return true;
}

// The tables of the libraries, those not yet known read in one statement.
void conoce_tablas(const std::vector<std::string>& bibliotecas, int64_t limite) {
  std::vector<std::string> faltan;
  for (const std::string& b : bibliotecas)
    if (tablas_de.count(b) == 0) faltan.push_back(b);
  if (faltan.empty()) return;
  std::vector<std::vector<std::string>> filas;
  if (!lee("SELECT TABLE_SCHEMA, TABLE_NAME FROM QSYS2.SYSTABLES WHERE TABLE_SCHEMA IN (" +
               literales_sql(faltan) + ") AND FILE_TYPE = 'D' ORDER BY TABLE_NAME",
           2, &filas, limite))
    return;
  for (const std::string& b : faltan) tablas_de[b];
  for (const auto& f : filas) tablas_de[f[0]].push_back(f[1]);
}

// The columns of the tables ("T", looked for in the libraries of the search,
// or "LIB.T"), those not yet known read in one statement.
void conoce_columnas(const std::vector<std::string>& tablas, int64_t limite) {
  std::vector<std::string> faltan, nombres, bibliotecas = bibliotecas_de_busqueda();
  for (const std::string& t : tablas) {
    if (columnas_de.count(t) != 0) continue;
    faltan.push_back(t);
    size_t punto = t.find('.');
    nombres.push_back(punto == std::string::npos ? t : t.substr(punto + 1));
    if (punto != std::string::npos) bibliotecas.push_back(t.substr(0, punto));
  }
  if (faltan.empty() || bibliotecas.empty()) return;
  std::vector<std::vector<std::string>> filas;
  if (!lee("SELECT TABLE_SCHEMA, TABLE_NAME, COLUMN_NAME FROM QSYS2.SYSCOLUMNS WHERE TABLE_NAME IN (" +
               literales_sql(nombres) + ") AND TABLE_SCHEMA IN (" + literales_sql(bibliotecas) +
               ") ORDER BY TABLE_SCHEMA, TABLE_NAME, ORDINAL_POSITION",
           3, &filas, limite))
    return;
  std::vector<std::string> busqueda = bibliotecas_de_busqueda();
  for (const std::string& t : faltan) {
    std::vector<std::string>& columnas = columnas_de[t];
    size_t punto = t.find('.');
    // "LIB.T": that library; "T": the first of the search that has it.
    std::vector<std::string> donde =
        punto == std::string::npos ? busqueda : std::vector<std::string>{t.substr(0, punto)};
    std::string nombre = punto == std::string::npos ? t : t.substr(punto + 1);
    for (const std::string& b : donde) {
      for (const auto& f : filas)
        if (f[0] == b && f[1] == nombre) columnas.push_back(f[2]);
      if (!columnas.empty()) break;
    }
  }
}

}  // namespace

int nombres_para_completar(const char* linea, size_t largo, size_t cursor, const char** nombres, int max) {
  ContextoNombre c = contexto_de_nombre(linea, largo, cursor);
  // One deadline for everything this Tab asks the server.
  int64_t limite = plat_reloj_ms() + PLAZO_CATALOGO_MS;
  std::vector<const std::vector<std::string>*> listas;
  if (c.clase == ClaseNombre::tabla) {
    std::vector<std::string> bibliotecas =
        c.biblioteca.empty() ? bibliotecas_de_busqueda() : std::vector<std::string>{c.biblioteca};
    conoce_tablas(bibliotecas, limite);
    for (const std::string& b : bibliotecas) {
      auto t = tablas_de.find(b);
      if (t != tablas_de.end()) listas.push_back(&t->second);
    }
  } else if (c.clase == ClaseNombre::columna) {
    conoce_columnas(c.tablas, limite);
    for (const std::string& t : c.tablas) {
      auto col = columnas_de.find(t);
      if (col != columnas_de.end()) listas.push_back(&col->second);
    }
  }
  std::set<std::string_view> vistos;
  int n = 0;
  for (const auto* lista : listas) {
    for (const std::string& nombre : *lista) {
      if (n == max) return n;
      if (vistos.insert(nombre).second) nombres[n++] = nombre.c_str();
    }
  }
  return n;
}

// The catalogue statements: recognising their text and building their rows.
#include "catalogo_sql.h"

#include <algorithm>
#include <cctype>
#include <regex>

#include "codigo.h"
#include "sistema.h"

namespace {
constexpr char FIN_VALOR = '\xAF';

// The statement with what does not change its meaning taken out: upper case
// and single blanks outside quotes, no blanks around "," "(" "=" nor before
// ")", and no trailing ";" or isolation clause.
std::string normaliza(const std::string& sql) {
  std::string s;
  bool en_comillas = false;
  for (char ch : sql) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (ch == '\'') en_comillas = !en_comillas;
    if (!en_comillas && std::isspace(c)) {
      if (!s.empty() && s.back() != ' ') s += ' ';
      continue;
    }
    s += en_comillas ? ch : static_cast<char>(std::toupper(c));
  }
  static const std::regex final(R"(( ?;)+ ?$| WITH (UR|CS|RS|RR|NC) ?;? ?$| $)");
  static const std::regex junto(R"( ?([,(=]) ?| (\)))");
  std::string previo;
  while (previo != s) {
    previo = s;
    s = std::regex_replace(s, final, "");
  }
  // Only outside quotes: the literals here are names, which hold no blanks.
  return std::regex_replace(s, junto, "$1$2");
}

std::string mayusculas(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

// The object types of OBJECT_STATISTICS's second argument, separated by
// blanks or commas; *ALL names both. Returns false for an empty list.
bool tipos(const std::string& lista, PeticionCatalogo& p) {
  p.archivos = p.mensajes = false;
  std::string t;
  for (char ch : mayusculas(lista) + " ") {
    if (ch != ' ' && ch != ',') {
      t += ch;
      continue;
    }
    if (t == "*FILE" || t == "*ALL") p.archivos = true;
    if (t == "*MSGF" || t == "*ALL") p.mensajes = true;
    t.clear();
  }
  return p.archivos || p.mensajes;
}

// A CP1252 value padded with blanks to a CHAR column's width.
std::string fijo(std::string v, size_t ancho) {
  if (v.size() < ancho) v.resize(ancho, ' ');
  return v;
}

// YYYYMMDD and HHMMSS as DB2 shows a TIMESTAMP: YYYY-MM-DD-HH.MM.SS.ffffff;
// empty (NULL) when the catalogue holds no valid date and time.
std::string marca_de_tiempo(const std::string& f, const std::string& h) {
  auto cifras = [](const std::string& s, size_t n) {
    return s.size() == n && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!cifras(f, 8) || !cifras(h, 6)) return "";
  return f.substr(0, 4) + "-" + f.substr(4, 2) + "-" + f.substr(6, 2) + "-" + h.substr(0, 2) + "." +
         h.substr(2, 2) + "." + h.substr(4, 2) + ".000000";
}

// The server sorts in its own code: EBCDIC byte order (letters before
// digits, "#", "@" and "$" before both).
std::string clave_ebcdic(const std::string& s) {
  std::string k = s;
  a_ebcdic(k);
  return k;
}

Columna columna(const char* nombre, int tipo, int ancho) {
  Columna c;
  c.nombre = nombre;
  c.tipo = tipo;
  c.ancho = ancho;
  return c;
}

struct Fila {
  std::string clave;
  std::string valores;
};

std::string texto(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}
}  // namespace

Catalogo reconoce_catalogo(const std::string& sql, PeticionCatalogo& p) {
  static const std::regex objetos(
      R"(SELECT OBJNAME,OBJTYPE,OBJSIZE FROM TABLE\(QSYS2[./]OBJECT_STATISTICS\('([^']*)','([^']*)'\)\))"
      R"((?: ?(?:AS )?[A-Z_][A-Z0-9_#@$]*)?)"
      R"((?: WHERE (?:[A-Z_][A-Z0-9_#@$]*\.)?OBJNAME='([^']*)')?)"
      R"((?: ORDER BY (?:[A-Z_][A-Z0-9_#@$]*\.)?OBJNAME(?: ASC)?)?)");
  static const std::regex miembros(
      R"(SELECT SYSTEM_TABLE_NAME,SYSTEM_TABLE_MEMBER,SOURCE_TYPE,DATA_SIZE,LAST_CHANGE_TIMESTAMP)"
      R"( FROM QSYS2[./]SYSPARTITIONSTAT WHERE SYSTEM_TABLE_SCHEMA='([^']*)')"
      R"((?: AND SYSTEM_TABLE_NAME='([^']*)')?)"
      R"((?: ORDER BY (?:1,2|SYSTEM_TABLE_NAME,SYSTEM_TABLE_MEMBER))?)");
  std::string s = normaliza(sql);
  if (s.compare(0, 7, "SELECT ") != 0) return Catalogo::NINGUNA;
  std::smatch m;
  p = PeticionCatalogo();
  if (std::regex_match(s, m, objetos) && tipos(m[2].str(), p)) {
    p.biblioteca = mayusculas(m[1].str());
    p.archivo = mayusculas(m[3].str());
    return Catalogo::OBJETOS;
  }
  if (std::regex_match(s, m, miembros)) {
    p.biblioteca = mayusculas(m[1].str());
    p.archivo = mayusculas(m[2].str());
    return Catalogo::MIEMBROS;
  }
  return Catalogo::NINGUNA;
}

void lee_catalogo(sqlite3* cat, Catalogo cual, const PeticionCatalogo& p, std::vector<Columna>& columnas,
                  std::vector<std::string>& filas) {
  columnas.clear();
  filas.clear();
  // The objects that the transfer side sends: spool files are no library
  // objects, and a library's SQL tables are never sent.
  const char* sql = cual == Catalogo::OBJETOS
                        ? "SELECT archivo, max(clase = 'M'), sum(length(datos)) FROM objetos"
                          " WHERE biblioteca = ?1 AND (?2 = '' OR archivo = ?2) AND instr(?3, clase) > 0"
                          " GROUP BY archivo, clase = 'M'"
                        : "SELECT archivo, miembro, clase, tipo, length(datos), fecha, hora FROM objetos"
                          " WHERE biblioteca = ?1 AND (?2 = '' OR archivo = ?2) AND clase IN ('F', 'D', 'C')";
  if (cual == Catalogo::OBJETOS) {
    columnas = {columna("OBJNAME", 448, 10), columna("OBJTYPE", 448, 8), columna("OBJSIZE", 484, 15)};
  } else {
    columnas = {columna("SYSTEM_TABLE_NAME", 452, 10), columna("SYSTEM_TABLE_MEMBER", 452, 10),
                columna("SOURCE_TYPE", 448, 10), columna("DATA_SIZE", 492, 19),
                columna("LAST_CHANGE_TIMESTAMP", 392, 26)};
  }
  std::string clases = std::string(p.archivos ? "FDC" : "") + (p.mensajes ? "M" : "");
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(cat, sql, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_finalize(st);
    return;
  }
  sqlite3_bind_text(st, 1, p.biblioteca.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 2, p.archivo.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 3, clases.c_str(), -1, SQLITE_TRANSIENT);
  std::vector<Fila> leidas;
  while (sqlite3_step(st) == SQLITE_ROW) {
    Fila f;
    std::string archivo = texto(st, 0);
    if (cual == Catalogo::OBJETOS) {
      bool mensaje = sqlite3_column_int(st, 1) != 0;
      std::string tipo = mensaje ? "*MSGF" : "*FILE";
      f.clave = clave_ebcdic(fijo(archivo, 10)) + clave_ebcdic(tipo);
      f.valores =
          archivo + FIN_VALOR + tipo + FIN_VALOR + std::to_string(sqlite3_column_int64(st, 2)) + FIN_VALOR;
    } else {
      // A converted data file is one member of the file's own name; only
      // source members have a source type.
      std::string miembro = texto(st, 1);
      if (miembro.empty()) miembro = archivo;
      bool fuente = texto(st, 2) == "F";
      f.clave = clave_ebcdic(fijo(archivo, 10)) + clave_ebcdic(fijo(miembro, 10));
      f.valores = fijo(archivo, 10) + FIN_VALOR + fijo(miembro, 10) + FIN_VALOR +
                  (fuente ? texto(st, 3) : std::string()) + FIN_VALOR +
                  std::to_string(sqlite3_column_int64(st, 4)) + FIN_VALOR +
                  marca_de_tiempo(texto(st, 5), texto(st, 6)) + FIN_VALOR;
    }
    leidas.push_back(std::move(f));
  }
  sqlite3_finalize(st);
  std::stable_sort(leidas.begin(), leidas.end(),
                   [](const Fila& a, const Fila& b) { return a.clave < b.clave; });
  for (Fila& f : leidas) filas.push_back(std::move(f.valores));
}

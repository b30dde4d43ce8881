// DB2 dialect and error mapping over SQLite, and the text form of values.
#include "sql_traduce.h"

#include <cctype>
#include <cstdlib>
#include <regex>

#include "codigo.h"
#include "formato.h"

namespace {
bool es_ident(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' || c == '$';
}

bool igual_sin_caso(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The name inside an SQLite message after the given prefix ("no such table: X").
std::string tras(const std::string& m, const char* prefijo) {
  size_t p = m.find(prefijo);
  if (p == std::string::npos) return "";
  return m.substr(p + std::char_traits<char>::length(prefijo));
}

std::string mayusculas(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::string adapta_sql(const std::string& sql, const std::vector<std::string>& bibliotecas) {
  std::string s = sql;
  while (!s.empty() && (std::isspace(static_cast<unsigned char>(s.back())) || s.back() == ';')) s.pop_back();
  // System naming: LIB/TABLE outside quotes, only after a known library, so
  // that a division a/b stays a division.
  char comilla = 0;
  for (size_t i = 0; i < s.size(); i++) {
    char ch = s[i];
    if (comilla) {
      if (ch == comilla) comilla = 0;
      continue;
    }
    if (ch == '\'' || ch == '"') {
      comilla = ch;
      continue;
    }
    if (ch != '/' || i == 0 || i + 1 >= s.size() || !es_ident(s[i - 1]) || !es_ident(s[i + 1])) continue;
    size_t ini = i;
    while (ini > 0 && es_ident(s[ini - 1])) ini--;
    std::string previo = s.substr(ini, i - ini);
    for (const std::string& b : bibliotecas) {
      if (igual_sin_caso(b, previo)) s[i] = '.';
    }
  }
  static const std::regex fetch(R"(\bFETCH\s+FIRST\s+(\d+)\s+ROWS?\s+ONLY\b)", std::regex::icase);
  static const std::regex fetch1(R"(\bFETCH\s+FIRST\s+ROWS?\s+ONLY\b)", std::regex::icase);
  static const std::regex aislamiento(R"(\s+WITH\s+(UR|CS|RS|RR|NC)\s*$)", std::regex::icase);
  static const std::regex ahora(R"(\bCURRENT\s+(DATE|TIMESTAMP|TIME)\b)", std::regex::icase);
  s = std::regex_replace(s, fetch, "LIMIT $1");
  s = std::regex_replace(s, fetch1, "LIMIT 1");
  s = std::regex_replace(s, aislamiento, "");
  s = std::regex_replace(s, ahora, "CURRENT_$1");
  return s;
}

ErrorSql error_de_sqlite(const std::string& m) {
  std::string n;
  if (!(n = tras(m, "no such table: ")).empty()) {
    std::string lib = "*LIBL", obj = mayusculas(n);
    size_t punto = obj.find('.');
    if (punto != std::string::npos) {
      lib = obj.substr(0, punto);
      obj = obj.substr(punto + 1);
    }
    return {-204, obj + " en " + lib + " de tipo *FILE no encontrado."};
  }
  if (!(n = tras(m, "unknown database ")).empty())
    return {-204, "Biblioteca " + mayusculas(n) + " no encontrada."};
  if (!(n = tras(m, "no such column: ")).empty()) {
    return {-206, "La columna " + mayusculas(n) + " no está en la tabla especificada."};
  }
  if (!(n = tras(m, "no such function: ")).empty()) {
    return {-204, "Función " + mayusculas(n) + " de tipo *N no encontrada."};
  }
  if (m.find("syntax error") != std::string::npos) {
    std::string simbolo = tras(m, "near \"");
    size_t fin = simbolo.find('"');
    if (fin != std::string::npos) simbolo.resize(fin);
    return {-104, "Símbolo " + simbolo + " no válido."};
  }
  if (m.find("incomplete input") != std::string::npos)
    return {-104, "Sentencia incompleta: falta un símbolo."};
  if (m.find("UNIQUE constraint failed") != std::string::npos || m.find("PRIMARY KEY") != std::string::npos) {
    return {-803, "Valor duplicado para clave única en " + mayusculas(tras(m, "failed: ")) + "."};
  }
  if (!(n = tras(m, "NOT NULL constraint failed: ")).empty()) {
    return {-407, "No se permite el valor nulo en la columna " + mayusculas(n) + "."};
  }
  if (m.find("CHECK constraint failed") != std::string::npos)
    return {-545, "La fila no cumple la restricción de comprobación."};
  if (m.find("FOREIGN KEY constraint failed") != std::string::npos)
    return {-530, "Valor de clave foránea no válido."};
  if (m.find("values for") != std::string::npos || m.find("values were supplied") != std::string::npos) {
    return {-117, "El número de valores no coincide con el número de columnas."};
  }
  if (m.find("already exists") != std::string::npos) {
    return {-601, "El objeto " + mayusculas(tras(m, "table ")) + " ya existe."};
  }
  if (m.find("datatype mismatch") != std::string::npos)
    return {-408, "El valor no es compatible con la columna."};
  if (m.find("locked") != std::string::npos || m.find("busy") != std::string::npos) {
    return {-913, "Fila u objeto en uso por otro trabajo."};
  }
  if (m.find("readonly") != std::string::npos) return {-7008, "La tabla no es válida para la operación."};
  return {-901, "Error del gestor SQL: " + m};
}

std::vector<Columna> columnas_de(sqlite3_stmt* st) {
  std::vector<Columna> cols;
  int n = sqlite3_column_count(st);
  for (int i = 0; i < n; i++) {
    Columna c;
    const char* nombre = sqlite3_column_name(st, i);
    c.nombre = cp1252_de_utf8(mayusculas(nombre ? nombre : ""));
    for (char& ch : c.nombre) {
      if (ch == '-' || ch == '!' || static_cast<unsigned char>(ch) < 0x20) ch = '_';
    }
    if (c.nombre.size() > 128) c.nombre.resize(128);
    const char* decl = sqlite3_column_decltype(st, i);
    std::string d = mayusculas(decl ? decl : "");
    if (d.find("BIGINT") == 0)
      c.tipo = 492;
    else if (d.find("SMALLINT") == 0)
      c.tipo = 500;
    else if (d.find("INT") != std::string::npos)
      c.tipo = 496;
    else if (d.find("DEC") == 0)
      c.tipo = 484;
    else if (d.find("NUM") == 0)
      c.tipo = 488;
    else if (d.find("REAL") == 0 || d.find("FLOA") == 0 || d.find("DOUB") == 0)
      c.tipo = 480;
    else if (d.find("TIMESTAMP") == 0)
      c.tipo = 392;
    else if (d.find("DATE") == 0)
      c.tipo = 384;
    else if (d.find("TIME") == 0)
      c.tipo = 388;
    else if (d.find("CHAR") == 0 || d.find("CHARACTER") == 0)
      c.tipo = 452;
    size_t coma = d.find(',');
    if ((c.tipo == 484 || c.tipo == 488) && coma != std::string::npos)
      c.escala = std::atoi(d.c_str() + coma + 1);
    if (c.escala < 0 || c.escala > 31) c.escala = 0;
    cols.push_back(c);
  }
  return cols;
}

std::string valor_de(sqlite3_stmt* st, int i, const Columna& col, size_t tope) {
  std::string v;
  char buf[64];
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
      if (col.escala > 0) {
        formatea(buf, "%.*f", col.escala, static_cast<double>(sqlite3_column_int64(st, i)));
      } else {
        formatea(buf, "%lld", static_cast<long long>(sqlite3_column_int64(st, i)));
      }
      v = buf;
      break;
    case SQLITE_FLOAT:
      if (col.escala > 0) {
        formatea(buf, "%.*f", col.escala, sqlite3_column_double(st, i));
      } else {
        formatea(buf, "%.15g", sqlite3_column_double(st, i));
      }
      v = buf;
      break;
    case SQLITE_BLOB: {
      const unsigned char* p = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
      int n = sqlite3_column_bytes(st, i);
      for (int k = 0; k < n && v.size() + 2 <= tope; k++) {
        formatea(buf, "%02X", p[k]);
        v += buf;
      }
      break;
    }
    default: {
      const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      v = cp1252_de_utf8(std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(st, i))));
    }
  }
  if (v.size() > tope) v.resize(tope);
  for (char& ch : v) {
    if (static_cast<unsigned char>(ch) == 0xAF || ch == 0) ch = ' ';
  }
  return v;
}

std::string descriptores(const std::vector<Columna>& cols) {
  std::string d;
  char buf[64];
  for (const Columna& c : cols) {
    formatea(buf, "-%d-%d-%d!", c.tipo, c.ancho, c.escala);
    d += c.nombre + buf;
  }
  return d;
}

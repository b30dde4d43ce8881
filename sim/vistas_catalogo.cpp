// The catalogue views of QSYS2 made from the SQLite schema; see
// vistas_catalogo.h.
#include "vistas_catalogo.h"

#include <cctype>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace {

const char* const TABLAS_QSYS2 =
    "CREATE TABLE IF NOT EXISTS QSYS2.SYSTABLES (TABLE_NAME VARCHAR(128), TABLE_OWNER VARCHAR(128),"
    " TABLE_TYPE CHAR(1), COLUMN_COUNT INTEGER, ROW_LENGTH INTEGER, TABLE_TEXT VARCHAR(50),"
    " LONG_COMMENT VARCHAR(2000), TABLE_SCHEMA VARCHAR(128), LAST_ALTERED_TIMESTAMP TIMESTAMP,"
    " SYSTEM_TABLE_NAME CHAR(10), SYSTEM_TABLE_SCHEMA CHAR(10), FILE_TYPE CHAR(1));"
    "CREATE TABLE IF NOT EXISTS QSYS2.SYSCOLUMNS (COLUMN_NAME VARCHAR(128), TABLE_NAME VARCHAR(128),"
    " TABLE_OWNER VARCHAR(128), ORDINAL_POSITION INTEGER, DATA_TYPE VARCHAR(8), LENGTH INTEGER,"
    " NUMERIC_SCALE INTEGER, IS_NULLABLE CHAR(1), IS_UPDATABLE CHAR(1), LONG_COMMENT VARCHAR(2000),"
    " HAS_DEFAULT CHAR(1), COLUMN_HEADING VARCHAR(60), STORAGE INTEGER, NUMERIC_PRECISION INTEGER,"
    " CCSID INTEGER, TABLE_SCHEMA VARCHAR(128), COLUMN_DEFAULT VARCHAR(2000), CHARACTER_MAXIMUM_LENGTH "
    "INTEGER,"
    " CHARACTER_OCTET_LENGTH INTEGER, NUMERIC_PRECISION_RADIX INTEGER, DATETIME_PRECISION INTEGER,"
    " COLUMN_TEXT VARCHAR(50), SYSTEM_COLUMN_NAME CHAR(10), SYSTEM_TABLE_NAME CHAR(10),"
    " SYSTEM_TABLE_SCHEMA CHAR(10));"
    "CREATE TABLE IF NOT EXISTS QSYS2.SYSTABLESTAT (TABLE_SCHEMA VARCHAR(128), TABLE_NAME VARCHAR(128),"
    " PARTITION_TYPE CHAR(1), NUMBER_PARTITIONS INTEGER, NUMBER_ROWS BIGINT, NUMBER_DELETED_ROWS BIGINT,"
    " DATA_SIZE BIGINT, LAST_CHANGE_TIMESTAMP TIMESTAMP, SYSTEM_TABLE_SCHEMA CHAR(10),"
    " SYSTEM_TABLE_NAME CHAR(10));"
    "DELETE FROM QSYS2.SYSTABLES; DELETE FROM QSYS2.SYSCOLUMNS; DELETE FROM QSYS2.SYSTABLESTAT;";

std::string mayusculas(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string recorta(const std::string& s) {
  size_t i = s.find_first_not_of(" \t\r");
  if (i == std::string::npos) return "";
  return s.substr(i, s.find_last_not_of(" \t\r") - i + 1);
}

// A system name: the first ten characters.
std::string sistema(const std::string& nombre) {
  return nombre.substr(0, 10);
}

std::string texto(sqlite3_stmt* st, int i) {
  const unsigned char* t = sqlite3_column_text(st, i);
  return t ? reinterpret_cast<const char*>(t) : "";
}

// DATA_TYPE, LENGTH and NUMERIC_SCALE (-1: NULL) of a declared type.
struct Tipo {
  std::string tipo;
  int largo;
  int escala;
  int almacen;  // bytes of a row it takes (ROW_LENGTH)
};

Tipo tipo_de(const std::string& declarado) {
  std::string d = mayusculas(declarado);
  static const std::regex forma(R"(^\s*([A-Z ]*?)\s*(?:\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)");
  std::smatch m;
  std::string base = d;
  int n1 = -1, n2 = -1;
  if (std::regex_match(d, m, forma)) {
    base = m[1].str();
    if (m[2].matched) n1 = std::atoi(m[2].str().c_str());
    if (m[3].matched) n2 = std::atoi(m[3].str().c_str());
  }
  auto con = [&](int defecto) { return n1 > 0 ? n1 : defecto; };
  if (base == "VARCHAR" || base == "CHARACTER VARYING" || base == "CHAR VARYING")
    return {"VARCHAR", con(255), -1, con(255) + 2};
  if (base == "CHAR" || base == "CHARACTER") return {"CHAR", con(1), -1, con(1)};
  if (base == "DECIMAL" || base == "DEC") return {"DECIMAL", con(5), n2 > 0 ? n2 : 0, con(5) / 2 + 1};
  if (base == "NUMERIC") return {"NUMERIC", con(5), n2 > 0 ? n2 : 0, con(5)};
  if (base == "SMALLINT") return {"SMALLINT", 2, 0, 2};
  if (base == "BIGINT") return {"BIGINT", 8, 0, 8};
  if (base == "INTEGER" || base == "INT") return {"INTEGER", 4, 0, 4};
  if (base == "REAL") return {"FLOAT", 4, -1, 4};
  if (base == "DOUBLE" || base == "DOUBLE PRECISION" || base == "FLOAT") return {"FLOAT", 8, -1, 8};
  if (base == "DATE") return {"DATE", 10, -1, 10};
  if (base == "TIME") return {"TIME", 8, -1, 8};
  if (base == "TIMESTAMP") return {"TIMESTMP", 26, 6, 26};
  if (base == "BLOB") return {"BLOB", con(1048576), -1, 32};
  return {"CLOB", con(1048576), -1, 32};
}

// The comments of a CREATE TABLE text: the one on its first line is the
// table's; one on the line of a column (the first word of the line's code)
// is that column's. Names upper-cased.
struct Textos {
  std::string tabla;
  std::vector<std::pair<std::string, std::string>> columnas;
};

Textos textos_de(const std::string& sql) {
  Textos t;
  std::istringstream in(sql);
  std::string linea;
  bool primera = true;
  while (std::getline(in, linea)) {
    size_t guion = linea.find("--");
    std::string comentario = guion == std::string::npos ? "" : recorta(linea.substr(guion + 2));
    std::string codigo = recorta(guion == std::string::npos ? linea : linea.substr(0, guion));
    if (primera) {
      t.tabla = comentario;
      primera = false;
      continue;
    }
    if (comentario.empty()) continue;
    size_t fin = 0;
    while (fin < codigo.size() &&
           (std::isalnum(static_cast<unsigned char>(codigo[fin])) || codigo[fin] == '_'))
      fin++;
    if (fin > 0) t.columnas.emplace_back(mayusculas(codigo.substr(0, fin)), comentario);
  }
  return t;
}

bool ejecuta(sqlite3* db, const std::string& sql, std::string& error) {
  char* mensaje = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &mensaje) == SQLITE_OK) return true;
  error = mensaje ? mensaje : "error de SQLite";
  sqlite3_free(mensaje);
  return false;
}

// Binds the values in order (an empty optional is NULL) and steps once.
struct Insercion {
  sqlite3_stmt* st = nullptr;
  int i = 0;
  Insercion(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
  ~Insercion() { sqlite3_finalize(st); }
  Insercion& t(const std::string& v) {
    sqlite3_bind_text(st, ++i, v.c_str(), -1, SQLITE_TRANSIENT);
    return *this;
  }
  Insercion& n(long long v) {
    sqlite3_bind_int64(st, ++i, v);
    return *this;
  }
  Insercion& nulo() {
    sqlite3_bind_null(st, ++i);
    return *this;
  }
  Insercion& t_o_nulo(const std::string& v) { return v.empty() ? nulo() : t(v); }
  Insercion& n_o_nulo(int v) { return v < 0 ? nulo() : n(v); }
  bool fin() {
    bool ok = st && sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    i = 0;
    return ok;
  }
};

// The rows of one table or view of the schema `lib`.
bool anade_tabla(sqlite3* db, const std::string& lib, const std::string& nombre, bool vista,
                 const std::string& sql, Insercion& tablas, Insercion& columnas, Insercion& estadisticas) {
  Textos textos = textos_de(sql);
  std::string tabla = mayusculas(nombre);
  sqlite3_stmt* st = nullptr;
  std::string info = "PRAGMA \"" + lib + "\".table_info(\"" + nombre + "\")";
  if (sqlite3_prepare_v2(db, info.c_str(), -1, &st, nullptr) != SQLITE_OK) return false;
  int cuantas = 0, largo_fila = 0;
  bool ok = true;
  while (ok && sqlite3_step(st) == SQLITE_ROW) {
    cuantas++;
    std::string columna = mayusculas(texto(st, 1));
    Tipo tipo = tipo_de(texto(st, 2));
    largo_fila += tipo.almacen;
    bool nulos = sqlite3_column_int(st, 3) == 0 && sqlite3_column_int(st, 5) == 0;
    std::string comentario;
    for (const auto& c : textos.columnas)
      if (c.first == columna) comentario = c.second;
    bool caracter = tipo.tipo == "CHAR" || tipo.tipo == "VARCHAR" || tipo.tipo == "CLOB";
    bool numero = tipo.escala >= 0 && !caracter && tipo.tipo != "TIMESTMP";
    ok = columnas.t(columna)
             .t(tabla)
             .t("ZIZEZ")
             .n(cuantas)
             .t(tipo.tipo)
             .n(tipo.largo)
             .n_o_nulo(tipo.escala)
             .t(nulos ? "Y" : "N")
             .t(vista ? "N" : "Y")
             .nulo()
             .t(texto(st, 4).empty() ? "N" : "Y")
             .nulo()
             .n(tipo.almacen)
             .n_o_nulo(numero ? tipo.largo : -1)
             .n_o_nulo(caracter ? 284 : -1)
             .t(lib)
             .t_o_nulo(texto(st, 4))
             .n_o_nulo(caracter ? tipo.largo : -1)
             .n_o_nulo(caracter ? tipo.largo : -1)
             .n_o_nulo(numero ? 10 : -1)
             .n_o_nulo(tipo.tipo == "TIMESTMP" ? 6 : -1)
             .t_o_nulo(comentario)
             .t(sistema(columna))
             .t(sistema(tabla))
             .t(sistema(lib))
             .fin();
  }
  sqlite3_finalize(st);
  if (!ok) return false;
  ok = tablas.t(tabla)
           .t("ZIZEZ")
           .t(vista ? "V" : "T")
           .n(cuantas)
           .n(largo_fila)
           .t(textos.tabla)
           .nulo()
           .t(lib)
           .t("2025-01-01-00.00.00.000000")
           .t(sistema(tabla))
           .t(sistema(lib))
           .t("D")
           .fin();
  if (!ok || vista) return ok;
  long long filas = 0;
  std::string cuenta = "SELECT count(*) FROM \"" + lib + "\".\"" + nombre + "\"";
  if (sqlite3_prepare_v2(db, cuenta.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    filas = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return estadisticas.t(lib)
      .t(tabla)
      .t(" ")
      .n(1)
      .n(filas)
      .n(0)
      .n(filas * largo_fila)
      .t("2025-01-01-00.00.00.000000")
      .t(sistema(lib))
      .t(sistema(tabla))
      .fin();
}

}  // namespace

bool nombra_vistas_catalogo(const std::string& sql) {
  static const std::regex vista(R"(\bQSYS2\s*[./]\s*SYS(TABLES|COLUMNS|TABLESTAT)\b)", std::regex::icase);
  return std::regex_search(sql, vista);
}

bool prepara_vistas_catalogo(sqlite3* db, const std::vector<std::string>& bibliotecas, std::string& error) {
  if (sqlite3_db_filename(db, "QSYS2") == nullptr &&
      !ejecuta(db, "ATTACH DATABASE ':memory:' AS QSYS2", error))
    return false;
  if (!ejecuta(db, TABLAS_QSYS2, error)) return false;
  Insercion tablas(db, "INSERT INTO QSYS2.SYSTABLES VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
  Insercion columnas(
      db, "INSERT INTO QSYS2.SYSCOLUMNS VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  Insercion estadisticas(db, "INSERT INTO QSYS2.SYSTABLESTAT VALUES (?,?,?,?,?,?,?,?,?,?)");
  for (const std::string& lib : bibliotecas) {
    sqlite3_stmt* st = nullptr;
    std::string sql =
        "SELECT name, type = 'view', coalesce(sql, '') FROM \"" + lib +
        "\".sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite%' ORDER BY name";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) continue;
    bool ok = true;
    while (ok && sqlite3_step(st) == SQLITE_ROW)
      ok = anade_tabla(db, lib, texto(st, 0), sqlite3_column_int(st, 1) != 0, texto(st, 2), tablas, columnas,
                       estadisticas);
    sqlite3_finalize(st);
    if (!ok) {
      error = std::string("catalogo de ") + lib + ": " + sqlite3_errmsg(db);
      return false;
    }
  }
  return true;
}

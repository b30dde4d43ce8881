// Building and reading the simulated system. The sample folder holds, per
// library, a catalogo.txt of one object per line, fields separated by "|":
//   L|texto de la biblioteca
//   F|archivo|miembro|tipo|fecha|hora|texto     member text in ARCHIVO/MIEMBRO.txt
//   D|archivo|miembro|reclen|fecha|hora|texto   records in ARCHIVO/MIEMBRO.txt
//   C|archivo|fecha|hora|texto                  records in ARCHIVO.txt
//   M|archivo|fecha|hora|texto                  "MSGID texto" lines in ARCHIVO.txt
//   S|nombre|reclen|67 o 68|fecha|hora|texto    printed lines in NOMBRE.txt
// and optionally tablas.sql, run in the library's own database. Sample files
// are UTF-8; the catalogue keeps CP1252 text and EBCDIC contents.
#include "sistema.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "codigo.h"

namespace {
const char* const ESQUEMA =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE bibliotecas(nombre TEXT PRIMARY KEY, texto TEXT NOT NULL);"
    "CREATE TABLE objetos(id INTEGER PRIMARY KEY, biblioteca TEXT NOT NULL, archivo TEXT NOT NULL,"
    " miembro TEXT NOT NULL, clase TEXT NOT NULL, tipo TEXT NOT NULL, texto TEXT NOT NULL,"
    " fecha TEXT NOT NULL, hora TEXT NOT NULL, reclen INTEGER NOT NULL, formato INTEGER NOT NULL,"
    " datos BLOB NOT NULL, UNIQUE(biblioteca, archivo, miembro, clase));";

std::vector<std::string> parte(const std::string& linea, char sep) {
  std::vector<std::string> campos;
  std::string campo;
  std::istringstream in(linea);
  while (std::getline(in, campo, sep)) campos.push_back(campo);
  if (!linea.empty() && linea.back() == sep) campos.push_back("");
  return campos;
}

bool lee_lineas(const std::string& ruta, std::vector<std::string>& lineas) {
  std::ifstream in(ruta, std::ios::binary);
  if (!in) return false;
  std::string linea;
  while (std::getline(in, linea)) {
    if (!linea.empty() && linea.back() == '\r') linea.pop_back();
    lineas.push_back(linea);
  }
  return true;
}

std::string sin_blancos_finales(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

// AS/400 object names: up to 10 characters of A-Z, 0-9, #, @, $, _ and ".".
bool nombre_valido(const std::string& n) {
  if (n.empty() || n.size() > 10 || n == "." || n == "..") return false;
  return std::all_of(n.begin(), n.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' || c == '@' || c == '$' || c == '_' ||
           c == '.';
  });
}

bool fecha_valida(const std::string& f, size_t largo) {
  return f.size() == largo && std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Records as EBCDIC: text records trimmed and each ended by the new-line byte
// 0x15; fixed records padded or cut to reclen with no separator.
std::string registros_texto(const std::vector<std::string>& lineas) {
  std::string datos;
  for (const std::string& l : lineas) {
    std::string r = cp1252_de_utf8(sin_blancos_finales(l));
    a_ebcdic_texto(r);
    datos += r;
    datos += '\x15';
  }
  return datos;
}

std::string registros_fijos(const std::vector<std::string>& lineas, int reclen) {
  std::string datos;
  for (const std::string& l : lineas) {
    std::string r = cp1252_de_utf8(l);
    r.resize(static_cast<size_t>(reclen), ' ');
    a_ebcdic(r);
    datos += r;
  }
  return datos;
}

// A converted copy arrives as one block translated byte by byte: its records
// are lines ended by the byte that the client's table turns into a line feed.
std::string registros_convertidos(const std::vector<std::string>& lineas) {
  std::string datos;
  for (const std::string& l : lineas) datos += cp1252_de_utf8(sin_blancos_finales(l)) + "\n";
  a_ebcdic(datos);
  return datos;
}

// Spool 67 lines are padded to the record length, so that the client breaks
// them by count; spool 68 lines end with the 0x03 line break of that layout.
std::string registros_spool(const std::vector<std::string>& lineas, int reclen, int formato) {
  std::string datos;
  for (const std::string& l : lineas) {
    std::string r = cp1252_de_utf8(sin_blancos_finales(l));
    if (formato == 67) {
      r.resize(static_cast<size_t>(reclen), ' ');
      a_ebcdic(r);
    } else {
      if (r.size() > static_cast<size_t>(reclen)) r.resize(static_cast<size_t>(reclen));
      a_ebcdic(r);
      r += '\x03';
    }
    datos += r;
  }
  return datos;
}

void borra_sistema(const std::string& bd) {
  DIR* d = opendir(bd.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    auto acaba = [&](const char* suf) {
      std::string s = suf;
      return n.size() >= s.size() && n.compare(n.size() - s.size(), s.size(), s) == 0;
    };
    if (acaba(".db") || acaba(".db-wal") || acaba(".db-shm") || acaba(".db-journal"))
      unlink((bd + "/" + n).c_str());
  }
  closedir(d);
}

struct Cargador {
  sqlite3* cat = nullptr;
  sqlite3_stmt* inserta = nullptr;
  std::string& error;
  explicit Cargador(std::string& e) : error(e) {}

  bool guarda(const Objeto& o, const std::string& datos) {
    sqlite3_reset(inserta);
    int i = 1;
    for (const std::string* s : {&o.biblioteca, &o.archivo, &o.miembro}) {
      sqlite3_bind_text(inserta, i++, s->c_str(), -1, SQLITE_TRANSIENT);
    }
    char clase[2] = {o.clase, 0};
    sqlite3_bind_text(inserta, i++, clase, -1, SQLITE_TRANSIENT);
    for (const std::string* s : {&o.tipo, &o.texto, &o.fecha, &o.hora}) {
      sqlite3_bind_text(inserta, i++, s->c_str(), -1, SQLITE_TRANSIENT);
    }
    sqlite3_bind_int(inserta, i++, o.reclen);
    sqlite3_bind_int(inserta, i++, o.formato);
    sqlite3_bind_blob(inserta, i++, datos.data(), static_cast<int>(datos.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(inserta) != SQLITE_DONE) {
      error = "no se puede guardar " + o.biblioteca + "/" + o.archivo + " " + o.miembro + ": " +
              sqlite3_errmsg(cat);
      return false;
    }
    return true;
  }

  // One catalogue line of library `lib`; dir is the library's sample folder.
  bool linea(const std::string& lib, const std::string& dir, const std::vector<std::string>& c,
             std::string& texto_lib) {
    const std::string& clase = c[0];
    Objeto o;
    o.biblioteca = lib;
    o.clase = clase.empty() ? '?' : clase[0];
    size_t esperados = clase == "L" ? 2 : (clase == "C" || clase == "M") ? 5 : 7;
    if (clase.size() != 1 || c.size() != esperados ||
        std::string("LFDCMS").find(clase[0]) == std::string::npos) {
      error = "linea de catalogo no valida en " + lib + ": " + c[0];
      return false;
    }
    if (clase == "L") {
      texto_lib = cp1252_de_utf8(c[1]);
      return true;
    }
    o.archivo = c[1];
    size_t k = 2;
    if (clase == "F" || clase == "D") o.miembro = c[k++];
    if (clase == "F") o.tipo = c[k++];
    if (clase == "D" || clase == "S") o.reclen = std::atoi(c[k++].c_str());
    if (clase == "S") o.formato = std::atoi(c[k++].c_str());
    o.fecha = c[k++];
    o.hora = c[k++];
    o.texto = cp1252_de_utf8(c[k]);
    if (o.texto.size() > 50) o.texto.resize(50);
    if (clase == "D") o.tipo = "PF";
    if (clase == "C") o.tipo = "PF";
    if (clase == "M") o.tipo = "MSGF";
    if (clase == "S") o.tipo = "SPLF";
    if (!nombre_valido(o.archivo) || (!o.miembro.empty() && !nombre_valido(o.miembro)) || o.tipo.size() > 4 ||
        !fecha_valida(o.fecha, 8) || !fecha_valida(o.hora, 6) ||
        (o.clase == DATOS && (o.reclen < 1 || o.reclen > 9999)) ||
        (o.clase == SPOOL && (o.reclen < 1 || o.reclen > 9999 || (o.formato != 67 && o.formato != 68)))) {
      error = "campos no validos en " + lib + ": " + o.archivo + " " + o.miembro;
      return false;
    }
    std::string ruta = dir + "/" + o.archivo + (o.miembro.empty() ? "" : "/" + o.miembro) + ".txt";
    std::vector<std::string> lineas;
    if (!lee_lineas(ruta, lineas)) {
      error = "no se puede leer " + ruta;
      return false;
    }
    std::string datos;
    switch (o.clase) {
      case FUENTE:
      case MENSAJES:
        datos = registros_texto(lineas);
        break;
      case DATOS:
        datos = registros_fijos(lineas, o.reclen);
        break;
      case CONVERTIDO:
        datos = registros_convertidos(lineas);
        break;
      default:
        datos = registros_spool(lineas, o.reclen, o.formato);
        break;
    }
    return guarda(o, datos);
  }
};

bool ejecuta(sqlite3* db, const char* sql, std::string& error, const std::string& donde) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
    error = donde + ": " + (msg ? msg : "error de SQLite");
    sqlite3_free(msg);
    return false;
  }
  return true;
}

bool carga_tablas(const std::string& bd, const std::string& lib, const std::string& dir, std::string& error) {
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(fichero_biblioteca(bd, lib).c_str(), &db) == SQLITE_OK &&
            ejecuta(db, "PRAGMA journal_mode=WAL;", error, lib);
  std::ifstream in(dir + "/tablas.sql", std::ios::binary);
  if (ok && in) {
    std::stringstream sql;
    sql << in.rdbuf();
    ok = ejecuta(db, ("BEGIN;" + sql.str() + ";COMMIT;").c_str(), error, dir + "/tablas.sql");
  }
  if (!ok && error.empty()) error = "no se puede crear " + fichero_biblioteca(bd, lib);
  sqlite3_close(db);
  return ok;
}
}  // namespace

std::string fichero_biblioteca(const std::string& bd, const std::string& biblioteca) {
  return bd + "/" + biblioteca + ".db";
}

bool existe_sistema(const std::string& bd) {
  struct stat st;
  return stat((bd + "/sistema.db").c_str(), &st) == 0;
}

bool crea_sistema(const std::string& bd, const std::string& muestras, std::string& error) {
  mkdir(bd.c_str(), 0777);
  borra_sistema(bd);
  std::vector<std::string> libs;
  if (DIR* d = opendir(muestras.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      struct stat st;
      if (nombre_valido(n) && stat((muestras + "/" + n + "/catalogo.txt").c_str(), &st) == 0)
        libs.push_back(n);
    }
    closedir(d);
  }
  if (libs.empty()) {
    error = "no hay bibliotecas de muestra en " + muestras;
    return false;
  }
  std::sort(libs.begin(), libs.end());
  Cargador carga(error);
  if (sqlite3_open((bd + "/sistema.db").c_str(), &carga.cat) != SQLITE_OK) {
    error = "no se puede crear " + bd + "/sistema.db";
    sqlite3_close(carga.cat);
    return false;
  }
  bool ok =
      ejecuta(carga.cat, ESQUEMA, error, "esquema") && ejecuta(carga.cat, "BEGIN", error, "catalogo") &&
      sqlite3_prepare_v2(carga.cat,
                         "INSERT INTO objetos(biblioteca, archivo, miembro, clase, tipo, texto, fecha, hora,"
                         " reclen, formato, datos) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
                         -1, &carga.inserta, nullptr) == SQLITE_OK;
  for (size_t i = 0; ok && i < libs.size(); i++) {
    const std::string& lib = libs[i];
    std::string dir = muestras + "/" + lib;
    std::vector<std::string> lineas;
    lee_lineas(dir + "/catalogo.txt", lineas);
    std::string texto_lib;
    for (const std::string& l : lineas) {
      if (l.empty() || l[0] == '#') continue;
      if (!(ok = carga.linea(lib, dir, parte(l, '|'), texto_lib))) break;
    }
    if (!ok) break;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(carga.cat, "INSERT INTO bibliotecas VALUES (?, ?)", -1, &st, nullptr);
    sqlite3_bind_text(st, 1, lib.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, texto_lib.c_str(), -1, SQLITE_TRANSIENT);
    ok = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    ok = ok && carga_tablas(bd, lib, dir, error);
  }
  sqlite3_finalize(carga.inserta);
  ok = ok && ejecuta(carga.cat, "COMMIT", error, "catalogo");
  sqlite3_close(carga.cat);
  return ok;
}

sqlite3* abre_catalogo(const std::string& bd) {
  sqlite3* cat = nullptr;
  if (sqlite3_open_v2((bd + "/sistema.db").c_str(), &cat, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(cat);
    return nullptr;
  }
  sqlite3_busy_timeout(cat, 5000);
  // A library of 20,000 members is a catalogue of some 20 MB: read it in
  // place and sort in memory, rather than copy every page in and spill the
  // sorts of a catalogue query to temporary files.
  sqlite3_exec(cat, "PRAGMA mmap_size = 268435456; PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
  return cat;
}

std::vector<std::string> lista_bibliotecas(sqlite3* cat) {
  std::vector<std::string> libs;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat, "SELECT nombre FROM bibliotecas ORDER BY nombre", -1, &st, nullptr);
  while (st && sqlite3_step(st) == SQLITE_ROW)
    libs.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
  sqlite3_finalize(st);
  return libs;
}

std::vector<Objeto> lista_objetos(sqlite3* cat, const char* clases, const std::string& biblioteca,
                                  const std::string& archivo) {
  std::vector<Objeto> objetos;
  sqlite3_stmt* st = nullptr;
  // A named library and file are looked up through the catalogue's key, as
  // a server answers a request for one file from that file alone.
  std::string sql =
      "SELECT id, biblioteca, archivo, miembro, clase, tipo, texto, fecha, hora, reclen, formato"
      " FROM objetos WHERE instr(?1, clase) > 0";
  if (!biblioteca.empty()) sql += " AND biblioteca = ?2";
  if (!archivo.empty()) sql += " AND archivo = ?3";
  sql += " ORDER BY biblioteca, instr(?1, clase), archivo, miembro";
  sqlite3_prepare_v2(cat, sql.c_str(), -1, &st, nullptr);
  sqlite3_bind_text(st, 1, clases, -1, SQLITE_TRANSIENT);
  if (!biblioteca.empty()) sqlite3_bind_text(st, 2, biblioteca.c_str(), -1, SQLITE_TRANSIENT);
  if (!archivo.empty()) sqlite3_bind_text(st, 3, archivo.c_str(), -1, SQLITE_TRANSIENT);
  auto texto = [&](int col) {
    return std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, col)));
  };
  while (st && sqlite3_step(st) == SQLITE_ROW) {
    Objeto o;
    o.id = sqlite3_column_int64(st, 0);
    o.biblioteca = texto(1);
    o.archivo = texto(2);
    o.miembro = texto(3);
    o.clase = texto(4)[0];
    o.tipo = texto(5);
    o.texto = texto(6);
    o.fecha = texto(7);
    o.hora = texto(8);
    o.reclen = sqlite3_column_int(st, 9);
    o.formato = sqlite3_column_int(st, 10);
    objetos.push_back(o);
  }
  sqlite3_finalize(st);
  return objetos;
}

std::string contenido_objeto(sqlite3* cat, sqlite3_int64 id) {
  std::string datos;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(cat, "SELECT datos FROM objetos WHERE id = ?", -1, &st, nullptr);
  sqlite3_bind_int64(st, 1, id);
  if (st && sqlite3_step(st) == SQLITE_ROW) {
    const void* p = sqlite3_column_blob(st, 0);
    datos.assign(static_cast<const char*>(p ? p : ""), static_cast<size_t>(sqlite3_column_bytes(st, 0)));
  }
  sqlite3_finalize(st);
  return datos;
}

// One SQL session over SQLite. Every AS/400 library is a schema of the
// connection: the current library (the first of the list of message 01) is
// the main database, renamed after the library, and the others are attached
// in library-list order, so that an unqualified name is looked for in that
// order and LIB.TABLE names any library.
#include "sql_sim.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <vector>

#include "catalogo_sql.h"
#include "codigo.h"
#include "comandos.h"
#include "formato.h"
#include "lzw_sim.h"
#include "sistema.h"
#include "sql_traduce.h"
#include "vistas_catalogo.h"

namespace {
constexpr unsigned char FIN_VALOR = 0xAF;
constexpr unsigned char SEPARA_CAMPO = 0xAE;
constexpr int MAX_ADJUNTAS = 9;  // SQLite attaches at most 10 schemas besides main

std::string mayusculas(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The piece of a received message from `desde` on: empty past its end, so
// that a short message reads as blank fields.
std::string trozo(const std::string& m, size_t desde, size_t largo = std::string::npos) {
  return desde < m.size() ? m.substr(desde, largo) : std::string();
}

std::string num(long v, int cifras) {
  char buf[24];
  formatea(buf, "%.*ld", cifras, v);
  return buf;
}

struct Cursor {
  bool abierto = false;
  std::vector<std::string> filas;  // each row: values ended by 0xAF, CP1252
  size_t siguiente = 0;
  std::string hostil;  // a catalogue statement's cursor under --catalogo-hostil: its mode
};

struct Sesion {
  Conexion& c;
  const Opciones& op;
  bool ebcdic;         // replies in EBCDIC
  int bufsize = 4096;  // the client's buffer size: no row block is longer
  std::vector<std::string> libl, todas;
  std::vector<std::string> esquemas;  // the schemas of db: the current library, then those attached
  std::string curlib;                 // kept alive: SQLite holds on to the main schema name
  std::string compri;
  sqlite3* db = nullptr;
  sqlite3* cat = nullptr;
  Cursor cursor;
  // Statements already prepared, by their text: a benchmark's repeated
  // query costs one prepare. They are reset after use, never finalized.
  std::map<std::string, sqlite3_stmt*> preparadas;

  Sesion(Conexion& con, const Opciones& o, bool e) : c(con), op(o), ebcdic(e) {}
  Sesion(const Sesion&) = delete;
  Sesion& operator=(const Sesion&) = delete;
  ~Sesion() {
    olvida_preparadas();
    sqlite3_close(db);
    sqlite3_close(cat);
  }

  size_t tope_bloque() const { return static_cast<size_t>(std::min(std::max(bufsize, 1), MAX_CARGA)); }

  bool responde(std::string r) {
    if (ebcdic) a_ebcdic(r);
    c.digitos_ebcdic = ebcdic;
    c.registro_ebcdic = ebcdic;
    return envia_trama(c, r);
  }

  // The error layout shared by every reply: cursor at 5, length of the error
  // part at 8, "ERR" at 13, the code at 16 (sign first), the text from 22.
  bool responde_error(const char* cod, int codigo, const std::string& texto_utf8) {
    std::string t = cp1252_de_utf8(texto_utf8);
    char cod6[16];
    formatea(cod6, codigo < 0 ? "-%.5d" : "%.6d", codigo < 0 ? -codigo : codigo);
    std::string parte = std::string(cod6) + t;
    if (parte.size() > static_cast<size_t>(MAX_CARGA) - 16) parte.resize(static_cast<size_t>(MAX_CARGA) - 16);
    anota(c, "error %d: %s", codigo, texto_utf8.c_str());
    return responde(std::string(cod) + "001" + "001" + num(static_cast<long>(parte.size()), 5) + "ERR" +
                    parte);
  }

  bool abre_bd() {
    if (db) return true;
    cat = abre_catalogo(op.bd);
    if (!cat) return false;
    todas = lista_bibliotecas(cat);
    std::vector<std::string> orden;
    for (const std::string& l : libl) {
      if (std::find(todas.begin(), todas.end(), l) != todas.end() &&
          std::find(orden.begin(), orden.end(), l) == orden.end()) {
        orden.push_back(l);
      } else if (std::find(todas.begin(), todas.end(), l) == todas.end()) {
        anota(c, "biblioteca %s de la lista no existe; se pasa por alto", l.c_str());
      }
    }
    libl = orden;
    for (const std::string& l : todas) {
      if (std::find(orden.begin(), orden.end(), l) == orden.end()) orden.push_back(l);
    }
    if (orden.empty()) return false;
    if (libl.empty()) libl.push_back(orden[0]);
    curlib = orden[0];
    if (sqlite3_open(fichero_biblioteca(op.bd, curlib).c_str(), &db) != SQLITE_OK) return false;
    sqlite3_db_config(db, SQLITE_DBCONFIG_MAINDBNAME, curlib.c_str());
    sqlite3_busy_timeout(db, 5000);
    esquemas.assign(1, curlib);
    for (size_t i = 1; i < orden.size() && i <= MAX_ADJUNTAS; i++) {
      esquemas.push_back(orden[i]);
      std::string sql = "ATTACH DATABASE ?1 AS \"" + orden[i] + "\"";
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
      sqlite3_bind_text(st, 1, fichero_biblioteca(op.bd, orden[i]).c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) != SQLITE_DONE)
        anota(c, "no se adjunta %s: %s", orden[i].c_str(), sqlite3_errmsg(db));
      sqlite3_finalize(st);
    }
    // A simulator need not survive a power cut: no sync at every commit, so
    // that a load of many small batches is not what a benchmark measures.
    for (size_t i = 0; i < orden.size() && i <= MAX_ADJUNTAS; i++) {
      sqlite3_exec(db, ("PRAGMA \"" + orden[i] + "\".synchronous=OFF").c_str(), nullptr, nullptr, nullptr);
    }
    return true;
  }

  // The text of a message from `desde` on, as UTF-8 for SQLite.
  static std::string sentencia(const std::string& m, size_t desde) {
    return utf8_de_cliente(desde < m.size() ? m.substr(desde) : "");
  }

  // 01: session, buffer size, length (15 + list), library list. A buffer size
  // of more than five digits moves the later fields: the length field, which
  // equals the message length, tells how many digits it took.
  bool inicio(const std::string& m) {
    size_t cifras = 5;
    for (size_t k = 5; k <= 7; k++) {
      if (m.size() >= 10 + k &&
          std::atoi(m.substr(5 + k, 5).c_str()) == static_cast<int>(m.size()) - static_cast<int>(k - 5)) {
        cifras = k;
        break;
      }
    }
    bufsize = std::atoi(trozo(m, 5, cifras).c_str());
    if (bufsize <= 0) bufsize = 4096;
    std::string lista = m.size() > 10 + cifras ? mayusculas(m.substr(10 + cifras)) : "";
    libl.clear();
    std::string nombre;
    for (char ch : lista + "/") {
      if (ch == '/' || ch == ',' || ch == ' ' || ch == ';') {
        if (!nombre.empty()) libl.push_back(nombre);
        nombre.clear();
      } else {
        nombre += ch;
      }
    }
    bool ok = abre_bd();
    std::string l;
    for (const std::string& b : libl) l += (l.empty() ? "" : "/") + b;
    anota(c, "sesion SQL: bufsize=%d lista=[%s] actual=%s", bufsize, l.c_str(), curlib.c_str());
    if (!ok) return responde_error("01", -901, "No se puede abrir el sistema simulado.");
    return responde("01001001" + num(0, 5) + "OK Sesion iniciada. Biblioteca actual " + curlib);
  }

  // 20: "WWW_COMPRI=x,WWW_EBCDIC=y" from offset 10. The client reads every
  // reply in EBCDIC exactly when WWW_EBCDIC reads as 1.
  bool opciones(const std::string& m) {
    std::string t = m.size() > 10 ? m.substr(10) : "";
    size_t p = t.find("WWW_EBCDIC=");
    if (p != std::string::npos) ebcdic = std::atoi(t.c_str() + p + 11) == 1;
    p = t.find("WWW_COMPRI=");
    if (p != std::string::npos)
      compri =
          t.substr(p + 11, t.find(',', p) == std::string::npos ? std::string::npos : t.find(',', p) - p - 11);
    anota(c, "opciones: ebcdic=%d compri=[%s]", ebcdic ? 1 : 0, compri.c_str());
    return responde("20001001" + num(0, 5) + "OK Opciones aceptadas");
  }

  void olvida_preparadas() {
    for (auto& p : preparadas) sqlite3_finalize(p.second);
    preparadas.clear();
  }

  static bool solo_blancos(const char* t) {
    while (t && *t && std::isspace(static_cast<unsigned char>(*t))) t++;
    return !t || !*t;
  }

  // A prepared statement for the text `sql` (already adapted), from the
  // cache or prepared now; *resto gets what follows its first statement. NULL
  // with err set when SQLite refuses it.
  sqlite3_stmt* preparada(const std::string& sql, const char** resto, ErrorSql& err) {
    auto p = preparadas.find(sql);
    if (p != preparadas.end()) {
      sqlite3_reset(p->second);
      *resto = "";
      return p->second;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, resto) != SQLITE_OK) {
      err = error_de_sqlite(sqlite3_errmsg(db));
      return nullptr;
    }
    if (!st) {
      err = {-104, "Sentencia vacía."};
      return nullptr;
    }
    if (!solo_blancos(*resto)) return st;  // several statements: not kept
    if (preparadas.size() >= 256) olvida_preparadas();
    preparadas[sql] = st;
    return st;
  }

  // Done with a statement: kept ones are reset, the others finalized.
  void suelta(sqlite3_stmt* st) {
    for (auto& p : preparadas) {
      if (p.second == st) {
        sqlite3_reset(st);
        return;
      }
    }
    sqlite3_finalize(st);
  }

  // One block of rows from the open cursor: at most `cabe` bytes (the
  // client's buffer) unless a single row is longer, which then goes alone,
  // and never more than `cabe_trama` (what the frame leaves).
  std::string bloque(size_t cabe, size_t cabe_trama, int& filas, bool& ultimo) {
    std::string b;
    filas = 0;
    // --catalogo-hostil repite: the rows come round again.
    if (cursor.hostil == "repite" && cursor.siguiente >= cursor.filas.size()) cursor.siguiente = 0;
    while (cursor.siguiente < cursor.filas.size() && filas < 99999) {
      const std::string& f = cursor.filas[cursor.siguiente];
      bool cabe_aqui = b.size() + f.size() <= cabe;
      if (!cabe_aqui && (filas > 0 || f.size() > cabe_trama)) break;
      b += f;
      filas++;
      cursor.siguiente++;
      if (!cabe_aqui) break;
    }
    ultimo = cursor.siguiente >= cursor.filas.size();
    // A hostile catalogue never says its last block is the last.
    if (!cursor.hostil.empty()) ultimo = false;
    if (ultimo) {
      cursor.filas.clear();
      cursor.abierto = false;
    }
    return b;
  }

  // 02: runs the query to the end, so that every column's width fits all its
  // values, then answers descriptors and the first block. The catalogue
  // statements are answered from the catalogue instead.
  bool consulta(const std::string& m) {
    cursor = Cursor();
    ErrorSql err{0, ""};
    if (!abre_bd()) return responde_error("02", -901, "No se puede abrir el sistema simulado.");
    std::string texto = sentencia(m, 13);
    PeticionCatalogo pc;
    Catalogo cual = reconoce_catalogo(texto, pc);
    if (cual != Catalogo::NINGUNA) return consulta_catalogo(cual, pc);
    if (!vistas_al_dia(texto, err)) return responde_error("02", err.codigo, err.texto);
    const char* resto = nullptr;
    sqlite3_stmt* st = preparada(adapta_sql(texto, todas), &resto, err);
    if (!st) return responde_error("02", err.codigo, err.texto);
    std::vector<Columna> cols = columnas_de(st);
    size_t tope_valor =
        cols.empty() ? 1 : std::max<size_t>(1, (static_cast<size_t>(MAX_CARGA) - 64) / cols.size() - 1);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::string fila;
      for (size_t i = 0; i < cols.size(); i++) {
        std::string v = valor_de(st, static_cast<int>(i), cols[i], tope_valor);
        int ancho = static_cast<int>(v.size()) - (!v.empty() && v[0] == '-' ? 1 : 0);
        cols[i].ancho = std::max(cols[i].ancho, ancho);
        fila += v;
        fila += static_cast<char>(FIN_VALOR);
      }
      cursor.filas.push_back(std::move(fila));
    }
    if (rc != SQLITE_DONE) {
      err = error_de_sqlite(sqlite3_errmsg(db));
      suelta(st);
      cursor = Cursor();
      return responde_error("02", err.codigo, err.texto);
    }
    suelta(st);
    return primer_bloque(cols);
  }

  // The views of QSYS2 made anew from the schemas when the statement names
  // one; false, with err, when they cannot be (or --sin-catalogo says the
  // server has no catalogue).
  bool vistas_al_dia(const std::string& sql, ErrorSql& err) {
    if (!nombra_vistas_catalogo(sql)) return true;
    if (op.sin_catalogo) {
      err = {-204, "SYSTABLES en QSYS2 de tipo *FILE no encontrado."};
      return false;
    }
    std::string error;
    if (prepara_vistas_catalogo(db, esquemas, error)) return true;
    anota(c, "vistas del catalogo: %s", error.c_str());
    err = {-901, "Error del gestor SQL: " + error};
    return false;
  }

  // A catalogue statement; with --sin-catalogo the server is one without
  // these catalogue services, and says so as DB2 does.
  bool consulta_catalogo(Catalogo cual, const PeticionCatalogo& pc) {
    if (op.sin_catalogo) {
      return responde_error("02", -204,
                            cual == Catalogo::OBJETOS
                                ? "OBJECT_STATISTICS en QSYS2 de tipo *N no encontrado."
                                : "SYSPARTITIONSTAT en QSYS2 de tipo *FILE no encontrado.");
    }
    std::vector<Columna> cols;
    lee_catalogo(cat, cual, pc, cols, cursor.filas);
    if (op.catalogo_hostil == "doble") {
      std::vector<std::string> dobles;
      for (const std::string& f : cursor.filas) dobles.insert(dobles.end(), 2, f);
      cursor.filas.swap(dobles);
    } else {
      cursor.hostil = op.catalogo_hostil;
    }
    anota(c, "catalogo %s de %s%s%s: %zu filas",
          cual == Catalogo::OBJETOS ? "OBJECT_STATISTICS" : "SYSPARTITIONSTAT", pc.biblioteca.c_str(),
          pc.archivo.empty() ? "" : "/", pc.archivo.c_str(), cursor.filas.size());
    return primer_bloque(cols);
  }

  // The reply to 02 once the rows are in the cursor: descriptors and the
  // first block.
  bool primer_bloque(const std::vector<Columna>& cols) {
    cursor.abierto = true;
    std::string desc = descriptores(cols);
    std::string cab = "02001001" + num(0, 5) + "OK " + num(static_cast<long>(desc.size()), 5) + desc;
    if (cab.size() + 6 > static_cast<size_t>(MAX_CARGA)) {
      cursor = Cursor();
      return responde_error("02", -101, "La sentencia es demasiado larga o compleja.");
    }
    size_t cabe = tope_bloque() > cab.size() + 6 ? tope_bloque() - cab.size() - 6 : 0;
    int filas;
    bool ultimo;
    std::string b = bloque(cabe, static_cast<size_t>(MAX_CARGA) - cab.size() - 6, filas, ultimo);
    anota(c, "consulta: %zu columnas, %d filas en el primer bloque", cols.size(), filas);
    return responde(cab + num(filas, 5) + (ultimo ? "1" : "0") + b);
  }

  // 03: the next block. The row count sits where the status would be.
  bool siguiente() {
    if (!cursor.abierto || cursor.hostil == "fin") return responde_error("03", 100, "No hay más filas.");
    int filas;
    bool ultimo;
    size_t cabe = tope_bloque() > 19 ? tope_bloque() - 19 : 0;
    std::string b = bloque(cabe, static_cast<size_t>(MAX_CARGA) - 19, filas, ultimo);
    return responde("03001001" + num(0, 5) + num(filas, 5) + (ultimo ? "1" : "0") + b);
  }

  // 04: every statement of the text in turn. An UPDATE, DELETE or INSERT that
  // touches no row answers SQL code 100, as DB2 does.
  bool sentencia_04(const std::string& m) {
    if (!abre_bd()) return responde_error("04", -901, "No se puede abrir el sistema simulado.");
    std::string sql = adapta_sql(sentencia(m, 13), todas);
    ErrorSql err{0, ""};
    if (!vistas_al_dia(sql, err)) return responde_error("04", err.codigo, err.texto);
    const char* resto = sql.c_str();
    long cambios = 0;
    bool dml = false;
    bool primera = true;
    while (!solo_blancos(resto)) {
      ErrorSql e{0, ""};
      const char* sigue = nullptr;
      sqlite3_stmt* st = nullptr;
      if (primera) {
        st = preparada(sql, &sigue, e);
      } else if (sqlite3_prepare_v2(db, resto, -1, &st, &sigue) != SQLITE_OK) {
        e = error_de_sqlite(sqlite3_errmsg(db));
      }
      primera = false;
      resto = sigue;
      if (!st) {
        if (e.codigo == 0) continue;  // a lone ";"
        return responde_error("04", e.codigo, e.texto);
      }
      std::string verbo = mayusculas(std::string(sqlite3_sql(st)).substr(0, 7));
      bool es_dml =
          verbo.rfind("UPDATE", 0) == 0 || verbo.rfind("DELETE", 0) == 0 || verbo.rfind("INSERT", 0) == 0;
      int rc;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) {
        std::string msg = sqlite3_errmsg(db);
        suelta(st);
        // COMMIT and ROLLBACK outside a transaction: every statement commits.
        if (msg.find("no transaction is active") != std::string::npos) continue;
        e = error_de_sqlite(msg);
        return responde_error("04", e.codigo, e.texto);
      }
      if (es_dml) {
        dml = true;
        cambios += sqlite3_changes(db);
      }
      suelta(st);
    }
    if (dml && cambios == 0) return responde_error("04", 100, "Fila no encontrada para la operación.");
    return responde("04001001" + num(0, 5) + "OK " + num(cambios, 6));
  }

  // 05: rows of a backup load for a table of the current library. A row is
  // 0xAE, then each field followed by 0xAE; the fields-per-row count of the
  // message is not always right, so it is taken from the batch itself: every
  // row holds one 0xAE more than it has fields.
  bool inserta(const std::string& m) {
    if (!abre_bd()) return responde_error("05", -901, "No se puede abrir el sistema simulado.");
    if (m.size() < 16) return responde_error("05", -104, "Mensaje de carga incompleto.");
    size_t n = static_cast<size_t>(std::max(0, std::atoi(trozo(m, 13, 3).c_str())));
    if (m.size() < 26 + n) return responde_error("05", -104, "Mensaje de carga incompleto.");
    std::string tabla = mayusculas(trozo(m, 16, n));
    long filas = std::atol(trozo(m, 16 + n, 5).c_str());
    std::string lote = trozo(m, 26 + n);
    long separadores = std::count(lote.begin(), lote.end(), static_cast<char>(SEPARA_CAMPO));
    if (filas <= 0 || separadores % filas != 0 || separadores / filas < 2 ||
        static_cast<unsigned char>(lote[0]) != SEPARA_CAMPO) {
      return responde_error("05", -117, "El lote no tiene el número de filas que anuncia.");
    }
    size_t campos = static_cast<size_t>(separadores / filas - 1);
    // The columns of the table in the current library, in order.
    std::vector<std::string> cols;
    std::vector<bool> texto;
    sqlite3_stmt* st = nullptr;
    std::string info = "PRAGMA \"" + curlib + "\".table_info(\"" + tabla + "\")";
    if (sqlite3_prepare_v2(db, info.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      while (sqlite3_step(st) == SQLITE_ROW) {
        cols.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        std::string tipo = mayusculas(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)));
        texto.push_back(tipo.find("CHAR") != std::string::npos || tipo.find("TEXT") != std::string::npos ||
                        tipo.find("CLOB") != std::string::npos || tipo.empty());
      }
    }
    sqlite3_finalize(st);
    if (cols.empty())
      return responde_error("05", -204, tabla + " en " + curlib + " de tipo *FILE no encontrado.");
    if (campos > cols.size())
      return responde_error("05", -117, "El número de valores no coincide con el número de columnas.");
    std::string sql = "INSERT INTO \"" + curlib + "\".\"" + tabla + "\" (";
    for (size_t i = 0; i < campos; i++) sql += (i ? ",\"" : "\"") + cols[i] + "\"";
    sql += ") VALUES (";
    for (size_t i = 0; i < campos; i++) sql += i ? ",?" : "?";
    sql += ")";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ErrorSql e = error_de_sqlite(sqlite3_errmsg(db));
      return responde_error("05", e.codigo, e.texto);
    }
    sqlite3_exec(db, "SAVEPOINT carga", nullptr, nullptr, nullptr);
    size_t pos = 0;
    long insertadas = 0;
    std::string fallo;
    for (long f = 0; f < filas && fallo.empty(); f++) {
      sqlite3_reset(st);
      if (pos >= lote.size() || static_cast<unsigned char>(lote[pos]) != SEPARA_CAMPO) {
        fallo = "values for columns";  // a row that does not open with 0xAE
        break;
      }
      pos++;
      for (size_t i = 0; i < campos && fallo.empty(); i++) {
        size_t fin = lote.find(static_cast<char>(SEPARA_CAMPO), pos);
        if (fin == std::string::npos) {
          fallo = "values for columns";  // rows of different lengths
          break;
        }
        std::string v = utf8_de_cliente(lote.substr(pos, fin - pos));
        pos = fin + 1;
        if (v.empty() && !texto[i]) {
          sqlite3_bind_null(st, static_cast<int>(i + 1));
        } else {
          sqlite3_bind_text(st, static_cast<int>(i + 1), v.c_str(), static_cast<int>(v.size()),
                            SQLITE_TRANSIENT);
        }
      }
      if (!fallo.empty()) break;
      if (sqlite3_step(st) != SQLITE_DONE)
        fallo = sqlite3_errmsg(db);
      else
        insertadas++;
    }
    sqlite3_finalize(st);
    if (!fallo.empty()) {
      // A rejected batch leaves nothing of itself behind.
      sqlite3_exec(db, "ROLLBACK TO carga; RELEASE carga", nullptr, nullptr, nullptr);
      ErrorSql e = error_de_sqlite(fallo);
      return responde_error("05", e.codigo, e.texto);
    }
    sqlite3_exec(db, "RELEASE carga", nullptr, nullptr, nullptr);
    anota(c, "carga en %s.%s: %ld filas de %zu campos", curlib.c_str(), tabla.c_str(), insertadas, campos);
    return responde("05001001" + num(0, 5) + "OK " + num(insertadas, 6));
  }

  // 07: the reply is LZW-compressed, always: the client expands every reply
  // to 07. Its text is cut so that even an incompressible text still fits a
  // frame once compressed (12 bits per byte at worst).
  bool comando(const std::string& m) {
    abre_bd();
    std::string texto = sentencia(m, 7);
    Trabajo t{&libl, &todas, curlib, ebcdic, compri, db, cat};
    std::string respuesta;
    bool ok = db && cat && ejecuta_comando(texto, t, respuesta);
    std::string cuerpo = cp1252_de_utf8(respuesta);
    if (cuerpo.size() > 19000) cuerpo.resize(19000);
    std::string r =
        std::string("07") + (ok ? "000" : "001") + num(static_cast<long>(cuerpo.size()), 5) + cuerpo;
    anota(c, "mandato [%s]: %s", texto.c_str(), ok ? "correcto" : "rechazado");
    if (ebcdic) a_ebcdic(r);
    std::string comprimido = comprime_lzw_sim(r);
    c.digitos_ebcdic = ebcdic;
    c.registro_ebcdic = false;  // the log shows the compressed bytes as they go
    return envia_trama(c, comprimido);
  }

  bool atiende(const std::string& cruda, bool digitos_ebcdic) {
    std::string m = cruda;
    // What the client sends follows its own setting, shown by the digits.
    if (digitos_ebcdic) de_tabla_asc(m);
    int codigo = std::atoi(trozo(m, 0, 2).c_str());
    switch (codigo) {
      case 1:
        return inicio(m);
      case 20:
        return opciones(m);
      case 2:
        return consulta(m);
      case 3:
        return siguiente();
      case 4:
        return sentencia_04(m);
      case 5:
        return inserta(m);
      case 6:
        cursor = Cursor();
        return responde("06001001" + num(0, 5) + "OK ");
      case 7:
        return comando(m);
      case 96:
        anota(c, "el cliente termina la sesion (%s)", m.c_str());
        return false;
      default:
        return responde_error(trozo(m, 0, 2).c_str(), -84, "Mensaje no reconocido por el servidor.");
    }
  }
};
}  // namespace

void sirve_sql(Conexion& c, const std::string& primera, bool ebcdic, const Opciones& op) {
  Sesion s(c, op, ebcdic);
  c.registro_ebcdic = ebcdic;
  bool ok = s.atiende(primera, ebcdic);
  std::string m;
  bool digitos = false;
  while (ok && recibe_trama(c, m, &digitos) >= 0) {
    ok = s.atiende(m, digitos);
  }
}

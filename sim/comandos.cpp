// Commands of message 07, answered from the catalogue and the SQL schemas.
#include "comandos.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "codigo.h"
#include "formato.h"
#include "sistema.h"

namespace {
std::string mayusculas(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The value of a keyword, KEY(VALUE), or else the first positional word.
std::string parametro(const std::string& resto, const char* clave) {
  std::string r = mayusculas(resto);
  std::string k = std::string(clave) + "(";
  size_t p = r.find(k);
  if (p != std::string::npos) {
    size_t fin = r.find(')', p);
    return r.substr(p + k.size(), fin == std::string::npos ? std::string::npos : fin - p - k.size());
  }
  size_t ini = r.find_first_not_of(' ');
  if (ini == std::string::npos || r.find('(') != std::string::npos) return "";
  return r.substr(ini, r.find(' ', ini) - ini);
}

// One line of the DSPLIB listing: object, type, attribute and text.
std::string linea(const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
  char buf[256];
  formatea(buf, "%-10s %-8s %-8s %s\n", a.c_str(), b.c_str(), c.c_str(), d.c_str());
  return buf;
}

bool dsplib(const std::string& lib, const Trabajo& t, std::string& r) {
  if (std::find(t.todas->begin(), t.todas->end(), lib) == t.todas->end()) {
    r = "CPF2110 Biblioteca " + lib + " no encontrada.";
    return false;
  }
  r = "Biblioteca " + lib + "\n" + linea("Objeto", "Tipo", "Atributo", "Texto");
  std::string previo;
  for (const Objeto& o : lista_objetos(t.cat, "FDCMS")) {
    if (o.biblioteca != lib || o.archivo == previo) continue;
    previo = o.archivo;
    const char* tipo = o.clase == MENSAJES ? "*MSGF" : o.clase == SPOOL ? "*SPLF" : "*FILE";
    const char* atributo = o.clase == FUENTE                         ? "PF-SRC"
                           : o.clase == MENSAJES || o.clase == SPOOL ? ""
                                                                     : "PF-DTA";
    r += linea(o.archivo, tipo, atributo, o.clase == FUENTE ? "" : utf8_de_cp1252(o.texto));
  }
  // The SQL tables and views of the library's own schema.
  std::string sql =
      "SELECT name, type FROM \"" + lib + "\".sqlite_master WHERE type IN ('table','view') ORDER BY name";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(t.db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::string nombre = mayusculas(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
      bool vista = std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))) == "view";
      r += linea(nombre, "*FILE", vista ? "LF" : "PF-DTA", "Tabla SQL");
    }
  }
  sqlite3_finalize(st);
  return true;
}
}  // namespace

bool ejecuta_comando(const std::string& mandato, const Trabajo& t, std::string& r) {
  std::string m = mandato;
  size_t ini = m.find_first_not_of(' ');
  m = ini == std::string::npos ? "" : m.substr(ini);
  size_t sp = m.find(' ');
  std::string verbo = mayusculas(m.substr(0, sp));
  std::string resto = sp == std::string::npos ? "" : m.substr(sp + 1);
  std::string libl;
  for (const std::string& l : *t.libl) libl += l + " ";
  if (verbo == "DSPJOB") {
    char num[16];
    formatea(num, "%06d", static_cast<int>(getpid() % 1000000));
    r = std::string("Trabajo . . . . . . . . :  QZIZEZ\n") + "Usuario . . . . . . . . :  VORTCP\n" +
        "Número  . . . . . . . . :  " + num + "\n" + "Estado  . . . . . . . . :  ACTIVO\n" +
        "Biblioteca actual . . . :  " + t.curlib + "\n" + "Lista de bibliotecas  . :  " + libl + "\n" +
        "Sesión EBCDIC . . . . . :  " + (t.ebcdic ? "SI" : "NO") + "\n" +
        "Compresión  . . . . . . :  " + (t.compri.empty() ? "(no indicada)" : t.compri) + "\n";
    return true;
  }
  if (verbo == "DSPLIBL") {
    r = "Lista de bibliotecas:\n";
    for (const std::string& l : *t.libl) r += "  " + l + (l == t.curlib ? "  (actual)\n" : "\n");
    return true;
  }
  if (verbo == "DSPLIB" || verbo == "DSPOBJD") {
    std::string lib = parametro(resto, verbo == "DSPLIB" ? "LIB" : "OBJ");
    size_t barra = lib.find('/');
    if (barra != std::string::npos) lib = lib.substr(0, barra);
    if (lib.empty() || lib == "*CURLIB") lib = t.curlib;
    return dsplib(lib, t, r);
  }
  r = "CPD0030 Mandato " + (verbo.empty() ? std::string("(vacío)") : verbo) +
      " de la biblioteca *LIBL no encontrado.";
  return false;
}

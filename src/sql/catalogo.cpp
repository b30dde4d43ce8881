// Reading the server's catalogue (catalogo.h): the two statements, their
// fetch loops over the SQL exchange, and the values of each row.
#include "sql/catalogo.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "base/contexto.h"
#include "base/texto.h"
#include "sql/lectura.h"

namespace {

// A name as an SQL literal: quotes doubled, padding removed.
void literal(char* dest, size_t cap, const char* nombre) {
  size_t k = 0;
  for (const char* p = nombre; *p != '\0' && k + 2 < cap; p++) {
    if (*p == '\'') dest[k++] = '\'';
    dest[k++] = *p;
  }
  while (k > 0 && dest[k - 1] == ' ') k--;
  dest[k] = '\0';
}

// The value's bytes without trailing blanks, into dest; false when they do
// not fit (a name longer than the catalogue's names).
bool texto_de(const ValorFila& v, char* dest, size_t cap) {
  long n = v.largo;
  while (n > 0 && v.bytes[n - 1] == ' ') n--;
  long i = 0;
  while (i < n && v.bytes[i] == ' ') i++;
  if ((size_t)(n - i) >= cap) return false;
  memcpy(dest, v.bytes + i, (size_t)(n - i));
  dest[n - i] = '\0';
  return true;
}

bool numero_de(const ValorFila& v, int64_t* n) {
  char texto[32];
  if (!texto_de(v, texto, sizeof texto)) return false;
  *n = 0;
  if (texto[0] == '\0') return true;  // NULL: no size known
  if (!son_cifras(texto, strlen(texto))) return false;
  for (const char* p = texto; *p; p++) {
    if (*n > (INT64_MAX - 9) / 10) return false;
    *n = *n * 10 + (*p - '0');
  }
  return true;
}

// DB2's character form YYYY-MM-DD-HH.MM.SS.ffffff, or YYYY-MM-DD HH:MM:SS.
bool marca_de_tiempo(const ValorFila& v, char (&fecha)[9], char (&hora)[7]) {
  char t[40];
  fecha[0] = hora[0] = '\0';
  if (!texto_de(v, t, sizeof t)) return false;
  if (t[0] == '\0') return true;
  size_t n = strlen(t);
  if (n < 19 || !son_cifras(t, 4) || t[4] != '-' || !son_cifras(t + 5, 2) || t[7] != '-' ||
      !son_cifras(t + 8, 2))
    return false;
  bool db2 = t[10] == '-' && t[13] == '.' && t[16] == '.';
  bool iso = t[10] == ' ' && t[13] == ':' && t[16] == ':';
  if (!(db2 || iso) || !son_cifras(t + 11, 2) || !son_cifras(t + 14, 2) || !son_cifras(t + 17, 2))
    return false;
  if (n > 19 && (t[19] != '.' || !son_cifras(t + 20, n - 20))) return false;
  formatea(fecha, "%.4s%.2s%.2s", t, t + 5, t + 8);
  formatea(hora, "%.2s%.2s%.2s", t + 11, t + 14, t + 17);
  return true;
}

}  // namespace

void sentencia_objetos(char* dest, size_t cap, const char* biblioteca, const char* archivo) {
  char b[2 * TAM_AJUSTE], a[2 * TAM_AJUSTE];
  literal(b, sizeof b, biblioteca);
  literal(a, sizeof a, archivo);
  char donde[3 * TAM_AJUSTE] = "";
  if (a[0] != '\0') formatea(donde, "WHERE OBJNAME = '%s' ", a);
  formatea(dest, cap,
           "SELECT OBJNAME, OBJTYPE, OBJSIZE FROM TABLE(QSYS2.OBJECT_STATISTICS('%s', '*FILE *MSGF')) X "
           "%sORDER BY OBJNAME",
           b, donde);
}

void sentencia_miembros(char* dest, size_t cap, const char* biblioteca, const char* archivo) {
  char b[2 * TAM_AJUSTE], a[2 * TAM_AJUSTE];
  literal(b, sizeof b, biblioteca);
  literal(a, sizeof a, archivo);
  char y[3 * TAM_AJUSTE] = "";
  if (a[0] != '\0') formatea(y, " AND SYSTEM_TABLE_NAME = '%s'", a);
  formatea(
      dest, cap,
      "SELECT SYSTEM_TABLE_NAME, SYSTEM_TABLE_MEMBER, SOURCE_TYPE, DATA_SIZE, LAST_CHANGE_TIMESTAMP FROM "
      "QSYS2.SYSPARTITIONSTAT WHERE SYSTEM_TABLE_SCHEMA = '%s'%s ORDER BY 1, 2",
      b, y);
}

bool fila_de_objeto(const ValorFila* v, ArchivoCatalogo* a) {
  char tipo[16];
  *a = ArchivoCatalogo{};
  if (!texto_de(v[0], a->nombre, sizeof a->nombre) || a->nombre[0] == '\0') return false;
  if (!texto_de(v[1], tipo, sizeof tipo)) return false;
  if (strcmp(tipo, "*FILE") == 0) {
    a->clase = ClaseArchivo::datos;  // a source file once a member says so
  } else if (strcmp(tipo, "*MSGF") == 0) {
    a->clase = ClaseArchivo::mensajes;
  } else {
    return false;
  }
  return numero_de(v[2], &a->tamano);
}

bool fila_de_miembro(const ValorFila* v, char (&archivo)[TAM_NOMBRE_CATALOGO], MiembroCatalogo* m) {
  *m = MiembroCatalogo{};
  return texto_de(v[0], archivo, sizeof archivo) && archivo[0] != '\0' &&
         texto_de(v[1], m->nombre, sizeof m->nombre) && m->nombre[0] != '\0' &&
         texto_de(v[2], m->tipo, sizeof m->tipo) && numero_de(v[3], &m->tamano) &&
         marca_de_tiempo(v[4], m->fecha, m->hora);
}

LecturaCatalogo lee_catalogo(const char* biblioteca, const char* archivo, Catalogo* c) {
  *c = Catalogo{};
  copia_texto(c->biblioteca, biblioteca);
  quita_blancos(c->biblioteca);
  char sentencia[1024];
  std::map<std::string, size_t> por_nombre;
  sentencia_objetos(sentencia, sizeof sentencia, biblioteca, archivo);
  int codigo = 0;
  Lectura r = lee_consulta(sentencia, 3, &codigo, [&](const ValorFila* v) {
    ArchivoCatalogo a;
    if (!fila_de_objeto(v, &a)) return false;
    por_nombre[a.nombre] = c->archivos.size();
    c->archivos.push_back(std::move(a));
    return true;
  });
  char pedido[TAM_AJUSTE];
  copia_texto(pedido, archivo);
  quita_blancos(pedido);
  // A library the server does not have: no rows. An SQL error is no answer
  // about the library: -204 is also what a server without the catalogue's
  // services says of OBJECT_STATISTICS itself.
  bool desconocida = r == Lectura::bien && c->archivos.empty();
  if (desconocida && pedido[0] == '\0') return LecturaCatalogo::biblioteca_desconocida;
  if (r != Lectura::bien) return LecturaCatalogo::no_disponible;

  sentencia_miembros(sentencia, sizeof sentencia, biblioteca, archivo);
  r = lee_consulta(sentencia, 5, &codigo, [&](const ValorFila* v) {
    char nombre[TAM_NOMBRE_CATALOGO];
    MiembroCatalogo m;
    if (!fila_de_miembro(v, nombre, &m)) return false;
    auto it = por_nombre.find(nombre);
    if (it == por_nombre.end()) {
      ArchivoCatalogo nuevo{};
      copia_texto(nuevo.nombre, nombre);
      nuevo.clase = ClaseArchivo::datos;
      it = por_nombre.emplace(nombre, c->archivos.size()).first;
      c->archivos.push_back(std::move(nuevo));
    }
    ArchivoCatalogo& a = c->archivos[it->second];
    if (a.clase == ClaseArchivo::mensajes) return true;
    if (m.tipo[0] != '\0') a.clase = ClaseArchivo::fuente;
    a.miembros.push_back(m);
    return true;
  });
  // A library of thousands of members: its lists keep no room to grow.
  for (ArchivoCatalogo& a : c->archivos) a.miembros.shrink_to_fit();
  return r == Lectura::bien ? LecturaCatalogo::bien : LecturaCatalogo::no_disponible;
}

// Reading the server's catalogue (catalogo.h): the two statements, their
// fetch loops over the SQL exchange, and the values of each row.
#include "sql/catalogo.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

namespace {

// A member listed twice counts once: its first row stays, in its place.
void quita_repetidos(std::vector<MiembroCatalogo>& miembros) {
  // The server sorts them (ORDER BY 1, 2): a repeated one is then next to
  // the other, and one pass finds it.
  bool en_orden = true;
  for (size_t i = 1; i < miembros.size() && en_orden; i++)
    en_orden = strcmp(miembros[i - 1].nombre, miembros[i].nombre) < 0;
  if (en_orden) return;
  std::vector<uint32_t> orden(miembros.size());
  for (uint32_t i = 0; i < orden.size(); i++) orden[i] = i;
  auto menor = [&](uint32_t x, uint32_t y) { return strcmp(miembros[x].nombre, miembros[y].nombre) < 0; };
  std::stable_sort(orden.begin(), orden.end(), menor);
  std::vector<char> repetido(miembros.size(), 0);
  for (size_t i = 1; i < orden.size(); i++)
    if (strcmp(miembros[orden[i - 1]].nombre, miembros[orden[i]].nombre) == 0) repetido[orden[i]] = 1;
  size_t n = 0;
  for (size_t i = 0; i < miembros.size(); i++)
    if (!repetido[i]) miembros[n++] = miembros[i];
  miembros.resize(n);
}

// The object query's rows of the library, narrowed to the file when not
// empty: each file once by name and type, into c, its place by name in
// *por_nombre (the file's, not a message file's of the same name).
Lectura lee_objetos(const char* biblioteca, const char* archivo, Catalogo* c,
                    std::map<std::string, size_t>* por_nombre, const char** motivo) {
  char sentencia[1024];
  sentencia_objetos(sentencia, sizeof sentencia, biblioteca, archivo);
  std::set<std::pair<std::string, bool>> vistos;
  int codigo = 0;
  return lee_consulta(
      sentencia, 3, &codigo,
      [&](const ValorFila* v) {
        ArchivoCatalogo x;
        if (!fila_de_objeto(v, &x)) return false;
        bool mensajes = x.clase == ClaseArchivo::mensajes;
        if (!vistos.insert({x.nombre, mensajes}).second) return true;
        if (!mensajes) (*por_nombre)[x.nombre] = c->archivos.size();
        c->archivos.push_back(std::move(x));
        return true;
      },
      0, motivo);
}

// What a reading gives the catalogue: motivo copied when it was not valid.
LecturaCatalogo resultado(Lectura l, const char* por_que, char (&motivo)[TAM_MOTIVO_CATALOGO]) {
  if (l == Lectura::bien) return LecturaCatalogo::bien;
  if (l != Lectura::no_valida) return LecturaCatalogo::no_disponible;
  copia_texto(motivo, por_que != nullptr ? por_que : "");
  return LecturaCatalogo::no_valido;
}

}  // namespace

LecturaCatalogo lee_catalogo(const char* biblioteca, const char* archivo, Catalogo* c,
                             char (&motivo)[TAM_MOTIVO_CATALOGO]) {
  *c = Catalogo{};
  motivo[0] = '\0';
  copia_texto(c->biblioteca, biblioteca);
  quita_blancos(c->biblioteca);
  std::map<std::string, size_t> por_nombre;
  const char* por_que = nullptr;
  Lectura l = lee_objetos(biblioteca, archivo, c, &por_nombre, &por_que);
  LecturaCatalogo r = resultado(l, por_que, motivo);
  if (r != LecturaCatalogo::bien) return r;
  // A library the server does not have: no rows. An SQL error is no answer
  // about the library: -204 is also what a server without the catalogue's
  // services says of OBJECT_STATISTICS itself. A named file that is not
  // there may be a library that is not there: the library is looked for
  // whole.
  if (c->archivos.empty()) {
    char pedido[TAM_AJUSTE];
    copia_texto(pedido, archivo);
    quita_blancos(pedido);
    if (pedido[0] == '\0') return LecturaCatalogo::biblioteca_desconocida;
    Catalogo entera{};
    std::map<std::string, size_t> todos;
    l = lee_objetos(biblioteca, "", &entera, &todos, &por_que);
    r = resultado(l, por_que, motivo);
    if (r != LecturaCatalogo::bien) return r;
    if (entera.archivos.empty()) return LecturaCatalogo::biblioteca_desconocida;
  }

  char sentencia[1024];
  sentencia_miembros(sentencia, sizeof sentencia, biblioteca, archivo);
  int codigo = 0;
  l = lee_consulta(
      sentencia, 5, &codigo,
      [&](const ValorFila* v) {
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
        ArchivoCatalogo& x = c->archivos[it->second];
        if (m.tipo[0] != '\0') x.clase = ClaseArchivo::fuente;
        x.miembros.push_back(m);
        return true;
      },
      0, &por_que);
  // A library of thousands of members: its lists keep no room to grow.
  for (ArchivoCatalogo& x : c->archivos) {
    quita_repetidos(x.miembros);
    x.miembros.shrink_to_fit();
  }
  return resultado(l, por_que, motivo);
}

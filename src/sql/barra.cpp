// The backslash commands (barra.h): one small handler each in a table, the
// catalogue's statements of \d and \dt, and their tables of text.
#include "sql/barra.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "sql/destinos.h"
#include "sql/intercambio_sql.h"
#include "sql/lectura.h"
#include "sql/muestra.h"

namespace {

const char TEXTO_AYUDA[] =
    "\n"
    "\\d NOMBRE           Columnas de una tabla o vista (BIBLIOTECA.NOMBRE, o se busca\n"
    "                    en WWW_CURLIB y en WWW_LIBL)\n"
    "\\dt [BIBLIOTECA]    Tablas y vistas, con su tipo, filas y texto (WWW_CURLIB)\n"
    "\\x [on|off|auto]    Una linea por columna; auto: si la fila no cabe en la pantalla\n"
    "\\timing [on|off]    Tiempo de cada sentencia\n"
    "\\pager [on|off]     Resultados largos por el paginador ($PAGER, less -FRX)\n"
    "\\?                  Estas ordenes\n"
    "\n";

std::string mayusculas(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
  return s;
}

// Reads a catalogue statement of `columnas` columns into filas. False after
// saying why: the server refused it, or its reply is not the catalogue's
// (nothing is said of a lost session: the console ends).
bool lee_catalogo(const std::string& sentencia, int columnas, std::vector<std::vector<std::string>>* filas) {
  int codigo = 0;
  Lectura l = lee_filas_de_texto(sentencia, columnas, filas, &codigo);
  if (l == Lectura::bien || sesion_perdida()) return l == Lectura::bien;
  if (l == Lectura::error_sql) {
    printf("Catalogo no disponible (%d)\n", codigo);
  } else {
    printf("Respuesta del catalogo no valida\n");
  }
  return false;
}

FormaTabla forma_local() {
  return FormaTabla{ctx.delim, ctx.delimb == 0 ? 1 : ctx.delimb, true, false};
}

// "on", "off", "auto" (when it is allowed) or nothing, which toggles.
// Returns false for any other value, after saying so.
bool lee_interruptor(const char* argumento, int32_t* valor, bool con_auto) {
  if (argumento[0] == '\0') {
    *valor = *valor != 0 ? 0 : 1;
  } else if (strcmp(argumento, "on") == 0) {
    *valor = 1;
  } else if (strcmp(argumento, "off") == 0) {
    *valor = 0;
  } else if (con_auto && strcmp(argumento, "auto") == 0) {
    *valor = 2;
  } else {
    printf("Valor no valido (%s)\n", argumento);
    return false;
  }
  return true;
}

const char* si_no(int32_t valor) {
  return valor == 2 ? "auto" : valor != 0 ? "si" : "no";
}

Resultado ayuda(const char*) {
  FILE* f = salida_de_resultados();
  fwrite(TEXTO_AYUDA, 1, sizeof TEXTO_AYUDA - 1, f);
  return Resultado::hecho;
}

Resultado vertical(const char* argumento) {
  if (!lee_interruptor(argumento, &ctx.vertical, true)) return Resultado::fallo_local;
  escribe_en(destino_charla(), "Una linea por columna: %s.\n", si_no(ctx.vertical));
  return Resultado::hecho;
}

Resultado cronometro(const char* argumento) {
  if (!lee_interruptor(argumento, &ctx.cronometro, false)) return Resultado::fallo_local;
  escribe_en(destino_charla(), "Tiempo de cada sentencia: %s.\n", si_no(ctx.cronometro));
  return Resultado::hecho;
}

Resultado paginador(const char* argumento) {
  int32_t activo = ctx.sin_paginador ? 0 : 1;
  if (!lee_interruptor(argumento, &activo, false)) return Resultado::fallo_local;
  ctx.sin_paginador = activo ? 0 : 1;
  escribe_en(destino_charla(), "Paginador: %s.\n", si_no(activo));
  return Resultado::hecho;
}

const char* clase_de_tabla(const std::string& tipo) {
  if (tipo == "T") return "tabla";
  if (tipo == "P") return "fisico";
  if (tipo == "V") return "vista";
  if (tipo == "L") return "logico";
  if (tipo == "A") return "alias";
  if (tipo == "M") return "MQT";
  return "";
}

Resultado lista_tablas(const char* argumento) {
  std::vector<std::string> bibliotecas;
  if (argumento[0] != '\0') {
    bibliotecas.push_back(mayusculas(argumento));
  } else {
    char actual[TAM_AJUSTE];
    if (!toma_env(actual, "WWW_CURLIB")) return Resultado::fallo_local;
    bibliotecas =
        actual[0] != '\0' ? std::vector<std::string>{mayusculas(actual)} : bibliotecas_de_busqueda();
  }
  if (bibliotecas.empty()) {
    printf("Sin biblioteca: WWW_CURLIB y WWW_LIBL estan vacias\n");
    return Resultado::fallo_local;
  }
  std::string sentencia =
      "SELECT T.TABLE_SCHEMA, T.TABLE_NAME, T.TABLE_TYPE, S.NUMBER_ROWS, T.TABLE_TEXT FROM QSYS2.SYSTABLES T "
      "LEFT JOIN QSYS2.SYSTABLESTAT S ON S.TABLE_SCHEMA = T.TABLE_SCHEMA AND S.TABLE_NAME = T.TABLE_NAME "
      "WHERE T.TABLE_SCHEMA IN (" +
      literales_sql(bibliotecas) + ") AND T.FILE_TYPE = 'D' ORDER BY T.TABLE_SCHEMA, T.TABLE_NAME";
  std::vector<std::vector<std::string>> filas;
  if (!lee_catalogo(sentencia, 5, &filas)) return Resultado::fallo_sentencia;
  for (auto& fila : filas) fila[2] = clase_de_tabla(fila[2]);
  escribe_tabla_local(destino_filas(), {"BIBLIOTECA", "NOMBRE", "TIPO", "FILAS", "TEXTO"}, filas,
                      forma_local());
  return Resultado::hecho;
}

Resultado describe(const char* argumento) {
  if (argumento[0] == '\0') return lista_tablas(argumento);
  std::string nombre = mayusculas(argumento);
  std::vector<std::string> bibliotecas;
  size_t punto = nombre.find('.');
  if (punto != std::string::npos) {
    bibliotecas.push_back(nombre.substr(0, punto));
    nombre = nombre.substr(punto + 1);
  } else {
    bibliotecas = bibliotecas_de_busqueda();
  }
  std::vector<std::vector<std::string>> filas;
  if (!bibliotecas.empty()) {
    std::string sentencia =
        "SELECT TABLE_SCHEMA, COLUMN_NAME, DATA_TYPE, LENGTH, NUMERIC_SCALE, IS_NULLABLE, COLUMN_TEXT "
        "FROM QSYS2.SYSCOLUMNS WHERE TABLE_NAME = " +
        literales_sql({nombre}) + " AND TABLE_SCHEMA IN (" + literales_sql(bibliotecas) +
        ") ORDER BY TABLE_SCHEMA, ORDINAL_POSITION";
    if (!lee_catalogo(sentencia, 7, &filas)) return Resultado::fallo_sentencia;
  }
  // The first library of the search that has the table.
  for (const std::string& biblioteca : bibliotecas) {
    std::vector<std::vector<std::string>> columnas;
    for (const auto& f : filas)
      if (f[0] == biblioteca)
        columnas.push_back({f[1], tipo_de_columna(f[2], f[3], f[4]), f[5] == "N" ? "no" : "si", f[6]});
    if (columnas.empty()) continue;
    FILE* destino = destino_filas();
    fprintf(destino, "Columnas de %s.", biblioteca.c_str());
    escribe_nombres(destino, nombre.c_str());
    fputc('\n', destino);
    escribe_tabla_local(destino, {"COLUMNA", "TIPO", "NULOS", "TEXTO"}, columnas, forma_local());
    return Resultado::hecho;
  }
  printf("No se encuentra la tabla (%s)\n", argumento);
  return Resultado::fallo_local;
}

struct OrdenBarra {
  const char* nombre;
  Resultado (*accion)(const char* argumento);
};

const OrdenBarra ORDENES[] = {
    {"\\d", describe},        {"\\dt", lista_tablas}, {"\\x", vertical},
    {"\\timing", cronometro}, {"\\pager", paginador}, {"\\?", ayuda},
};

}  // namespace

std::vector<std::string> bibliotecas_de_busqueda() {
  std::vector<std::string> bibliotecas;
  auto anade = [&](const std::string& b) {
    if (b.empty()) return;
    for (const std::string& ya : bibliotecas)
      if (ya == b) return;
    bibliotecas.push_back(b);
  };
  const char* actual = plat_getenv("WWW_CURLIB");
  if (actual != nullptr) anade(mayusculas(actual));
  const char* lista = plat_getenv("WWW_LIBL");
  std::string nombre;
  for (const char* p = lista != nullptr ? lista : "";; p++) {
    if (*p == '\0' || *p == '/' || *p == ',' || *p == ' ') {
      anade(mayusculas(nombre));
      nombre.clear();
      if (*p == '\0') break;
    } else {
      nombre += *p;
    }
  }
  return bibliotecas;
}

std::string tipo_de_columna(const std::string& tipo, const std::string& largo, const std::string& escala) {
  static const char* const CON_LARGO[] = {"CHAR",   "VARCHAR", "GRAPHIC", "VARG",  "BINARY",
                                          "VARBIN", "CLOB",    "BLOB",    "DBCLOB"};
  if (tipo == "DECIMAL" || tipo == "NUMERIC")
    return tipo + "(" + largo + "," + (escala.empty() ? "0" : escala) + ")";
  for (const char* t : CON_LARGO)
    if (tipo == t) return tipo + "(" + largo + ")";
  return tipo;
}

Resultado ejecuta_barra(const char* linea) {
  size_t n = strcspn(linea, " \t");
  const char* argumento = linea + n;
  argumento += strspn(argumento, " \t");
  char valor[TAM_AJUSTE];
  copia_texto(valor, argumento);
  // Blanks after the value are not part of it.
  for (size_t k = strlen(valor); k > 0 && (valor[k - 1] == ' ' || valor[k - 1] == '\t'); k--)
    valor[k - 1] = '\0';
  for (const OrdenBarra& o : ORDENES) {
    if (strlen(o.nombre) == n && strncmp(linea, o.nombre, n) == 0) return o.accion(valor);
  }
  printf("Orden no valida (%.*s); \\? muestra las ordenes\n", (int)n, linea);
  return Resultado::fallo_local;
}

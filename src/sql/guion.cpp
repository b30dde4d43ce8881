// Scripts in the form SQL users write them (guion.h): the splitter of lines
// into statements and commands, the library marker, and the run of a script
// file piece by piece under the console's policy.
#include "sql/guion.h"

#include <cstdio>
#include <cstring>

#include "base/lineas.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "base/utf8.h"
#include "platform/plataforma.h"
#include "sql/consulta.h"
#include "sql/destinos.h"
#include "sql/fsql.h"
#include "sql/intercambio_sql.h"
#include "sql/linea_consola.h"

namespace {

bool es_blanco(char c) {
  return c == ' ' || c == '\t';
}

char mayuscula(char c) {
  return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

// True when the n characters at p are the word, in any case.
bool es_palabra(const char* p, size_t n, const char* palabra) {
  if (strlen(palabra) != n) return false;
  for (size_t i = 0; i < n; i++)
    if (mayuscula(p[i]) != palabra[i]) return false;
  return true;
}

bool es_letra_de_nombre(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The console commands a script runs as commands, by their first word.
const char* const ORDENES_DE_GUION[] = {"OUTPUT", "FSQL",      "LOADSQL", "CMD",
                                        "CLS",    "SQLSERVER", "QUIT",    "KILL"};

}  // namespace

void LectorGuion::vacia() {
  texto_[0] = '\0';
  largo_ = 0;
  pendiente_ = false;
  comillas_ = 0;
  completa_ = false;
}

void LectorGuion::anade(const char* p, size_t n) {
  if (largo_ < sizeof texto_ - 1) {
    size_t k = n < sizeof texto_ - 1 - largo_ ? n : sizeof texto_ - 1 - largo_;
    memcpy(texto_ + largo_, p, k);
    texto_[largo_ + k] = '\0';
  }
  largo_ += n;
}

PiezaGuion LectorGuion::toma(const char* linea, size_t n) {
  if (completa_) vacia();
  size_t ini = 0;
  // Blanks that begin a line are not the statement's, unless a literal that
  // an earlier line opened goes on.
  if (comillas_ == 0)
    while (ini < n && es_blanco(linea[ini])) ini++;
  if (!pendiente_ && comillas_ == 0) {
    if (ini == n) return PiezaGuion::nada;
    if (es_orden_de_guion(linea + ini)) {
      anade(linea + ini, n - ini);
      completa_ = true;
      return PiezaGuion::orden;
    }
  }
  // Quotes open and close across the line; "--" outside them begins a
  // comment that runs to the line's end.
  size_t fin = n;
  char abierta = comillas_;
  for (size_t i = ini; i < n; i++) {
    char c = linea[i];
    if (abierta != 0) {
      if (c == abierta) abierta = 0;
    } else if (c == '\'' || c == '"') {
      abierta = c;
    } else if (c == '-' && i + 1 < n && linea[i + 1] == '-') {
      fin = i;
      break;
    }
  }
  comillas_ = abierta;
  if (comillas_ == 0)
    while (fin > ini && es_blanco(linea[fin - 1])) fin--;
  bool termina_aqui = comillas_ == 0 && fin > ini && linea[fin - 1] == ';';
  if (termina_aqui) {
    fin--;
    while (fin > ini && es_blanco(linea[fin - 1])) fin--;
  }
  if (fin > ini) {
    if (pendiente_) anade(" ", 1);
    anade(linea + ini, fin - ini);
    pendiente_ = true;
  }
  if (!termina_aqui) return PiezaGuion::nada;
  if (!pendiente_) return PiezaGuion::nada;  // a lone ";"
  completa_ = true;
  return PiezaGuion::sentencia;
}

PiezaGuion LectorGuion::termina() {
  if (completa_) vacia();
  if (!pendiente_) return PiezaGuion::nada;
  completa_ = true;
  return PiezaGuion::sentencia;
}

bool es_orden_de_guion(const char* linea) {
  const char* p = linea;
  while (es_blanco(*p)) p++;
  size_t n = 0;
  while (p[n] != '\0' && !es_blanco(p[n])) n++;
  if (n > 0 && p[0] == '\\') return true;
  for (const char* orden : ORDENES_DE_GUION)
    if (es_palabra(p, n, orden)) return true;
  // The console's set takes NAME=value: "set " and a name joined to its "=".
  if (!es_palabra(p, n, "SET") || p[n] != ' ') return false;
  const char* nombre = p + n + 1;
  size_t k = 0;
  while (es_letra_de_nombre(nombre[k])) k++;
  return k > 0 && nombre[k] == '=';
}

size_t sustituye_todas(const char* valor, char* texto, size_t cap) {
  static const char MARCA[] = "%CURLIB%";
  const size_t largo_marca = sizeof MARCA - 1;
  size_t largo = strlen(texto);
  size_t desde = 0;
  for (;;) {
    size_t i = desde;
    while (i + largo_marca <= largo && !es_palabra(texto + i, largo_marca, MARCA)) i++;
    if (i + largo_marca > largo) return largo;
    // Each one through the bounded step of the old scripts, which replaces
    // the marker as found at the start of what it is given.
    char marca[sizeof MARCA];
    memcpy(marca, texto + i, largo_marca);
    marca[largo_marca] = '\0';
    largo = i + sustituye_texto(marca, valor, texto + i, cap - i);
    if (largo >= cap) return largo;
    desde = i + strlen(valor);
  }
}

namespace {

// A statement of the script: its markers, its size, its characters, then the
// query or the statement.
Resultado ejecuta_sentencia_de_guion(char* texto, size_t cap, size_t largo, const char* nombre) {
  char biblioteca[TAM_AJUSTE];
  if (!toma_env(biblioteca, "WWW_CURLIB")) return Resultado::fallo_grave;
  if (biblioteca[0] == '\0') copia_texto(biblioteca, "VERIVUD");
  if (largo < cap) largo = sustituye_todas(biblioteca, texto, cap);
  if (largo > (size_t)MAX_SENTENCIA) {
    printf("Sentencia demasiado larga (%d caracteres)\n", (int)largo);
    return Resultado::fallo_local;
  }
  static char cp1252[TAM_TRAMA + 1];
  if (!de_persona(texto, largo, cp1252, nombre)) return Resultado::fallo_local;
  return ejecuta_sentencia_sql(cp1252);
}

// The damage of the lines of the piece being gathered: what was said of them
// when they were read.
struct Danos {
  bool danada = false;  // a line with a NUL byte or, in a UTF-8 run, bytes that are not UTF-8
  size_t sobrante = 0;  // characters of lines too long to keep, counted only
};

Resultado ejecuta_pieza(PiezaGuion pieza, LectorGuion& lector, const Danos& d, const char* nombre) {
  static char texto[TAM_TRAMA + 1];
  copia_texto(texto, lector.texto());
  if (d.danada) return Resultado::fallo_local;
  size_t largo = lector.largo() + d.sobrante;
  if (pieza == PiezaGuion::sentencia) return ejecuta_sentencia_de_guion(texto, sizeof texto, largo, nombre);
  if (largo > MAX_LINEA_CONSOLA) {
    printf("Linea demasiado larga (maximo %d caracteres).\n", (int)MAX_LINEA_CONSOLA);
    return Resultado::fallo_local;
  }
  return ejecuta_linea_consola(texto);
}

}  // namespace

bool ejecuta_guion(const char* nombre, Politica& politica) {
  bool entrada = strcmp(nombre, "-") == 0;
  FILE* f = entrada ? stdin : plat_abre_lectura_regular(nombre);
  if (f == nullptr) {
    printf("Imposible abrir (%s)\n", nombre);
    return politica.sigue(Resultado::fallo_local);
  }
  static LectorGuion lector;
  lector = LectorGuion();
  static char leida[TAM_TRAMA + 1];
  LineaLeida l;
  Danos danos;
  int numero = 0;
  bool sigue = true;
  auto corre = [&](PiezaGuion pieza) {
    Resultado r = ejecuta_pieza(pieza, lector, danos, nombre);
    danos = Danos();
    sigue = politica.sigue(r) && !ejecucion_cortada() && !sesion_perdida();
  };
  while (sigue && lee_linea_entera(f, leida, sizeof leida, &l, true)) {
    numero++;
    // An editor's byte-order mark is not part of the first statement.
    if (numero == 1 && ctx.utf8) quita_bom(leida, &l);
    if (l.nulo) {
      printf("Byte nulo en la linea %d de (%s)\n", numero, nombre);
      danos.danada = true;
    } else if (ctx.utf8 && !utf8_valido(leida, l.guardados, l.largo > l.guardados)) {
      printf("Texto no valido en UTF-8 en la linea %d de (%s)\n", numero, nombre);
      danos.danada = true;
    }
    danos.sobrante += l.largo - l.guardados;
    PiezaGuion pieza = lector.toma(leida, l.guardados);
    if (pieza != PiezaGuion::nada) corre(pieza);
  }
  // A read that failed is no end of the script: what it was in the middle
  // of does not run.
  if (sigue && ferror(f) != 0) {
    printf("Error al leer (%s)\n", nombre);
    sigue = politica.sigue(Resultado::fallo_local);
  } else if (sigue) {
    PiezaGuion pieza = lector.termina();
    if (pieza != PiezaGuion::nada) corre(pieza);
  }
  if (!entrada) fclose(f);
  return sigue;
}

// The script runner: reads a script line by line, each line judged whole
// whatever its length, skips comments, joins lines up to a ";" at the end of
// one, replaces the %CURLIB% marker, and runs each statement (end, loadsql or
// message 04). A statement with a damaged line (a NUL byte, or in a UTF-8 run
// bytes that are not UTF-8) is not run.
#include "sql/fsql.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/lineas.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "base/utf8.h"
#include "platform/plataforma.h"
#include "sql/backup.h"
#include "sql/consulta.h"
#include "sql/destinos.h"
#include "sql/intercambio_sql.h"
#include "sql/respuesta.h"

// The part of a script line that is kept: a longer line makes a statement too
// long to send anyway, so the rest is only counted.
constexpr int TAM_LINEA_SCRIPT = TAM_TRAMA + 1;

size_t sustituye_texto(const char* marca, const char* valor, char* texto, size_t cap) {
  size_t largo = strlen(texto);
  char minusculas[64];
  const char* p = strstr(texto, marca);
  size_t largo_marca = strlen(marca);
  if (p == nullptr && largo_marca < sizeof minusculas) {
    copia_texto(minusculas, marca);
    a_minusculas(minusculas);
    p = strstr(texto, minusculas);
  }
  if (p == nullptr) return largo;
  size_t inicio = (size_t)(p - texto);
  size_t largo_valor = strlen(valor);
  size_t total = largo - largo_marca + largo_valor;
  if (cap == 0) return total;
  // Move what follows the marker first, then put the value in its place; both
  // are cut at the capacity.
  size_t tras = inicio + largo_valor;
  if (tras < cap - 1) {
    size_t cola = largo - inicio - largo_marca;
    if (tras + cola > cap - 1) cola = cap - 1 - tras;
    memmove(texto + tras, texto + inicio + largo_marca, cola);
  }
  size_t k = largo_valor;
  if (inicio + k > cap - 1) k = cap - 1 - inicio;
  memcpy(texto + inicio, valor, k);
  texto[total < cap - 1 ? total : cap - 1] = '\0';
  return total;
}

Resultado envia_sentencia(const char* sentencia) {
  static char buffer[TAM_TRAMA + 1];
  int largo = (int)strlen(sentencia) + 13;
  formatea(buffer, "04%.3d%.3d%5d%s", 1, 1, largo, sentencia);
  int rc = intercambia_sql(buffer, TrazaEnvio::con_ebcdic, false);
  if (rc < 0) return Resultado::hecho;
  Mensaje r = respuesta_de(buffer, rc);
  // The cursor of the reply is only traced: the shell's icursor stays.
  if (ctx.test >= 1) printf("Recibe: rc=%d  icursor=%d [%s]\n", rc, resp_cursor(r), buffer);
  return trata_respuesta_sentencia(r, rc);
}

namespace {

// The statement being gathered from the lines of a script. `largo` keeps
// counting past the buffer, so that an overlong statement is reported with its
// real length.
struct Sentencia {
  char texto[TAM_TRAMA + 1];
  size_t largo;
  bool pendiente;
  bool danada;  // one of its lines held a NUL byte: it is not run

  void vacia() {
    texto[0] = '\0';
    largo = 0;
    pendiente = false;
    danada = false;
  }
  // Appends a line of `total` characters of which the first `guardados` are
  // at s (the rest of a longer line was only counted).
  void anade(const char* s, size_t guardados, size_t total) {
    if (largo < sizeof texto - 1) {
      size_t k = guardados < sizeof texto - 1 - largo ? guardados : sizeof texto - 1 - largo;
      memcpy(texto + largo, s, k);
      texto[largo + k] = '\0';
    }
    largo += total;
    pendiente = true;
  }
  bool cabe() const { return largo <= (size_t)MAX_SENTENCIA; }
};

Sentencia sentencia;

// Sends a statement of the script `nombre` as the CP1252 the server takes,
// unless it holds a character that CP1252 cannot carry (fallo_local).
Resultado envia_de_persona(const char* texto, const char* nombre) {
  static char cp1252[TAM_TRAMA + 1];
  if (!de_persona(texto, strlen(texto), cp1252, nombre)) return Resultado::fallo_local;
  return envia_sentencia(cp1252);
}

// Sends the statement unless it cannot travel in one message (fallo_local).
Resultado envia_si_cabe(const Sentencia& s, const char* nombre) {
  if (!s.cabe()) {
    printf("Sentencia demasiado larga (%d caracteres)\n", (int)s.largo);
    return Resultado::fallo_local;
  }
  return envia_de_persona(s.texto, nombre);
}

// What the script has come to: its first failure.
void anota(Resultado* acumulado, Resultado r) {
  if (*acumulado == Resultado::hecho) *acumulado = r;
}

// An empty line, or a comment: judged on the first two characters of the
// line as read (a NUL byte among them is a character like any other).
bool es_comentario(const char* linea, const LineaLeida& l) {
  if (l.guardados == 0) return true;
  char segundo = l.guardados > 1 ? linea[1] : '\0';
  return linea[0] == '-' || segundo == '-' || linea[0] == '#' || linea[0] == '$';
}

// A statement whose line ended in ";": markers, the ";" removed, then end,
// loadsql or message 04, what it came to in *r. Returns true when the script
// is to stop.
bool ejecuta_completa(Sentencia& s, const char* biblioteca, const char* nombre, Resultado* r) {
  *r = Resultado::hecho;
  if (s.cabe()) {
    s.largo = sustituye_texto("%CURLIB%", biblioteca, s.texto, sizeof s.texto);
    if (s.cabe()) s.largo = sustituye_texto("%curlib%", biblioteca, s.texto, sizeof s.texto);
  }
  s.largo--;
  if (s.largo < sizeof s.texto) s.texto[s.largo] = '\0';
  if (s.largo == 0) return false;
  if (!s.cabe()) {
    printf("Sentencia demasiado larga (%d caracteres)\n", (int)s.largo);
    *r = Resultado::fallo_local;
    return false;
  }
  escribe_en(destino_guion(), "[%s]\n", s.texto);
  if (strncmp(s.texto, "end", 3) == 0 || strncmp(s.texto, "END", 3) == 0) return true;
  if (strncmp(s.texto, "loadsql", 7) == 0 || strncmp(s.texto, "LOADSQL", 7) == 0) {
    *r = carga_backup(s.texto);
  } else {
    *r = envia_de_persona(s.texto, nombre);
  }
  return false;
}

}  // namespace

Resultado ejecuta_fsql(const char* linea) {
  char biblioteca[TAM_AJUSTE];
  if (!toma_env(biblioteca, "WWW_CURLIB")) return Resultado::fallo_grave;
  if (biblioteca[0] == '\0') copia_texto(biblioteca, "VERIVUD");
  const char* nombre = strlen(linea) > 5 ? linea + 5 : "";
  nombre += strspn(nombre, " ");

  escribe_en(destino_charla(), "\n");
  FILE* f = plat_abre_texto(nombre, "r");
  if (f == nullptr) {
    printf("Imposible abrir (%s)\n", nombre);
    return Resultado::fallo_local;
  }
  if (ctx.test == 1) printf("Abre fichero (%s)\n", nombre);

  Sentencia& s = sentencia;
  s.vacia();
  bool para = false;
  Resultado resultado = Resultado::hecho;
  static char leida[TAM_LINEA_SCRIPT];
  LineaLeida l;
  int numero = 0;
  // A last line without a line feed is run like the others; a 0x1A that ends
  // the file is its end-of-file mark.
  while (!para && lee_linea_entera(f, leida, sizeof leida, &l, true)) {
    numero++;
    // An editor's byte-order mark is not part of the first statement.
    if (numero == 1 && ctx.utf8) quita_bom(leida, &l);
    if (l.nulo) {
      // Whatever the NUL hides, none of the statement is sent: without the
      // line, the lines around it would join into another statement.
      printf("Byte nulo en la linea %d de (%s)\n", numero, nombre);
      anota(&resultado, Resultado::fallo_local);
      if (es_comentario(leida, l)) continue;
      s.danada = true;
    } else if (es_comentario(leida, l)) {
      continue;
    } else if (ctx.utf8 && !utf8_valido(leida, l.guardados, l.largo > l.guardados)) {
      // Not the text of a UTF-8 run (a file saved in another code page): its
      // statement is not sent, for the same reason.
      printf("Texto no valido en UTF-8 en la linea %d de (%s)\n", numero, nombre);
      anota(&resultado, Resultado::fallo_local);
      s.danada = true;
    } else {
      // The line as read, with its line feed.
      if (ctx.test == 1) printf("[%s%s]\n", leida, l.con_fin ? "\n" : "");
      s.anade(leida, l.guardados, l.largo);
    }
    if (l.largo > 0 && l.ultimo == ';') {
      Resultado r = Resultado::hecho;
      if (!s.danada) para = ejecuta_completa(s, biblioteca, nombre, &r);
      anota(&resultado, r);
      s.vacia();
    }
    // A closed standard output or an interruption: the run is ending, and
    // nothing more of the script is sent. A batch stops at its first failure.
    if (ejecucion_cortada() || guion_se_detiene(resultado)) {
      fclose(f);
      return resultado;
    }
  }
  fclose(f);
  // The file ended inside a statement without ";": it is still sent, as it
  // stands (no marker replaced, no end or loadsql test).
  if (s.pendiente && !s.danada) {
    if (s.cabe()) escribe_en(destino_guion_inacabado(), "[%s]\n", s.texto);
    anota(&resultado, envia_si_cabe(s, nombre));
  }
  return resultado;
}

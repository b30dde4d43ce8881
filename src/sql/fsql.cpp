// The script runner: reads a script in lines of at most 599 characters,
// skips comments, joins lines up to a ";" at the end of one, replaces the
// %CURLIB% marker, and runs each statement (end, loadsql or message 04).
#include "sql/fsql.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "base/texto.h"
#include "sql/backup.h"
#include "sql/consulta.h"
#include "sql/respuesta.h"
#include "sql/intercambio_sql.h"

// A statement travels in one message 04 after a 13-character header, and one
// frame carries at most MAX_CARGA payload bytes.
constexpr int MAX_SENTENCIA = MAX_CARGA - 13;
constexpr int TAM_LINEA_SCRIPT = 600;

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

int envia_sentencia(const char* sentencia) {
  static char buffer[TAM_TRAMA + 1];
  int largo = (int)strlen(sentencia) + 13;
  formatea(buffer, "04%.3d%.3d%5d%s", 1, 1, largo, sentencia);
  int rc = intercambia_sql(buffer, TrazaEnvio::con_ebcdic, false);
  if (rc < 0) return rc;
  Mensaje r = respuesta_sql(buffer, rc);
  // The cursor of the reply is only traced: the shell's icursor stays.
  if (ctx.test >= 1) printf("Recibe: rc=%d  icursor=%d [%s]\n", rc, resp_cursor(r), buffer);
  trata_respuesta_sentencia(r, rc);
  return 0;
}

namespace {

// The statement being gathered from the lines of a script. `largo` keeps
// counting past the buffer, so that an overlong statement is reported with its
// real length.
struct Sentencia {
  char texto[TAM_TRAMA + 1];
  size_t largo;
  bool pendiente;

  void vacia() {
    texto[0] = '\0';
    largo = 0;
    pendiente = false;
  }
  void anade(const char* s, size_t n) {
    if (largo < sizeof texto - 1) {
      size_t k = n < sizeof texto - 1 - largo ? n : sizeof texto - 1 - largo;
      memcpy(texto + largo, s, k);
      texto[largo + k] = '\0';
    }
    largo += n;
    pendiente = true;
  }
  bool cabe() const { return largo <= (size_t)MAX_SENTENCIA; }
};

Sentencia sentencia;

// Sends the statement unless it cannot travel in one message.
void envia_si_cabe(const Sentencia& s) {
  if (!s.cabe()) {
    printf("Sentencia demasiado larga (%d caracteres)\n", (int)s.largo);
    return;
  }
  envia_sentencia(s.texto);
}

bool es_comentario(const char* linea) {
  return linea[0] == '\0' || linea[0] == '\n' || linea[0] == '-' || linea[1] == '-' || linea[0] == '#' ||
         linea[0] == '$';
}

// A statement whose line ended in ";": markers, the ";" removed, then end,
// loadsql or message 04. Returns true when the script is to stop.
bool ejecuta_completa(Sentencia& s, const char* biblioteca) {
  if (s.cabe()) {
    s.largo = sustituye_texto("%CURLIB%", biblioteca, s.texto, sizeof s.texto);
    if (s.cabe()) s.largo = sustituye_texto("%curlib%", biblioteca, s.texto, sizeof s.texto);
  }
  s.largo--;
  if (s.largo < sizeof s.texto) s.texto[s.largo] = '\0';
  if (s.largo == 0) return false;
  if (!s.cabe()) {
    printf("Sentencia demasiado larga (%d caracteres)\n", (int)s.largo);
    return false;
  }
  fprintf(ctx.isalida == 1 ? ctx.fsalida : stdout, "[%s]\n", s.texto);
  if (strncmp(s.texto, "end", 3) == 0 || strncmp(s.texto, "END", 3) == 0) return true;
  if (strncmp(s.texto, "loadsql", 7) == 0 || strncmp(s.texto, "LOADSQL", 7) == 0) {
    carga_backup(s.texto);
  } else {
    envia_sentencia(s.texto);
  }
  return false;
}

}  // namespace

void ejecuta_fsql(const char* linea) {
  char biblioteca[TAM_AJUSTE];
  toma_env(biblioteca, "WWW_CURLIB");
  if (biblioteca[0] == '\0') copia_texto(biblioteca, "VERIVUD");
  const char* nombre = strlen(linea) > 5 ? linea + 5 : "";
  nombre += strspn(nombre, " ");

  printf("\n");
  FILE* f = plat_abre_texto(nombre, "r");
  if (f == nullptr) {
    printf("Imposible abrir (%s)\n", nombre);
    return;
  }
  if (ctx.test == 1) printf("Abre fichero (%s)\n", nombre);

  Sentencia& s = sentencia;
  s.vacia();
  bool para = false;
  char leida[TAM_LINEA_SCRIPT];
  // A last line without a line feed is run like the others.
  while (!para && plat_lee_linea(leida, sizeof leida, f) != nullptr) {
    if (es_comentario(leida)) continue;
    if (ctx.test == 1) printf("[%s]\n", leida);
    size_t n = strlen(leida);
    if (n > 0 && leida[n - 1] == '\n') n--;
    s.anade(leida, n);
    if (n > 0 && leida[n - 1] == ';') {
      para = ejecuta_completa(s, biblioteca);
      s.vacia();
    }
  }
  fclose(f);
  // The file ended inside a statement without ";": it is still sent, as it
  // stands (no marker replaced, no end or loadsql test).
  if (s.pendiente) {
    if (s.cabe()) printf("[%s]\n", s.texto);
    envia_si_cabe(s);
  }
}

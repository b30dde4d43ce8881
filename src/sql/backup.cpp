// The backup loader: the table name of a file, the record reader, the row
// encoding, message 05 and the batching of rows by the session's buffer size
// (or one row per batch with MINSERT).
#include "sql/backup.h"

#include <cstring>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "sql/destinos.h"
#include "sql/intercambio_sql.h"
#include "sql/muestra.h"
#include "sql/respuesta.h"

static const char SEPARADOR = '~';
static const char MARCA_CAMPO = (char)0xAE;

void tabla_de_fichero(const char* nombre, char* tabla, size_t cap) {
  const char* p = nombre;
  for (const char* q = nombre; *q; q++)
    if (*q == '\\' || *q == '/') p = q + 1;
  size_t n = strcspn(p, ".");
  if (n > (size_t)MAX_TABLA || n + 1 > cap) n = 0;
  memcpy(tabla, p, n);
  tabla[n] = '\0';
}

// The next byte of the file, or EOF. Counts the line ends.
static inline int toma(LectorBackup& l) {
  if (l.pos == l.hay) {
    l.pos = 0;
    l.hay = fread(l.bloque, 1, LectorBackup::TAM_BLOQUE, l.f);
    // An editor's byte-order mark is not part of the first record.
    if (l.al_principio && l.utf8 && empieza_con_bom((const char*)l.bloque, l.hay)) l.pos = LARGO_BOM;
    l.al_principio = false;
    if (l.pos == l.hay) return EOF;
  }
  int c = l.bloque[l.pos++];
  l.lineas_antes = l.lineas;
  l.tras_cr_antes = l.tras_cr;
  if (c == '\r' || (c == '\n' && !l.tras_cr)) l.lineas++;
  l.tras_cr = c == '\r';
  return c;
}

// Gives back the byte just taken (never more than one).
static inline void devuelve(LectorBackup& l) {
  l.pos--;
  l.lineas = l.lineas_antes;
  l.tras_cr = l.tras_cr_antes;
}

// The old end-of-file mark of text files (Ctrl-Z).
static const int MARCA_FIN = 0x1A;

// After a CR, the LF of a CR LF pair belongs to the same line end.
static void salta_lf(LectorBackup& l) {
  int c = toma(l);
  if (c == EOF) {
    l.fin = true;
  } else if (c != '\n') {
    devuelve(l);
  }
}

int lee_registro(LectorBackup& l, char* dest, int* separadores) {
  int n = 0;
  int seps = 0;
  bool largo = false;
  l.nulo_en_linea = 0;
  l.invalido_en_linea = 0;
  l.valida = ValidaUtf8{};
  int linea_ultimo = 0;  // the line of the last byte put into the record
  for (;;) {
    int c = toma(l);
    if (c == EOF) {
      l.fin = true;
      break;
    }
    if (c == MARCA_FIN) {
      if (toma(l) == EOF) {
        l.fin = true;
        break;
      }
      devuelve(l);
    }
    if (c == 0) {
      c = ' ';
      if (l.nulo_en_linea == 0) l.nulo_en_linea = l.lineas + 1;
    }
    if (c == '\r' || c == '\n') {
      // An empty line is no record, at the start of the file too.
      if (n == 0) continue;
      if (l.primero || seps + 1 >= l.campos) {
        if (c == '\r') salta_lf(l);
        break;
      }
      continue;
    }
    if (n == MAX_REGISTRO) {
      largo = true;
      break;
    }
    dest[n++] = (char)c;
    if (l.utf8) {
      linea_ultimo = l.lineas + 1;
      if (!l.valida.toma((unsigned char)c) && l.invalido_en_linea == 0) l.invalido_en_linea = linea_ultimo;
    }
    if (c == SEPARADOR) {
      seps++;
      if (!l.primero && seps + 1 > l.campos) {
        // A surplus separator ends the record at the byte after it, which is
        // dropped.
        int d = toma(l);
        if (d == EOF) {
          l.fin = true;
        } else if (d == '\r') {
          salta_lf(l);
        }
        break;
      }
    }
  }
  dest[n] = '\0';
  // A character begun and not ended by the end of the record.
  if (l.utf8 && !l.valida.completo() && l.invalido_en_linea == 0) l.invalido_en_linea = linea_ultimo;
  if (l.primero) {
    l.campos = seps + 1;
    l.primero = false;
  }
  *separadores = seps;
  return largo ? -1 : n;
}

int codifica_fila(const char* registro, char* dest, size_t cap) {
  size_t n = 0;
  auto pon = [&](const char* s, size_t k) {
    if (n + k >= cap) return false;
    memcpy(dest + n, s, k);
    n += k;
    return true;
  };
  const char* p = strchr(registro, SEPARADOR);
  while (p != nullptr) {
    const char* campo = p + 1;
    p = strchr(campo, SEPARADOR);
    size_t k = p != nullptr ? (size_t)(p - campo) : strlen(campo);
    while (k > 0 && campo[k - 1] == ' ') k--;
    if (!pon(&MARCA_CAMPO, 1) || !pon(campo, k)) return -1;
  }
  if (!pon(&MARCA_CAMPO, 1)) return -1;
  dest[n] = '\0';
  return (int)n;
}

int construye_mensaje_05(char* dest, size_t cap, const char* tabla, int filas, int campos, const char* lote,
                         int largo_lote) {
  int n = (int)strlen(tabla);
  // The length field counts 4 more than the message (26 + n + batch); the
  // server relies on it.
  int cabecera =
      formatea(dest, cap, "05%.3d%.3d%5d%3d%s%5d%5d", 1, 1, largo_lote + n + 30, n, tabla, filas, campos);
  if ((size_t)cabecera + (size_t)largo_lote + 1 > cap) return -1;
  memcpy(dest + cabecera, lote, (size_t)largo_lote);
  dest[cabecera + largo_lote] = '\0';
  return cabecera + largo_lote;
}

namespace {

enum class Envio { aceptado, rechazado, fallo };

// One load: the batch being filled and the counts.
struct Carga {
  char tabla[MAX_TABLA + 1];
  char lote[TAM_TRAMA + 1];
  int largo_lote = 0;
  int filas_lote = 0;
  int total = 0;
  long insertadas = 0;    // the server's counts added up
  int campos_ultima = 0;  // loaded fields of the last row put into the batch
};

// Sends the batch as message 05 and reads the server's answer. A rejected
// batch stops the load after "error. se cancela \n"; the batches before it
// stay loaded.
Envio envia_lote(Carga& c, int campos) {
  if (construye_mensaje_05(sesion_sql().buffer, sizeof sesion_sql().buffer, c.tabla, c.filas_lote, campos,
                           c.lote, c.largo_lote) < 0)
    return Envio::fallo;
  int rc = intercambia_sql(sesion_sql().buffer, TrazaEnvio::con_ebcdic, false);
  if (rc < 0) return Envio::fallo;
  Mensaje r = respuesta_de(sesion_sql().buffer, rc);
  if (ctx.test >= 1) printf("Recibe: rc=%d  icursor=%d [%s]\n", rc, resp_cursor(r), sesion_sql().buffer);
  int codigo = resp_codigo(r);
  if (resp_es_error(r)) {
    if (codigo != 100) {
      if (ctx.test >= 1) {
        char serror[4];
        lee_texto(r, 13, 3, false, serror);
        printf("Recibe2: rc=%d  serror=(%s)\n", rc, serror);
      }
      escribe_error(r);
    } else if (avisos_en_pantalla()) {
      printf("\n");
    }
    printf("error. se cancela \n");
    return Envio::rechazado;
  }
  c.total += c.filas_lote;
  c.insertadas += codigo;
  if (codigo != 0) {
    // On the screen a running count on one line; in an output file the
    // server's count of each batch; a batch says its total at the end.
    if (avisos_en_pantalla()) {
      printf("%d..", c.total);
      fflush(stdout);
    } else if (!ctx.lote) {
      escribe_en(destino_afectadas(), "%d filas afectadas.\n\n", codigo);
    }
  }
  c.largo_lote = 0;
  c.filas_lote = 0;
  // A closed standard output or an interruption: no more batches go out.
  if (ejecucion_cortada()) return Envio::fallo;
  return Envio::aceptado;
}

Carga carga;

enum class Fin { completo, fallo, rechazo, registro_largo };

Fin fin_de_envio(Envio e) {
  return e == Envio::rechazado ? Fin::rechazo : Fin::fallo;
}

// Reads, encodes and batches every record of the open file `nombre`. The last
// batch is left for the caller to send.
Fin carga_registros(LectorBackup& l, Carga& c, const char* nombre) {
  static char registro[MAX_REGISTRO + 1];
  static char fila[TAM_TRAMA + 1];
  int n = (int)strlen(c.tabla);
  // The message of a batch must fit one frame whatever WWW_BUFSIZE says.
  int limite_lote = MAX_CARGA - 26 - n;
  int separadores = 0;
  int largo = lee_registro(l, registro, &separadores);
  for (;;) {
    if (largo < 0) return Fin::registro_largo;
    if (largo == 0) return Fin::completo;
    if (l.nulo_en_linea != 0 || l.invalido_en_linea != 0) {
      // A damaged record is refused whole; the load goes on.
      if (l.nulo_en_linea != 0) {
        printf("Byte nulo en la linea %d de (%s)\n", l.nulo_en_linea, nombre);
      } else {
        printf("Texto no valido en UTF-8 en la linea %d de (%s)\n", l.invalido_en_linea, nombre);
      }
      if (l.fin) return Fin::completo;
      largo = lee_registro(l, registro, &separadores);
      continue;
    }
    // The record as the CP1252 the server takes; one with a character that
    // CP1252 cannot carry is refused whole, and the load goes on.
    static char cp1252[MAX_REGISTRO + 1];
    if (!de_persona(registro, (size_t)largo, cp1252, nombre)) {
      if (l.fin) return Fin::completo;
      largo = lee_registro(l, registro, &separadores);
      continue;
    }
    int largo_fila = codifica_fila(cp1252, fila, sizeof fila);
    if (largo_fila < 0 || largo_fila > limite_lote) return Fin::registro_largo;
    long tam = ctx.minsert != 0 ? 9999999L : (long)largo_fila + c.largo_lote + n + 30;
    if (c.largo_lote > 0 && (tam > ctx.ibufsize || c.largo_lote + largo_fila > limite_lote)) {
      // A batch sent because the next row did not fit declares the loaded
      // field count of the first record.
      Envio e = envia_lote(c, l.campos - 1);
      if (e != Envio::aceptado) return fin_de_envio(e);
    }
    memcpy(c.lote + c.largo_lote, fila, (size_t)largo_fila);
    c.largo_lote += largo_fila;
    c.filas_lote++;
    c.campos_ultima = separadores;
    if (l.fin) return Fin::completo;
    largo = lee_registro(l, registro, &separadores);
  }
}

}  // namespace

Resultado carga_backup(const char* texto) {
  // The text may be the script runner's statement: keep the name apart.
  static char nombre[TAM_TRAMA + 1];
  const char* p = strlen(texto) > 8 ? texto + 8 : "";
  copia_texto(nombre, p + strspn(p, " "));

  escribe_en(destino_charla(), "\n");
  FILE* f = plat_abre_binario(nombre, "r");
  if (f == nullptr) {
    printf("Imposible abrir (%s)\n", nombre);
    return Resultado::fallo_local;
  }
  Carga& c = carga;
  c.largo_lote = c.filas_lote = c.total = c.campos_ultima = 0;
  c.insertadas = 0;
  tabla_de_fichero(nombre, c.tabla, sizeof c.tabla);
  escribe_en(destino_charla(), "stabla=(%s)\n", c.tabla);
  if (c.tabla[0] == '\0') {
    printf("En [%s] no se ha detectado la tabla\n", nombre);
    fclose(f);
    return Resultado::fallo_local;
  }
  if (ctx.test == 1) printf("Abre fichero (%s)\n", nombre);

  LectorBackup lector;
  lector.f = f;
  lector.utf8 = ctx.utf8 != 0;
  Fin fin = carga_registros(lector, c, nombre);
  if ((fin == Fin::completo || fin == Fin::registro_largo) && c.largo_lote > 0) {
    // The last batch declares the loaded field count of the last record.
    Envio e = envia_lote(c, c.campos_ultima);
    if (e != Envio::aceptado) fin = fin_de_envio(e);
  }
  fclose(f);
  if (fin == Fin::rechazo) return Resultado::carga_rechazada;
  // After a failed exchange the load stops silently; the console ends the
  // run when the line returns to it.
  if (fin == Fin::fallo) return Resultado::hecho;
  if (c.total > 0) escribe_en(destino_charla(), "\n");
  if (ctx.lote && c.insertadas > 0) escribe_en(destino_afectadas(), "%ld filas afectadas.\n\n", c.insertadas);
  if (fin == Fin::registro_largo) {
    printf("Registro demasiado largo en (%s)\n", nombre);
    return Resultado::fallo_local;
  }
  return Resultado::hecho;
}

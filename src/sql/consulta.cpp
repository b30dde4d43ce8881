// Query execution at the prompt: builds messages 02, 03 and 04 in the session's buffer,
// exchanges them, and reads every reply field through the bounded reader of
// the received payload. The rows themselves are formatted by muestra.cpp.
#include "sql/consulta.h"

#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "base/texto.h"
#include "sql/cursores.h"
#include "sql/destinos.h"
#include "sql/intercambio_sql.h"
#include "sql/muestra.h"
#include "sql/respuesta.h"
#include "sql/vista.h"

bool intercambia_consulta(Mensaje* r) {
  int rc = intercambia_sql(sesion_sql().buffer, TrazaEnvio::simple, false);
  if (rc < 0) return false;
  *r = respuesta_de(sesion_sql().buffer, rc);
  return true;
}

void construye_mensaje(const char* codigo, const char* sentencia) {
  int largo = (int)strlen(sentencia) + 13;
  formatea(sesion_sql().buffer, "%s%.3d%.3d%5d%s", codigo, ctx.isesion, ctx.icursor, largo, sentencia);
}

// Takes the cursor number of a 02 or 04 reply. Returns its area, or nullptr
// when the number is not valid (icursor is then left as it was) or there is
// no memory for its area (*sin_memoria).
static AreaCursor* toma_cursor(const Mensaje& r, bool* sin_memoria) {
  int cursor = resp_cursor(r);
  if (ctx.test >= 1) printf("Recibe: rc=%d  icursor=%d [%s]\n", r.largo, cursor, r.datos);
  AreaCursor* area = area_de_cursor(cursor, sin_memoria);
  if (area != nullptr) ctx.icursor = cursor;
  return area;
}

// What a reply whose cursor could not be taken comes to.
static Resultado sin_cursor(bool sin_memoria) {
  return sin_memoria ? Resultado::fallo_grave : Resultado::fallo_sentencia;
}

static void escribe_resumen(int filas) {
  escribe_en(destino_resumen(), "( %d filas )\n\n", filas);
}

// The end of the rows a query shows: its summary, unless they were stopped.
static void termina_filas(const VistaConsulta& vista) {
  if (!vista.detenida()) escribe_resumen(vista.filas());
}

// The first reply of a query. Returns true when the fetch loop is to run;
// *resultado says what the query came to otherwise.
static bool trata_apertura(const Mensaje& r, AreaCursor& area, VistaConsulta& vista, Resultado* resultado) {
  *resultado = Resultado::hecho;
  if (resp_es_error(r)) {
    // A batch takes code 100 for a result without rows; at the prompt it is
    // reported like any other code.
    if (ctx.lote && resp_codigo(r) == 100) return false;
    escribe_error(r);
    *resultado = Resultado::fallo_sentencia;
    return false;
  }
  *resultado = Resultado::fallo_sentencia;
  int columnas = lee_columnas(r, area, ctx.dict, ctx.test, stdout);
  if (columnas > MAX_COLUMNAS) {
    printf("Demasiadas columnas (%d)\n", columnas);
    return false;
  }
  // No column of the server's database is that wide: the reply lies, and its
  // rows would only be padding.
  int32_t ancho = ancho_no_valido(area);
  if (ancho != 0) {
    printf("Ancho de columna no valido (%d)\n", ancho);
    return false;
  }
  *resultado = Resultado::hecho;
  BloqueRespuesta b = resp_bloque(r, true);
  vista.empieza(area, b.filas, b.sigue != 0);
  if (b.filas > 0) vista.muestra(r, b.posicion, b.filas, area);
  if (b.sigue == 1) {
    termina_filas(vista);
    return false;
  }
  // A closed standard output (or an interruption) fetches no more: the
  // console ends the run.
  if (b.sigue != 0 || ejecucion_cortada()) return false;
  if (vista.basta()) {
    termina_filas(vista);
    return false;
  }
  return true;
}

Resultado ejecuta_consulta(const char* sentencia) {
  VistaConsulta vista;
  construye_mensaje("02", sentencia);
  Mensaje r;
  if (!intercambia_consulta(&r)) return Resultado::hecho;
  bool sin_memoria = false;
  AreaCursor* area = toma_cursor(r, &sin_memoria);
  if (area == nullptr) return sin_cursor(sin_memoria);
  Resultado resultado;
  if (!trata_apertura(r, *area, vista, &resultado)) return resultado;

  // Fetch loop: a block marked last (sigue 1) or code 100 ends the query with
  // its summary, another error with the error line; a sigue other than 0 and
  // 1 ends it silently. The 03 reply carries no cursor: its row count sits
  // where the status would be.
  for (;;) {
    formatea(sesion_sql().buffer, "03%.3d%.3d", ctx.isesion, ctx.icursor);
    if (!intercambia_consulta(&r)) return Resultado::hecho;
    bool error = resp_es_error(r);
    int codigo = resp_codigo(r);
    BloqueRespuesta b = resp_bloque(r, false);
    int sigue = b.sigue;
    if (!error) vista.muestra(r, b.posicion, b.filas, *area);
    if (error || sigue == 1) {
      if (ctx.test >= 1) {
        char serror[4];
        lee_texto(r, 13, 3, false, serror);
        printf("Recibe: rc=%d  serror=(%s) sigue=%d\n", r.largo, serror, sigue);
      }
      if (codigo == 100 || sigue == 1) {
        termina_filas(vista);
        return Resultado::hecho;
      }
      escribe_error(r);
      return Resultado::fallo_sentencia;
    }
    if (sigue != 0 || ejecucion_cortada()) return Resultado::hecho;
    // ROWNUM reached, Ctrl-C at a terminal, the pager left: no more fetches.
    if (vista.basta()) {
      termina_filas(vista);
      return Resultado::hecho;
    }
  }
}

Resultado trata_respuesta_sentencia(const Mensaje& r, int rc) {
  int n = resp_codigo(r);
  if (resp_es_error(r)) {
    if (n == 100) {
      if (avisos_en_pantalla()) printf("\n");
      return Resultado::hecho;
    }
    if (ctx.test >= 1) {
      char serror[4];
      lee_texto(r, 13, 3, false, serror);
      printf("Recibe2: rc=%d  serror=(%s)\n", rc, serror);
    }
    escribe_error(r);
    return Resultado::fallo_sentencia;
  }
  if (n != 0) escribe_en(destino_afectadas(), "%d filas afectadas.\n\n", n);
  return Resultado::hecho;
}

Resultado ejecuta_sentencia(const char* sentencia) {
  construye_mensaje("04", sentencia);
  Mensaje r;
  if (!intercambia_consulta(&r)) return Resultado::hecho;
  bool sin_memoria = false;
  if (toma_cursor(r, &sin_memoria) == nullptr) return sin_cursor(sin_memoria);
  return trata_respuesta_sentencia(r, r.largo);
}

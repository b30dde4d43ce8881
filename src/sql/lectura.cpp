// Queries read to their end for the program itself (lectura.h): message 02,
// then 03 while the server says more rows follow, every block checked to
// hold the whole rows it claims.
#include "sql/lectura.h"

#include "base/contexto.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "sql/consulta.h"
#include "sql/cursores.h"
#include "sql/intercambio_sql.h"
#include "sql/respuesta.h"
#include "wire/trama.h"

namespace {

// The exchange of the message in the session's buffer, its reply in *r.
// With a deadline, a reply that has not come whole by then is left on its
// way.
Lectura intercambia(Mensaje* r, int64_t limite_ms) {
  Sesion& s = sesion_sql();
  if (limite_ms <= 0) return intercambia_consulta(r) ? Lectura::bien : Lectura::fallo;
  if (!libre_hasta(limite_ms)) return Lectura::sin_respuesta;
  if (envia_sql(s.buffer, TrazaEnvio::simple) < 0) return Lectura::fallo;
  int rc = recibe_sql_hasta(s.buffer, limite_ms);
  if (rc == RECEPCION_A_DESTIEMPO) return Lectura::sin_respuesta;
  if (rc < 0) return Lectura::fallo;
  *r = respuesta_de(s.buffer, rc);
  return Lectura::bien;
}

}  // namespace

Lectura lee_consulta(const char* sentencia, int columnas, int* codigo, const PorFila& por_fila,
                     int64_t limite_ms, const char** motivo) {
  construye_mensaje("02", sentencia);
  Mensaje r;
  Lectura l = intercambia(&r, limite_ms);
  if (l != Lectura::bien) return l;
  if (resp_es_error(r)) {
    *codigo = resp_codigo(r);
    return *codigo == 100 ? Lectura::bien : Lectura::error_sql;
  }
  int cursor = resp_cursor(r);
  AreaCursor* area = area_de_cursor(cursor);
  if (area == nullptr) return Lectura::fallo;
  int leidas_columnas = lee_columnas(r, *area, 0, 0, stdout);
  if ((columnas >= 0 && leidas_columnas != columnas) || leidas_columnas > MAX_COLUMNAS ||
      ancho_no_valido(*area) != 0)
    return Lectura::fallo;
  ValorFila valores[MAX_COLUMNAS];
  long total = 0;
  Lectura resultado = Lectura::fallo;
  auto no_valida = [&](const char* por_que) {
    if (motivo != nullptr) *motivo = por_que;
    resultado = Lectura::no_valida;
    return false;
  };
  // Every row a block claims, each whole, each taken by por_fila. A block
  // that says more rows follow holds at least one, or the reading would
  // never end.
  auto bloque = [&](const BloqueRespuesta& de) {
    if (de.sigue == 0 && de.filas <= 0) return no_valida("un bloque anuncia mas filas y no trae ninguna");
    FilasDeBloque filas(r, de.posicion, de.filas, *area);
    int leidas = 0;
    while (filas.siguiente(valores)) {
      if (++total > MAX_FILAS_LEIDAS) return no_valida("mas de 1.000.000 filas");
      if (!por_fila(valores)) return no_valida("fila no valida");
      leidas++;
    }
    return leidas == de.filas;
  };
  BloqueRespuesta b = resp_bloque(r, true);
  if (!bloque(b)) return resultado;
  while (b.sigue == 0) {
    formatea(sesion_sql().buffer, "03%.3d%.3d", ctx.isesion, cursor);
    l = intercambia(&r, limite_ms);
    if (l != Lectura::bien) return l;
    // The end right after a block that said more rows follow: rows went
    // missing, or the server cannot count them.
    if (resp_es_error(r)) {
      if (resp_codigo(r) != 100) return Lectura::fallo;
      no_valida("fin tras anunciar mas filas");
      return resultado;
    }
    b = resp_bloque(r, false);
    if (!bloque(b)) return resultado;
  }
  return b.sigue == 1 ? Lectura::bien : Lectura::fallo;
}

Lectura lee_filas_de_texto(const std::string& sentencia, int columnas,
                           std::vector<std::vector<std::string>>* filas, int* codigo, int64_t limite_ms,
                           size_t max_bytes, size_t* bytes) {
  static char cp1252[TAM_TRAMA + 1];
  size_t guardados = 0;
  if (bytes != nullptr) *bytes = 0;
  if (sentencia.size() > (size_t)MAX_SENTENCIA ||
      !de_persona(sentencia.c_str(), sentencia.size(), cp1252, "consola"))
    return Lectura::fallo;
  Lectura l = lee_consulta(
      cp1252, columnas, codigo,
      [&](const ValorFila* v) {
        std::vector<std::string> fila;
        size_t tam = sizeof fila + (size_t)columnas * sizeof(std::string);
        for (int c = 0; c < columnas; c++) {
          long ini = 0, fin = v[c].largo;
          while (ini < fin && v[c].bytes[ini] == ' ') ini++;
          while (fin > ini && v[c].bytes[fin - 1] == ' ') fin--;
          tam += (size_t)(fin - ini);
          fila.emplace_back(v[c].bytes + ini, (size_t)(fin - ini));
        }
        // Counted before it is kept: the limit is never passed.
        if (tam > max_bytes - guardados) return false;
        guardados += tam;
        filas->push_back(std::move(fila));
        return true;
      },
      limite_ms);
  if (bytes != nullptr) *bytes = guardados;
  return l;
}

std::string literales_sql(const std::vector<std::string>& nombres) {
  std::string l;
  for (const std::string& n : nombres) {
    if (!l.empty()) l += ", ";
    l += '\'';
    for (char c : n) {
      if (c == '\'') l += '\'';
      l += c;
    }
    l += '\'';
  }
  return l;
}

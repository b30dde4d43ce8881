// The console commands other than statements, scripts and loads, one small
// handler each, and the settings they read and change. Messages 06 and 07 are
// built and received in the session's buffer.
#include "sql/comandos.h"

#include <cstdio>
#include <cstring>

#include "base/ajustes.h"
#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "sql/destinos.h"
#include "sql/intercambio_sql.h"
#include "wire/intercambio.h"
#include "wire/trama.h"

// "|" unless DELIM is non-empty, then its first character. Only that
// character is used, so the value is not copied.
static char delimitador() {
  const char* valor = plat_getenv("DELIM");
  return valor != nullptr && valor[0] != '\0' ? valor[0] : '|';
}

// Those of the set command, FORMATO, CABECERA and PAGER (read at each query),
// WWW_CURLIB (scripts and loads) and WWW_EBCDIC (the receive side). WWW_LIBL and the other
// connection settings change nothing once the session runs.
const char* const AJUSTES_CONSOLA[] = {"DICT",    "TEST",       "ROWNUM",     "MINSERT",  "DELIM", "DELIMB",
                                       "FORMATO", "WWW_CURLIB", "WWW_EBCDIC", "CABECERA", "PAGER"};
const int NUM_AJUSTES_CONSOLA = (int)(sizeof AJUSTES_CONSOLA / sizeof AJUSTES_CONSOLA[0]);

void lee_ajustes_consola() {
  ctx.minsert = toma_env_entero("MINSERT");
  ctx.dict = toma_env_entero("DICT");
  ctx.rownum = toma_env_entero("ROWNUM");
  ctx.delim = delimitador();
  ctx.delimb = 1;
  if (env_no_vacia("DELIMB")) ctx.delimb = toma_env_entero("DELIMB");
  ctx.isalida = 0;
}

// The part of the line after its first n characters ("" for a shorter line).
static const char* resto(const char* linea, size_t n) {
  return strlen(linea) > n ? linea + n : "";
}

// The bytes 0xA2 and 0xA0 are the console's OEM letters for ó and á; they are
// written as single bytes.
static const char TEXTO_AYUDA[] =
    "\n"
    "sqlserver            Modalidad salida SQLSERVER - bcp\n"
    "kill                 Termina ejecuci\xA2n AS y VORTCP\n"
    "fsql nnn.sql         Ejecucion directa de un fichero .sql\n"
    "loadsql nnn.dat      Cargar un fichero BACKUP de sql en as.\n"
    "output               Salida por pantalla, si tenia salida a fichero la cierra\n"
    "output nnn.txt       La salida de la ejecuci\xA2n se graba en el fichero nnn.txt\n"
    "quit (o enter)       Finaliza ejecucion\n"
    "\nset DICT=1         Activa mostrar cabecera descripcion sentencia (0 no)\n"
    "set DELIM=n          Caracter delimitador de campo, por defecto '|'\n"
    "set DELIMB=n         Caracter blanco entre delimitar, por defecto si (1)\n"
    "set LIBL=A/B/C       Activar asignacion de librerias A/B/C\n"
    "set ROWNUM=n         Muestra m\xA0ximo n filas\n"
    "set TEST=1           Activa modo test (1) o no (!=0)\n"
    "set MINSERT=n        Numero maximo de filas insertada a la vez. 0 o nulo lo que permita buffer tcp. "
    "Valor defecto, 0.\n"
    "\n";

Resultado muestra_ayuda(const char*) {
  // What was asked for: a batch's result.
  FILE* f = salida_de_resultados();
  if (!ctx.utf8) {
    fwrite(TEXTO_AYUDA, 1, sizeof TEXTO_AYUDA - 1, f);
    return Resultado::hecho;
  }
  // A UTF-8 console gets the two letters as themselves.
  for (const char* p = TEXTO_AYUDA; *p; p++) {
    if (*p == '\xA2') {
      fputs("\xC3\xB3", f);  // ó
    } else if (*p == '\xA0') {
      fputs("\xC3\xA1", f);  // á
    } else {
      fputc(*p, f);
    }
  }
  return Resultado::hecho;
}

Resultado activa_sqlserver(const char*) {
  escribe_en(destino_charla(), "Activada salida modo SQLSERVER-bcp\n\n");
  ctx.delim = '~';
  ctx.delimb = 0;
  return Resultado::hecho;
}

// The name of the open output file, for the write error message.
static char nombre_salida[5120];  // a console line holds it

bool cierra_salida() {
  if (ctx.isalida != 1) return true;
  // Rows wait in the stream's buffer: a full disk shows only here.
  bool bien = plat_cierra_escrito(ctx.fsalida);
  if (!bien) printf("Error al grabar (%s)\n", nombre_salida);
  ctx.fsalida = nullptr;
  ctx.isalida = 0;
  return bien;
}

int estado_de_interrupcion() {
  bool bien = cierra_salida();
  // A failed standard output cannot carry the message.
  if (plat_interrupcion() == SALIDA_CERRADA) {
    int estado = informa_fallo_salida_estandar();
    return bien ? estado : SALIDA_ERROR;
  }
  printf("Consulta interrumpida.\n");
  return bien ? salida_de_senal(plat_interrupcion()) : SALIDA_ERROR;
}

bool abre_salida(const char* nombre) {
  FILE* f = plat_abre_texto(nombre, "w");
  if (f == nullptr) return false;
  copia_texto(nombre_salida, nombre);
  ctx.fsalida = f;
  ctx.isalida = 1;
  // Whatever way the run ends, the file is closed and checked first.
  registra_cierre(cierra_salida);
  return true;
}

Resultado ejecuta_output(const char* linea) {
  // The file closed here failed to be written whole: said, and a failure.
  Resultado r = cierra_salida() ? Resultado::hecho : Resultado::fallo_local;
  if (strlen(linea) < 7) return r;
  // The name is everything after the seventh character, blanks included.
  const char* nombre = linea + 7;
  escribe_en(destino_charla(), "Establecida salida ejecucion en: (%s)\n\n", nombre);
  if (abre_salida(nombre)) return r;
  // A console fed by a pipe has always ended here; at a terminal and in a
  // batch the results stay where they were.
  if (ctx.lote || ctx.en_terminal) {
    printf("Imposible abrir (%s)\n", nombre);
  } else {
    printf("Ejecucion cancelada. Imposible abrir (%s)\n", nombre);
  }
  return Resultado::fallo_grave;
}

Resultado ejecuta_set(const char* linea) {
  const char* texto = linea + 4;
  plat_putenv(texto);
  escribe_en(destino_charla(), "putenv [%s]\n", texto);
  ctx.dict = toma_env_entero("DICT");
  if (!cambia_nivel_test(toma_env_entero("TEST"))) return Resultado::fallo_grave;
  // A trace opened now is the session's too (kill writes into it).
  sesion_sql().traza = ctx.ftrace;
  ctx.rownum = toma_env_entero("ROWNUM");
  ctx.minsert = toma_env_entero("MINSERT");
  ctx.delim = delimitador();
  // An unset DELIMB leaves delimb as it is (so bcp mode keeps it at 0).
  if (env_no_vacia("DELIMB")) ctx.delimb = toma_env_entero("DELIMB");
  escribe_en(destino_charla(), "dict=%d test=%d rownum=%d delim=%c delimb=%d\n\n", ctx.dict, ctx.test,
             ctx.rownum, ctx.delim, ctx.delimb);
  return Resultado::hecho;
}

// Messages 06 and 07: the code, the length of the text alone ("%.5d": unlike
// 02 and 04 it does not count the header), the text after the command word.
// False, with nothing built, when the text has a character CP1252 cannot
// carry (de_persona).
static bool construye_comando(const char* codigo, const char* linea) {
  static char texto[TAM_TRAMA];
  const char* dicho = resto(linea, 4);
  size_t n = strnlen(dicho, sizeof texto - 1);
  if (!de_persona(dicho, n, texto, linea)) return false;
  formatea(sesion_sql().buffer, "%s%.5d%s", codigo, (int)strlen(texto), texto);
  return true;
}

Resultado envia_cls(const char* linea) {
  if (!construye_comando("06", linea)) return Resultado::fallo_local;
  escribe_en(destino_charla(), "envia: [%s]\n", sesion_sql().buffer);
  // The reply is neither examined nor shown.
  intercambia_sql(sesion_sql().buffer, TrazaEnvio::simple, false);
  return Resultado::hecho;
}

// "retorna: rc=%d [%s]\n" with the reply in the session's buffer, the server's
// text: shown safely on a terminal. What was asked for: a batch's result.
static void muestra_retorno(int rc) {
  FILE* f = salida_de_resultados();
  fprintf(f, "retorna: rc=%d [", rc);
  escribe_del_servidor(f, sesion_sql().buffer, strlen(sesion_sql().buffer));
  fprintf(f, "]\n");
}

Resultado envia_cmd(const char* linea) {
  if (!construye_comando("07", linea)) return Resultado::fallo_local;
  if (envia_sql(sesion_sql().buffer, TrazaEnvio::simple) < 0) return Resultado::hecho;
  // The only compressed reply of the protocol: the receive expands it. Its
  // line is shown even when the receive failed.
  int rc = recibe_sql(sesion_sql().buffer, true);
  if (rc == RECEPCION_NO_EXPANDIDA) return Resultado::fallo_grave;
  muestra_retorno(rc);
  if (ctx.test >= 1) muestra_retorno(rc);
  return Resultado::hecho;
}

Resultado ejecuta_imgs(const char* linea) {
  escribe_en(destino_charla(), "trata: (%s)\n", resto(linea, 5));
  return Resultado::hecho;
}

Resultado ejecuta_kill(const char*) {
  char fin[8];
  formatea(fin, "%.2d00", 96);
  envia_as(sesion_sql(), fin, 4, 1);
  // The output file is closed and checked by the run's end.
  return Resultado::fin;
}

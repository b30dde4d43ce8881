// The command line: the run-mode keyword and its request code, the positional
// names, the FECHAD/HORAD options, the options of WEB, and the texts a run can
// begin with (usage text, parameter error, title, the help of --help and the
// version line).
#include "app/argumentos.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/contexto.h"
#include "base/texto.h"

#ifndef VORTCP_VERSION
#define VORTCP_VERSION "0"  // set by the build from the project's version
#endif

namespace {

constexpr int MAX_ARGUMENTOS = 7;  // after the program name
constexpr size_t MAX_LARGO_ARGUMENTO = TAM_AJUSTE - 1;
constexpr size_t LARGO_NOMBRE = 10;  // library, file and member
constexpr size_t LARGO_TIPO = 4;

const char* const AVISO = "Cliente TCP del servidor ZIZEZ/400 para i-Series.\n\n\n";

// Keywords are matched exactly in upper or exactly in lower case. The codes
// are assigned in this order, each match overwriting the last; DATOS asks for
// a data transfer, so it runs as DAT.
struct Modo {
  const char* mayusculas;
  const char* minusculas;
  int32_t codigo;
};
const Modo MODOS[] = {
    {"SPL", "spl", 66},     {"SPF", "spf", 67}, {"DAT", "dat", 97},
    {"ALL", "all", 94},     {"WEB", "web", 54}, {"MBR", "mbr", 95},
    {"LISTA", "lista", 97}, {"END", "end", 96}, {"DATOS", "datos", 97},
};

bool es_modo(const Modo& m, const char* palabra) {
  return strcmp(palabra, m.mayusculas) == 0 || strcmp(palabra, m.minusculas) == 0;
}

// Pads with blanks to at least `ancho` characters; longer text is refused
// before this point, so nothing is ever cut.
void rellena(char (&campo)[TAM_AJUSTE], size_t ancho) {
  size_t n = strlen(campo);
  while (n < ancho && n + 1 < sizeof campo) campo[n++] = ' ';
  campo[n] = '\0';
}

// Reads the names and options after the keyword into ctx. Returns false for a
// name too long for the request, or for FECHAD/HORAD without a value.
bool lee_nombres(int argc, const char* const* argv) {
  int i = 2;
  char* const posicionales[] = {ctx.biblioteca, ctx.archivo, ctx.miembro, ctx.tipo};
  const size_t largos[] = {LARGO_NOMBRE, LARGO_NOMBRE, LARGO_NOMBRE, LARGO_TIPO};
  for (int k = 0; k < 4 && i < argc; k++) {
    // The library takes its argument whatever it says, even "FECHAD".
    if (k > 0 && strcmp(argv[i], "FECHAD") == 0) break;
    if (strlen(argv[i]) > largos[k]) return false;
    copia_texto(posicionales[k], TAM_AJUSTE, argv[i]);
    i++;
  }
  if (i < argc && strcmp(argv[i], "FECHAD") == 0) {
    if (i + 1 >= argc) return false;
    copia_texto(ctx.fechad, argv[i + 1]);
    i += 2;
  }
  // HORAD is an option only here: right after a FECHAD pair or four names.
  if (i < argc && strcmp(argv[i], "HORAD") == 0) {
    if (i + 1 >= argc) return false;
    copia_texto(ctx.horad, argv[i + 1]);
    i += 2;
  }
  return true;  // anything left over is ignored
}

// The option refused by the last analysis, for its message.
const char* opcion_rechazada = "";

// Reads the options of WEB into ctx: every argument after the keyword that
// begins with "-", with the argument after it as its value when it takes one,
// whatever that says (-f -, -c "-- nota"). The other arguments go on to be
// names, as in every mode: they are gathered after the program's name and the
// keyword into `nombres` (room for MAX_ARGUMENTOS + 1), *num counting them
// all. False for an unknown option, one without its value, or a -c or -f past
// the batch's room (opcion_rechazada names it).
bool lee_opciones_web(int argc, const char* const* argv, const char** nombres, int* num) {
  int n = 0;
  nombres[n++] = argv[0];
  nombres[n++] = argv[1];
  for (int i = 2; i < argc; i++) {
    const char* a = argv[i];
    if (a[0] != '-') {
      if (n <= MAX_ARGUMENTOS) nombres[n] = a;
      n++;
      continue;
    }
    opcion_rechazada = a;
    if (strcmp(a, "--csv") == 0) {
      ctx.csv_lote = 1;
    } else if (strcmp(a, "--sigue") == 0) {
      ctx.sigue_tras_fallo = 1;
    } else if (strcmp(a, "-c") == 0 || strcmp(a, "-f") == 0 || strcmp(a, "-o") == 0) {
      if (i + 1 >= argc) return false;
      const char* valor = argv[++i];
      if (a[1] == 'o') {
        ctx.salida_lote = valor;
      } else if (ctx.num_ordenes_lote < RunContext::MAX_ORDENES_LOTE) {
        ctx.ordenes_lote[ctx.num_ordenes_lote++] = RunContext::OrdenLote{a[1], valor};
      } else {
        return false;
      }
    } else {
      return false;
    }
  }
  *num = n;
  return true;
}

}  // namespace

ResultadoArgumentos analiza_argumentos(int argc, const char* const* argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0))
    return ResultadoArgumentos::ayuda;
  if (argc == 2 && strcmp(argv[1], "--version") == 0) return ResultadoArgumentos::version;
  ctx.lote = ctx.silencioso = ctx.sigue_tras_fallo = ctx.csv_lote = 0;
  ctx.salida_lote = nullptr;
  ctx.num_ordenes_lote = 0;
  // -q before the mode's keyword: a quiet run. It is no argument of the
  // mode: the rest is judged as without it.
  std::vector<const char*> sin_q;
  bool quieto = argc > 2 && strcmp(argv[1], "-q") == 0;
  if (quieto) {
    sin_q.assign(argv, argv + argc);
    sin_q.erase(sin_q.begin() + 1);
    argv = sin_q.data();
    argc--;
  }
  // WEB's options and their values leave the rest to be judged as in every
  // mode.
  const char* nombres_web[MAX_ARGUMENTOS + 1];
  if (argc > 2 && (strcmp(argv[1], "WEB") == 0 || strcmp(argv[1], "web") == 0)) {
    if (!lee_opciones_web(argc, argv, nombres_web, &argc)) return ResultadoArgumentos::opcion_no_valida;
    if (argc <= MAX_ARGUMENTOS + 1) argv = nombres_web;
    ctx.lote = ctx.silencioso = ctx.num_ordenes_lote > 0 ? 1 : 0;
  }
  if (quieto) ctx.silencioso = 1;
  if (argc < 2 || argc > MAX_ARGUMENTOS + 1) return ResultadoArgumentos::uso;
  for (int i = 1; i < argc; i++)
    if (strlen(argv[i]) > MAX_LARGO_ARGUMENTO) return ResultadoArgumentos::error_parametros;

  const char* palabra = argv[1];
  bool conocida = false;
  ctx.icodigo = 96;
  for (const Modo& m : MODOS) {
    if (es_modo(m, palabra)) {
      ctx.icodigo = m.codigo;
      conocida = true;
    }
  }
  if (!conocida) return ResultadoArgumentos::error_parametros;
  copia_texto(ctx.modo, palabra);
  a_mayusculas(ctx.modo);

  ctx.horad[0] = ctx.fechad[0] = ctx.tipo[0] = '\0';
  ctx.miembro[0] = ctx.archivo[0] = ctx.biblioteca[0] = '\0';
  bool fin = strcmp(palabra, "END") == 0 || strcmp(palabra, "end") == 0;
  if (!fin && argc > 2 && !lee_nombres(argc, argv)) return ResultadoArgumentos::error_parametros;

  rellena(ctx.biblioteca, LARGO_NOMBRE);
  rellena(ctx.archivo, LARGO_NOMBRE);
  rellena(ctx.miembro, LARGO_NOMBRE);
  rellena(ctx.tipo, LARGO_TIPO);
  a_mayusculas(ctx.biblioteca);
  a_mayusculas(ctx.archivo);
  a_mayusculas(ctx.miembro);
  return ResultadoArgumentos::correcto;
}

void imprime_uso() {
  fputs("\nvortcp. Traspaso masivo miembros/datos del AS/400.\n", stdout);
  fputs(AVISO, stdout);
  fputs(
      "** Error de parametros **\n"
      "Uso:    vortcp [MBR]|[DATOS]|[LISTA] <biblioteca> <archivo> <miembro>\n"
      "Donde:      <ALL>         Traspaso masivo de miembros/archivos/bibliotecas.\n"
      "            <MBR>         Traspaso masivo de miembros/bibliotecas.\n"
      "            <DAT>         Traspaso masivo de ficheros AS/400.\n"
      "            <LISTA>       Solo lista las entradas directorio.\n"
      "            <END>         Finalizar ejecucion en servidor AS/400.\n\n"
      "            <biblioteca>  Nombre biblioteca en AS/400.\n"
      "            <archivo>     Nombre archivo.\n"
      "            <miembro>     Nombre del miembro concreto a traspasar.\n"
      "\n\nSe creara la estrutura de directorio, si se requiere.\n\n",
      stdout);
}

namespace {

// One line of the help: a name in the first column, what it means after it.
struct LineaAyuda {
  const char* nombre;
  const char* texto;
};

const LineaAyuda MODOS_AYUDA[] = {
    {"MBR", "miembros fuente: LIB/ARCHIVO/MIEMBRO.ext y el indice"},
    {"ALL", "miembros, ficheros de datos (.ebc y .dta) y de mensajes (.msg)"},
    {"DAT, DATOS", "ficheros de datos: LIB/ARCHIVO.ebc, LIB/ARCHIVO_MIEMBRO.ebc, .dta"},
    {"LISTA", "lo mismo que DAT (el servidor recibe el mismo codigo)"},
    {"SPL", "ficheros de spool (codigo 66), solo en pantalla"},
    {"SPF", "ficheros de spool (codigo 67), solo en pantalla"},
    {"END", "termina el trabajo del servidor; no lee mas argumentos"},
    {"WEB", "consola SQL \"sql > \" (? muestra sus ordenes; quit termina)"},
};

const LineaAyuda ARGUMENTOS_AYUDA[] = {
    {"biblioteca", "biblioteca del AS/400, hasta 10 caracteres"},
    {"archivo", "archivo, hasta 10; en blanco o *ALL: todos"},
    {"miembro", "miembro, hasta 10; NOMBRE* es generico (entre comillas)"},
    {"tipo", "con un miembro: solo ese tipo fuente (RPGL, CBL...), hasta 4"},
    {"FECHAD aaaammdd", "solo lo cambiado en esa fecha o despues"},
    {"HORAD hhmmss", "tras FECHAD (o tras los cuatro nombres): y esa hora"},
};

// Every setting the program reads, one line each: a new setting gets its line
// here (and its row in README's configuration table).
// The options of WEB, after the keyword.
const LineaAyuda OPCIONES_WEB_AYUDA[] = {
    {"-c TEXTO", "una linea de la consola: una sentencia o una orden"},
    {"-f FICHERO", "un guion SQL (- es la entrada estandar); ';' al final de linea"},
    {"-o FICHERO", "los resultados en ese fichero, como la orden output"},
    {"--csv", "los resultados en CSV, como FORMATO=csv"},
    {"--sigue", "sigue tras una sentencia fallida (el estado sigue siendo 3)"},
};

const LineaAyuda AJUSTES_AYUDA[] = {
    {"SERVIDOR", "nombre o direccion IPv4 del servidor"},
    {"SERVPORT", "puerto TCP del servidor, o del intermediario con MULTIAS"},
    {"MULTIAS", "1: pide antes al intermediario el puerto de una sesion"},
    {"VORTCP_ESPERA", "N (1 a 86400): sesion perdida tras N s sin recibir nada"},
    {"VORTCP_SESIONES", "N (2 a 16): hasta N sesiones a la vez, con MULTIAS=1"},
    {"VORTCP_INCREMENTAL", "1: solo lo nuevo o cambiado segun el catalogo y el indice"},
    {"VORTCP_ESPEJO", "1: borra lo que el servidor ya no tiene (y su linea)"},
    {"VORTCP_SIMULA", "1: dice lo que recibiria y lo eliminado; no escribe nada"},
    {"VORTCP_INFORME", "RUTA: informe JSON de cada traspaso (%Y%m%d-%H%M%S valen)"},
    {"VORTCP_TLS", "1: TLS en cada conexion (un terminador como stunnel)"},
    {"VORTCP_TLS_CA", "certificados de confianza (PEM); vacia: los del sistema"},
    {"VORTCP_TLS_CERT", "certificado de cliente (PEM), para quien lo exija"},
    {"VORTCP_TLS_CLAVE", "su clave (PEM); vacia: la del fichero del certificado"},
    {"VORTCP_TLS_NOMBRE", "nombre del certificado del servidor (SERVIDOR)"},
    {"BASE", "la tabla se busca en BASE/basico/ebcdic.<idioma>"},
    {"WWW_ROOT", "y despues en WWW_ROOT/config/ebcdic.<idioma>"},
    {"VORTCP_LANG", "POSIX: el idioma de la tabla (ESP), en lugar de LANG"},
    {"LANG", "el idioma de la tabla cuando falta VORTCP_LANG"},
    {"VORTCP_CODIFICACION", "UTF-8: textos para personas en UTF-8; vacia: CP1252"},
    {"VORTCP_PROGRESO", "progreso en un terminal; 1: siempre; 0: nunca"},
    {"TEST", "1: volcado de depuracion y fichero trace; 2+: lineas SQL"},
    {"WWW_EBCDIC", "1: la sesion SQL viaja en EBCDIC"},
    {"WWW_BUFSIZE", "tamano del bufer de la sesion SQL y de las cargas (4096)"},
    {"WWW_LIBL", "lista de bibliotecas de la sesion SQL (A/B/C)"},
    {"WWW_COMPRI", "compresion que se pide al servidor"},
    {"WWW_CURLIB", "biblioteca de %CURLIB% y de las cargas (VERIVUD)"},
    {"FORMATO", "csv: resultados de las consultas en CSV"},
    {"DICT", "1: descriptores de columna de cada consulta"},
    {"DELIM", "delimitador de campos de la consola (|)"},
    {"DELIMB", "0: sin blancos junto a los delimitadores (1)"},
    {"MINSERT", "distinto de 0: una fila por mensaje en las cargas"},
    {"ROWNUM", "n > 0: la consola muestra (y pide) como mucho n filas"},
    {"CABECERA", "1: nombres de columna sobre cada tabla; 0: sin ellos"},
    {"PAGER", "paginador en un terminal (less -FRX); vacia: ninguno"},
    {"HOME", "POSIX: historial de la consola en HOME/.vortcp_historial"},
};

template <size_t N>
void imprime_lineas(const char* titulo, const LineaAyuda (&lineas)[N], int ancho) {
  printf("\n%s\n", titulo);
  for (const LineaAyuda& l : lineas) printf("  %-*s %s\n", ancho, l.nombre, l.texto);
}

}  // namespace

void imprime_ayuda() {
  printf("vortcp %s: cliente TCP del servidor ZIZEZ/400 para i-Series (AS/400).\n\n", VORTCP_VERSION);
  fputs(
      "Uso: vortcp [-q] MODO <biblioteca> [<archivo> [<miembro> [<tipo>]]]\n"
      "                      [FECHAD aaaammdd] [HORAD hhmmss]\n"
      "     vortcp [-q] END\n"
      "     vortcp WEB [-c TEXTO | -f FICHERO]... [-o FICHERO] [--csv] [--sigue]\n"
      "     vortcp --help | -h | --version\n",
      stdout);
  imprime_lineas("Modos (en mayusculas o en minusculas, MBR o mbr):", MODOS_AYUDA, 11);
  imprime_lineas("Argumentos:", ARGUMENTOS_AYUDA, 16);
  fputs(
      "\n-q antes del modo: sin titulo, aviso ni lineas de arranque; las lineas de\n"
      "resultado, el resumen y los fallos se escriben como siempre.\n",
      stdout);
  imprime_lineas(
      "Opciones de WEB (con -c o -f, sin titulo ni prompt; errores en stderr):", OPCIONES_WEB_AYUDA, 11);
  imprime_lineas("Variables de entorno (vacia es lo mismo que sin definir):", AJUSTES_AYUDA, 20);
  fputs(
      "\nEstado de salida:\n"
      "  0         fin normal de un traspaso; --help, --version; WEB -c/-f sin fallos\n"
      "  1         error de parametros u opcion no valida; un fichero que no se puede\n"
      "            abrir o grabar, la salida estandar incluida; sin fichero de tablas;\n"
      "            nombre rechazado; biblioteca en uso; lote rechazado en una carga;\n"
      "            quit o fin de la entrada en la consola\n"
      "  3         WEB -c/-f: una sentencia fallida (se para, salvo con --sigue)\n"
      "  255 (-1)  conexion fallida o perdida, sin respuesta del servidor,\n"
      "            conexion TLS rechazada\n"
      "  130, 143  interrumpido con Ctrl-C o SIGTERM\n"
      "  141       salida estandar cerrada (una tuberia cuyo lector termino)\n"
      "\nEjemplos:\n"
      "  SERVIDOR=as400 SERVPORT=4400 VORTCP_LANG=ESP vortcp MBR MIBIB QRPGLESRC\n"
      "      los miembros de MIBIB/QRPGLESRC en ./MIBIB/QRPGLESRC\n"
      "  vortcp MBR MIBIB 'Q*' FECHAD 20240301 HORAD 080000\n"
      "      los miembros de los archivos Q* cambiados desde el 1-3-2024 a las 8:00\n"
      "  vortcp WEB -c 'SELECT * FROM CLIENTES' --csv -o clientes.csv\n"
      "      una consulta en CSV en un fichero, sin titulo ni prompt\n"
      "\nMas en vortcp(1) y en README.md.\n",
      stdout);
}

void imprime_error_parametros() {
  fputs(AVISO, stdout);
  fputs("Error de paramentros. Ejecutar VORTCP (sin parametros).\n\n", stdout);
}

void imprime_opcion_no_valida() {
  fprintf(stderr, "Opcion no valida (%s)\n", opcion_rechazada);
}

void imprime_version() {
  printf("vortcp %s\n", VORTCP_VERSION);
}

void imprime_titulo() {
  if (ctx.silencioso) return;
  fputs("\nvortcp. Trabajo masivo con i-Series.\n", stdout);
  fputs(AVISO, stdout);
}

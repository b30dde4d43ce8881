// The local index of a library (xinfo.h): building entry lines, the key rule,
// and the replacement of the index through xinfo.tmp and one atomic rename.
#include "transfer/xinfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "main/contexto.h"
#include "main/fin.h"
#include "main/texto.h"

void fecha_actualizacion(const FechaHora& ahora, char (&dest)[9]) {
  int anio = ahora.anio % 100;
  int siglo = anio > 90 ? 19 : 20;
  formatea(dest, "%02d%02d%02d%02d", siglo, anio, ahora.mes, ahora.dia);
}

void construye_linea_xinfo(char (&dest)[LARGO_LINEA_XINFO + 2], const char* biblioteca, const char* archivo,
                           const char* miembro, const char* tipo_fuente, const char* texto, const char* fecha,
                           const char* hora, const FechaHora& ahora) {
  if (strlen(fecha) >= 3 && fecha[2] == ' ') fecha = "";
  char dia[9];
  fecha_actualizacion(ahora, dia);
  formatea(dest, "A%-10.10s%-10.10s%-10.10s%-6.6s%-55.55s%-8.8s%-6.6s%.8s%02d%02d%02d\n", biblioteca, archivo,
           miembro, tipo_fuente, texto, fecha, hora, dia, ahora.hora, ahora.minuto, ahora.segundo);
  // The description, date and time come from the server unchecked: a control
  // byte there (a line feed above all) would split the entry into two lines
  // and leave a stray line that no later update removes. It becomes a blank.
  for (int i = 0; i < LARGO_LINEA_XINFO && dest[i] != '\0'; i++)
    if ((unsigned char)dest[i] < 0x20) dest[i] = ' ';
}

bool misma_clave(const char* linea, const char* nueva) {
  if (linea[0] == '#') return false;
  // Fast path for the usual full-width lines: when both lines hold the three
  // whole fields, the trimmed keys are equal exactly when the 30 bytes are.
  if (strlen(linea) > 31 && strlen(nueva) > 31) return memcmp(linea + 1, nueva + 1, 30) == 0;
  static const int offsets[] = {1, 11, 21};
  for (int offset : offsets) {
    char a[16], b[16];
    extrae_campo(a, linea, offset, 10, 0);
    extrae_campo(b, nueva, offset, 10, 0);
    if (strcmp(a, b) != 0) return false;
  }
  return true;
}

[[noreturn]] static void falla_apertura(const char* ruta, int codigo) {
  fprintf(stderr, "Error apertura fichero: %s  rc=%d \n", ruta, codigo);
  termina(1);
}

[[noreturn]] static void falla_grabacion(const char* ruta, const char* temporal) {
  plat_borra_fichero(temporal);
  termina_con(1, "Error al grabar (%s)\n", ruta);
}

// Copies the old index into the working file without the lines of the new
// entry's key. Lines are judged whole: a line longer than the piece buffer is
// judged by its first piece (which holds the whole key) and the verdict holds
// for its other pieces. A last line without a line end is kept and given one.
// Returns 0, -1 when a write failed, or the error number of a failed read.
static int copia_sin_clave(FILE* indice, FILE* temporal, const char* nueva) {
  char trozo[1024];
  bool al_principio = true;
  bool se_copia = true;
  while (plat_lee_linea(trozo, (int)sizeof trozo, indice) != nullptr) {
    size_t n = strlen(trozo);
    if (al_principio) se_copia = !misma_clave(trozo, nueva);
    if (se_copia && fwrite(trozo, 1, n, temporal) != n) return -1;
    al_principio = n > 0 && trozo[n - 1] == '\n';
  }
  if (ferror(indice)) return plat_errno() > 0 ? plat_errno() : 1;
  if (!al_principio && se_copia && fputc('\n', temporal) == EOF) return -1;
  return 0;
}

void actualiza_xinfo(const char* biblioteca, const char* archivo, const char* miembro, const char* tipo_fuente,
                     const char* texto, const char* fecha, const char* hora) {
  char ruta[TAM_RUTA], temporal[TAM_RUTA];
  plat_ruta(ruta, "\\%s\\xvoras\\xinfo", biblioteca);
  plat_ruta(temporal, "\\%s\\xvoras\\xinfo.tmp", biblioteca);

  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, biblioteca, archivo, miembro, tipo_fuente, texto, fecha, hora,
                        plat_fecha_hora_local());

  // An index that exists but cannot be read must not be replaced by one that
  // holds only the new line.
  FILE* indice = plat_abre_texto(ruta, "r");
  if (indice == nullptr && plat_errno() != ENOENT && plat_errno() != ENOTDIR) falla_apertura(ruta, plat_errno());

  FILE* salida = plat_abre_texto(temporal, "w");
  if (salida == nullptr) {
    int codigo = plat_errno();
    if (indice != nullptr) fclose(indice);
    falla_apertura(temporal, codigo);
  }
  // The whole index passes through on every call: large buffers keep the
  // number of system calls per call small for big libraries.
  static char bufer_lectura[1 << 16], bufer_escritura[1 << 16];
  if (indice != nullptr) setvbuf(indice, bufer_lectura, _IOFBF, sizeof bufer_lectura);
  setvbuf(salida, bufer_escritura, _IOFBF, sizeof bufer_escritura);
  int copia = 0;
  if (indice != nullptr) {
    copia = copia_sin_clave(indice, salida, linea);
    fclose(indice);
  }
  bool bien = copia == 0 && fputs(linea, salida) != EOF;
  // Every failure leaves the old index as it was and no working file behind.
  bool cerrado = plat_cierra_escrito(salida);
  if (copia > 0) {
    plat_borra_fichero(temporal);
    falla_apertura(ruta, copia);
  }
  if (!bien || !cerrado) falla_grabacion(temporal, temporal);
  if (!plat_reemplaza_fichero(temporal, ruta)) falla_grabacion(ruta, temporal);
}

// The entry line of a library's index (linea.h).
#include "transfer/index/linea.h"

#include <cstring>

#include "base/texto.h"

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

void construye_clave_xinfo(char (&dest)[LARGO_LINEA_XINFO + 2], const char* biblioteca, const char* archivo,
                           const char* miembro) {
  formatea(dest, "A%-10.10s%-10.10s%-10.10s", biblioteca, archivo, miembro);
}

void campo_xinfo(const char* linea, size_t largo, CampoXinfo campo, char* dest, size_t cap) {
  size_t n = 0;
  if (campo.desde < largo) n = largo - campo.desde < campo.ancho ? largo - campo.desde : campo.ancho;
  while (n > 0 && linea[campo.desde + n - 1] == ' ') n--;
  if (n >= cap) n = cap - 1;
  if (n > 0) memcpy(dest, linea + campo.desde, n);
  dest[n] = '\0';
}

size_t campo_clave(const char* linea, size_t largo, size_t offset) {
  size_t n = 0;
  while (n < 10 && offset + n < largo && linea[offset + n] != '\n' && linea[offset + n] != '\0') n++;
  while (n > 0 && linea[offset + n - 1] == ' ') n--;
  return n;
}

bool claves_iguales(const char* a, size_t la, const char* b, size_t lb) {
  if (la > 0 && a[0] == '#') return false;
  static const size_t offsets[] = {1, 11, 21};
  for (size_t offset : offsets) {
    size_t na = campo_clave(a, la, offset);
    size_t nb = campo_clave(b, lb, offset);
    if (na != nb || (na > 0 && memcmp(a + offset, b + offset, na) != 0)) return false;
  }
  return true;
}

bool misma_clave(const char* linea, const char* nueva) {
  return claves_iguales(linea, strlen(linea), nueva, strlen(nueva));
}

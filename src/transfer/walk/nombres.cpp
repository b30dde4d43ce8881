// Local names from server names: the check that refuses names which would
// lead outside the local tree, and the source type to extension table.
#include "transfer/walk/nombres.h"

#include <cstring>

#include "base/texto.h"

bool nombre_valido(const char* nombre) {
  if (strcmp(nombre, ".") == 0 || strcmp(nombre, "..") == 0) return false;
  for (const unsigned char* p = (const unsigned char*)nombre; *p; p++) {
    if (*p < 0x20 || *p == '/' || *p == '\\' || *p == ':') return false;
  }
  return true;
}

bool es_carpeta_propia(const char* nombre) {
  static const char* const propias[] = {"xvoras", "xpanta", "xlista"};
  char minusculas[8];
  if (strlen(nombre) != 6) return false;
  copia_texto(minusculas, nombre);
  a_minusculas(minusculas);
  for (const char* p : propias)
    if (strcmp(minusculas, p) == 0) return true;
  return false;
}

const char* primer_nombre_no_valido(const char* biblioteca, const char* archivo, const char* miembro,
                                    const char* tipo) {
  if (biblioteca[0] == '\0' || !nombre_valido(biblioteca)) return biblioteca;
  if (!nombre_valido(archivo) || es_carpeta_propia(archivo)) return archivo;
  if (miembro != nullptr && !nombre_valido(miembro)) return miembro;
  if (tipo != nullptr && !nombre_valido(tipo)) return tipo;
  return nullptr;
}

// Only these exact spellings map; a mixed-case type such as "Dspf" falls
// through to its own lower-case form.
static const struct {
  const char* tipo;
  const char* extension;
} tabla_extensiones[] = {
    {"RPGL", "ile"}, {"rpgl", "ile"}, {"CBL", "cbo"},  {"cbl", "cbo"},  {"CPY", "cpy"}, {"cpy", "cpy"},
    {"DSPF", "pan"}, {"dspf", "pan"}, {"PRTF", "prt"}, {"prtf", "prt"}, {"CLP", "cl"},  {"clp", "cl"},
    {"PF", "dds"},   {"LF", "dds"},   {"pf", "dds"},   {"lf", "dds"},
};

void extension_de_tipo(const char* tipo, char* dest, size_t cap) {
  const char* resultado = tipo;
  for (const auto& fila : tabla_extensiones) {
    if (strcmp(tipo, fila.tipo) == 0) {
      resultado = fila.extension;
      break;
    }
  }
  copia_texto(dest, cap, resultado);
  a_minusculas(dest);
}

// Reads n decimal digits; -1 when one is not a digit.
static int digitos(const char* p, int n) {
  int v = 0;
  for (int i = 0; i < n; i++) {
    if (p[i] < '0' || p[i] > '9') return -1;
    v = v * 10 + (p[i] - '0');
  }
  return v;
}

bool fecha_de_cabecera(const char* fecha, const char* hora, FechaHora* f) {
  if (strlen(fecha) < 8 || strlen(hora) < 6) return false;
  FechaHora r{digitos(fecha, 4), digitos(fecha + 4, 2), digitos(fecha + 6, 2),
              digitos(hora, 2),  digitos(hora + 2, 2),  digitos(hora + 4, 2)};
  static const int dias_del_mes[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (r.anio < 1900 || r.mes < 1 || r.mes > 12 || r.dia < 1 || r.dia > dias_del_mes[r.mes - 1]) return false;
  bool bisiesto = (r.anio % 4 == 0 && r.anio % 100 != 0) || r.anio % 400 == 0;
  if (r.mes == 2 && r.dia == 29 && !bisiesto) return false;
  if (r.hora < 0 || r.hora > 23 || r.minuto < 0 || r.minuto > 59 || r.segundo < 0 || r.segundo > 59)
    return false;
  *f = r;
  return true;
}

bool copia_intacta(const char* ruta, const char* fecha, const char* hora) {
  FechaHora puesta;
  if (!fecha_de_cabecera(fecha, hora, &puesta)) return plat_es_fichero(ruta);
  return plat_tiene_fecha(ruta, puesta);
}

bool ruta_de_objeto(char* dest, size_t cap, ClaseArchivo clase, const char* biblioteca, const char* archivo,
                    const char* miembro, const char* tipo) {
  switch (clase) {
    case ClaseArchivo::fuente: {
      char extension[16];
      extension_de_tipo(tipo, extension);
      return plat_ruta(dest, cap, "\\%s\\%s\\%s.%s", biblioteca, archivo, miembro, extension);
    }
    case ClaseArchivo::datos:
      if (miembro[0] != '\0' && miembro[0] != ' ' && strcmp(miembro, archivo) != 0)
        return plat_ruta(dest, cap, "\\%s\\%s_%s.ebc", biblioteca, archivo, miembro);
      return plat_ruta(dest, cap, "\\%s\\%s.ebc", biblioteca, archivo);
    case ClaseArchivo::mensajes:
      return plat_ruta(dest, cap, "\\%s\\%s.msg", biblioteca, archivo);
  }
  return false;
}

bool casa_nombre(const char* patron, const char* nombre) {
  size_t n = strlen(patron);
  if (n == 0) return true;
  if (patron[n - 1] == '*') return strncmp(patron, nombre, n - 1) == 0;
  return strcmp(patron, nombre) == 0;
}

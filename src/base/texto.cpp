// Text and environment helpers; see texto.h. No helper writes past the capacity
// it is given.
#include "base/texto.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/contexto.h"
#include "platform/plataforma.h"

size_t copia_texto(char* dest, size_t cap, const char* src) {
  size_t n = strlen(src);
  if (cap == 0) return n;
  size_t k = n < cap - 1 ? n : cap - 1;
  memmove(dest, src, k);
  dest[k] = '\0';
  return n;
}

int formatea_v(char* dest, size_t cap, const char* formato, va_list args) {
  if (cap == 0) return 0;
  int n = vsnprintf(dest, cap, formato, args);
  if (n < 0) {
    dest[0] = '\0';
    return 0;
  }
  return n;
}

int formatea(char* dest, size_t cap, const char* formato, ...) {
  va_list args;
  va_start(args, formato);
  int n = formatea_v(dest, cap, formato, args);
  va_end(args);
  return n;
}

bool son_cifras(const char* p, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (p[i] < '0' || p[i] > '9') return false;
  return true;
}

int32_t lee_entero_n(const char* texto, size_t n) {
  size_t i = 0;
  // Like atoi: any white space before the number is skipped.
  while (i < n && (texto[i] == '\t' || texto[i] == '\n' || texto[i] == '\v' || texto[i] == '\f' ||
                   texto[i] == '\r' || texto[i] == ' '))
    i++;
  bool negativo = false;
  if (i < n && (texto[i] == '+' || texto[i] == '-')) {
    negativo = texto[i] == '-';
    i++;
  }
  long long valor = 0;
  while (i < n && texto[i] >= '0' && texto[i] <= '9') {
    valor = valor * 10 + (texto[i] - '0');
    if (valor > (long long)INT32_MAX + 1) valor = (long long)INT32_MAX + 1;
    i++;
  }
  if (negativo) valor = -valor;
  if (valor > INT32_MAX) valor = INT32_MAX;
  if (valor < INT32_MIN) valor = INT32_MIN;
  return (int32_t)valor;
}

int32_t lee_entero(const char* texto) {
  return lee_entero_n(texto, strlen(texto));
}

bool toma_env(char* dest, size_t cap, const char* nombre) {
  const char* valor = plat_getenv(nombre);
  if (valor == nullptr) valor = "";
  if (copia_texto(dest, cap, valor) < cap) return true;
  printf("Valor demasiado largo en la variable %s\n", nombre);
  return false;
}

namespace {

bool valor_no_valido(const char* nombre, const char* valor) {
  printf("Valor no valido en la variable %s (%s)\n", nombre, valor);
  return false;
}

}  // namespace

bool toma_env_numero(const char* nombre, long maximo, long* valor) {
  char texto[TAM_AJUSTE];
  *valor = 0;
  if (!toma_env(texto, nombre)) return false;
  if (texto[0] == '\0') return true;
  if (!son_cifras(texto, strlen(texto))) return valor_no_valido(nombre, texto);
  long n = 0;
  for (const char* p = texto; *p != '\0'; p++) {
    n = n * 10 + (*p - '0');
    if (n > maximo) return valor_no_valido(nombre, texto);
  }
  if (n < 1) return valor_no_valido(nombre, texto);
  *valor = n;
  return true;
}

bool toma_env_interruptor(const char* nombre, bool* valor) {
  char texto[TAM_AJUSTE];
  *valor = false;
  if (!toma_env(texto, nombre)) return false;
  *valor = strcmp(texto, "1") == 0;
  if (*valor || texto[0] == '\0' || strcmp(texto, "0") == 0) return true;
  return valor_no_valido(nombre, texto);
}

int32_t toma_env_entero(const char* nombre) {
  const char* valor = plat_getenv(nombre);
  return valor == nullptr ? 0 : lee_entero(valor);
}

bool env_no_vacia(const char* nombre) {
  const char* valor = plat_getenv(nombre);
  return valor != nullptr && valor[0] != '\0';
}

void a_mayusculas(char* texto) {
  for (; *texto; texto++)
    if (*texto >= 'a' && *texto <= 'z') *texto = (char)(*texto - 'a' + 'A');
}

void a_minusculas(char* texto) {
  for (; *texto; texto++)
    if (*texto >= 'A' && *texto <= 'Z') *texto = (char)(*texto - 'A' + 'a');
}

void quita_blancos(char* texto) {
  size_t n = strlen(texto);
  while (n > 0 && texto[n - 1] == ' ') n--;
  texto[n] = '\0';
}

void llena_blancos(char* dest, size_t cap, int n) {
  if (cap == 0) return;
  size_t k = n > 0 ? (size_t)n : 0;
  if (k > cap - 1) k = cap - 1;
  memset(dest, ' ', k);
  dest[k] = '\0';
}

void extrae_campo(char* dest, size_t cap, const char* src, int offset, int width, int pad) {
  if (cap == 0) return;
  dest[0] = '\0';
  size_t largo = strlen(src);
  if (offset < 0 || largo < (size_t)offset) return;
  size_t k = 0;
  for (int i = 0; i < width && src[offset + i] != '\0' && src[offset + i] != '\n'; i++) {
    if (k + 1 < cap) dest[k++] = src[offset + i];
  }
  if (pad == 1) {
    while ((int)k < width && k + 1 < cap) dest[k++] = ' ';
    dest[k] = '\0';
    return;
  }
  dest[k] = '\0';
  quita_blancos(dest);
}

void pon_puntos(char* dest, size_t cap, const char* digitos) {
  char inverso[64];
  size_t k = 0;
  size_t n = strlen(digitos);
  int en_grupo = 0;
  for (size_t i = n; i > 0 && k + 1 < sizeof inverso; i--) {
    inverso[k++] = digitos[i - 1];
    if (++en_grupo == 3 && k + 1 < sizeof inverso) {
      inverso[k++] = '.';
      en_grupo = 0;
    }
  }
  if (k > 0 && inverso[k - 1] == '.') k--;
  if (cap == 0) return;
  size_t j = 0;
  for (; j < k && j + 1 < cap; j++) dest[j] = inverso[k - 1 - j];
  dest[j] = '\0';
}

void muestra_linea(const char* texto) {
  printf("%s\n", texto);
}

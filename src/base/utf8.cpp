// UTF-8 checks of text a person wrote (utf8.h).
#include "base/utf8.h"

#include <cstring>

bool empieza_con_bom(const char* p, size_t n) {
  return n >= LARGO_BOM && memcmp(p, BOM_UTF8, LARGO_BOM) == 0;
}

bool ValidaUtf8::toma(unsigned char c) {
  if (faltan_ > 0) {
    bool bien = c >= min_ && c <= max_;
    faltan_ = bien ? faltan_ - 1 : 0;
    min_ = 0x80;
    max_ = 0xBF;
    return bien;
  }
  if (c < 0x80) return true;
  // The lead byte says how many bytes follow and, for the first of them, the
  // range that keeps out overlong forms, surrogates and values past U+10FFFF.
  if (c >= 0xC2 && c <= 0xDF) {
    faltan_ = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    faltan_ = 2;
    if (c == 0xE0) min_ = 0xA0;
    if (c == 0xED) max_ = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    faltan_ = 3;
    if (c == 0xF0) min_ = 0x90;
    if (c == 0xF4) max_ = 0x8F;
  } else {
    return false;
  }
  return true;
}

bool utf8_valido(const char* p, size_t n, bool cortado) {
  ValidaUtf8 v;
  for (size_t i = 0; i < n; i++)
    if (!v.toma((unsigned char)p[i])) return false;
  return v.completo() || cortado;
}

size_t caracteres_utf8(const char* p, size_t n) {
  size_t k = 0;
  for (size_t i = 0; i < n; i++) k += ((unsigned char)p[i] & 0xC0) != 0x80;
  return k;
}

// Text that a person wrote in UTF-8 (a run with VORTCP_CODIFICACION=UTF-8):
// whether its bytes are UTF-8 at all, how many characters they hold, and the
// byte-order mark that some editors put before the first line. Bytes that are
// not UTF-8 are told apart from characters CP1252 cannot carry, so that each
// is reported for what it is.
#pragma once

#include <cstddef>

// The byte-order mark, U+FEFF in UTF-8.
constexpr char BOM_UTF8[] = "\xEF\xBB\xBF";
constexpr size_t LARGO_BOM = 3;

// True when the n bytes begin with the byte-order mark.
bool empieza_con_bom(const char* p, size_t n);

// Checks UTF-8 a byte at a time, as RFC 3629 has it: no overlong forms, no
// surrogates, nothing above U+10FFFF.
class ValidaUtf8 {
 public:
  // Takes the next byte; false when it cannot stand where it is (the check
  // then starts anew with the byte after it).
  bool toma(unsigned char c);
  // False while a character has begun and not ended.
  bool completo() const { return faltan_ == 0; }

 private:
  int faltan_ = 0;            // continuation bytes still owed
  unsigned char min_ = 0x80;  // the range of the next continuation byte
  unsigned char max_ = 0xBF;
};

// True when the n bytes are UTF-8. With cortado (the text is the kept start
// of a longer line) a character begun in its last bytes may be left unended.
bool utf8_valido(const char* p, size_t n, bool cortado = false);
// The characters of n bytes of UTF-8 (the bytes that are not continuation
// bytes): as many as the CP1252 form has, when every one has a CP1252 byte.
size_t caracteres_utf8(const char* p, size_t n);

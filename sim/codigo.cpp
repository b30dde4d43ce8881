// Conversion tables of the simulator: inverses of the client's built-in tables
// and of the tables the client amends with its table file (read by the
// simulator's own reader, to the client's rules), plus UTF-8 <-> CP1252.
#include "codigo.h"

#include <cstdio>
#include <cstring>

#include "tablas_sim.h"

namespace {
unsigned char tabla_ebc_de_cp1252[256];
// The inverse of the table the client applies to member and message text:
// ebc_fija amended by the table file (a line "EE VV" turns EE into VV).
unsigned char tabla_texto_de_cp1252[256];
unsigned char tabla_ascii_de_asc[256];
unsigned char tabla_cp1252_de_asc_cli[256];

// CP1252 0x80..0x9F as Unicode code points (0 where CP1252 has no character).
const unsigned short extras_cp1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                          0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Inverts `directa` into `inversa`: where two bytes map to the same value the
// one that `preferida` names wins, else the lowest. Unreached values get `falta`.
void invierte(const unsigned char* directa, const unsigned char* preferida, unsigned char* inversa,
              unsigned char falta) {
  bool puesto[256] = {};
  for (int v = 0; v < 256; v++) inversa[v] = falta;
  if (preferida) {
    for (int v = 0; v < 256; v++) {
      if (directa[preferida[v]] == v) {
        inversa[v] = preferida[v];
        puesto[v] = true;
      }
    }
  }
  for (int b = 0; b < 256; b++) {
    unsigned char v = directa[b];
    if (!puesto[v]) {
      inversa[v] = static_cast<unsigned char>(b);
      puesto[v] = true;
    }
  }
}

// A line "EE VV" of the table file: the client sends VV as EE on its SQL
// side and reads EE as VV in member text. The client sets byte FF back to
// FF in both of its tables after the file, so a line that names FF changes
// nothing on that side of it.
void aplica_linea(int ebcdic, int ascii) {
  if (ascii != 0xFF) tabla_cp1252_de_asc_cli[ebcdic] = static_cast<unsigned char>(ascii);
  if (ebcdic != 0xFF) tabla_texto_de_cp1252[ascii] = static_cast<unsigned char>(ebcdic);
}
}  // namespace

bool prepara_codigo(const char* fichero_tabla) {
  // ebc_fija is what the client applies to everything it reads; asc_fija is
  // the natural inverse where it is one (a blank is 0x40, not 0x00).
  invierte(ebc_cliente, asc_cliente, tabla_ebc_de_cp1252, 0x6F);
  // asc_fija maps '#' and 0xF9 both to 0x69: ASCII characters win such ties.
  unsigned char ascii_primero[256];
  invierte(asc_cliente, nullptr, ascii_primero, '?');
  std::memcpy(tabla_ascii_de_asc, ascii_primero, 256);

  // What the client's SQL side sends is tabla_asc[c]: asc_fija amended by
  // the table file. Its inverse starts as that of asc_fija (ASCII winning the
  // ties) and every line "EE VV" of the file then says that EE stands for VV.
  std::memcpy(tabla_cp1252_de_asc_cli, ascii_primero, 256);
  std::memcpy(tabla_texto_de_cp1252, tabla_ebc_de_cp1252, 256);
  bool ok = true;
  if (fichero_tabla && *fichero_tabla) ok = lee_fichero_tabla(fichero_tabla, aplica_linea);
  tabla_cp1252_de_asc_cli[255] = 255;
  return ok;
}

unsigned char ebc_de_cp1252(unsigned char c) {
  return tabla_ebc_de_cp1252[c];
}
unsigned char ascii_de_asc_fija(unsigned char b) {
  return tabla_ascii_de_asc[b];
}
unsigned char cp1252_de_tabla_asc(unsigned char b) {
  return tabla_cp1252_de_asc_cli[b];
}

void a_ebcdic(std::string& texto) {
  for (char& c : texto) c = static_cast<char>(tabla_ebc_de_cp1252[static_cast<unsigned char>(c)]);
}
void a_ebcdic_texto(std::string& texto) {
  for (char& c : texto) c = static_cast<char>(tabla_texto_de_cp1252[static_cast<unsigned char>(c)]);
}
void de_tabla_asc(std::string& texto) {
  for (char& c : texto) c = static_cast<char>(tabla_cp1252_de_asc_cli[static_cast<unsigned char>(c)]);
}
void de_asc_fija(std::string& texto) {
  for (char& c : texto) c = static_cast<char>(tabla_ascii_de_asc[static_cast<unsigned char>(c)]);
}

std::string cp1252_de_utf8(const std::string& utf8) {
  std::string salida;
  salida.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned cp;
    size_t largo;
    if (c < 0x80) {
      cp = c;
      largo = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      largo = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      largo = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      largo = 4;
    } else {
      salida += '?';
      i++;
      continue;
    }
    if (i + largo > utf8.size()) {
      salida += '?';
      break;
    }
    for (size_t k = 1; k < largo; k++) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += largo;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      salida += static_cast<char>(cp);
      continue;
    }
    char sustituto = '?';
    for (int k = 0; k < 32; k++) {
      if (extras_cp1252[k] == cp) sustituto = static_cast<char>(0x80 + k);
    }
    salida += sustituto;
  }
  return salida;
}

std::string utf8_de_cp1252(const std::string& cp1252) {
  std::string salida;
  salida.reserve(cp1252.size() + cp1252.size() / 4);
  for (char ch : cp1252) {
    unsigned c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      salida += ch;
      continue;
    }
    if (c < 0xA0) c = extras_cp1252[c - 0x80] ? extras_cp1252[c - 0x80] : '?';
    if (c < 0x800) {
      salida += static_cast<char>(0xC0 | (c >> 6));
      salida += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      salida += static_cast<char>(0xE0 | (c >> 12));
      salida += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      salida += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return salida;
}

std::string utf8_de_cliente(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t largo = c < 0x80             ? 1
                   : (c & 0xE0) == 0xC0 ? 2
                   : (c & 0xF0) == 0xE0 ? 3
                   : (c & 0xF8) == 0xF0 ? 4
                                        : 0;
    if (largo == 0 || (largo == 2 && c < 0xC2) || i + largo > bytes.size()) return utf8_de_cp1252(bytes);
    for (size_t k = 1; k < largo; k++) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return utf8_de_cp1252(bytes);
    }
    i += largo;
  }
  return bytes;
}

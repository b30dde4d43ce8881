// Whole lines of a text file read in pieces of a small buffer: the length,
// the last character and a NUL byte anywhere count, whatever the buffer keeps;
// and the end-of-file mark 0x1A.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/lineas.h"

namespace {

struct Linea {
  std::string guardado;
  size_t largo;
  bool con_fin, nulo;
  char ultimo;
  bool operator==(const Linea& o) const {
    return guardado == o.guardado && largo == o.largo && con_fin == o.con_fin && nulo == o.nulo &&
           ultimo == o.ultimo;
  }
};

std::vector<Linea> lineas(const std::string& contenido, size_t cap, bool marca_fin) {
  FILE* f = tmpfile();
  fwrite(contenido.data(), 1, contenido.size(), f);
  rewind(f);
  std::vector<Linea> v;
  char buf[64];
  LineaLeida l;
  while (lee_linea_entera(f, buf, cap, &l, marca_fin))
    v.push_back({std::string(buf, l.guardados), l.largo, l.con_fin, l.nulo, l.ultimo});
  fclose(f);
  return v;
}

}  // namespace

TEST(LeeLineaEntera, LargoUltimoYNulosMasAllaDelBuffer) {
  // A 9-character line through a 5-byte buffer: 4 kept, 9 counted, its last
  // character seen; a NUL past the kept part still marks the line.
  const char contenido[] = "abcdefgh;\nxyzw\0;\n\nfin";
  std::string texto(contenido, sizeof contenido - 1);
  EXPECT_EQ(lineas(texto, 5, false),
            (std::vector<Linea>{{"abcd", 9, true, false, ';'},
                                {"xyzw", 6, true, true, ';'},
                                {"", 0, true, false, '\0'},
                                {"fin", 3, false, false, 'n'}}));
}

TEST(LeeLineaEntera, MarcaDeFinDeFichero) {
  // Only a 0x1A that is the very last byte is the mark, and only when asked.
  EXPECT_EQ(lineas("a;\n\x1a", 5, true), (std::vector<Linea>{{"a;", 2, true, false, ';'}}));
  EXPECT_EQ(lineas("a;\x1a", 5, true), (std::vector<Linea>{{"a;", 2, false, false, ';'}}));
  EXPECT_EQ(lineas("abcdef;\x1a", 3, true), (std::vector<Linea>{{"ab", 7, false, false, ';'}}));
  EXPECT_EQ(lineas("a\x1a\n", 5, true), (std::vector<Linea>{{"a\x1a", 2, true, false, '\x1a'}}));
  EXPECT_EQ(lineas("a;\n\x1a", 5, false).size(), 2u);
}

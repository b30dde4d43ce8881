// Whole lines read through a small buffer: the end-of-file mark 0x1A is taken
// off the line's last character even when the buffer kept none of its tail.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/lineas.h"

namespace {

// Each line as "kept|length|last", one after the other.
std::string lineas(const std::string& contenido, size_t cap) {
  FILE* f = tmpfile();
  fwrite(contenido.data(), 1, contenido.size(), f);
  rewind(f);
  std::string r;
  char buf[16];
  LineaLeida l;
  while (lee_linea_entera(f, buf, cap, &l, true))
    r += std::string(buf, l.guardados) + "|" + std::to_string(l.largo) + "|" + l.ultimo + " ";
  fclose(f);
  return r;
}

}  // namespace

TEST(LeeLineaEntera, MarcaDeFinSoloAlFinal) {
  EXPECT_EQ(lineas("a;\n\x1a", 5), "a;|2|; ");
  EXPECT_EQ(lineas("abcdef;\x1a", 3), "ab|7|; ");
  EXPECT_EQ(lineas("a\x1a\nb", 5), "a\x1a|2|\x1a b|1|b ");
}

// Regression tests of the faults the fuzz targets found (fuzz/), one per
// finding, each on the smallest input that showed it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "transfer/index/linea.h"

// A line feed (or any control byte) in the description, date or time of a
// header split the index entry into two lines; the stray second line then
// stayed in the index for good.
TEST(RegresionFuzz, ControlEnLosCamposDeLaEntradaDelIndice) {
  FechaHora ahora{2025, 1, 2, 3, 4, 5};
  char linea[LARGO_LINEA_XINFO + 2];
  construye_linea_xinfo(linea, "LIB1", "SRC", "PGM1", "RPGL", "uno\ndos\rtres\x01", "0101\n025", "12\t000",
                        ahora);
  std::string l = linea;
  ASSERT_EQ(l.size(), 121u);
  EXPECT_EQ(l.find('\n'), 120u);
  for (size_t i = 0; i < 120; i++) EXPECT_GE((unsigned char)l[i], 0x20) << "offset " << i;
  EXPECT_EQ(l.substr(37, 14), "uno dos tres  ");
  EXPECT_EQ(l.substr(92, 8), "0101 025");
  EXPECT_EQ(l.substr(100, 6), "12 000");
}

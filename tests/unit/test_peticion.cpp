// Unit tests of the 70-character transfer request: both layouts, the fill to
// 70 and the cut at 70.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/argumentos.h"
#include "base/contexto.h"
#include "transfer/run/peticion.h"

namespace {

std::string peticion(std::vector<std::string> args) {
  args.insert(args.begin(), "vortcp");
  std::vector<const char*> argv;
  for (auto& a : args) argv.push_back(a.c_str());
  EXPECT_EQ(analiza_argumentos((int)argv.size(), argv.data()), ResultadoArgumentos::correcto);
  char registro[LARGO_PETICION + 1];
  construye_peticion(peticion_de_la_ejecucion(), registro);
  EXPECT_EQ(strlen(registro), 70u);
  return std::string(registro);
}

std::string blancos(size_t n) {
  return std::string(n, ' ');
}

}  // namespace

TEST(Peticion, End) {
  EXPECT_EQ(peticion({"END", "LIB1", "FILE1"}), "9600070" + blancos(63));
}

TEST(Peticion, SinMiembroSeRellenaHasta70) {
  // The joined fields give 68 characters; the fill adds the last two.
  EXPECT_EQ(peticion({"MBR", "LIB1"}), "9500070LIB1" + blancos(6) + blancos(20) + blancos(33));
  EXPECT_EQ(peticion({"DAT", "LIB1", "FILE1", "FECHAD", "20120131", "HORAD", "101500"}),
            "9700070LIB1      FILE1     " + blancos(10) + "20120131101500" + blancos(19));
}

TEST(Peticion, ConMiembroLlevaTipoYSeCortaEn70) {
  // 72 characters are joined; the request is cut after the 70th.
  EXPECT_EQ(peticion({"MBR", "LIB1", "FILE1", "MBR1"}),
            "9500070LIB1      FILE1     MBR1      " + blancos(4) + blancos(29));
  std::string r = peticion({"ALL", "L", "F", "M", "rpg", "HORAD", "1015009"});
  EXPECT_EQ(r, "9400070L" + blancos(9) + "F" + blancos(9) + "M" + blancos(9) + "rpg 101500" + blancos(23));
  r = peticion({"MBR", "L", "F", "M", "FECHAD", "201201311"});
  EXPECT_EQ(r.substr(37, 4), blancos(4));
  EXPECT_EQ(r.substr(41, 8), "20120131");
  EXPECT_EQ(r.substr(49), blancos(21));
}

TEST(Peticion, FechaCortaMueveLaHora) {
  EXPECT_EQ(peticion({"MBR", "L", "FECHAD", "2012", "HORAD", "1015"}),
            "9500070L         " + blancos(20) + "20121015" + blancos(25));
}

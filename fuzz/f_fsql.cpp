// The script runner's reader: ejecuta_fsql on an arbitrary script file against
// a server that answers every statement with success. Every statement it sends
// is one message 04 whose length field is that of the message, holds no line
// end, and fits one frame.
//
// Input: byte 0, bit 0: test level 1; bit 1: WWW_CURLIB set to a long value;
// bit 2: output to a file; bit 3: a UTF-8 run. The rest is the script.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "arbol.h"
#include "comun.h"
#include "sql/fsql.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  entra_en_arbol();
  reinicia_contexto();
  static FILE* nulo = fopen("/dev/null", "w");
  Entrada e = parte_entrada(datos, n, 1);
  ctx.test = e.cabecera[0] & 1;
  if (e.cabecera[0] & 2)
    setenv("WWW_CURLIB", std::string(255, 'L').c_str(), 1);
  else
    unsetenv("WWW_CURLIB");
  ctx.isalida = (e.cabecera[0] & 4) ? 1 : 0;
  ctx.fsalida = ctx.isalida ? nulo : nullptr;
  ctx.delim = '|';
  ctx.delimb = 1;
  ctx.utf8 = (e.cabecera[0] & 8) ? 1 : 0;

  FILE* g = fopen("s.sql", "wb");
  if (g == nullptr) abort();
  if (e.nresto > 0) fwrite(e.resto, 1, e.nresto, g);
  fclose(g);
  static std::vector<std::string> respuestas(3000, std::string("0400000100000OK 000001"));
  sirve_tramas(respuestas, false);
  try {
    ejecuta_fsql("fsql s.sql");
  } catch (const FinPrograma&) {
    // A loadsql statement may name a file whose batch the server refuses
    // once the replies run out; nothing else ends the run.
  }
  for (const std::string& m : tramas_enviadas(false)) {
    if (m.compare(0, 2, "05") == 0) continue;
    COMPRUEBA(m.size() >= 13 && m.compare(0, 8, "04001001") == 0);
    COMPRUEBA(atoi(m.substr(8, 5).c_str()) == (int)m.size());
    COMPRUEBA(m.find('\n') == std::string::npos);
  }
  unsetenv("WWW_CURLIB");
  return 0;
}

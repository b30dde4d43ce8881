// The backup loader on arbitrary files: its record reader and row encoder
// straight, then carga_backup against a server that accepts every batch.
// Records stay within their limit and hold no line end; a row is never longer
// than its record plus one byte; every message 05 fits one frame and carries
// the length field of its layout (4 more than the message).
//
// Input: byte 0, bit 0: MINSERT 1; bits 1-3: WWW_BUFSIZE (4096, 0, 1, 100,
// 29990, 30000, 100000, 60); bit 4: test level 1; bit 5: a UTF-8 run. The
// rest is the file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "arbol.h"
#include "comun.h"
#include "sql/backup.h"

namespace {

// Replies that accept a batch of one row, more than any file here needs.
const std::vector<std::string>& aceptaciones() {
  static std::vector<std::string> r(6000, std::string("0500000100000OK 000001"));
  return r;
}

void comprueba_mensajes() {
  for (const std::string& m : tramas_enviadas(false)) {
    COMPRUEBA(m.size() >= 26 && m.compare(0, 8, "05001001") == 0);
    COMPRUEBA(atoi(m.substr(8, 5).c_str()) == (int)m.size() + 4);
    int n = atoi(m.substr(13, 3).c_str());
    COMPRUEBA(n > 0 && n <= MAX_TABLA && 26 + (size_t)n <= m.size());
    COMPRUEBA(atoi(m.substr(16 + n, 5).c_str()) >= 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  entra_en_arbol();
  reinicia_contexto();
  static FILE* nulo = fopen("/dev/null", "w");
  Entrada e = parte_entrada(datos, n, 1);
  static const int tamanos[8] = {4096, 0, 1, 100, 29990, 30000, 100000, 60};
  ctx.minsert = e.cabecera[0] & 1;
  ctx.ibufsize = tamanos[(e.cabecera[0] >> 1) & 7];
  ctx.test = (e.cabecera[0] & 16) ? 1 : 0;
  ctx.delim = '|';
  ctx.delimb = 1;
  ctx.fsalida = nulo;
  ctx.utf8 = (e.cabecera[0] & 32) ? 1 : 0;

  // The reader and the encoder on the bytes as they are.
  FILE* f = fmemopen((void*)(e.nresto ? e.resto : (const uint8_t*)""), e.nresto, "rb");
  if (f == nullptr) abort();
  static LectorBackup lector;
  lector = LectorBackup{};
  lector.f = f;
  lector.utf8 = ctx.utf8 != 0;
  std::vector<char> registro(MAX_REGISTRO + 1), fila(MAX_REGISTRO + 2);
  for (int vueltas = 0; vueltas < 100000; vueltas++) {
    int separadores = 0;
    int largo = lee_registro(lector, registro.data(), &separadores);
    if (largo <= 0) break;
    COMPRUEBA(largo <= MAX_REGISTRO && (int)strlen(registro.data()) == largo);
    COMPRUEBA(strchr(registro.data(), '\n') == nullptr && strchr(registro.data(), '\r') == nullptr);
    int k = 0;
    for (int i = 0; i < largo; i++) k += registro[i] == '~';
    COMPRUEBA(k == separadores);
    int lf = codifica_fila(registro.data(), fila.data(), fila.size());
    COMPRUEBA(lf >= 1 && lf <= largo + 1);
    COMPRUEBA((unsigned char)fila[0] == 0xAE && (unsigned char)fila[lf - 1] == 0xAE);
  }
  fclose(f);

  // The whole load, from a file of the tree.
  FILE* g = fopen("T1.dat", "wb");
  if (g == nullptr) abort();
  if (e.nresto > 0) fwrite(e.resto, 1, e.nresto, g);
  fclose(g);
  sirve_tramas(aceptaciones(), false);
  try {
    carga_backup("loadsql T1.dat");
  } catch (const FinPrograma& fin) {
    hallazgo("una carga aceptada termino el programa");
  }
  comprueba_mensajes();
  return 0;
}

// The transfer walk (trata_lista, or trata_spl) over an arbitrary sequence of
// server messages, writing into a temporary tree. Whatever the messages say,
// nothing may be written outside that tree, every answer is "OK", and the walk
// returns with no local file open (or reports a failure with a message).
//
// Input: byte 0, bit 0: the payloads are ASCII text to convert to EBCDIC (so
// that seeds and mutations can read as text); bit 1: a source type given on
// the command line (the index is left alone); bit 2: the spool walk; bit 3:
// test level 1; bits 4-7: 0, or k for reads of at most 2^(k-1) bytes (frames
// cut and joined anywhere, through the pending store). Then the payloads, separated by the bytes 00 FF 00;
// each goes out as one frame.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arbol.h"
#include "base/texto.h"
#include "comun.h"
#include "transfer/walk/compartido.h"
#include "transfer/walk/recorre.h"
#include "transfer/walk/recorrido.h"
#include "transfer/walk/spool.h"
#include "wire/tablas.h"

namespace {

const char SEPARADOR[3] = {0, (char)0xFF, 0};

std::string ebcdic(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = (char)asc_fija[(unsigned char)c];
  return r;
}

std::string trama(const std::string& carga) {
  char slen[16];
  snprintf(slen, sizeof slen, "%.10d", (int)carga.size() + 10);
  return ebcdic(slen) + carga;
}

void cierra_abierto(Recorrido& r) {
  if (r.objeto.fichero != nullptr) fclose(r.objeto.fichero);
  r.objeto.fichero = nullptr;
  r.objeto.abierto = false;
  r.objeto.npendiente_consola = r.objeto.npendiente_log = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  static int ejecuciones = 0;
  inicia_objetivo();
  entra_en_arbol();
  if (++ejecuciones % 256 == 0) vacia_arbol();
  reinicia_contexto();

  Entrada e = parte_entrada(datos, n, 1);
  bool en_texto = e.cabecera[0] & 1;
  bool spool = e.cabecera[0] & 4;
  ctx.test = (e.cabecera[0] & 8) ? 1 : 0;
  // What the run shares, new for each input as for each run; a source type
  // on the command line leaves the index alone.
  auto comun = std::make_unique<Compartido>();
  comun->indexa = (e.cabecera[0] & 2) == 0;

  std::string flujo;
  std::string resto((const char*)e.resto, e.nresto);
  size_t inicio = 0;
  int mensajes = 0;
  for (;;) {
    size_t fin = resto.find(std::string(SEPARADOR, 3), inicio);
    std::string carga = resto.substr(inicio, fin == std::string::npos ? std::string::npos : fin - inicio);
    if (carga.size() > MAX_CARGA) carga.resize(MAX_CARGA);
    flujo += trama(en_texto ? ebcdic(carga) : carga);
    mensajes++;
    if (fin == std::string::npos) break;
    inicio = fin + 3;
  }
  int k = e.cabecera[0] >> 4;
  uint8_t trozo = k == 0 ? 0 : (uint8_t)(k >= 9 ? 0 : 1 << (k - 1));
  if (k == 0 || k >= 9) {
    prepara_red(nullptr, 0, (const uint8_t*)flujo.data(), flujo.size());
  } else {
    prepara_red(&trozo, 1, (const uint8_t*)flujo.data(), flujo.size());
  }

  // The walk never ends the process (an end would escape as an exception,
  // a finding); whether it ends well or reports a failure, it leaves no
  // file open.
  auto recorrido = std::make_unique<Recorrido>(sesion_objetivo(), *comun);
  Recorrido& r = *recorrido;
  if (spool) {
    trata_spl(r);
  } else {
    trata_lista(r);
    COMPRUEBA(!r.objeto.abierto);
  }
  cierra_abierto(r);
  comprueba_arbol();

  // The client's only message is "OK", once per message handled at most.
  const std::string ok = trama(ebcdic("OK"));
  const std::string& env = enviado();
  COMPRUEBA(env.size() % ok.size() == 0);
  for (size_t i = 0; i < env.size(); i += ok.size()) COMPRUEBA(env.compare(i, ok.size(), ok) == 0);
  COMPRUEBA(env.size() / ok.size() <= (size_t)mensajes);
  return 0;
}

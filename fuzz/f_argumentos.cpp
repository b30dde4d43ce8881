// The command-line parser on arbitrary argument vectors: the input split at
// its NUL bytes into at most nine arguments after the program name. An
// accepted line must leave request fields that fit the fixed 70-character
// request: names of exactly 10 characters, a type of exactly 4.
#include <cstring>
#include <string>
#include <vector>

#include "app/argumentos.h"
#include "comun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
  inicia_objetivo();
  reinicia_contexto();
  std::vector<std::string> partes{"vortcp"};
  std::string actual;
  for (size_t i = 0; i < n && partes.size() < 10; i++) {
    if (datos[i] == 0) {
      partes.push_back(actual);
      actual.clear();
    } else {
      actual.push_back((char)datos[i]);
    }
  }
  if (partes.size() < 10 && (n == 0 || datos[n - 1] != 0)) partes.push_back(actual);
  std::vector<const char*> argv;
  for (auto& p : partes) argv.push_back(p.c_str());
  argv.push_back(nullptr);

  ResultadoArgumentos r = analiza_argumentos((int)partes.size(), argv.data());
  if (r != ResultadoArgumentos::correcto) return 0;
  static const int codigos[] = {66, 67, 97, 94, 54, 95, 96};
  bool conocido = false;
  for (int c : codigos) conocido |= ctx.icodigo == c;
  COMPRUEBA(conocido);
  COMPRUEBA(strnlen(ctx.biblioteca, TAM_AJUSTE) == 10);
  COMPRUEBA(strnlen(ctx.archivo, TAM_AJUSTE) == 10);
  COMPRUEBA(strnlen(ctx.miembro, TAM_AJUSTE) == 10);
  COMPRUEBA(strnlen(ctx.tipo, TAM_AJUSTE) == 4);
  COMPRUEBA(strnlen(ctx.fechad, TAM_AJUSTE) < TAM_AJUSTE);
  COMPRUEBA(strnlen(ctx.horad, TAM_AJUSTE) < TAM_AJUSTE);
  return 0;
}

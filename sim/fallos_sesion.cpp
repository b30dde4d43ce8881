// The selection of faulty sessions; the count of file-picked sessions lives
// in memory shared by the forked session processes.
#include "fallos_sesion.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace {
const Fallos sin_fallos;
std::atomic<int>* elegidas = nullptr;  // sessions picked by file so far
}  // namespace

bool prepara_fallos_de_sesion(const Opciones& op) {
  if (op.archivo_con_fallos.empty() || elegidas) return true;
  void* zona =
      mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (zona == MAP_FAILED) return false;
  elegidas = new (zona) std::atomic<int>(0);
  return true;
}

const Fallos* fallos_de_sesion(const Opciones& op, int numero) {
  if (op.sesiones_con_fallos.empty() && op.archivo_con_fallos.empty()) return &op.fallos;
  const std::vector<int>& s = op.sesiones_con_fallos;
  return std::find(s.begin(), s.end(), numero) != s.end() ? &op.fallos : &sin_fallos;
}

const Fallos* fallos_de_peticion(const Opciones& op, const std::string& archivo, const std::string& miembro,
                                 const Fallos* actual) {
  if (op.archivo_con_fallos.empty() || !elegidas || archivo != op.archivo_con_fallos) return actual;
  if (!op.miembro_con_fallos.empty() && miembro != op.miembro_con_fallos) return actual;
  int antes = elegidas->fetch_add(1);
  return op.veces_con_fallos == 0 || antes < op.veces_con_fallos ? &op.fallos : actual;
}

// zizez-sim: a stand-in for the ZIZEZ/400 server of an AS/400, for the demo,
// the end-to-end tests and the benchmarks. The parent process only listens:
// every session runs in a child process of its own, so that whatever one
// session meets (bad input, a crash) never reaches another, and the codec's
// process-wide tables belong to one session at a time. With a broker port the
// parent also answers the unframed port request and keeps track of which
// session ports are taken.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "codigo.h"
#include "fallos_sesion.h"
#include "formato.h"
#include "lzw_sim.h"
#include "opciones.h"
#include "sistema.h"
#include "sql_sim.h"
#include "tablas_sim.h"
#include "trama_sim.h"
#include "transferencia.h"

namespace {
volatile sig_atomic_t parar = 0;

void al_parar(int) {
  parar = 1;
}

// A session port of the broker: free, promised to a client that asked the
// broker (for a few seconds), or busy with a session child.
struct Hueco {
  int escucha = -1;
  int puerto = 0;
  pid_t pid = 0;
  time_t reservado_hasta = 0;
};
constexpr int SEGUNDOS_RESERVA = 10;

int escucha_en(const std::string& direccion, int puerto, int* real) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return -1;
  int uno = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
  sockaddr_in dir{};
  dir.sin_family = AF_INET;
  dir.sin_port = htons(static_cast<uint16_t>(puerto));
  if (inet_pton(AF_INET, direccion.c_str(), &dir.sin_addr) != 1 ||
      bind(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0 || listen(s, 64) != 0) {
    close(s);
    return -1;
  }
  socklen_t largo = sizeof dir;
  getsockname(s, reinterpret_cast<sockaddr*>(&dir), &largo);
  if (real) *real = ntohs(dir.sin_port);
  fcntl(s, F_SETFD, FD_CLOEXEC);
  return s;
}

FILE* abre_registro(const Opciones& op, int puerto) {
  if (op.registro.empty()) return nullptr;
  char nombre[512];
  formatea(nombre, "%s/sesion-%d-%d.log", op.registro.c_str(), puerto, static_cast<int>(getpid()));
  return std::fopen(nombre, "w");
}

// The child's whole life: one connection, transfer or SQL as its first
// message says. `numero` counts the sessions served, from 1.
void sesion(int fd, int puerto, int numero, const Opciones& op) {
  Conexion c;
  c.fd = fd;
  c.fallos = fallos_de_sesion(op, numero);
  c.retardo_ms = op.retardo_ms;
  c.registro = abre_registro(op, puerto);
  std::string primera;
  bool ebcdic = false;
  anota(c, "sesion %d en el puerto %d%s", numero, puerto, c.fallos == &op.fallos ? " (con fallos)" : "");
  int n = recibe_trama(c, primera, &ebcdic);
  if (n >= 0) {
    std::string vista = primera;
    if (ebcdic) de_asc_fija(vista);
    if (vista.compare(0, 2, "01") == 0) {
      sirve_sql(c, primera, ebcdic, op);
    } else {
      c.digitos_ebcdic = true;
      c.registro_ebcdic = true;
      sirve_transferencia(c, vista, op);
    }
  }
  vacia_retenida(c);
  anota(c, "fin de la sesion");
  if (c.registro) std::fclose(c.registro);
  close(fd);
}

void lanza_sesion(int escucha, int puerto, const Opciones& op, const std::vector<int>& cerrar, int& servidas,
                  pid_t* pid) {
  int fd = accept(escucha, nullptr, nullptr);
  if (fd < 0) return;
  int numero = ++servidas;
  pid_t hijo = fork();
  if (hijo == 0) {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    for (int s : cerrar) close(s);
    sesion(fd, puerto, numero, op);
    _exit(0);
  }
  close(fd);
  if (hijo > 0 && pid) *pid = hijo;
}

// The broker: the unframed request 9700007 in EBCDIC, answered with 97 and
// the offset n of a free session port, or 97, 99999 and the maximum. A
// request is read in the accept loop, one poll at a time, so that a slow or
// silent client of the broker never stalls the sessions' listeners.
struct PeticionBroker {
  int fd;
  char pide[16];
  size_t tomados;
  time_t limite;  // a request not whole by then is dropped
};

void acepta_broker(int escucha, std::vector<PeticionBroker>& pendientes) {
  int fd = accept(escucha, nullptr, nullptr);
  if (fd < 0) return;
  pendientes.push_back(PeticionBroker{fd, {}, 0, time(nullptr) + 2});
}

void responde_broker(int fd, std::vector<Hueco>& huecos, int max) {
  time_t ahora = time(nullptr);
  int n = -1;
  for (size_t i = 0; i < huecos.size() && n < 0; i++) {
    if (huecos[i].pid == 0 && huecos[i].reservado_hasta < ahora) n = static_cast<int>(i);
  }
  char respuesta[16];
  if (n >= 0) {
    huecos[static_cast<size_t>(n)].reservado_hasta = ahora + SEGUNDOS_RESERVA;
    formatea(respuesta, "97%.5d", n);
  } else {
    formatea(respuesta, "97%.5d%.5d", 99999, max);
  }
  size_t largo = std::strlen(respuesta);
  for (size_t i = 0; i < largo; i++)
    respuesta[i] = static_cast<char>(asc_cliente[static_cast<unsigned char>(respuesta[i])]);
  send(fd, respuesta, largo, MSG_NOSIGNAL);
}

// Reads what a pending request has sent; answers it once its 7 bytes are in.
// Returns false when the request is done with (answered, closed or failed).
bool lee_peticion_broker(PeticionBroker& p, std::vector<Hueco>& huecos, int max) {
  ssize_t r = recv(p.fd, p.pide + p.tomados, 7 - p.tomados, 0);
  if (r <= 0) return false;
  p.tomados += static_cast<size_t>(r);
  if (p.tomados < 7) return true;
  responde_broker(p.fd, huecos, max);
  return false;
}

void termina_hijos(std::vector<pid_t>& hijos) {
  for (pid_t p : hijos) kill(p, SIGTERM);
  for (pid_t p : hijos) waitpid(p, nullptr, 0);
  hijos.clear();
}

// The sample system that make install and the Debian package put beside the
// program (<prefix>/share/vortcp/samples for <prefix>/bin/zizez-sim), found
// from where the running program lies so that any prefix works. Empty when it
// is not there, as in a build tree.
std::string muestras_instaladas() {
#ifdef ZIZEZ_MUESTRAS_RELATIVAS
  char programa[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", programa, sizeof programa - 1);
  if (n <= 0) return "";
  programa[n] = '\0';
  std::string ruta(programa);
  ruta.erase(ruta.rfind('/') + 1);
  ruta += ZIZEZ_MUESTRAS_RELATIVAS;
  char real[PATH_MAX];
  struct stat st {};
  if (realpath(ruta.c_str(), real) == nullptr || stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) return "";
  return real;
#else
  return "";
#endif
}

// Builds the system from the samples when asked or missing. Returns false
// (after saying why) when there is no system to serve.
bool prepara_sistema(const Opciones& op) {
  if (op.solo_crea || (!existe_sistema(op.bd) && !op.muestras.empty())) {
    std::string error;
    if (op.muestras.empty() || !crea_sistema(op.bd, op.muestras, error)) {
      std::fprintf(stderr, "zizez-sim: no se puede crear el sistema: %s\n",
                   op.muestras.empty() ? "falta --muestras" : error.c_str());
      return false;
    }
    std::printf("zizez-sim: sistema creado en %s desde %s\n", op.bd.c_str(), op.muestras.c_str());
    std::fflush(stdout);
  }
  if (!existe_sistema(op.bd)) {
    std::fprintf(stderr, "zizez-sim: no hay sistema en %s (use --muestras)\n", op.bd.c_str());
    return false;
  }
  return true;
}

// Opens the session port, or the broker and its session ports. Returns the
// first listener (the broker's, with a broker), or -1.
int abre_escuchas(const Opciones& op, std::vector<Hueco>& huecos, int& puerto) {
  if (op.puerto_broker < 0) return escucha_en(op.direccion, op.puerto, &puerto);
  // Port 0: the broker takes a free port and its session ports must follow
  // it; a few tries find a run of free ones.
  for (int intento = 0; intento < 50; intento++) {
    int principal = escucha_en(op.direccion, op.puerto_broker, &puerto);
    if (principal < 0) return -1;
    huecos.assign(static_cast<size_t>(op.max_sesiones), Hueco());
    bool todos = puerto + op.max_sesiones <= 65535;
    for (int i = 0; todos && i < op.max_sesiones; i++) {
      Hueco& h = huecos[static_cast<size_t>(i)];
      h.puerto = puerto + i + 1;
      h.escucha = escucha_en(op.direccion, h.puerto, nullptr);
      todos = h.escucha >= 0;
    }
    if (todos) return principal;
    for (Hueco& h : huecos) {
      if (h.escucha >= 0) close(h.escucha);
    }
    huecos.clear();
    close(principal);
    if (op.puerto_broker != 0) break;
  }
  return -1;
}

// Accepts connections until SIGTERM or SIGINT, then stops every session.
void sirve(const Opciones& op, int principal, int puerto, std::vector<Hueco>& huecos) {
  std::vector<int> cerrar{principal};
  for (const Hueco& h : huecos) cerrar.push_back(h.escucha);
  std::vector<pid_t> hijos;
  std::vector<PeticionBroker> pendientes;
  int servidas = 0;
  while (!parar) {
    std::vector<pollfd> fds;
    for (int s : cerrar) fds.push_back({s, POLLIN, 0});
    for (const PeticionBroker& p : pendientes) fds.push_back({p.fd, POLLIN, 0});
    int r = poll(fds.data(), fds.size(), 200);
    // Ended sessions free their port.
    pid_t fin;
    while ((fin = waitpid(-1, nullptr, WNOHANG)) > 0) {
      hijos.erase(std::remove(hijos.begin(), hijos.end(), fin), hijos.end());
      for (Hueco& h : huecos) {
        if (h.pid == fin) h.pid = 0;
      }
    }
    // Requests to the broker: answered once whole, dropped when late.
    time_t ahora = time(nullptr);
    std::vector<PeticionBroker> siguen;
    for (size_t i = 0; i < pendientes.size(); i++) {
      PeticionBroker& p = pendientes[i];
      short eventos = r > 0 ? fds[cerrar.size() + i].revents : 0;
      bool sigue = p.limite >= ahora;
      if (sigue && (eventos & (POLLIN | POLLHUP | POLLERR)) != 0)
        sigue = lee_peticion_broker(p, huecos, op.max_sesiones);
      if (sigue) {
        siguen.push_back(p);
      } else {
        close(p.fd);
      }
    }
    pendientes.swap(siguen);
    if (r <= 0) continue;
    if (fds[0].revents & POLLIN) {
      if (!huecos.empty()) {
        acepta_broker(principal, pendientes);
      } else if (static_cast<int>(hijos.size()) >= op.max_sesiones) {
        // No broker: a connection beyond the maximum is closed at once.
        int fd = accept(principal, nullptr, nullptr);
        if (fd >= 0) close(fd);
      } else {
        pid_t p = 0;
        lanza_sesion(principal, puerto, op, cerrar, servidas, &p);
        if (p > 0) hijos.push_back(p);
      }
    }
    for (size_t i = 0; i < huecos.size(); i++) {
      if (!(fds[i + 1].revents & POLLIN)) continue;
      Hueco& h = huecos[i];
      if (h.pid != 0) {
        // A session port serves one session at a time, as the server's
        // session job does: a second connection is closed at once.
        int fd = accept(h.escucha, nullptr, nullptr);
        if (fd >= 0) close(fd);
        continue;
      }
      pid_t p = 0;
      lanza_sesion(h.escucha, h.puerto, op, cerrar, servidas, &p);
      if (p > 0) {
        hijos.push_back(p);
        h.pid = p;
        h.reservado_hasta = 0;
      }
    }
  }
  for (const PeticionBroker& p : pendientes) close(p.fd);
  termina_hijos(hijos);
  for (int s : cerrar) close(s);
}
}  // namespace

int main(int argc, char** argv) {
  Opciones op;
  op.muestras = muestras_instaladas();  // --muestras overrides it
  if (!lee_opciones(argc, argv, op)) return op.ayuda ? 0 : 2;
  if (!prepara_codigo(op.tabla.c_str())) {
    std::fprintf(stderr, "zizez-sim: no se puede leer la tabla %s; se usan las tablas fijas\n",
                 op.tabla.c_str());
  }
  if (!prepara_sistema(op)) return 1;
  if (op.solo_crea) return 0;
  if (!prepara_fallos_de_sesion(op)) {
    std::fprintf(stderr, "zizez-sim: sin memoria compartida para --archivo-con-fallos\n");
    return 1;
  }

  struct sigaction sa {};
  sa.sa_handler = al_parar;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::vector<Hueco> huecos;
  int puerto = 0;
  int principal = abre_escuchas(op, huecos, puerto);
  if (principal < 0) {
    std::fprintf(stderr, "zizez-sim: no se puede escuchar en %s: %s\n", op.direccion.c_str(),
                 std::strerror(errno));
    return 1;
  }
  if (huecos.empty()) {
    std::printf("zizez-sim: escuchando en %s:%d\n", op.direccion.c_str(), puerto);
  } else {
    std::printf("zizez-sim: escuchando en %s:%d (intermediario; sesiones en %d a %d)\n", op.direccion.c_str(),
                puerto, puerto + 1, puerto + op.max_sesiones);
  }
  std::fflush(stdout);
  sirve(op, principal, puerto, huecos);
  std::printf("zizez-sim: detenido\n");
  return 0;
}

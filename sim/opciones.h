// The simulator's command line: where to listen, where the simulated system
// lives, how big blocks are, the per-session log and the fault switches that
// the robustness tests turn on.
#pragma once

#include <string>
#include <vector>

struct Fallos {
  int trozo = 0;                  // >0: send every frame in pieces of this many bytes
  int pausa_trozo_ms = 20;        // pause between two pieces
  bool dos_tramas = false;        // transfer stream: two messages in one send
  int corta_tras = 0;             // >0: close the connection after this many messages sent
  int corta_en_trama = 0;         // >0: close in the middle of this message (1 = first)
  int trama_larga = 0;            // >0: this message announces a frame length above 30,000
  std::string nombre_hostil;      // non-empty: the file name of every transfer header
  bool bloque_mentiroso = false;  // text blocks claim 100 bytes more than they carry
};

struct Opciones {
  std::string direccion = "127.0.0.1";
  int puerto = 0;          // session port without broker; 0 = pick a free one
  int puerto_broker = -1;  // >=0: broker on this port (0 = free), sessions at +n+1
  int max_sesiones = 4;    // sessions at once (broker ports, or plain connections)
  std::string bd;          // folder of the simulated system's SQLite files
  std::string muestras;    // folder of the sample system to build it from
  bool solo_crea = false;  // build the system and stop
  std::string tabla;       // the client's table file (default muestras/basico/ebcdic.ESP)
  int bloque = 29990;      // payload size of text and record blocks, at most one frame
  std::string registro;    // folder of the per-session logs (empty: no log)
  Fallos fallos;
  // Which sessions the fault switches act on; with neither selector, every
  // session. A session is one accepted connection, numbered from 1 in the
  // order the simulator accepts them (SQL sessions too).
  std::vector<int> sesiones_con_fallos;  // these session numbers
  std::string archivo_con_fallos;        // transfer sessions whose request names this file
  std::string miembro_con_fallos;        //   and, when not empty, this member field
  int veces_con_fallos = 0;              //   only the first N such sessions (0: all)
  int retardo_ms = 0;                    // every session waits this long before each message it sends
  bool sin_catalogo = false;             // the catalogue statements fail as on a server without them
  // How the catalogue statements' replies contradict themselves (empty:
  // they do not): "vacio" blocks of no rows that say more follow, for ever;
  // "repite" the rows again and again, each block saying more follow;
  // "fin" the end (code 100) right after a first block that says more follow;
  // "doble" every row twice (and the end as it should be).
  std::string catalogo_hostil;
  bool ayuda = false;  // --help: the usage was printed, nothing to do
};

// Reads argv into op. On a bad option prints the usage on stderr and returns
// false; on --help prints it on stdout, sets op.ayuda and returns false.
bool lee_opciones(int argc, char** argv, Opciones& op);

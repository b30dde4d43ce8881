// The indexes of a run: the index of each library the run writes into, read
// from disk at the library's first use and kept in memory (constant time per
// update), written whole through xinfo.tmp and one rename at the library's
// first update, then at most once a second, and whenever the run asks
// (graba_indices, before it ends, whatever the way out). Each write leaves
// the file that rewriting it at every update would have left at that point.
//
// An Indices is a value the run owns; every session of the run may call
// these functions on it from its own thread: its mutex guards it for the
// whole of each call. Nothing here prints: a function that fails returns
// false and describes the failure in a FalloIndice for its caller to say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/contexto.h"
#include "transfer/index/linea.h"

// A failure of an index, as the caller is to say it.
struct FalloIndice {
  enum class Tipo {
    ninguno,
    apertura,  // the index, or its working file, cannot be opened: "Error apertura fichero: %s  rc=%d \n"
    grabacion  // a write, close or rename failed: "Error al grabar (%s)\n"
  };
  Tipo tipo = Tipo::ninguno;
  char ruta[TAM_RUTA] = "";  // the file that failed
  int codigo = 0;            // the error number of apertura
};

struct Indice;
struct Indices {
  Indices();
  ~Indices();
  Indices(const Indices&) = delete;
  Indices& operator=(const Indices&) = delete;

  std::mutex cerrojo;                          // guards what follows
  std::vector<std::unique_ptr<Indice>> lista;  // one per library, in the order first used
  // The key that indexes read from now on start with: drawn at random for
  // the run, so that the names a server picks cannot make updates slow (an
  // index whose chains grow long draws a new one of its own all the same).
  uint64_t clave[2];
};

// Replaces the entry of (biblioteca, archivo, miembro) in the library's index
// at once: every other line stays in its order, the new line goes last; the
// library's first update reaches the disk with it. False when the run must
// end with exit status 1: an index that cannot be read (a directory, FIFO or
// device at its path included: it is never waited on) or written.
bool actualiza_xinfo(Indices& ix, const char* biblioteca, const char* archivo, const char* miembro,
                     const char* tipo_fuente, const char* texto, const char* fecha, const char* hora,
                     FalloIndice* fallo);
// The two halves of actualiza_xinfo, for an object whose entry is recorded
// only once it is complete. prepara_xinfo, at the object's header: the index
// is read if it is not in memory yet and, at the library's first header,
// written (or, while it has no file and no lines, only tried), so that an
// index that cannot be written is found out there. registra_xinfo, once the
// object is complete: its entry line (as construye_linea_xinfo built it)
// replaces the lines of its key; a library that has no index file yet gets
// it at once, not a second later. Both fail as actualiza_xinfo does.
// `marca` places the entry among those this run records (ordena_indices).
bool prepara_xinfo(Indices& ix, const char* biblioteca, FalloIndice* fallo);
bool registra_xinfo(Indices& ix, const char* biblioteca, const char* linea, uint64_t marca,
                    FalloIndice* fallo);
// The lines of the library's index, each without its line end, "#" lines
// included, in file order, handed to por_linea: those in memory, or else
// those of its file, read without keeping them. Nothing is written. False
// when it cannot be read.
bool lee_lineas_xinfo(Indices& ix, const char* biblioteca,
                      void (*por_linea)(const char* linea, size_t largo, void* dato), void* dato,
                      FalloIndice* fallo);
// The change date and time (trailing blanks removed) of the line in force of
// the key in the library's index, read into memory if it is not there yet;
// *de_esta_ejecucion tells whether this run recorded that line. False when
// the index has no line of the key, or cannot be read (fallo->tipo then says
// so).
bool fecha_en_xinfo(Indices& ix, const char* biblioteca, const char* archivo, const char* miembro,
                    char (&fecha)[9], char (&hora)[7], bool* de_esta_ejecucion, FalloIndice* fallo);
// Drops the entries of the key (names without padding) from the library's
// index in memory; the index is written with the others. False when it
// cannot be read.
bool quita_de_xinfo(Indices& ix, const char* biblioteca, const char* archivo, const char* miembro,
                    FalloIndice* fallo);
// Puts the entries this run recorded in each index in the order of their
// marks; the lines the run did not touch keep their places before them. A
// run of several sessions records entries as its objects complete, and calls
// this before its last write so that the index holds the lines a
// one-session run would have left. Nothing is written here.
void ordena_indices(Indices& ix);
// Writes the indexes whose last write is a second old or more and that have
// updates since. False at the first failure. An index that failed to be
// written is left alone for the rest of the run.
bool graba_indices_si_toca(Indices& ix, FalloIndice* fallo);
// Writes every index with updates not on disk yet. False when one failed;
// each failure is added to *fallos and the others are still written.
bool graba_indices(Indices& ix, std::vector<FalloIndice>* fallos);

// Test seams of the hash that finds the lines of a key. fija_clave_indice
// fixes the key that indexes read from now on start with; hash_clave_indice
// is the hash of the key of an entry line under that key; cadena_mas_larga
// the most lines that one bucket of the library's index in memory chains (0
// when it is not in memory).
void fija_clave_indice(Indices& ix, uint64_t k0, uint64_t k1);
uint64_t hash_clave_indice(Indices& ix, const char* linea);
size_t cadena_mas_larga(Indices& ix, const char* biblioteca);

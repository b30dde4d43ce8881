// The per-library index \LIB\xvoras\xinfo: one 120-character line per member,
// raw data file or message file transferred into the library, keyed by
// library, file and member, the most recent entry last. The indexes in memory
// are shared by every session of a run: each function below may be called
// from any thread (one mutex guards them all, for the whole of each call).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/plataforma.h"

constexpr int LARGO_LINEA_XINFO = 120;  // characters of an entry line, line end not counted

// The update date of an entry, YYYYMMDD: the century is 19 when the two-digit
// year is above 90 and 20 otherwise (the index has always been written so).
void fecha_actualizacion(const FechaHora& ahora, char (&dest)[9]);

// Builds one entry line and its line end into dest. Fields are blank-padded
// to their widths (10, 10, 10, 6, 55, 8, 6) and cut to them, so that the key
// always lies at offsets 1, 11 and 21; a header date whose third character is
// a blank becomes 8 blanks.
void construye_linea_xinfo(char (&dest)[LARGO_LINEA_XINFO + 2], const char* biblioteca, const char* archivo,
                           const char* miembro, const char* tipo_fuente, const char* texto, const char* fecha,
                           const char* hora, const FechaHora& ahora);

// Where the fields of an entry line lie (offset, width), as
// construye_linea_xinfo writes them.
struct CampoXinfo {
  size_t desde, ancho;
};
constexpr CampoXinfo XINFO_BIBLIOTECA{1, 10}, XINFO_ARCHIVO{11, 10}, XINFO_MIEMBRO{21, 10}, XINFO_TIPO{31, 6},
    XINFO_FECHA{92, 8}, XINFO_HORA{100, 6};
// One field of an index line of `largo` bytes into dest (cap bytes): cut at
// the line's end and at cap - 1, trailing blanks removed.
void campo_xinfo(const char* linea, size_t largo, CampoXinfo campo, char* dest, size_t cap);

// True when the index line is an entry whose key
// equals that of the entry line `nueva`: library, file and member, trailing
// blanks removed, case included. A line beginning with "#" never matches.
bool misma_clave(const char* linea, const char* nueva);

// Replaces the entry of (biblioteca, archivo, miembro) in the library's index
// at once (the walk records an object's entry only once the object is
// complete, through prepara_xinfo and registra_xinfo below):
// every other line stays in its order, the new line goes last. The index is
// read from disk at the library's first update of the run and kept in memory
// (constant time per update); it is written whole to xinfo.tmp and renamed
// over xinfo at the first update, then at most once a second
// (graba_indices_si_toca), and before the run ends, whatever the way out
// (graba_indices, a closing step of termina). Each write leaves the file that
// rewriting it at every update would have left at that point, and a failure
// leaves the old file untouched. Returns false when the run must end with exit
// status 1: an index that cannot be read (a directory, FIFO or device at its
// path included: it is never waited on) prints "Error apertura fichero: %s
// rc=%d \n" on the error stream, as does a working file that cannot be made;
// a failed write, close or rename "Error al grabar (%s)\n". Before any of
// these, an object the walk has open is left incomplete (antes_de_un_fallo).
// Which lines share a bucket depends on a key drawn at random for the run, so
// that names a server picks cannot make updates slow.
bool actualiza_xinfo(const char* biblioteca, const char* archivo, const char* miembro,
                     const char* tipo_fuente, const char* texto, const char* fecha, const char* hora);
// The two halves of actualiza_xinfo, for an object whose entry is recorded
// only once it is complete. prepara_xinfo, at the object's header: the index
// is read if it is not in memory yet and, at the library's first header,
// written (or, while it has no file and no lines, only tried), so that an
// index that cannot be written is found out there. registra_xinfo, once the
// object is complete: its entry line (as construye_linea_xinfo built it at the
// header) replaces the lines of its key; a library that has no index file yet
// gets it at once, not a second later. Both fail as actualiza_xinfo does.
// `marca` places the entry among those this run records (ordena_indices);
// a run that records in the order it wants them needs none.
bool prepara_xinfo(const char* biblioteca);
bool registra_xinfo(const char* biblioteca, const char* linea, uint64_t marca = 0);
// The lines of the library's index, each without its line end, "#" lines
// included, in file order, handed to por_linea (with their length): those
// in memory, or else those of its file, read without keeping them (an
// incremental run compares them with the catalogue before the index is
// needed in memory). Nothing is written. False when it cannot be read (as
// actualiza_xinfo).
bool lee_lineas_xinfo(const char* biblioteca, void (*por_linea)(const char* linea, size_t largo, void* dato),
                      void* dato);
// The change date and time (trailing blanks removed) of the line in force of
// the key in the library's index, read into memory if it is not there yet;
// *de_esta_ejecucion tells whether this run recorded that line. False when
// the index has no line of the key or cannot be read.
bool fecha_en_xinfo(const char* biblioteca, const char* archivo, const char* miembro, char (&fecha)[9],
                    char (&hora)[7], bool* de_esta_ejecucion);
// Drops the entries of the key (library, file and member, names without
// padding) from the library's index in memory; the index is written with
// the others (graba_indices), whatever way the run ends. False when it
// cannot be read.
bool quita_de_xinfo(const char* biblioteca, const char* archivo, const char* miembro);
// Puts the entries this run recorded in each index in the order of their
// marks (stable: entries of equal marks keep the order they were recorded
// in); the lines the run did not touch keep their places before them. A run
// of several sessions records entries as its objects complete, and calls
// this before its last write so that the index holds the lines a
// one-session run would have left. Nothing is written here: an index whose
// order changed is written by the next graba_indices.
void ordena_indices();
// Writes the indexes whose last write is a second old or more and that have
// updates since. False after a failure, as actualiza_xinfo.
bool graba_indices_si_toca();
// Writes every index with updates not on disk yet. Returns false when one
// failed (its message printed); the others are still written.
bool graba_indices();
// Forgets every index held in memory without writing it (tests and fuzzers,
// which run many transfers in one process).
void descarta_indices();

// Test seams of the hash that finds the lines of a key. fija_clave_indice
// fixes the key that indexes read from now on start with (each run draws one
// at random otherwise; an index whose chains grow long draws a new one of its
// own all the same). hash_clave_indice is the hash of the key of an entry
// line under that key; cadena_mas_larga the most lines that one bucket of the
// library's index in memory chains (0 when it is not in memory).
void fija_clave_indice(uint64_t k0, uint64_t k1);
uint64_t hash_clave_indice(const char* linea);
size_t cadena_mas_larga(const char* biblioteca);

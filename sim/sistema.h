// The simulated AS/400, kept in SQLite: sistema.db holds the catalogue of
// libraries and their objects (source members, data files, message files,
// spool files) with their contents already in EBCDIC, ready to send; every
// library also has a database file of its own, LIB.db, holding its SQL tables.
// The system is built from the plain files of a sample folder.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

// Object classes of the catalogue.
enum ClaseObjeto : char {
  FUENTE = 'F',      // source member (header 01, blocks 02)
  DATOS = 'D',       // data file member sent as a raw copy (03, 04)
  CONVERTIDO = 'C',  // data file sent as a converted copy (05 and one block)
  MENSAJES = 'M',    // message file (07, 08)
  SPOOL = 'S',       // spool file (67 or 68)
};

struct Objeto {
  sqlite3_int64 id = 0;
  std::string biblioteca, archivo, miembro, tipo;  // CP1252, upper case names
  std::string texto;                               // description, CP1252
  std::string fecha, hora;                         // YYYYMMDD, HHMMSS
  char clase = FUENTE;
  int reclen = 0;   // record length of data and spool files
  int formato = 0;  // spool block layout: 67 or 68
};

// Rebuilds the system in folder bd from the sample folder: every subfolder
// with a catalogo.txt is a library. Returns false with a Spanish reason in
// error when a sample file is missing or malformed.
bool crea_sistema(const std::string& bd, const std::string& muestras, std::string& error);

// True when bd holds a built system.
bool existe_sistema(const std::string& bd);

// Opens the catalogue (read-only); NULL on failure.
sqlite3* abre_catalogo(const std::string& bd);

// Library names, in name order.
std::vector<std::string> lista_bibliotecas(sqlite3* cat);
// Every object of the given classes (e.g. "FDCM"), ordered by library, class
// (in the order given), file and member; only those of the library and the
// file when they are not empty (exact names). Contents are not loaded.
std::vector<Objeto> lista_objetos(sqlite3* cat, const char* clases, const std::string& biblioteca = "",
                                  const std::string& archivo = "");
// The stored EBCDIC contents of one object (empty when unknown).
std::string contenido_objeto(sqlite3* cat, sqlite3_int64 id);

// The file of a library's SQL tables.
std::string fichero_biblioteca(const std::string& bd, const std::string& biblioteca);

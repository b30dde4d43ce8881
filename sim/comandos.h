// The few AS/400 commands that message 07 can run: DSPJOB (the session's
// job), DSPLIBL (the library list) and DSPLIB / DSPOBJD (a library's objects).
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

struct Trabajo {
  const std::vector<std::string>* libl;  // search order of the session
  const std::vector<std::string>* todas;
  std::string curlib;
  bool ebcdic;
  std::string compri;
  sqlite3* db;   // the session's SQL connection (libraries attached)
  sqlite3* cat;  // the catalogue
};

// Runs the command text; the answer is UTF-8 text. Returns false (with the
// AS/400-style message as answer) for an unknown command or library.
bool ejecuta_comando(const std::string& mandato, const Trabajo& t, std::string& respuesta);

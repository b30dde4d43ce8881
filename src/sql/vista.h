// How the rows of one query are shown, from its opening reply to its end:
// the form (CSV, the table with or without its line of names, one line per
// column), the most rows (ROWNUM), where they go (the pager at a terminal),
// and when the console stops asking for more (the limit reached, Ctrl-C at
// a terminal, the pager left early). The query's exchange is consulta.cpp's.
#pragma once

#include <cstdio>

#include "sql/cursores.h"
#include "sql/muestra.h"
#include "sql/respuesta.h"

class VistaConsulta {
 public:
  // Reads the settings of the display (FORMATO, CABECERA, ROWNUM, \x, \pager)
  // as they are now; an unknown FORMATO is said here.
  VistaConsulta();
  // Closes the pager, if one was opened, and lets Ctrl-C cut waits again.
  ~VistaConsulta();
  VistaConsulta(const VistaConsulta&) = delete;
  VistaConsulta& operator=(const VistaConsulta&) = delete;

  // The opening reply's columns are in area and its first block holds
  // `filas` rows (more follow unless `ultimo`): at a terminal, the vertical
  // display of \x auto and the pager are decided here, and Ctrl-C only stops
  // the rows from now on. Then the line of names, when the form has one.
  void empieza(const AreaCursor& area, int filas, bool ultimo);
  // Shows the block's rows, at most up to the limit. Returns how many.
  int muestra(const Mensaje& r, int posicion, int filas, const AreaCursor& area);
  // True when no more rows are to be fetched: the limit reached, Ctrl-C at a
  // terminal ("Consulta detenida..." is then said), or the pager left.
  bool basta();
  // True once basta() stopped the rows for Ctrl-C or the pager: the query
  // then ends without its summary.
  bool detenida() const { return detenida_; }
  // Rows shown so far.
  int filas() const { return filas_; }

 private:
  bool csv_;
  FormaTabla forma_;
  int limite_;  // ROWNUM, 0 for none
  int filas_ = 0;
  FILE* paginador_ = nullptr;
  bool aplazado_ = false;  // Ctrl-C put off: it stops the rows
  bool detenida_ = false;
};

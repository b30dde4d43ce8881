// How the rows of one query are shown (vista.h): the form and the limit read
// when the query starts, the pager and the vertical layout decided on its
// first block, and the reasons to stop fetching.
#include "sql/vista.h"

#include "base/contexto.h"
#include "platform/plataforma.h"
#include "sql/csv.h"
#include "sql/destinos.h"

VistaConsulta::VistaConsulta()
    : csv_(formato_csv_de_consulta()),
      forma_{ctx.delim, ctx.delimb, cabecera_de_consulta(), ctx.vertical == 1},
      limite_(ctx.rownum > 0 ? ctx.rownum : 0) {}

VistaConsulta::~VistaConsulta() {
  if (paginador_ != nullptr) {
    usa_paginador(nullptr);
    plat_cierra_paginador(paginador_);
  }
  if (aplazado_) plat_aplaza_ctrl_c(false);
}

void VistaConsulta::empieza(const AreaCursor& area, int filas, bool ultimo) {
  // A terminal that does not say its size is taken for the usual 24 x 80.
  int alto = 24, ancho = 80;
  bool pantalla = ctx.en_terminal && filas_a_la_pantalla();
  if (pantalla && !plat_tamano_terminal(&alto, &ancho)) alto = 24, ancho = 80;
  // \x auto: one line per column when a row would not fit the terminal.
  if (!csv_ && ctx.vertical == 2) forma_.vertical = pantalla && ancho_de_fila(area, forma_) > ancho;
  // From here on Ctrl-C only stops the rows: a receive cut short would leave
  // the session out of step.
  if (ctx.en_terminal) {
    plat_aplaza_ctrl_c(true);
    aplazado_ = true;
  }
  if (pantalla && !ctx.sin_paginador) {
    // A result longer than the screen: more blocks to come, or more lines in
    // this one than the screen holds with the summary and the next prompt.
    long n = limite_ > 0 && filas > limite_ ? limite_ : filas;
    long lineas = forma_.vertical && !csv_ ? n * (area.ultima_columna + 2) : n;
    if (csv_ || forma_.cabecera) lineas += 2;
    bool mas = !ultimo && (limite_ == 0 || filas < limite_);
    const char* orden = orden_de_paginador();
    if ((mas || lineas + 3 > alto) && orden != nullptr) {
      paginador_ = plat_abre_paginador(orden);
      if (paginador_ != nullptr) usa_paginador(paginador_);
    }
  }
  FILE* f = destino_filas();
  if (csv_) {
    escribe_cabecera_csv(f, area);
  } else if (forma_.cabecera && !forma_.vertical) {
    escribe_cabecera(f, area, forma_);
  }
}

int VistaConsulta::muestra(const Mensaje& r, int posicion, int filas, const AreaCursor& area) {
  if (limite_ > 0 && filas > limite_ - filas_) filas = limite_ - filas_;
  if (filas <= 0) return 0;
  FILE* f = destino_filas();
  int n;
  if (csv_) {
    n = muestra_filas_csv(f, r, posicion, filas, area);
  } else if (forma_.vertical) {
    int numero = filas_;
    n = muestra_filas_verticales(f, r, posicion, filas, area, forma_, &numero);
  } else {
    n = muestra_filas(f, r, posicion, filas, area, forma_);
  }
  filas_ += n;
  return n;
}

bool VistaConsulta::basta() {
  if (limite_ > 0 && filas_ >= limite_) return true;
  // The pager left early: what it was sent fails to be written.
  if (paginador_ != nullptr && (fflush(paginador_) != 0 || ferror(paginador_))) {
    detenida_ = true;
    return true;
  }
  if (aplazado_ && plat_ctrl_c_aplazado()) {
    fprintf(pantalla(), "Consulta detenida: no se piden mas filas.\n");
    detenida_ = true;
    return true;
  }
  return false;
}

// The run that compares before it transfers (solo_cambios.h): the index read
// as entries, the dry run's plan, the deletions said or mirrored, the index
// as it was at the start kept for the walk's skip, and the plan handed to
// the sessions.
#include "transfer/solo_cambios.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/contexto.h"
#include "base/fin.h"
#include "base/pantalla.h"
#include "base/texto.h"
#include "platform/plataforma.h"
#include "transfer/incremental.h"
#include "transfer/paralelo.h"
#include "transfer/peticion.h"
#include "transfer/progreso.h"
#include "transfer/transferencia.h"
#include "transfer/xinfo.h"

namespace {

// What the walk's skip needs besides the index: the library, and the paths
// of what the comparison expected to receive, sorted (a skip of one of them
// is an object more found unchanged; the others it counted already). Filled
// before any session starts, only read afterwards.
bool salto_activo = false;
char biblioteca_del_salto[TAM_NOMBRE_CATALOGO];
std::vector<std::string> esperados;

struct Lectura {
  const char* biblioteca;
  std::vector<EntradaIndice> entradas;
};

void por_linea(const char* linea, size_t largo, void* dato) {
  Lectura& l = *(Lectura*)dato;
  EntradaIndice e;
  if (entrada_de_linea(linea, largo, l.biblioteca, &e)) l.entradas.push_back(e);
}

bool existe(const char* ruta) {
  return plat_es_fichero(ruta);
}

// A line of the plan or of a deletion, "<que><ruta><cierre>\n": on the
// console (names through the terminal filter) and in the log, under the
// lines' lock.
void linea(const char* que, const char* ruta, const char* cierre = "") {
  char texto[TAM_RUTA + 64];
  formatea(texto, "%s%s%s\n", que, ruta, cierre);
  std::lock_guard<std::mutex> cerrojo(cerrojo_salida());
  escribe_nombres(stdout, texto);
  if (ctx.flog != nullptr) fputs(texto, ctx.flog);
}

// A deletion of a mirror: the file the index line names, if it is a file
// (never a folder), then its line. False when it stays (the message printed).
bool elimina(const char* biblioteca, const Eliminado& e) {
  const char* ruta = e.ruta.c_str();
  if (plat_es_fichero(ruta)) plat_borra_fichero(ruta);
  if (plat_es_fichero(ruta)) {
    linea("Imposible borrar (", ruta, ")");
    return false;
  }
  if (!quita_de_xinfo(biblioteca, e.entrada.archivo, e.entrada.miembro)) termina(SALIDA_ERROR);
  linea("Eliminado: ", ruta);
  return true;
}

// The end of a dry run: its lines are all the run wrote.
[[noreturn]] void termina_simulacion(const Comparacion& r) {
  for (const std::string& ruta : r.recibiria) linea("Recibiria: ", ruta.c_str());
  for (const Eliminado& e : r.eliminados) linea("Eliminado en el servidor: ", e.ruta.c_str());
  printf("Recibiria %d objetos; %d sin cambios; %d eliminados en el servidor\n", (int)r.recibiria.size(),
         (int)r.sin_cambios, (int)r.eliminados.size());
  termina_si_salida_cerrada();
  termina(SALIDA_BIEN);
}

}  // namespace

void transfiere_lo_cambiado(Catalogo* catalogo, const char* archivo, int sesiones,
                            const OpcionesComparacion& opciones) {
  char biblioteca[TAM_NOMBRE_CATALOGO];
  copia_texto(biblioteca, catalogo->biblioteca);
  // The index is read under the library's lock, so that no other run
  // changes it between this read and this run's writes. A dry run writes
  // nothing: no lock either.
  if (!opciones.simula && !toma_biblioteca(biblioteca)) termina(SALIDA_ERROR);
  Lectura lectura{biblioteca, {}};
  if (!lee_lineas_xinfo(biblioteca, por_linea, &lectura)) termina(SALIDA_ERROR);
  char fechad[TAM_AJUSTE], horad[TAM_AJUSTE];
  copia_texto(fechad, ctx.fechad);
  copia_texto(horad, ctx.horad);
  quita_blancos(fechad);
  quita_blancos(horad);
  // The plan lasts as long as the process: the sessions' threads read it
  // until the run ends.
  static Comparacion* r =
      new Comparacion(compara_con_indice(*catalogo, ctx.icodigo, archivo, fechad, horad, lectura.entradas,
                                         existe, sesiones, opciones.incremental));
  // The plan holds what it needs of the catalogue and the entries: their
  // room goes before the index and the sessions take theirs.
  *catalogo = Catalogo{};
  std::vector<EntradaIndice>().swap(lectura.entradas);
  plat_devuelve_memoria();
  if (opciones.simula) termina_simulacion(*r);
  bool con_error = false;
  for (const Eliminado& e : r->eliminados) {
    if (!opciones.espejo) {
      linea("Eliminado en el servidor: ", e.ruta.c_str());
    } else if (!elimina(biblioteca, e)) {
      con_error = true;
    }
  }
  if (ctx.flog != nullptr) fflush(ctx.flog);
  if (opciones.incremental) {
    copia_texto(biblioteca_del_salto, biblioteca);
    esperados.swap(r->recibiria);
    std::sort(esperados.begin(), esperados.end());
    salto_activo = true;
  }
  transfiere_en_sesiones(r->plan, sesiones, con_error);
}

bool salta_sin_cambios(Recorrido& r, const Cabecera& c, const char* ruta) {
  if (!salto_activo || strcmp(c.biblioteca, biblioteca_del_salto) != 0) return false;
  char fecha[sizeof c.fecha], hora[sizeof c.hora], fecha_indice[9], hora_indice[7];
  copia_texto(fecha, c.fecha);
  copia_texto(hora, c.hora);
  quita_blancos(fecha);
  quita_blancos(hora);
  // The line in force now. One that this run recorded is an object the
  // first try of a unit tried again completed: the retry receives it again,
  // as a run without the comparison does, so that its counts replace the
  // first try's and its line takes its place in the unit's order.
  bool de_esta_ejecucion = false;
  if (fecha[0] == '\0' ||
      !fecha_en_xinfo(c.biblioteca, c.archivo, c.miembro, fecha_indice, hora_indice, &de_esta_ejecucion) ||
      de_esta_ejecucion || strcmp(fecha, fecha_indice) != 0 || strcmp(hora, hora_indice) != 0 ||
      !plat_es_fichero(ruta))
    return false;
  if (std::binary_search(esperados.begin(), esperados.end(), std::string(ruta))) {
    progreso_sin_cambios(1);
    r.aportado.sin_cambios++;
  }
  return true;
}

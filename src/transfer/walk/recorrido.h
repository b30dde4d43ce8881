// The values of a transfer walk: the header of an object as it was read, the
// one object the walk has open, and the walk itself (its session, its object
// and its handlers' buffers). A run through several sessions holds one walk
// per session; nothing of a walk is shared with another but what the run
// shares among all of them (compartido.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/catalogo.h"
#include "base/contexto.h"
#include "platform/plataforma.h"
#include "transfer/index/linea.h"
#include "transfer/walk/progreso.h"
#include "wire/sesion.h"

struct Compartido;

// What a header (01, 03, 05 or 07) says of its object, read once, trailing
// blanks removed from the names, the type and the description.
struct Cabecera {
  char biblioteca[TAM_AJUSTE];
  char archivo[TAM_AJUSTE];
  char miembro[TAM_AJUSTE];  // "" for data (05) and message files (07)
  char tipo[8];              // source type; "MSG" for a message file, "" for 05
  char texto[64];            // description
  char fecha[16];            // change date YYYYMMDD as sent, blanks kept ("" for 05)
  char hora[16];             // change time HHMMSS as sent, blanks kept ("" for 05)
};

// The longest result line of one object: the "Obtiene:" half, the counts,
// the "Incompleto:" line or a failure, each with a path.
constexpr int TAM_LINEA_RESULTADO = 4 * TAM_RUTA;

// The one local object a walk writes (objeto.h has what is done with it).
struct Objeto {
  bool abierto = false;     // its working file is open
  FILE* fichero = nullptr;  // the working file
  char ruta[TAM_RUTA];      // its path once complete
  char parcial[TAM_RUTA];   // the working file, "<ruta>.parcial"
  bool con_fecha = false;   // the header's change date is a valid one:
  FechaHora fecha;          //   given to the file once complete
  int64_t registros = 0;    // records written (64 bits: big files)
  int64_t bytes = 0;        // bytes written
  bool convertido = false;  // a converted data file: its count line is its bytes alone
  bool mensajes = false;    // a message file
  // What the run's report says of it, when one is kept (informe.h).
  ClaseArchivo clase = ClaseArchivo::fuente;
  bool convertido_informe = false;
  char archivo[TAM_NOMBRE_CATALOGO];
  char miembro[TAM_NOMBRE_CATALOGO];
  char tipo[TAM_NOMBRE_CATALOGO];
  char fecha_texto[9];
  char hora_texto[7];
  const char* previo = "";
  bool indexar = false;                      // its index entry is recorded once complete:
  char biblioteca[TAM_AJUSTE];               //   in this library's index
  char linea_indice[LARGO_LINEA_XINFO + 2];  //   this line, built at the header
  // The parts of its result line not yet written, when the walk writes
  // result lines whole (Recorrido::lineas_enteras): for the console, and for
  // the log (what the log gets of them).
  char pendiente_consola[TAM_LINEA_RESULTADO];
  char pendiente_log[TAM_LINEA_RESULTADO];
  size_t npendiente_consola = 0, npendiente_log = 0;
  // Its stdio buffer: a block of a big member is near 30,000 bytes, so a
  // buffer of several blocks makes one write of many, not two of each.
  char bufer[1 << 17];
};

// One walk over the stream of one session.
struct Recorrido {
  Recorrido(Sesion& s, Compartido& c) : sesion(s), comun(c) {}
  ~Recorrido();
  Recorrido(const Recorrido&) = delete;
  Recorrido& operator=(const Recorrido&) = delete;

  Sesion& sesion;
  Compartido& comun;  // what every walk of the run shares
  // How result lines are written. false (one session): the "Obtiene:" half
  // at the header, the counts when the object completes, as a person watching
  // wants them. true (several sessions): each object's line whole, in one
  // write, once the object is complete or left incomplete, so that lines of
  // different sessions never interleave. The bytes of the line are the same.
  bool lineas_enteras = false;
  // The walk writes the indexes that are due between messages and while it
  // waits for the server (one session). false: the thread that runs the
  // sessions of the run does it for all of them.
  bool escribe_indices = true;
  // The walk's work unit in the order of a one-session run, and the entries
  // it has recorded so far: each index entry is recorded with the mark
  // (unidad << 32) + its number, so that the run can put the entries of all
  // its sessions in that order (ordena_indices).
  uint32_t unidad = 0;
  uint32_t entradas = 0;
  // The unit brings a message file of its file's name too, whose entry takes
  // the message file's own place (unidad_mensajes) in that order.
  bool con_mensajes = false;
  uint32_t unidad_mensajes = 0;
  Objeto objeto;
  // The index checkpoint of a receive's wait failed (recorre.cpp).
  bool fallo_punto_de_control = false;
  // What this walk has added to the progress counts (progreso.h), so that a
  // unit tried again can take its first try's part back out.
  Aportacion aportado;

  // The handlers' working buffers: a block translated, the same in UTF-8,
  // a spool block as it is shown.
  unsigned char traducido[TAM_TRAMA];
  char utf8[3 * TAM_TRAMA];
  unsigned char spool[2 * TAM_TRAMA + 2];
};

// The open object of a walk (recorrido.h): its opening, its writes, its
// completion or leaving it incomplete, and its result line. An object is
// written into a working file beside its path, "<path>.parcial", and moved
// over the path in one atomic step only once it is complete, so that a run
// that stops early never replaces a good copy with a cut one.
//
// The result line of an object is "Obtiene: " and its path padded to 30
// characters (the half written at its header), then its counts (at its end),
// then "Incompleto: <working file>" when it was left incomplete, or a failure
// of its own. Console and log share it; the console's goes through the
// terminal filter (it holds names from the server). How its pieces reach
// them is the walk's choice (Recorrido::lineas_enteras); the bytes are the
// same either way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "transfer/index/indices.h"
#include "transfer/walk/recorrido.h"

// The first half of the result line, "Obtiene: " and the path padded to 30
// characters: on the console and, when en_log, in the log. Also the path of
// the progress line.
void anuncia_objeto(Recorrido& r, const char* ruta, bool en_log);
// Opens the object of header c whose path is ruta, in binary for raw copies:
// its working file "<ruta>.parcial" is created anew. The header's change date,
// when it is a valid one, is given to the file once complete; linea_indice
// (nullptr or "" for none) is the entry of c's library recorded once
// complete. False after "Imposible abrir (%s)\n" with ruta. Every way out
// of the walk completes the object or leaves it incomplete (deja_incompleto).
bool abre_objeto(Recorrido& r, const Cabecera& c, const char* ruta, bool binario, const char* linea_indice);
// The open object is a converted data file: its count line is its bytes only,
// and the log does not get it.
void marca_convertido(Recorrido& r);
// Writes n bytes into the open object (the caller counts them). A failure
// removes its working file and gives false after "Error al grabar (%s)\n"
// with the object's path.
bool graba_bytes(Recorrido& r, const void* datos, size_t n);
// Writes n bytes of CP1252 text for a person: as they are, or in UTF-8 when
// the run writes UTF-8 (VORTCP_CODIFICACION). *escritos gets the bytes that
// reached the file. Fails as graba_bytes.
bool graba_texto_persona(Recorrido& r, const unsigned char* texto, size_t n, size_t* escritos);
// The object is complete (the next header arrived, or the end code): its file
// is closed (checked), given its date and moved over its path; its result
// line is completed with the counts; its index entry is recorded. False when
// one of them failed (the reason printed): a failed write or move removes the
// working file after "Error al grabar (%s)\n"; an index failure is
// registra_xinfo's.
bool completa_objeto(Recorrido& r);
// The walk ends with the object open (a failed exchange, an interruption, a
// closed standard output, a refused header, an index that cannot be
// written): its file is closed, its counts line printed and logged, then
// "Incompleto: %s\n" with the working file's path. Its bytes stay there; the
// earlier copy and index entry stay as they were. A failed close is a failed
// write (false). With no object open it does nothing (true).
bool deja_incompleto(Recorrido& r);
// A failure that ends the run is about to be printed: the object of the walk
// r (nullptr: a failure of the run's, outside any walk) is left incomplete
// first (deja_incompleto), so that its counts complete the half of its
// result line already shown and its "Incompleto" line comes before the
// failure's, and the progress line is erased.
void antes_de_un_fallo(Compartido& c, Recorrido* r);
// The failure's message, after antes_de_un_fallo: formatted, through the
// terminal filter (it may hold server names), written under the lines' lock
// with the progress line erased, so that no redraw by another session comes
// between the two.
void falla(Compartido& c, Recorrido* r, FILE* f, const char* formato, ...)
    __attribute__((format(printf, 4, 5)));
// An index's failure, said as falla does: "Error apertura fichero: %s  rc=%d
// \n" on standard error for a file that cannot be opened, "Error al grabar
// (%s)\n" on standard output for a write that failed.
void informa_fallo_indice(Compartido& c, Recorrido* r, const FalloIndice& fallo);

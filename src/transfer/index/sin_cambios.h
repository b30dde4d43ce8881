// The one rule that says an object is unchanged since the run that wrote
// its copy: the comparison of an incremental run and the walk's skip of
// what the server sends all the same both ask it, so that the two never
// disagree.
#pragma once

// Whether a local file exists (the platform's, or a test's).
using ExisteFichero = bool (*)(const char* ruta);
// Whether the local copy at ruta is still the one a run wrote with the
// change date and time fecha, hora: it exists and, when they form a valid
// date, carries it as its modification time (a copy edited by hand no
// longer does).
using CopiaIntacta = bool (*)(const char* ruta, const char* fecha, const char* hora);

// True when the object whose change date and time are fecha and hora
// (trailing blanks removed) is unchanged: it has a date, both equal those of
// its index line in force (fecha_indice, hora_indice), and its local copy
// `ruta` is intact (the quick check of the copy: its modification time is
// still that date). The copy is looked at only when the dates agree.
bool sin_cambios(const char* fecha, const char* hora, const char* fecha_indice, const char* hora_indice,
                 const char* ruta, CopiaIntacta intacta);

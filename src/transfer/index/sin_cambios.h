// The one rule that says an object is unchanged since the run that wrote
// its copy: the comparison of an incremental run and the walk's skip of
// what the server sends all the same both ask it, so that the two never
// disagree.
#pragma once

// Whether a local file exists (the platform's, or a test's).
using ExisteFichero = bool (*)(const char* ruta);

// True when the object whose change date and time are fecha and hora
// (trailing blanks removed) is unchanged: it has a date, both equal those of
// its index line in force (fecha_indice, hora_indice), and its local copy
// `ruta` exists. The copy is looked for only when the dates agree.
bool sin_cambios(const char* fecha, const char* hora, const char* fecha_indice, const char* hora_indice,
                 const char* ruta, ExisteFichero existe);

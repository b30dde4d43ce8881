// The transfer request of a run and the dispatch to the walk that suits it.
#pragma once

#include "wire/sesion.h"

constexpr int LARGO_PETICION = 70;  // characters of the request record

// Builds the 70-character request of ctx's request fields into registro.
void construye_peticion(char (&registro)[LARGO_PETICION + 1]);
// The same request narrowed to a file and a member field (each padded with
// blanks to 10, as ctx's are; a member field of blanks names no member) and
// asked for since fechad and horad (as ctx's, "" for none): the mode,
// library and tipo are ctx's.
void construye_peticion_de(char (&registro)[LARGO_PETICION + 1], const char* archivo, const char* miembro,
                           const char* fechad, const char* horad);
// Flushes standard output; when it is found closed (now or earlier), ends
// the run: "Salida estandar cerrada.\n" on standard error, where it can still
// be read, and exit status 141.
void termina_si_salida_cerrada();
// The end that every transfer run shares once its sessions are done: the
// indexes written, the summary printed and the log closed (a failure there
// ends with SALIDA_ERROR); then con_error (a failure already said) ends with
// SALIDA_ERROR, a closed standard output as termina_si_salida_cerrada, an
// interruption with "Transferencia interrumpida.\n" and its status. Returns
// when none of these ends the run: the caller ends it with its own status.
void cierra_transferencia(bool con_error);
// Sends the request on the session, runs the walk of the mode, sends the end
// message after a list walk, closes everything and ends the run.
[[noreturn]] void envia_peticion_y_despacha(Sesion& s);

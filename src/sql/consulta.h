// Query execution at the prompt: message 02 with its fetch loop of 03, and
// message 04; the handling of a 04 reply shared with the script runner.
#pragma once

#include "base/contexto.h"
#include "sql/respuesta.h"
#include "sql/resultado.h"

// The longest statement: messages 02 and 04 carry it after a 13-character
// header, in one frame.
constexpr int MAX_SENTENCIA = MAX_CARGA - 13;

// Messages 02 and 04 in the session's buffer: the code, session, cursor
// (ctx.icursor), the length of the whole message (the statement and its
// 13-character header), the statement.
void construye_mensaje(const char* codigo, const char* sentencia);
// The send and receive of the message in the session's buffer; its reply
// comes back into the buffer, and *r is it. False when the session is lost
// (nothing is shown).
bool intercambia_consulta(Mensaje* r);

// Sends the statement as message 02, shows the descriptors and rows of the
// reply and fetches the rest with message 03 until the last block, code 100
// or an error. With FORMATO=csv the rows are CSV lines under a line of column
// names; a table display gets its line of column names in a batch. Sets
// ctx.icursor from the reply. fallo_sentencia for the server's error (in a
// batch an opening reply of code 100 is a result without rows, and no
// error) and for a reply whose rows cannot be shown; fallo_grave when there
// is no memory for the cursor. After a failed send or receive it returns at
// once, hecho (the session is lost: intercambio_sql.h).
Resultado ejecuta_consulta(const char* sentencia);
// Sends the statement as message 04 and shows the rows affected or the
// server's error. Sets ctx.icursor from the reply. Returns as
// ejecuta_consulta.
Resultado ejecuta_sentencia(const char* sentencia);
// Shows the outcome of a 04 reply (rc: the receive's result, for the trace):
// a line end for code 100, the error line (fallo_sentencia), or the
// rows-affected line.
Resultado trata_respuesta_sentencia(const Mensaje& r, int rc);

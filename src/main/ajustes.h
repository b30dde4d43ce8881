// Settings, trace and log: the start-up steps after the title line.
#pragma once

// Reads TEST, opens "trace" (test above 0) and "vortcp.log", runs inicia_lzw.
// A file that cannot be created ends the run with exit status 1.
void inicia_ajustes();
// Opens "trace" if it is not open yet (the console raising TEST to 1). When it
// cannot be created the run ends as at start: the message, exit status 1.
void abre_trace_si_falta();

// The transfer request of a run and the dispatch to the walk that suits it.
#pragma once

// Builds the 70-character request in ctx.sbuffer.
void construye_peticion();
// Sends the request, runs the walk of the mode, sends the end message after a
// list walk, closes everything and ends the run.
[[noreturn]] void envia_peticion_y_despacha();

// A temporary directory tree for the targets that write local files: the
// process works inside <tmp>/arbol, and the check that nothing was written
// outside it looks at <tmp> (vigilancia.cpp checks every path on its way).
#pragma once

#include <string>

// Once: creates <tmp>/arbol and changes into it.
void entra_en_arbol();
// Empties <tmp>/arbol (the targets call it every few hundred inputs, and
// before an input that needs a fresh tree).
void vacia_arbol();
// Fails the run when <tmp> holds anything but "arbol", or the working
// directory moved.
void comprueba_arbol();
// The absolute path of <tmp>/arbol.
const std::string& ruta_arbol();

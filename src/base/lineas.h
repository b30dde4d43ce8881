// Whole lines of a text file (a script, the table file, the console's input),
// read in pieces of a fixed buffer: whatever its length, a line is judged by
// all of its bytes, while only its first ones are kept; and the byte-order
// mark that may begin the first of them.
#pragma once

#include <cstddef>
#include <cstdio>

// What lee_linea_entera read.
struct LineaLeida {
  size_t largo;      // characters of the line, its line feed not counted
  size_t guardados;  // how many of them are in the buffer (the rest were read and dropped)
  bool con_fin;      // it ended with a line feed (false: the last line of the file)
  bool nulo;         // it holds a NUL byte somewhere
  char ultimo;       // its last character, '\0' for an empty line
};

// Reads one whole line of f: its first cap - 1 characters, without the line
// feed and terminated, into dest (NUL bytes of the file included), the rest
// read and counted only. With marca_fin, a 0x1A that is the last byte of the
// file is an end-of-file mark, not a character (on Windows the text-mode read
// already treats it so). Returns false at the end of the file, when no line
// was read.
bool lee_linea_entera(FILE* f, char* dest, size_t cap, LineaLeida* linea, bool marca_fin);

// Takes a UTF-8 byte-order mark off the start of the line read into dest
// (the first line of a file that an editor saved with one), so that the line
// is what the person wrote. Returns whether there was one.
bool quita_bom(char* dest, LineaLeida* linea);

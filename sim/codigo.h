// Code pages as the simulator sees them: the text it keeps is UTF-8 (SQLite) or
// CP1252, and what travels is EBCDIC that the client's tables turn back into
// CP1252. Every conversion of the simulator goes through these tables.
#pragma once

#include <cstddef>
#include <string>

// Builds the tables. `fichero_tabla` is the client's table file ebcdic.<LANG>
// (may be NULL or missing: then the built-in tables alone are used), read so
// that SQL text the client converted with its amended table decodes exactly.
// Returns false when the file was named but could not be read.
bool prepara_codigo(const char* fichero_tabla);

// CP1252 byte to the EBCDIC byte b with ebc_fija[b] == c: what the client reads
// back as c. A letter that no EBCDIC byte gives becomes '?'.
unsigned char ebc_de_cp1252(unsigned char c);
// EBCDIC sent by the client with asc_fija (transfer request, "OK", length
// digits) back to ASCII.
unsigned char ascii_de_asc_fija(unsigned char b);
// EBCDIC sent by the client's SQL side (its table tabla_asc) back to CP1252.
unsigned char cp1252_de_tabla_asc(unsigned char b);

// In-place conversions of a byte run.
void a_ebcdic(std::string& texto);  // CP1252 -> EBCDIC (ebc_de_cp1252)
// Text of members and message files: the inverse of the table the client
// applies to it, ebc_fija amended by the table file.
void a_ebcdic_texto(std::string& texto);
void de_tabla_asc(std::string& texto);  // client's SQL EBCDIC -> CP1252
void de_asc_fija(std::string& texto);   // client's transfer EBCDIC -> ASCII

// UTF-8 <-> CP1252 for the Latin-1 range (and the few CP1252 extras such as
// the euro sign). Characters that CP1252 lacks become '?'.
std::string cp1252_de_utf8(const std::string& utf8);
std::string utf8_de_cp1252(const std::string& cp1252);
// Text typed at a console may come as UTF-8 or as CP1252: valid UTF-8 with
// non-ASCII characters is kept, anything else is read as CP1252.
std::string utf8_de_cliente(const std::string& bytes);

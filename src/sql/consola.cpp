// Placeholder until the SQL console lands.
#include "sql/consola.h"

#include "main/fin.h"

void consola_sql() { termina(1); }

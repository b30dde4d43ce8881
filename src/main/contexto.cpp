// The process-wide record; zero-initialised as every static object is.
#include "main/contexto.h"

RunContext ctx;

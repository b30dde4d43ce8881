// The process-wide record; zero-initialised as every static object is.
#include "base/contexto.h"

RunContext ctx;

// Placeholder until the transfer walk lands.
#include "transfer/lista.h"

void trata_lista() {}
void trata_spl() {}

/*
** Placeholder until the country lands: the country never initialises.
*/
#include "countries/countries.h"

int32_t InitCountryFR(RBPDATA*, uint32_t*) { return 1; }
int32_t MaskCountryFR(RBPDATA*, uint32_t*) { return RC_NOTHING; }

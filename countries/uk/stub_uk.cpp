/*
** Placeholder until the country lands: the country never initialises.
*/
#include "countries/countries.h"

int32_t InitCountryUK(RBPDATA*, uint32_t*) { return 1; }
int32_t MaskCountryUK(RBPDATA*, uint32_t*) { return RC_NOTHING; }

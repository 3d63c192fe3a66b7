/*
** Placeholder until the country lands: the country never initialises.
*/
#include "countries/countries.h"

int32_t InitCountryIT(RBPDATA*, uint32_t*) { return 1; }
int32_t MaskCountryIT(RBPDATA*, uint32_t*) { return RC_NOTHING; }

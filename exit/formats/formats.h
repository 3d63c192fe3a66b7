/*
** formats.h - lookup of a country's format descriptor in the operand map.
**
** The format operand holds one descriptor per country, e.g. format=(FR=5X2C8X,UK=2C-6X-1C).
** A country accepts only the descriptors of its own fixed table; the table index selects
** the flag word the country records.
*/
#ifndef ZT0NID_FORMATS_H
#define ZT0NID_FORMATS_H

#include <stdint.h>

struct MAP;

enum { FMT_NOT_A_LIST = 3 };

/* The descriptor given for the country keyword id (KW_FR...) inside the format list:
** 0 and *out, 56 when there is none, 3 when format or the country's entry has the wrong
** shape (a plain format value, or a list as the country's value). */
int GetCountryFormat(uint16_t countryId, const MAP* map, const char16_t** out);

/* Index of the first of the n table strings equal to desc ignoring case, or -1. */
int FindFormat(const char16_t* desc, const char16_t* const* table, int n);

#endif

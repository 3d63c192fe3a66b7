/*
** countries.h - the routines each country provides to the entry point.
**
** InitCountryXX runs once, at set-up: it checks the columns, reads its format descriptor
** and fills its work area word; 0 means the country can be masked.  MaskCountryXX runs
** for every row of the country: it reads RBPDATA's input fields and writes the output
** buffer, returning one of the RC_* codes of host_records.h.
*/
#ifndef ZT0NID_COUNTRIES_H
#define ZT0NID_COUNTRIES_H

#include <stdint.h>

#include "exit/host_records.h"

int32_t InitCountryFR(RBPDATA* rbp, uint32_t* workArea);
int32_t MaskCountryFR(RBPDATA* rbp, uint32_t* workArea);
int32_t InitCountryIT(RBPDATA* rbp, uint32_t* workArea);
int32_t MaskCountryIT(RBPDATA* rbp, uint32_t* workArea);
int32_t InitCountryES(RBPDATA* rbp, uint32_t* workArea);
int32_t MaskCountryES(RBPDATA* rbp, uint32_t* workArea);
int32_t InitCountryUK(RBPDATA* rbp, uint32_t* workArea);
int32_t MaskCountryUK(RBPDATA* rbp, uint32_t* workArea);

/* Column check results shared by the countries. */
enum {
    COLCHECK_OK = 0,
    COLCHECK_BAD_SOURCE_TYPE = 7,
    COLCHECK_BAD_DEST_TYPE = 8,
    COLCHECK_BAD_LENGTH = 257
};

/* Value type code of a host string type (1, 2, 30, 31, 32, 33 give 1, 3, 31, 33, 35, 37);
** -1 for any other host type. */
int16_t ValueTypeOfHostType(int16_t hostType);

/* The column check of the countries that accept only the six string types: stores the
** value type code and requires minLength <= Length <= 255.  Returns COLCHECK_*. */
int32_t CheckStringColumn(const COLDESC* col, int16_t* typeCode, bool isSource, int32_t minLength);

/* The output of a blank source: n blanks (the empty string for 0), as a string.
** Returns RC_BLANK. */
int32_t WriteBlankOutput(RBPDATA* rbp, int32_t n);

#endif

/*
** exit_internal.h - what the entry point's files share: the state of one call and the
** table of country routines.
*/
#ifndef ZT0NID_EXIT_INTERNAL_H
#define ZT0NID_EXIT_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "exit/host_records.h"

/* Flags bit set when a column's set-up has completed; a row call on a column whose
** set-up failed is answered with an error and processes nothing. */
enum { MODE_SETUP_DONE = 0x0001 };

typedef int32_t (*InitCountryFn)(RBPDATA* rbp, uint32_t* workArea);
typedef int32_t (*MaskCountryFn)(RBPDATA* rbp, uint32_t* workArea);

/* One country as the entry point sees it. */
struct COUNTRYROUTINES {
    uint16_t Bit;                 /* COUNTRY_* */
    InitCountryFn Init;
    MaskCountryFn Mask;
    const char16_t* InitFailedMsg;
};

/* The countries in the order they are initialised: France, UK, Spain, Italy. */
struct COUNTRYSET {
    COUNTRYROUTINES Country[4];
};
extern const COUNTRYSET kCountries;

/* Everything one call of the entry point owns.  The three buffers are separate arrays of
** the caller (so that a sanitizer sees a write past one of them). */
struct CALL {
    INPUTPARMS* ip;
    COLLIST* srcList;
    COLLIST* destList;
    WORKAREA* wa;
    const COUNTRYSET* countries;
    char16_t* msg;                /* MSG_BUF_CHARS */
    char16_t* value;              /* VALUE_BUF_CHARS */
    char16_t* out;                /* OUT_BUF_CHARS */
};

/* Runs one call with the given country routines (tests pass their own). */
int16_t RunExitCall(INPUTPARMS* ip, COLLIST* srcList, COLLIST* destList, const COUNTRYSET* countries);

/* Set-up of a column on its first row call: 0, or EXIT_ERROR with the message formatted. */
int16_t SetUpColumn(CALL* c);

/* The end call: end report, release of the column's state, log file touched. */
int16_t EndCall(CALL* c);

/* Releases the column's state (RBPDATA, operands, country words) and clears the work
** area's pointers; counters and CountriesInit stay. */
void ReleaseColumn(WORKAREA* wa);

/* One row: EXIT_DONE, EXIT_SKIPPED or EXIT_ERROR (message formatted). */
int16_t ProcessRow(CALL* c);

/* Country bit (COUNTRY_*) of a code whose first two characters are FR, UK, ES or IT,
** ignoring case; 0 for anything else. */
uint16_t CountryOfCode(const char16_t* code);

/* The work area word of a country. */
uint32_t* CountryWorkArea(WORKAREA* wa, uint16_t countryBit);

/* The descriptor named name (len characters; a leading double quote and the last
** character are dropped) in list, compared ignoring case; NULL when absent. */
COLDESC* FindColumn(const char16_t* name, size_t len, COLLIST* list);

/* The descriptor at index i of list, or NULL when out of range. */
COLDESC* ColumnAt(COLLIST* list, int i);

/* Packed decimal of `digits` digits to a 32-bit integer; false when a digit is not 0-9
** or the value does not fit in bufBytes. */
bool PackedToInt(const uint8_t* bytes, size_t bufBytes, int digits, int32_t* out);

/* Integer to packed decimal of `digits` digits; false when digits are lost. */
bool IntToPacked(int64_t value, int digits, uint8_t* bytes, size_t bufBytes);

#endif

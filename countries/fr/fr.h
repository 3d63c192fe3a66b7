/*
** fr.h - France: the social-security number (NIR) and its constant tables.
**
** An NIR has 15 characters: sex (1), year (2), month (2), department (2, "2A" and "2B"
** for Corsica), commune (3), order number (3), key (2); a stored value may carry one
** separator, "-" or " ", before the key.  InitCountryFR turns the France format
** descriptor into the flag word of WorkAreaFR; MaskCountryFR checks one NIR and writes a
** masked (or random) one.
*/
#ifndef ZT0NID_FR_H
#define ZT0NID_FR_H

#include <stdint.h>

#include <cstring>

#include "countries/countries.h"

/* Bits of the WorkAreaFR flag word. */
enum {
    FR_PLAIN = 0x01,              /* layout: 15 characters */
    FR_SEX = 0x02,                /* fields that are replaced */
    FR_YEAR = 0x04,
    FR_MONTH = 0x08,
    FR_DEPT = 0x10,
    FR_COMMUNE = 0x20,
    FR_HYPHEN = 0x40,             /* layout: "-" before the key */
    FR_BLANK = 0x80,              /* layout: " " before the key */
    FR_FORMAT = 0x100,            /* a recognised descriptor fixed the layout */
    FR_DEFAULT_FIELDS = FR_SEX | FR_YEAR | FR_MONTH | FR_COMMUNE
};

enum {
    FR_FORMAT_COUNT = 69,
    NIR_CHARS = 15,
    NIR_SEPARATED_CHARS = 16,
    NIR_KEY_AT = 13,              /* 0-based position of the key (or of the separator) */
    SCRATCH_FR_CHARS = 20,

    /* department indices: "2B" 0, "01".."19", "2A" 20, "21".."95", 96 none, "97" */
    DEPT_INDEX_COUNT = 98,
    DEPT_2B = 0,
    DEPT_2A = 20,
    DEPT_NONE = 96,
    DEPT_OVERSEAS = 97,

    /* detail numbers of the France messages */
    FR_MSG_BAD_SEX = 0x11a,
    FR_MSG_BAD_MONTH = 0x11b,
    FR_MSG_BAD_DEPT = 0x11c,
    FR_MSG_BAD_COMMUNE = 0x11e,
    FR_MSG_BAD_KEY = 0x11f
};

/* The decimal pairs "00" to "99" as 16-bit characters, two per number. */
struct DIGITPAIRSFR {
    char16_t c[200];
};
inline constexpr DIGITPAIRSFR DigitPairsFR = [] {
    DIGITPAIRSFR t{};
    for (int i = 0; i < 100; ++i) {
        t.c[2 * i] = char16_t(u'0' + i / 10);
        t.c[2 * i + 1] = char16_t(u'0' + i % 10);
    }
    return t;
}();

/* Writes v (below 10^n, n = 1 to 3) as n decimal digits, leading zeros included. */
inline void WriteDigitsFR(char16_t* at, uint32_t v, int n) {
    if (n == 3) {
        *at++ = char16_t(u'0' + v / 100);
        v %= 100;
    }
    if (n == 1) *at = char16_t(u'0' + v);
    else std::memcpy(at, &DigitPairsFR.c[2 * v], 2 * sizeof(char16_t));
}

/* Writes a department index as its code: 20 is "2A", 0 is "2B", others two digits. */
inline void WriteDeptFR(char16_t* at, int32_t dept) {
    if (dept == DEPT_2A || dept == DEPT_2B) {
        at[0] = u'2';
        at[1] = dept == DEPT_2A ? u'A' : u'B';
    } else {
        WriteDigitsFR(at, uint32_t(dept), 2);
    }
}

/* ------------------------------------------------------------------ formats (init_fr.cpp) */

/* The accepted France descriptors, each row as plain, "-" and " " form. */
extern const char16_t* const FormatTableFR[FR_FORMAT_COUNT];

/* Flag word of FormatTableFR[index]: its field bits plus its layout bit. */
uint32_t FormatFlagsFR(int index);

/* Stores the value type code of col in *typeCode and checks that it can hold an NIR:
** 0, 7 (source) or 8 (destination) for host types 8 to 11, 257 for a bad length. */
int32_t CheckColTypeFR(const COLDESC* col, int16_t* typeCode, bool isSource);

/* ------------------------------------------------------------------ checking (validate_fr.cpp) */

/* The one scratch buffer of the France row routine: the routine is not reentrant. */
extern char16_t ScratchFR[SCRATCH_FR_CHARS];

/* Key (1..97) of the first 13 characters of an NIR; a Corsican letter counts as 0. */
int32_t NirKey(const char16_t* nir);

/* Department index of the two characters at nir[5..6]; *number gets what they read as
** ("2A" 20, "2B" 0, two digits their value, anything else 0).  -1 when refused. */
int32_t DeptIndexFR(const char16_t* nir, int32_t* number);

/* Checks a 15-character NIR (digits, sex, department, month; commune and key when
** validate is set), formatting the message of a failure.  0 or the row status. */
int32_t CheckNIR(RBPDATA* rbp, const char16_t* nir, bool validate);

/* Checks the row's source value (kind, blank, length, separator, then CheckNIR) and
** shortens a 16-character value in place to its 15 characters; without FR_FORMAT in
** *layout, the value's layout bit is added to it.  0, RC_BLANK for a blank value, or the
** row status with its message formatted. */
int32_t ReadNIR(RBPDATA* rbp, uint32_t* layout);

/* ------------------------------------------------------------------ masking and drawing */

/* Writes the masked form of a checked 15-character NIR and a NUL to out: 0, or 258
** (no message) for commune 000 when the commune is masked. */
int32_t MaskNIR(const char16_t* src, uint32_t flags, char16_t* out);

/* Lays out the finished 15-character output at OutValue: the separator of the layout goes
** before the key when the destination holds more than 15 characters.  Returns RC_OK. */
int32_t PutNIR(RBPDATA* rbp, uint32_t layout);

/* Writes a fresh, well-formed NIR and a NUL to out; returns 0. */
int32_t RandomNIR(char16_t* out);

/* ------------------------------------------------------------------ tables (tables_fr.cpp) */

/* One department index: highest commune number and the numbers 1..maxCommune that are
** not communes, strictly ascending (65535 alone: no gaps; 65534 alone: index 96). */
struct DEPTFR {
    int16_t maxCommune;
    int16_t excludedCount;
    const uint16_t* excluded;
};
extern const DEPTFR DeptTableFR[DEPT_INDEX_COUNT]; /* communes_fr_table.cpp, generated */

extern const uint16_t SexDigitsFR[4];
extern const uint8_t SexByMonthFR[13][4]; /* mask_fr.cpp */
extern const uint8_t OrderPermFR[5][4];

/* Commune operations; dept is an index 0..95 or 97. */
bool IsValidCommuneFR(int32_t dept, int32_t c);
int32_t NextCommuneFR(int32_t dept, int32_t c);
int32_t PrevCommuneFR(int32_t dept, int32_t c);
int32_t RandomCommuneFR(int32_t dept);

#endif

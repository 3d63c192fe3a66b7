/*
** uk.h - United Kingdom National Insurance numbers (NINO): the flag word, the tables and
** the routines of the country module.
**
** A NINO is a two-letter prefix, six digits and an optional suffix letter A to D, written
** compact (JK123456D) or in groups (JK-123456-D, JK 12 34 56 D).  InitCountryUK records in
** WorkAreaUK how values are masked and laid out; MaskCountryUK validates one value,
** masks it with ScrambleNINO (or draws one with RandomNINO) and writes the result.
**
** The module: init_uk.cpp (column checks, format table lookup), validate_uk.cpp (layout
** and parts of a source value), mask_uk.cpp (the row routine and the digit scramble),
** random_uk.cpp (fresh numbers), tables_uk.cpp (format values, prefixes, digit orders).
*/
#ifndef ZT0NID_UK_H
#define ZT0NID_UK_H

#include <stdint.h>

#include "countries/countries.h"

/* Bits of the WorkAreaUK flag word. */
enum {
    UK_MASK_PREFIX = 0x001,       /* replace the prefix as well as the digits */
    UK_SEP_DOT = 0x002,
    UK_SEP_BLANK = 0x004,
    UK_SEP_HYPHEN = 0x008,
    UK_OUT_COMPACT = 0x010,
    UK_OUT_GROUPS3 = 0x020,       /* prefix, six digits, suffix */
    UK_OUT_GROUPS5 = 0x040,       /* prefix, three digit pairs, suffix */
    UK_FORMAT_GIVEN = 0x100,      /* the layout bits decide the layout */
    UK_OUT_NO_SUFFIX = 0x200      /* destination of exactly 8 characters: prefix and digits only */
};

enum {
    UK_FORMAT_COUNT = 14,
    UK_PREFIX_COUNT = 239,
    UK_PERM_ROWS = 47,
    UK_DIGITS = 6,
    UK_COMPACT_MIN = 8,           /* prefix and digits */
    UK_COMPACT_MAX = 9,           /* prefix, digits and suffix */
    UK_MIN_COLUMN_LENGTH = 8
};

/* The accepted format values; the index decides the flag bits. */
extern const char16_t* const FormatTableUK[UK_FORMAT_COUNT];

/* The accepted prefixes, ascending by character code; the prefix replacement counts
** positions in it. */
extern const char16_t PrefixTableUK[UK_PREFIX_COUNT][3];

/* Reorderings of the six shifted digits: row r gives, for each output digit, the
** position (1 to 6) of the shifted digit that goes there. */
extern const uint8_t PermTableUK[UK_PERM_ROWS][UK_DIGITS];

/* Column check of the UK: the six string host types and a declared length of 8 to 255.
** Returns 0, 7 (source type), 8 (destination type) or 257 (length). */
int32_t CheckColTypeUK(const COLDESC* col, int16_t* typeCode, bool isSource);

/* Position of the two characters p[0], p[1] in PrefixTableUK (case counts), or -1. */
int32_t PrefixPositionUK(const char16_t* p);

/* Layout codes of a source value (length, separators):
**   1  8  JK123456          4  11  JK-123456-D
**   2  9  JK123456D         5  11  JK-12-34-56
**   3  9  JK-123456         6  13  JK-12-34-56-D
** The separator is "-", "." or a blank, the same one throughout a value. */
enum {
    UK_SRC_COMPACT8 = 1,
    UK_SRC_COMPACT9 = 2,
    UK_SRC_GROUPS3_NO_SUFFIX = 3,
    UK_SRC_GROUPS3 = 4,
    UK_SRC_GROUPS5_NO_SUFFIX = 5,
    UK_SRC_GROUPS5 = 6
};

/* A source value taken apart: its compact form, layout code and separator. */
struct NINOSOURCE {
    char16_t compact[UK_COMPACT_MAX];
    int32_t length;               /* 8 or 9 */
    int code;                     /* UK_SRC_*; 0 when there is no source value */
    char16_t sep;                 /* 0 for the compact layouts */
};

/* Checks the row's source value (kind, length, layout, prefix, digits, suffix) and takes
** its separators out.  Returns 0, RC_BLANK for an all-blank value, or the failure code
** with its message in pMsgBuf (259 leaves pMsgBuf as it was). */
int32_t ValidateNINO(RBPDATA* rbp, NINOSOURCE* src);

/* The deterministic mask of a validated compact NINO of `length` (8 or 9) characters:
** the digits shifted and reordered, the prefix replaced when flags has UK_MASK_PREFIX,
** the suffix copied.  Writes `length` characters to out (no terminator). */
void ScrambleNINO(const char16_t* compact, int32_t length, uint32_t flags, char16_t* out);

/* Writes the value (8 or 9 characters, compact) to OutValue in the layout of the format
** (flags), else of the source src, as far as the destination has room.  Returns RC_OK. */
int32_t PutNINO(RBPDATA* rbp, uint32_t flags, const NINOSOURCE* src, const char16_t* value, int32_t length);

/* Draws a NINO into out (no terminator); returns its length, 8 or 9. */
int32_t RandomNINO(char16_t* out);

#endif

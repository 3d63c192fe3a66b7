/*
** es.h - Spain: the NIF (seven digits, check letter) and the NIE ("X", seven digits,
** check letter), compact or with a hyphen or blank between the groups.
**
** The module: init_es.cpp (column checks, format table lookup), validate_es.cpp (shape of
** a source value), mask_es.cpp (the row routine and the digit scramble), random_es.cpp
** (fresh numbers), tables_es.cpp (check letters, format table).
*/
#ifndef ZT0NID_ES_H
#define ZT0NID_ES_H

#include <stdint.h>

#include "countries/countries.h"

/* Bits of WorkAreaES: the output layout a format asks for; none set keeps the source's. */
enum {
    ES_OUT_COMPACT = 0x02,
    ES_OUT_HYPHEN = 0x04,
    ES_OUT_BLANK = 0x10
};

enum {
    ES_DIGITS = 7,                /* digits of a NIF or NIE */
    ES_NIF_LENGTH = 8,            /* compact NIF; also the shortest column accepted */
    ES_NIF_SEPARATED_LENGTH = 9,  /* also the compact NIE */
    ES_NIE_SEPARATED_LENGTH = 11,
    ES_NIE_LIMIT = 930000,        /* random numbers below this become a NIE */
    ES_LETTER_COUNT = 23,
    ES_FORMAT_COUNT = 3
};

/* Detail codes that MaskCountryES returns besides RC_OK and RC_BLANK. */
enum {
    ES_RC_FORMAT = RC_INVALID_DATA,        /* 0x3a: malformed value */
    ES_RC_LENGTH = RC_INVALID_LENGTH,      /* 0x101: no NIF/NIE length */
    ES_RC_CHECK_LETTER = RC_INVALID_PART,  /* 0x102: wrong check letter */
    ES_RC_NO_RESULT = 0xff                 /* the random result could not be formatted */
};

/* "TRWAGMYFPDXBNJZSQVHLCKE": the check letter of n is CheckLettersES[n % 23]. */
extern const char16_t CheckLettersES[ES_LETTER_COUNT + 1];

/* Accepted format values, in lookup order, and the WorkAreaES bit of each. */
extern const char16_t* const FormatTableES[ES_FORMAT_COUNT];
extern const uint32_t FormatBitsES[ES_FORMAT_COUNT];

/* Check letter of a seven-digit number. */
inline char16_t CheckLetterES(int32_t n) { return CheckLettersES[n % ES_LETTER_COUNT]; }

/* Column check: one of the six string types, declared length 8 to 255.  Returns 0, 7
** (source) or 8 (destination) for a bad type, 257 for a bad length. */
int32_t CheckColTypeES(const COLDESC* col, int16_t* typeCode, bool isSource);

/* A source value taken apart: where its digits and check letter stand, and how it is
** written. */
struct SHAPEES {
    bool isNIE;
    char16_t sep;                 /* '-', ' ', or 0 for none */
    int digitsAt;                 /* index of the first of the seven digits */
    int letterAt;                 /* index of the check letter */
};

/* Recognises the shape of a len-character value: RC_OK with *shape, ES_RC_LENGTH or
** ES_RC_FORMAT with the message formatted into msg. */
int32_t ShapeOfES(const char16_t* value, int32_t len, SHAPEES* shape, char16_t* msg);

/* Reads the seven digits at value into *n: RC_OK, or ES_RC_FORMAT (message formatted). */
int32_t DigitsOfES(const char16_t* value, int32_t* n, char16_t* msg);

/* Checks the row's source value (kind, blank, shape, digits, and the check letter under
** MODE_VALIDATE): RC_OK with *shape and the seven digits as *n, RC_BLANK for a blank value,
** or the refusal code with its message formatted. */
int32_t ReadValueES(RBPDATA* rbp, SHAPEES* shape, int32_t* n);

/* The separator of the result: the format's when one was given (if the destination has
** room for it), otherwise the source's. */
char16_t OutputSeparatorES(const RBPDATA* rbp, uint32_t layout, const SHAPEES* shape);

/* Writes ["X" sep] digits [sep] letter and a NUL; returns its length (8, 9 or 11). */
int32_t WriteNumberES(char16_t* out, bool isNIE, char16_t sep, const uint8_t* d, char16_t letter);

/* The deterministic scramble of seven digit characters into seven digit values: the
** first digit is shifted in place, the other six shifted and reordered.  One-to-one. */
void ScrambleDigitsES(const char16_t* digits, uint8_t* out);

/* A random number from 0 to 9999999. */
void RandomNumberES(int32_t* out);

/* The random method: a fresh NIF or NIE in the output buffer. */
int32_t RandomValueES(RBPDATA* rbp, uint32_t layout);

#endif

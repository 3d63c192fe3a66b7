/*
** it.h - Italy: the codice fiscale module.
**
** A codice fiscale has 16 characters, positions 1 to 16: family-name code (1-3),
** first-name code (4-6), year (7-8), month letter (9), day (10-11, plus 40 for women),
** commune letter (12), commune number (13-15) and control character (16).  Written with
** separators it has 19 characters in groups of 3, 3, 5 and 5.  Digits of the date and
** the commune may be replaced by substitution letters (L = 0 ... V = 9), counted from
** the right, when two people would otherwise share a code.
**
** Module layout: init_it.cpp (formats, column checks, InitCountryIT), validate_it.cpp
** (field reading, commune check, ValidateCodeIT, SetControlChar), mask_it.cpp
** (MaskNameCode, MaskCodeIT, the row routine MaskCountryIT), random_it.cpp (RandomCodeIT),
** tables_it.cpp (character tables and the accepted-commune bitmap).
*/
#ifndef ZT0NID_COUNTRIES_IT_H
#define ZT0NID_COUNTRIES_IT_H

#include <stdint.h>

#include "countries/countries.h"
#include "exit/wstr.h"

/* Bits of WorkAreaIT: the parts to replace and the layout of the result. */
enum {
    IT_NAMES = 0x01,              /* family-name and first-name codes */
    IT_DATE = 0x02,               /* year, month and day (the sex is kept) */
    IT_COMMUNE = 0x04,            /* commune code */
    IT_BLANK = 0x08,              /* 19 characters, blanks between the groups */
    IT_HYPHEN = 0x10,             /* 19 characters, hyphens between the groups */
    IT_COMPACT = 0x20,            /* 16 characters */
    IT_DEFAULT_FORMAT = IT_DATE | IT_COMMUNE,

    /* Per-row bits added to a copy of the word: fields holding substitution letters. */
    IT_OMO_DAY = 0x40,
    IT_OMO_YEAR = 0x80,
    IT_OMO_COMMUNE = 0x100,
    IT_OMO_ANY = IT_OMO_DAY | IT_OMO_YEAR | IT_OMO_COMMUNE
};

/* Status codes of the rule routines, translated by MaskCountryIT. */
enum {
    IT_ERR_MASK = 0x2001,         /* a name code (or the commune walk) could not be masked */
    IT_ERR_DATE = 0x2003,
    IT_ERR_COMMUNE = 0x2004,
    IT_ERR_FAMILY = 0x2007,
    IT_ERR_FIRST = 0x2008,
    IT_PARSE_FAIL = 8             /* ParseDigits: not enough digits or no blank padding */
};

enum { IT_CODE_CHARS = 16, IT_SEPARATED_CHARS = 19, IT_FORMAT_COUNT = 21 };

/* ------------------------------------------------------------------ tables (tables_it.cpp) */

extern const char16_t VowelsIT[];         /* "AEIOU" */
extern const char16_t ConsonantsIT[];     /* the 21 other letters */
extern const char16_t MonthLetters[];     /* "ABCDEHLMPRST", January to December */
extern const char16_t ShortMonths[];      /* months of fewer than 31 days */
extern const char16_t CommuneLetters[];   /* "ABCDEFGHILMZ" */
extern const char16_t OmocodeLetters[];   /* "LMNPQRSTUV", substitutes of 0 to 9 */
extern const uint8_t OmocodePositions[7]; /* digit positions from the right: 15 ... 7 */
extern const uint8_t OddValues[26];       /* control-character values of A-Z at odd positions */

/* Where a character stands in the tables above (-1: not there), looked up in one step on
** the row path.  Only characters below 128 can be in a table. */
struct CHARINFO_IT {
    int8_t Vowel, Consonant, Month, Commune, Omocode;
    bool ShortMonth;
    bool Counted;                 /* a digit or a capital: counts for the control character */
    uint8_t OddValue, EvenValue;  /* its control-character values (a digit d as letter A + d) */
    uint8_t NameClass;            /* in a name code: NAME_VOWEL_IT, NAME_X_IT or NAME_OTHER_IT */
};
enum { NAME_VOWEL_IT, NAME_X_IT, NAME_OTHER_IT };
struct CHARINFO_TABLE_IT {
    CHARINFO_IT Info[128];
};
extern const CHARINFO_TABLE_IT CharInfoIT;
inline const CHARINFO_IT& InfoIT(char16_t c) { return CharInfoIT.Info[c < 128 ? c : 0]; }

/* Control-character values of the digits and capitals at odd ([0]) and even ([1])
** positions, indexed by the character (0 for the other characters below 128). */
struct CONTROL_TABLE_IT {
    uint8_t Value[2][128];
};
extern const CONTROL_TABLE_IT ControlValueIT;

/* The masked letter of each name-code letter A-Z by month key (1 to 12) and position, as
** MaskNameCode gives it for a vowel or a consonant before the first vowel. */
struct NAMEMASK_TABLE_IT {
    char16_t Letter[12][3][26];
};
extern const NAMEMASK_TABLE_IT NameMaskIT;

/* True when letter (A-Z) with number 0..999 is an accepted commune code: its letter is in
** CommuneLetters, the number is not 0 and the code is not in UnassignedCommunes. */
enum { COMMUNE_SLOTS_IT = 26 * 1000, COMMUNE_WORDS_IT = (COMMUNE_SLOTS_IT + 63) / 64 };
struct COMMUNE_BITMAP_IT {
    uint64_t Word[COMMUNE_WORDS_IT];  /* bit (letter - 'A') * 1000 + number */
};
extern const COMMUNE_BITMAP_IT AcceptedCommunesIT;
inline bool CommuneAcceptedIT(char16_t letter, int number) {
    if (letter < u'A' || letter > u'Z' || number < 0 || number > 999) return false;
    int slot = (letter - u'A') * 1000 + number;
    return (AcceptedCommunesIT.Word[slot / 64] >> (slot % 64)) & 1;
}

/* ------------------------------------------------------------------ formats (init_it.cpp) */

extern const char16_t* const FormatTableIT[IT_FORMAT_COUNT];

/* WorkAreaIT word of FormatTableIT[index]: masked parts by index mod 7, layout by block. */
uint32_t FormatFlagsIT(int index);

/* Checks a column for a codice fiscale: a string type of 16 to 255 characters.  Stores the
** value type code on success; returns 0, 7 (bad source type), 8 (bad destination type)
** or 257 (length). */
int32_t CheckColTypeIT(const COLDESC* col, int16_t* typeCode, bool isSource);

/* ------------------------------------------------------------------ rules */

/* Reads count digits at text into *out; with count < width the rest up to width must be
** blanks.  0, or IT_PARSE_FAIL. */
inline int ParseDigits(const char16_t* text, int count, int width, int32_t* out) {
    int32_t v = 0;
    int i = 0;
    for (; i < count && WIsDigit(text[i]); ++i) v = v * 10 + (text[i] - u'0');
    if (i < count) return IT_PARSE_FAIL;
    for (; i < width; ++i)
        if (text[i] != u' ') return IT_PARSE_FAIL;
    *out = v;
    return 0;
}

/* Value of a two- or three-character number field; with substituted set, a substitution
** letter counts as its digit.  No check: callers validate the characters first. */
inline int ReadFieldIT(const char16_t* p, int width, bool substituted) {
    int v = 0;
    for (int i = 0; i < width; ++i) {
        int k = substituted ? InfoIT(p[i]).Omocode : -1;
        v = v * 10 + (k >= 0 ? k : p[i] - u'0');
    }
    return v;
}

/* The commune number of positions 13-15: through the substitution letters when
** IT_OMO_COMMUNE is set, else exactly three digits.  False when it is not a number. */
inline bool ReadCommuneNumberIT(const char16_t* code, uint32_t flags, int32_t* number) {
    if (flags & IT_OMO_COMMUNE) {
        *number = ReadFieldIT(code + 12, 3, true);
        return true;
    }
    return ParseDigits(code + 12, 3, 3, number) == 0;
}

/* Days of the month of a month letter in a two-digit year (February: 29 when year % 4 = 0). */
inline int MonthLengthIT(char16_t monthLetter, int year) {
    if (monthLetter == u'B') return year % 4 == 0 ? 29 : 28;
    return InfoIT(monthLetter).ShortMonth ? 30 : 31;
}

/* The fields of a compact code: read once by the validation, used by the mask. */
struct CODEFIELDS_IT {
    int year;          /* 0..99 */
    int month;         /* 1..12 */
    int day;           /* 1..31, without the 40 of women */
    bool female;
    int communeLetter; /* index in CommuneLetters */
    int32_t number;    /* commune number, 1..999 */
};

/* 1 when the four characters (letter, three digits) form an accepted commune code, else 0. */
int CheckCommuneCode(const char16_t* code);

/* A name code: any letters up to the first vowel, then vowels, then only "X" padding. */
bool NameCodeValidIT(const char16_t* p);

/* Checks the name codes, the birth date and the commune of a compact upper-case code:
** 0 or the IT_ERR_* of the first faulty part. */
uint16_t ValidateCodeIT(const char16_t* code, uint32_t flags);

/* ValidateCodeIT that also hands the fields it read to *fields (set when it returns 0). */
uint16_t ValidateFieldsIT(const char16_t* code, uint32_t flags, CODEFIELDS_IT* fields);

/* Writes the control character of positions 1-15 at position 16. */
void SetControlChar(char16_t* code);

/* The control character of positions 1-15 when they are all digits or capitals (a checked
** source, a masked code): a sum of table values without any test. */
inline char16_t ControlCharIT(const char16_t* code) {
    const uint8_t* odd = ControlValueIT.Value[0];
    const uint8_t* even = ControlValueIT.Value[1];
    unsigned sum = odd[code[0]] + even[code[1]] + odd[code[2]] + even[code[3]] + odd[code[4]] +
                   even[code[5]] + odd[code[6]] + even[code[7]] + odd[code[8]] + even[code[9]] +
                   odd[code[10]] + even[code[11]] + odd[code[12]] + even[code[13]] + odd[code[14]];
    return char16_t(u'A' + sum % 26);
}

/* Masks a three-letter name code with key: 1, or 0 without input. */
int MaskNameCode(const char16_t* in, char16_t* out, int16_t key);

/* Masks a validated compact code into out (17 characters): 0 or IT_ERR_MASK. */
uint16_t MaskCodeIT(const char16_t* src, char16_t* out, uint32_t flags);

/* MaskCodeIT with the fields that ValidateFieldsIT read from src. */
uint16_t MaskFieldsIT(const char16_t* src, const CODEFIELDS_IT* fields, char16_t* out, uint32_t flags);

/* Puts back the source's substitution letters, counted from the right, over the digits
** of out. */
void CarrySubstitutionsIT(const char16_t* src, char16_t* out);

/* Layout of a source value. */
enum { IT_SRC_COMPACT, IT_SRC_HYPHEN, IT_SRC_BLANK };

/* Checks the row's source value (kind, length, blank, separators, characters, parts, and
** the control character under MODE_VALIDATE) and writes its compact upper-case form (17
** characters) to code: RC_OK with *flags (workArea plus the substitution bits) and
** *layout (IT_SRC_*), RC_BLANK for a blank value, or the refusal with its message. */
int32_t ReadCodeIT(RBPDATA* rbp, uint32_t workArea, char16_t* code, uint32_t* flags, int* layout);

/* ReadCodeIT that also hands the fields its validation read to *fields. */
int32_t ReadCodeIT(RBPDATA* rbp, uint32_t workArea, char16_t* code, uint32_t* flags, int* layout,
                   CODEFIELDS_IT* fields);

/* Writes the compact code masked to the output buffer in the layout of workArea (else
** of the source), separated when the destination has room. */
void WriteResultIT(RBPDATA* rbp, uint32_t workArea, const char16_t* masked, int layout);

/* Steps a commune (letter index in CommuneLetters, number) with key c (1..100) until it
** reaches an accepted code, which it stores: the rounds taken, or 0 when none is reached. */
int WalkCommuneIT(int* letterIndex, int32_t* number, int c);

/* Draws a complete valid code into out (17 characters): 0, or nonzero when the random
** source never yields an accepted commune. */
int RandomCodeIT(char16_t* out);

#endif

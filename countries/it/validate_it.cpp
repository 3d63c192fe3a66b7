/*
** validate_it.cpp - Italy: reading the number fields, the commune check, the validation
** of the name codes, birth date and commune, and the control character.
*/
#include "countries/it/it.h"
#include "exit/wstr.h"

int ParseDigits(const char16_t* text, int count, int width, int32_t* out) {
    int32_t v = 0;
    int i = 0;
    for (; i < count && WIsDigit(text[i]); ++i) v = v * 10 + (text[i] - u'0');
    if (i < count) return IT_PARSE_FAIL;
    for (; i < width; ++i)
        if (text[i] != u' ') return IT_PARSE_FAIL;
    *out = v;
    return 0;
}

int ReadFieldIT(const char16_t* p, int width, bool substituted) {
    int v = 0;
    for (int i = 0; i < width; ++i) {
        int k = substituted ? IndexInIT(OmocodeLetters, p[i]) : -1;
        v = v * 10 + (k >= 0 ? k : p[i] - u'0');
    }
    return v;
}

bool ReadCommuneNumberIT(const char16_t* code, uint32_t flags, int32_t* number) {
    if (flags & IT_OMO_COMMUNE) {
        *number = ReadFieldIT(code + 12, 3, true);
        return true;
    }
    return ParseDigits(code + 12, 3, 3, number) == 0;
}

int CheckCommuneCode(const char16_t* code) {
    if (!code) return 0;
    if (IndexInIT(CommuneLetters, code[0]) < 0) return 0;
    if (code[1] == u'0' && code[2] == u'0' && code[3] == u'0') return 0;
    /* Only letter-and-three-digit codes can be listed as unassigned. */
    if (!WIsDigit(code[1]) || !WIsDigit(code[2]) || !WIsDigit(code[3])) return 1;
    int n = (code[1] - u'0') * 100 + (code[2] - u'0') * 10 + (code[3] - u'0');
    return CommuneAcceptedIT(code[0], n) ? 1 : 0;
}

/* A name code: any letters up to the first vowel, then vowels, then only "X" padding. */
static bool NameCodeValid(const char16_t* p) {
    enum { BEFORE_VOWEL, AFTER_VOWEL, PADDING } state = BEFORE_VOWEL;
    for (int i = 0; i < 3; ++i) {
        bool vowel = IndexInIT(VowelsIT, p[i]) >= 0;
        if (state == BEFORE_VOWEL) {
            if (vowel) state = AFTER_VOWEL;
        } else if (state == PADDING || !vowel) {
            if (p[i] != u'X') return false;
            state = PADDING;
        }
    }
    return true;
}

/* Days of a month letter's month; February depends on the two-digit year. */
int MonthLengthIT(char16_t monthLetter, int year) {
    if (monthLetter == u'B') return year % 4 == 0 ? 29 : 28;
    return IndexInIT(ShortMonths, monthLetter) >= 0 ? 30 : 31;
}

/* Year, month letter and day (women's days carry 40 more) form a real date. */
static bool BirthDateValid(const char16_t* code, uint32_t flags) {
    int day = ReadFieldIT(code + 9, 2, flags & IT_OMO_DAY);
    int year = ReadFieldIT(code + 6, 2, flags & IT_OMO_YEAR);
    if (day > 40) day -= 40;
    if (IndexInIT(MonthLetters, code[8]) < 0) return false;
    return day >= 1 && day <= MonthLengthIT(code[8], year);
}

/* The commune letter with the number read from positions 13-15 is an accepted code. */
static bool CommuneValid(const char16_t* code, uint32_t flags) {
    int32_t number;
    if (!ReadCommuneNumberIT(code, flags, &number)) return false;
    /* A number outside 0..999 cannot be written in three digits: no accepted code. */
    return CommuneAcceptedIT(code[11], number);
}

uint16_t ValidateCodeIT(const char16_t* code, uint32_t flags) {
    if (!NameCodeValid(code)) return IT_ERR_FAMILY;
    if (!NameCodeValid(code + 3)) return IT_ERR_FIRST;
    if (!BirthDateValid(code, flags)) return IT_ERR_DATE;
    if (!CommuneValid(code, flags)) return IT_ERR_COMMUNE;
    return 0;
}

void SetControlChar(char16_t* code) {
    int16_t sum = 0;
    bool odd = true;
    for (int i = 0; i < 15; ++i) {
        char16_t c = code[i];
        if (WIsDigit(c)) c = char16_t(u'A' + (c - u'0'));
        if (!WIsUpper(c)) continue;
        sum = int16_t(sum + (odd ? OddValues[c - u'A'] : c - u'A'));
        odd = !odd;
    }
    code[15] = char16_t(u'A' + sum % 26);
}

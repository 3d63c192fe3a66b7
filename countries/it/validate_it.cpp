/*
** validate_it.cpp - Italy: reading the number fields, the commune check, the validation
** of the name codes, birth date and commune, and the control character.
*/
#include "countries/it/it.h"
#include "exit/wstr.h"

int CheckCommuneCode(const char16_t* code) {
    if (!code) return 0;
    if (InfoIT(code[0]).Commune < 0) return 0;
    if (code[1] == u'0' && code[2] == u'0' && code[3] == u'0') return 0;
    /* Only letter-and-three-digit codes can be listed as unassigned. */
    if (!WIsDigit(code[1]) || !WIsDigit(code[2]) || !WIsDigit(code[3])) return 1;
    int n = (code[1] - u'0') * 100 + (code[2] - u'0') * 10 + (code[3] - u'0');
    return CommuneAcceptedIT(code[0], n) ? 1 : 0;
}

/* Bit c0 * 9 + c1 * 3 + c2 is set when three characters of name classes c0, c1, c2 form a
** name code: any letters up to the first vowel, then vowels, then only "X" padding. */
static consteval uint32_t BuildNameCodeShapes() {
    uint32_t shapes = 0;
    for (int shape = 0; shape < 27; ++shape) {
        const int cls[3] = {shape / 9, shape / 3 % 3, shape % 3};
        enum { BEFORE_VOWEL, AFTER_VOWEL, PADDING } state = BEFORE_VOWEL;
        bool valid = true;
        for (int i = 0; i < 3 && valid; ++i) {
            bool vowel = cls[i] == NAME_VOWEL_IT;
            if (state == BEFORE_VOWEL) {
                if (vowel) state = AFTER_VOWEL;
            } else if (state == PADDING || !vowel) {
                valid = cls[i] == NAME_X_IT;
                state = PADDING;
            }
        }
        if (valid) shapes |= uint32_t(1) << shape;
    }
    return shapes;
}
static constexpr uint32_t NameCodeShapes = BuildNameCodeShapes();

bool NameCodeValidIT(const char16_t* p) {
    int shape = InfoIT(p[0]).NameClass * 9 + InfoIT(p[1]).NameClass * 3 + InfoIT(p[2]).NameClass;
    return (NameCodeShapes >> shape) & 1;
}

/* Year, month letter and day (women's days carry 40 more) form a real date. */
static bool BirthDateValid(const char16_t* code, uint32_t flags, CODEFIELDS_IT* f) {
    int day = ReadFieldIT(code + 9, 2, flags & IT_OMO_DAY);
    int year = ReadFieldIT(code + 6, 2, flags & IT_OMO_YEAR);
    f->female = day > 40;
    day -= 40 * f->female; /* no branch: men and women come in no order */
    f->year = year;
    f->day = day;
    f->month = InfoIT(code[8]).Month + 1;
    if (f->month < 1) return false;
    return day >= 1 && day <= MonthLengthIT(code[8], year);
}

/* The commune letter with the number read from positions 13-15 is an accepted code. */
static bool CommuneValid(const char16_t* code, uint32_t flags, CODEFIELDS_IT* f) {
    if (!ReadCommuneNumberIT(code, flags, &f->number)) return false;
    f->communeLetter = InfoIT(code[11]).Commune;
    /* A number outside 0..999 cannot be written in three digits: no accepted code. */
    return CommuneAcceptedIT(code[11], f->number);
}

uint16_t ValidateFieldsIT(const char16_t* code, uint32_t flags, CODEFIELDS_IT* fields) {
    if (!NameCodeValidIT(code)) return IT_ERR_FAMILY;
    if (!NameCodeValidIT(code + 3)) return IT_ERR_FIRST;
    if (!BirthDateValid(code, flags, fields)) return IT_ERR_DATE;
    if (!CommuneValid(code, flags, fields)) return IT_ERR_COMMUNE;
    return 0;
}

uint16_t ValidateCodeIT(const char16_t* code, uint32_t flags) {
    CODEFIELDS_IT fields;
    return ValidateFieldsIT(code, flags, &fields);
}

/* The general walk: a character that does not count does not flip odd and even either. */
[[gnu::noinline]] static int SlowControlSum(const char16_t* code) {
    int16_t sum = 0;
    bool odd = true;
    for (int i = 0; i < 15; ++i) {
        const CHARINFO_IT& info = InfoIT(code[i]);
        if (!info.Counted) continue;
        sum = int16_t(sum + (odd ? info.OddValue : info.EvenValue));
        odd = !odd;
    }
    return sum;
}

void SetControlChar(char16_t* code) {
    /* Digits and capitals only, the usual case: odd and even alternate with the position. */
    bool plain = true;
    for (int i = 0; i < 15; ++i) plain = plain && InfoIT(code[i]).Counted;
    code[15] = plain ? ControlCharIT(code) : char16_t(u'A' + SlowControlSum(code) % 26);
}

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

bool NameCodeValidIT(const char16_t* p) {
    enum { BEFORE_VOWEL, AFTER_VOWEL, PADDING } state = BEFORE_VOWEL;
    for (int i = 0; i < 3; ++i) {
        bool vowel = InfoIT(p[i]).Vowel >= 0;
        if (state == BEFORE_VOWEL) {
            if (vowel) state = AFTER_VOWEL;
        } else if (state == PADDING || !vowel) {
            if (p[i] != u'X') return false;
            state = PADDING;
        }
    }
    return true;
}

/* Year, month letter and day (women's days carry 40 more) form a real date. */
static bool BirthDateValid(const char16_t* code, uint32_t flags) {
    int day = ReadFieldIT(code + 9, 2, flags & IT_OMO_DAY);
    int year = ReadFieldIT(code + 6, 2, flags & IT_OMO_YEAR);
    if (day > 40) day -= 40;
    if (InfoIT(code[8]).Month < 0) return false;
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
    if (!NameCodeValidIT(code)) return IT_ERR_FAMILY;
    if (!NameCodeValidIT(code + 3)) return IT_ERR_FIRST;
    if (!BirthDateValid(code, flags)) return IT_ERR_DATE;
    if (!CommuneValid(code, flags)) return IT_ERR_COMMUNE;
    return 0;
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
    /* The usual case, digits and capitals only: odd and even alternate with the position,
    ** so positions are taken in pairs.  Any other character adds CONTROL_NONE_IT to the
    ** sum, or is 128 and above. */
    const uint16_t* odd = ControlValueIT.Value[0];
    const uint16_t* even = ControlValueIT.Value[1];
    unsigned all = code[14];
    unsigned sum = odd[all & 0x7F];
    for (int i = 0; i < 14; i += 2) {
        unsigned a = code[i], b = code[i + 1];
        all |= a | b;
        sum += odd[a & 0x7F] + even[b & 0x7F];
    }
    if (sum >= CONTROL_NONE_IT || all > 0x7F) sum = unsigned(SlowControlSum(code));
    code[15] = char16_t(u'A' + sum % 26);
}

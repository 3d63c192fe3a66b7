/*
** validate_fr.cpp - checking an NIR: characters, sex, department, month, and with
** validation the commune and the control key.
*/
#include <cstring>

#include "countries/fr/fr.h"
#include "exit/log/log.h"
#include "exit/wstr.h"

char16_t ScratchFR[SCRATCH_FR_CHARS];

enum { MSG_INVALID_INPUT = 0x3a };

/* Value of n decimal digits. */
static int32_t ReadNumber(const char16_t* s, int n) {
    int32_t v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + (s[i] - u'0');
    return v;
}

static bool IsCorsicanLetter(char16_t c) { return c == u'A' || c == u'B'; }

int32_t NirKey(const char16_t* nir) {
    uint64_t n = 0;
    for (int i = 0; i < NIR_KEY_AT; ++i) {
        /* both Corsican departments enter the number as 20 */
        uint32_t d = (i == 6 && WIsLetter(nir[i])) ? 0u : uint32_t(nir[i] - u'0');
        n = n * 10 + d;
    }
    return int32_t(97 - n % 97);
}

int32_t DeptIndexFR(const char16_t* nir, int32_t* number) {
    uint32_t tens = uint32_t(nir[5] - u'0'), units = uint32_t(nir[6] - u'0');
    char16_t letter = WToUpper(nir[6]);
    if (tens == 2 && (letter == u'A' || letter == u'B')) {
        *number = letter == u'A' ? DEPT_2A : DEPT_2B;
        return *number;
    }
    /* a letter after any other digit reads as 0, which is refused */
    int32_t d = (tens <= 9 && units <= 9) ? int32_t(tens * 10 + units) : 0;
    *number = d;
    return (d < 1 || d > DEPT_OVERSEAS || d == DEPT_2A || d == DEPT_NONE) ? -1 : d;
}

/* True when the 15 characters are digits, a Corsican "A" or "B" allowed at position 7;
** the copy in ScratchFR holds "0" in place of that letter. */
static bool AllDigits(const char16_t* nir) {
    std::memcpy(ScratchFR, nir, NIR_CHARS * sizeof(char16_t));
    ScratchFR[NIR_CHARS] = 0;
    if (IsCorsicanLetter(ScratchFR[6])) ScratchFR[6] = u'0';
    bool bad = false;
    for (int i = 0; i < NIR_CHARS; ++i) bad |= uint16_t(ScratchFR[i] - u'0') > 9;
    return !bad;
}

static bool IsSexDigit(char16_t c) { return c == u'1' || c == u'2' || c == u'7' || c == u'8'; }

/* Formats a refusal of one part of the NIR and returns the class status 258. */
static int32_t RefusePart(RBPDATA* rbp, const char16_t* fmt, int32_t number, const char16_t* nir) {
    FormatMsg(rbp->pMsgBuf, fmt, number, nir);
    return RC_INVALID_PART;
}

int32_t CheckNIR(RBPDATA* rbp, const char16_t* nir, bool validate) {
    if (!AllDigits(nir)) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Input Value (%s)", MSG_INVALID_INPUT, nir);
        return RC_INVALID_DATA;
    }
    if (!IsSexDigit(nir[0]))
        return RefusePart(rbp, u"NID ERROR %#x :Invalid Sex for source data value (%s)", FR_MSG_BAD_SEX, nir);
    int32_t deptNumber;
    int32_t dept = DeptIndexFR(nir, &deptNumber);
    if (dept < 0) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR  %#x :Department (\"%d\")is not a valid department)",
                  FR_MSG_BAD_DEPT, deptNumber);
        return RC_INVALID_PART;
    }
    int32_t month = ReadNumber(nir + 3, 2);
    if (month < 1 || month > 12)
        return RefusePart(rbp, u"NID ERROR %#x :Invalid Month for source data value (%s)", FR_MSG_BAD_MONTH, nir);
    if (!validate) return 0;

    if (!IsValidCommuneFR(dept, ReadNumber(nir + 7, 3)))
        return RefusePart(rbp, u"NID ERROR %#x :Invalid Commune for source data value (%s)", FR_MSG_BAD_COMMUNE,
                          nir);
    if (NirKey(ScratchFR) != ReadNumber(ScratchFR + NIR_KEY_AT, 2))
        return RefusePart(rbp, u"NID ERROR %#x :Invalid Control Key for source data value(%s) ", FR_MSG_BAD_KEY,
                          nir);
    return 0;
}

/*
** mask_fr.cpp - the France row routine and the masking of one NIR.
**
** Masking is deterministic: every field that the flag word marks is replaced by a fixed
** arithmetic transform of the source, the order number is always scrambled and the key
** is computed afresh, so equal inputs give equal, well-formed outputs.
*/
#include "countries/fr/fr.h"
#include "exit/log/log.h"
#include "exit/random/random.h"
#include "exit/wstr.h"

enum {
    MSG_INVALID_LENGTH = 0x101,
    MSG_INVALID_SEPARATOR = 0x103,
    MSG_INVALID_DATATYPE = 0x107,
    BLANK_COMPARE_MAX = 256
};

/* ------------------------------------------------------------------ field transforms */

static uint32_t Digit(char16_t c) { return uint32_t(c - u'0'); }
static uint32_t Two(const char16_t* s) { return Digit(s[0]) * 10 + Digit(s[1]); }
static uint32_t Three(const char16_t* s) { return Digit(s[0]) * 100 + Two(s + 1); }

/* The sex digits 1, 2, 7, 8 permuted by PermuteFromSeed(month, 4), for months 1 to 12
** (position i holds the new digit of SexDigitsFR[i]); tests prove the two agree. */
const uint8_t SexByMonthFR[13][4] = {
    {0, 0, 0, 0}, {2, 7, 8, 1}, {7, 8, 1, 2}, {8, 1, 7, 2}, {1, 7, 2, 8}, {2, 8, 7, 1}, {7, 1, 2, 8},
    {8, 2, 7, 1}, {1, 8, 2, 7}, {2, 1, 8, 7}, {7, 2, 1, 8}, {8, 7, 2, 1}, {1, 2, 7, 8},
};

/* Sex digit under the permutation of the four sex digits seeded by the month. */
static uint32_t MaskSex(uint32_t sex, uint32_t month) {
    uint16_t perm[4];
    const uint8_t* row = nullptr;
    if (month >= 1 && month <= 12) row = SexByMonthFR[month];
    else PermuteFromSeed(int32_t(month), 4, perm); /* not reached for a checked NIR */
    for (int i = 0; i < 4; ++i)
        if (sex == SexDigitsFR[i]) return row ? row[i] : SexDigitsFR[perm[i] - 1];
    return sex;
}

/* Even years move two up, odd years two down (modulo 100). */
static uint32_t MaskYear(uint32_t year) { return year % 2 == 0 ? (year + 2) % 100 : (year + 98) % 100; }

/* Month shifted by an amount chosen by the source year modulo 3. */
static uint32_t MaskMonth(uint32_t month, uint32_t year) {
    static const uint32_t kShift[3] = {1, 8, 4};
    return (month + kShift[year % 3]) % 12 + 1;
}

/* Department digits swapped; 69 and 89 stay (96 and 98 hold no department). */
static uint32_t MaskDept(uint32_t dept) {
    if (dept == 69 || dept == 89) return dept;
    return (dept % 10) * 10 + dept / 10;
}

/* Order number: each digit shifted, then reordered by a row of OrderPermFR. */
static uint32_t MaskOrder(const char16_t* src, uint32_t dept) {
    static const uint32_t kShift[3] = {3, 5, 7};
    uint32_t k = kShift[dept % 3];
    uint32_t e[3];
    for (uint32_t i = 0; i < 3; ++i) e[i] = (Digit(src[i]) + k + i) % 10;
    const uint8_t* perm = OrderPermFR[(e[0] + e[1] + e[2]) % 5];
    return e[perm[0] - 1] * 100 + e[perm[1] - 1] * 10 + e[perm[2] - 1];
}

int32_t MaskNIR(const char16_t* src, uint32_t flags, char16_t* out) {
    int32_t deptNumber;
    int32_t index = DeptIndexFR(src, &deptNumber);
    if (index < 0) return RC_INVALID_PART; /* callers pass checked values */
    uint32_t dept = uint32_t(index);
    uint32_t sex = Digit(src[0]), year = Two(src + 1), month = Two(src + 3), commune = Three(src + 7);
    if ((flags & FR_COMMUNE) && commune == 0) return RC_INVALID_PART;

    uint32_t newDept = (flags & FR_DEPT) ? MaskDept(dept) : dept;
    if (flags & FR_COMMUNE) {
        int32_t c = (dept % 2) ? PrevCommuneFR(int32_t(newDept), int32_t(commune))
                               : NextCommuneFR(int32_t(newDept), int32_t(commune));
        commune = uint32_t(c);
    }
    if (flags & FR_SEX) sex = MaskSex(sex, month);
    uint32_t newMonth = (flags & FR_MONTH) ? MaskMonth(month, year) : month;
    if (flags & FR_YEAR) year = MaskYear(year);
    uint32_t order = MaskOrder(src + 10, dept);

    out[0] = char16_t(u'0' + sex);
    WriteDigitsFR(out + 1, year, 2);
    WriteDigitsFR(out + 3, newMonth, 2);
    WriteDeptFR(out + 5, int32_t(newDept));
    WriteDigitsFR(out + 7, commune, 3);
    WriteDigitsFR(out + 10, order, 3);
    /* the key of the 13 characters just written, a Corsican department counting as 20 */
    uint32_t keyDept = (newDept == DEPT_2A || newDept == DEPT_2B) ? 20 : newDept;
    uint64_t n = uint64_t((sex * 100 + year) * 100 + newMonth) * 100 + keyDept;
    n = (n * 1000 + commune) * 1000 + order;
    WriteDigitsFR(out + NIR_KEY_AT, uint32_t(97 - n % 97), 2);
    out[NIR_CHARS] = 0;
    return 0;
}

/* ------------------------------------------------------------------ the row routine */

/* Blank input: 15 blanks or the empty string, by destination type; 262 for others. */
static int32_t BlankOutput(RBPDATA* rbp) {
    switch (rbp->DestDataType) {
    case 1: case 2: case 31: case 35: case 36: return WriteBlankOutput(rbp, NIR_CHARS);
    case 3: case 4: case 33: case 34: return WriteBlankOutput(rbp, 0);
    default: return RC_INVALID_DEST;
    }
}

/* True for an input of at most 256 characters that holds only blanks (or none). */
static bool IsBlankInput(const char16_t* in, int32_t len) {
    return len <= BLANK_COMPARE_MAX && WAllBlank(in, size_t(len < 0 ? 0 : len));
}

/* Reduces a 16-character input to 15 by removing the separator before the key; adds the
** input's layout to *layout when no descriptor fixed it.  0 or the row status. */
static int32_t TakeLayout(RBPDATA* rbp, char16_t* in, uint32_t* layout) {
    bool fixed = (*layout & FR_FORMAT) != 0;
    if (rbp->InLength == NIR_CHARS) {
        if (!fixed) *layout |= FR_PLAIN;
        return 0;
    }
    char16_t sep = in[NIR_KEY_AT];
    if (sep != u'-' && sep != u' ') {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Separator for source data value", MSG_INVALID_SEPARATOR);
        return RC_INVALID_SEPARATOR;
    }
    if (!fixed) *layout |= (sep == u'-') ? FR_HYPHEN : FR_BLANK;
    in[NIR_KEY_AT] = in[NIR_KEY_AT + 1];
    in[NIR_KEY_AT + 1] = in[NIR_KEY_AT + 2];
    in[NIR_CHARS] = 0;
    return 0;
}

int32_t PutNIR(RBPDATA* rbp, uint32_t layout) {
    char16_t* out = rbp->OutValue.pStr;
    char16_t sep = 0;
    if (rbp->pDestCol->Length > NIR_CHARS) {
        if (layout & FR_HYPHEN) sep = u'-';
        else if (layout & FR_BLANK) sep = u' ';
    }
    if (sep) {
        for (int i = 0; i < NIR_KEY_AT; ++i) ScratchFR[i] = out[i];
        ScratchFR[NIR_KEY_AT] = sep;
        ScratchFR[NIR_KEY_AT + 1] = out[NIR_KEY_AT];
        ScratchFR[NIR_KEY_AT + 2] = out[NIR_KEY_AT + 1];
        ScratchFR[NIR_SEPARATED_CHARS] = 0;
        for (int i = 0; i <= NIR_SEPARATED_CHARS; ++i) out[i] = ScratchFR[i];
        rbp->OutLength = NIR_SEPARATED_CHARS;
    } else {
        rbp->OutLength = NIR_CHARS;
    }
    rbp->OutKind = KIND_STRING;
    return RC_OK;
}

int32_t ReadNIR(RBPDATA* rbp, uint32_t* layout) {
    if (rbp->InKind != KIND_STRING) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Datatype for source data value", MSG_INVALID_DATATYPE);
        return RC_INVALID_TYPE;
    }
    char16_t* in = rbp->InValue.pStr;
    if (IsBlankInput(in, rbp->InLength)) return RC_BLANK;
    if (rbp->InLength != NIR_CHARS && rbp->InLength != NIR_SEPARATED_CHARS) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x:Invalid Length for source data value", MSG_INVALID_LENGTH);
        return RC_INVALID_LENGTH;
    }
    int32_t rc = TakeLayout(rbp, in, layout);
    if (rc) return rc;
    return CheckNIR(rbp, in, (rbp->Flags & MODE_VALIDATE) != 0);
}

int32_t MaskCountryFR(RBPDATA* rbp, uint32_t* workArea) {
    uint32_t layout = *workArea;
    if (!(rbp->Flags & MODE_MASK)) {
        RandomNIR(rbp->OutValue.pStr);
        return PutNIR(rbp, layout);
    }
    int32_t rc = ReadNIR(rbp, &layout);
    if (rc == RC_BLANK) return BlankOutput(rbp);
    if (rc) return rc;
    char16_t* in = rbp->InValue.pStr;
    rc = MaskNIR(in, *workArea, rbp->OutValue.pStr);
    if (rc) return rc;
    return PutNIR(rbp, layout);
}

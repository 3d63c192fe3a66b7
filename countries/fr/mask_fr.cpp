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

/* ------------------------------------------------------------------ digits */

static int32_t Digit(char16_t c) { return c - u'0'; }

static int32_t ReadNumber(const char16_t* s, int n) {
    int32_t v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + Digit(s[i]);
    return v;
}

/* ------------------------------------------------------------------ field transforms */

/* Sex digit under the permutation of the four sex digits seeded by the month. */
static char16_t MaskSex(char16_t sex, int32_t month) {
    uint16_t perm[4];
    PermuteFromSeed(month, 4, perm);
    for (int i = 0; i < 4; ++i)
        if (sex == char16_t(u'0' + SexDigitsFR[i])) return char16_t(u'0' + SexDigitsFR[perm[i] - 1]);
    return sex;
}

/* Even years move two up, odd years two down (modulo 100). */
static int32_t MaskYear(int32_t year) { return year % 2 == 0 ? (year + 2) % 100 : (year + 98) % 100; }

/* Month shifted by an amount chosen by the source year modulo 3. */
static int32_t MaskMonth(int32_t month, int32_t year) {
    static const int32_t kShift[3] = {1, 8, 4};
    return (month + kShift[year % 3]) % 12 + 1;
}

/* Department digits swapped; 69 and 89 stay (96 and 98 hold no department). */
static int32_t MaskDept(int32_t dept) {
    if (dept == 69 || dept == 89) return dept;
    return (dept % 10) * 10 + dept / 10;
}

/* Order number: each digit shifted, then reordered by a row of OrderPermFR. */
static void MaskOrder(const char16_t* src, int32_t dept, char16_t* at) {
    static const int32_t kShift[3] = {3, 5, 7};
    int32_t k = kShift[dept % 3];
    int32_t e[3];
    for (int i = 0; i < 3; ++i) e[i] = (Digit(src[i]) + k + i) % 10;
    const uint8_t* perm = OrderPermFR[(e[0] + e[1] + e[2]) % 5];
    for (int i = 0; i < 3; ++i) at[i] = char16_t(u'0' + e[perm[i] - 1]);
}

int32_t MaskNIR(const char16_t* src, uint32_t flags, char16_t* out) {
    int32_t deptNumber;
    int32_t dept = DeptIndexFR(src, &deptNumber);
    int32_t commune = ReadNumber(src + 7, 3);
    if (dept < 0) return RC_INVALID_PART; /* callers pass checked values */
    if ((flags & FR_COMMUNE) && commune == 0) return RC_INVALID_PART;

    int32_t year = ReadNumber(src + 1, 2);
    int32_t month = ReadNumber(src + 3, 2);
    for (int i = 0; i < NIR_CHARS; ++i) out[i] = src[i];

    if (flags & FR_SEX) out[0] = MaskSex(src[0], month);
    if (flags & FR_YEAR) WriteDigitsFR(out + 1, uint32_t(MaskYear(year)), 2);
    if (flags & FR_MONTH) WriteDigitsFR(out + 3, uint32_t(MaskMonth(month, year)), 2);
    int32_t newDept = (flags & FR_DEPT) ? MaskDept(dept) : dept;
    WriteDeptFR(out + 5, newDept);
    if (flags & FR_COMMUNE) {
        int32_t c = (dept % 2) ? PrevCommuneFR(newDept, commune) : NextCommuneFR(newDept, commune);
        WriteDigitsFR(out + 7, uint32_t(c), 3);
    }
    MaskOrder(src + 10, dept, out + 10);
    WriteDigitsFR(out + NIR_KEY_AT, uint32_t(NirKey(out)), 2);
    out[NIR_CHARS] = 0;
    return 0;
}

/* ------------------------------------------------------------------ the row routine */

/* Blank input: 15 blanks or the empty string, by destination type; 262 for others. */
static int32_t BlankOutput(RBPDATA* rbp) {
    char16_t* out = rbp->OutValue.pStr;
    switch (rbp->DestDataType) {
    case 1: case 2: case 31: case 35: case 36:
        for (int i = 0; i < NIR_CHARS; ++i) out[i] = u' ';
        out[NIR_CHARS] = 0;
        rbp->OutLength = NIR_CHARS;
        break;
    case 3: case 4: case 33: case 34:
        out[0] = 0;
        rbp->OutLength = 0;
        break;
    default:
        return RC_INVALID_DEST;
    }
    rbp->OutKind = KIND_STRING;
    return RC_BLANK;
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

/* Lays out the finished 15-character output: the separator of the layout goes before
** the key when the destination holds more than 15 characters. */
static int32_t PutOutput(RBPDATA* rbp, uint32_t layout) {
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

int32_t MaskCountryFR(RBPDATA* rbp, uint32_t* workArea) {
    uint32_t layout = *workArea;
    if (!(rbp->Flags & MODE_MASK)) {
        RandomNIR(rbp->OutValue.pStr);
        return PutOutput(rbp, layout);
    }
    if (rbp->InKind != KIND_STRING) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x :Invalid Datatype for source data value", MSG_INVALID_DATATYPE);
        return RC_INVALID_TYPE;
    }
    char16_t* in = rbp->InValue.pStr;
    if (IsBlankInput(in, rbp->InLength)) return BlankOutput(rbp);
    if (rbp->InLength != NIR_CHARS && rbp->InLength != NIR_SEPARATED_CHARS) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x:Invalid Length for source data value", MSG_INVALID_LENGTH);
        return RC_INVALID_LENGTH;
    }
    int32_t rc = TakeLayout(rbp, in, &layout);
    if (rc) return rc;
    rc = CheckNIR(rbp, in, (rbp->Flags & MODE_VALIDATE) != 0);
    if (rc) return rc;
    rc = MaskNIR(in, *workArea, rbp->OutValue.pStr);
    if (rc) return rc;
    return PutOutput(rbp, layout);
}

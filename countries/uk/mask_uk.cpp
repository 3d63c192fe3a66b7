/*
** mask_uk.cpp - the row routine of the UK and the deterministic digit scramble.
**
** The scramble shifts each digit by a fixed offset plus a number taken from the prefix,
** then reorders the six digits with a row of PermTableUK chosen by the prefix.  For one
** prefix this is one-to-one over 000000..999999; the one input whose image would be
** 000000 takes the image of 000000 instead, which no accepted input (000001..999999) has.
*/
#include "countries/uk/uk.h"

#include "exit/wstr.h"

enum {
    ALPHABET_BASE = 26,
    SHIFT_MOD = 5,
    BLANK_OUTPUT_LENGTH = 8,
    OUT_COMPACT = 1,
    OUT_GROUPS3 = 3,
    OUT_GROUPS5 = 5
};

/* Fixed per-position offsets of the shift; they differ, so a second pass over 000000
** cannot give 000000 again. */
static const uint8_t kShift[UK_DIGITS] = {5, 3, 1, 2, 4, 6};

/* Output digit i is the digit at position perm[i] shifted by that position's offset plus
** r, wrapping at 10 (digits NULL: all digits 0).  True when all six come out 0. */
static bool ShiftAndReorder(const char16_t* digits, int r, const uint8_t* perm, uint8_t* out) {
    int any = 0;
    for (int i = 0; i < UK_DIGITS; ++i) {
        int k = perm[i] - 1;
        int t = (digits ? digits[k] - u'0' : 0) + kShift[k] + r; /* below 20 */
        out[i] = uint8_t(t >= 10 ? t - 10 : t);
        any |= out[i];
    }
    return any == 0;
}

/* The replacement prefix: a quarter of the old position moved by the difference of the
** two halves of the new digits, wrapped into the table. */
static const char16_t* ReplacePrefix(const char16_t* prefix, const uint8_t* digits) {
    int32_t x = digits[0] * 100 + digits[1] * 10 + digits[2];
    int32_t y = digits[3] * 100 + digits[4] * 10 + digits[5];
    int32_t pos = PrefixPositionUK(prefix);
    if (pos < 0) pos = 0; /* callers pass validated prefixes */
    int32_t j = (pos / 4 + x - y) % UK_PREFIX_COUNT;
    if (j < 0) j += UK_PREFIX_COUNT;
    return PrefixTableUK[j];
}

void ScrambleNINO(const char16_t* compact, int32_t length, uint32_t flags, char16_t* out) {
    int32_t v = ALPHABET_BASE * (WToUpper(compact[0]) - u'A' + 1) + (WToUpper(compact[1]) - u'A' + 1);
    int r = int(v % SHIFT_MOD);
    const uint8_t* perm = PermTableUK[v % UK_PERM_ROWS];

    uint8_t m[UK_DIGITS];
    if (ShiftAndReorder(compact + 2, r, perm, m)) ShiftAndReorder(nullptr, r, perm, m); /* second pass */

    const char16_t* prefix = (flags & UK_MASK_PREFIX) ? ReplacePrefix(compact, m) : compact;
    out[0] = prefix[0];
    out[1] = prefix[1];
    for (int i = 0; i < UK_DIGITS; ++i) out[2 + i] = char16_t(u'0' + m[i]);
    if (length == UK_COMPACT_MAX) out[UK_COMPACT_MAX - 1] = compact[UK_COMPACT_MAX - 1];
}

/* Writes a blank result for a blank source: eight blanks for the fixed-length string
** types, an empty string for the others. */
static int32_t WriteBlank(RBPDATA* rbp) {
    int16_t t = rbp->DestDataType;
    return WriteBlankOutput(rbp, (t == 1 || t == 31 || t == 35) ? BLANK_OUTPUT_LENGTH : 0);
}

/* Layout and separator of the result when a format value was given. */
static int LayoutOfFlags(uint32_t flags, char16_t* sep) {
    *sep = (flags & UK_SEP_HYPHEN) ? u'-' : (flags & UK_SEP_BLANK) ? u' ' : u'.';
    if (flags & UK_OUT_GROUPS3) return OUT_GROUPS3;
    if (flags & UK_OUT_GROUPS5) return OUT_GROUPS5;
    return OUT_COMPACT;
}

/* Layout of the result without a format value: the source's, when the destination has
** room for it. */
static int LayoutOfSource(const NINOSOURCE* src, int32_t destLength) {
    switch (src->code) {
    case UK_SRC_GROUPS3_NO_SUFFIX: return destLength >= 9 ? OUT_GROUPS3 : OUT_COMPACT;
    case UK_SRC_GROUPS3: return destLength >= 11 ? OUT_GROUPS3 : OUT_COMPACT;
    case UK_SRC_GROUPS5_NO_SUFFIX: return destLength >= 11 ? OUT_GROUPS5 : OUT_COMPACT;
    case UK_SRC_GROUPS5: return destLength >= 13 ? OUT_GROUPS5 : OUT_COMPACT;
    default: return OUT_COMPACT;
    }
}

/* Writes the value v (8 or 9 characters) in the layout, terminated; returns its length. */
static int32_t WriteNINO(const char16_t* v, int32_t len, int layout, char16_t sep, char16_t* out) {
    int32_t n = 0;
    out[n++] = v[0];
    out[n++] = v[1];
    for (int i = 0; i < UK_DIGITS; ++i) {
        if ((layout == OUT_GROUPS3 && i == 0) || (layout == OUT_GROUPS5 && i % 2 == 0)) out[n++] = sep;
        out[n++] = v[2 + i];
    }
    if (len == UK_COMPACT_MAX) {
        if (layout != OUT_COMPACT) out[n++] = sep;
        out[n++] = v[UK_COMPACT_MAX - 1];
    }
    out[n] = 0;
    return n;
}

int32_t PutNINO(RBPDATA* rbp, uint32_t flags, const NINOSOURCE* src, const char16_t* value, int32_t length) {
    /* The format's layout, else the source's; a destination of 8 takes no more than
    ** the prefix and the digits. */
    int layout = OUT_COMPACT;
    char16_t sep = 0;
    if (flags & UK_OUT_NO_SUFFIX) {
        length = UK_COMPACT_MIN;
    } else if (flags & UK_FORMAT_GIVEN) {
        layout = LayoutOfFlags(flags, &sep);
    } else if (src->code) {
        layout = LayoutOfSource(src, rbp->pDestCol->Length);
        sep = src->sep;
    }
    rbp->OutLength = WriteNINO(value, length, layout, sep, rbp->OutValue.pStr);
    rbp->OutKind = KIND_STRING;
    return RC_OK;
}

int32_t MaskCountryUK(RBPDATA* rbp, uint32_t* workArea) {
    uint32_t flags = *workArea;
    char16_t value[UK_COMPACT_MAX];
    int32_t length;
    NINOSOURCE src;
    src.code = 0;

    if (rbp->Flags & MODE_RANDOM) {
        length = RandomNINO(value);
    } else {
        int32_t rc = ValidateNINO(rbp, &src);
        if (rc == RC_BLANK) return WriteBlank(rbp);
        if (rc) return rc;
        length = src.length;
        ScrambleNINO(src.compact, length, flags, value);
    }
    return PutNINO(rbp, flags, &src, value, length);
}

/*
** validate_uk.cpp - the checks of a source NINO: kind, length, layout, prefix, digits and
** suffix, in this order; the first that fails decides the code and the message.
*/
#include "countries/uk/uk.h"

#include "exit/log/log.h"
#include "exit/wstr.h"

enum { MIN_SOURCE_LENGTH = 8, MAX_SOURCE_LENGTH = 13 };

static bool IsSeparator(char16_t c) { return c == u'-' || c == u'.' || c == u' '; }

/* Fails a row: the message goes to the message buffer, the code to the entry point. */
static int32_t Fail(RBPDATA* rbp, int32_t code, const char16_t* fmt) {
    FormatMsg(rbp->pMsgBuf, fmt, code);
    return code;
}

/* Copies the characters of s at the given positions (from 0) into the compact value. */
static void Gather(const char16_t* s, const uint8_t* at, int n, NINOSOURCE* src) {
    for (int i = 0; i < n; ++i) src->compact[i] = s[at[i]];
    src->length = n;
}

/* Recognises the layout of a value of 8 to 13 characters and takes its separators out. */
static int32_t RecogniseLayout(RBPDATA* rbp, const char16_t* s, int32_t len, NINOSOURCE* src) {
    static const uint8_t kCompact[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    static const uint8_t kGroups3[] = {0, 1, 3, 4, 5, 6, 7, 8, 10};
    static const uint8_t kGroups5[] = {0, 1, 3, 4, 6, 7, 9, 10, 12};
    src->sep = 0;
    if (len == 9 && IsSeparator(s[2])) {
        src->code = UK_SRC_GROUPS3_NO_SUFFIX;
        src->sep = s[2];
        Gather(s, kGroups3, UK_COMPACT_MIN, src);
        return 0;
    }
    if (len == 8 || len == 9) {
        src->code = len == 8 ? UK_SRC_COMPACT8 : UK_SRC_COMPACT9;
        Gather(s, kCompact, len, src);
        return 0;
    }
    if (len == 10 || len == 12) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x:Invalid NINO Length:%d", RC_INVALID_LENGTH, len);
        return RC_INVALID_LENGTH;
    }

    char16_t sep = s[2];
    if (!IsSeparator(sep)) return RC_INVALID_SEPARATOR; /* no message: the buffer keeps its text */
    src->sep = sep;
    if (len == 11 && s[9] == sep) {
        src->code = UK_SRC_GROUPS3;
        Gather(s, kGroups3, UK_COMPACT_MAX, src);
    } else if (len == 11 && s[5] == sep && s[8] == sep) {
        src->code = UK_SRC_GROUPS5_NO_SUFFIX;
        Gather(s, kGroups5, UK_COMPACT_MIN, src);
    } else if (len == 13 && s[5] == sep && s[8] == sep && s[11] == sep) {
        src->code = UK_SRC_GROUPS5;
        Gather(s, kGroups5, UK_COMPACT_MAX, src);
    } else {
        return Fail(rbp, RC_INVALID_DATA, u"NID ERROR %#x:Invalid NINO");
    }
    return 0;
}

/* Checks the prefix, the six digits (not all zero) and the suffix of the compact value. */
static int32_t CheckParts(RBPDATA* rbp, const NINOSOURCE* src) {
    const char16_t* c = src->compact;
    if (PrefixPositionUK(c) < 0) return Fail(rbp, RC_INVALID_PART, u"NID ERROR %#x:Invalid Prefix");
    bool allZero = true;
    for (int i = 2; i < UK_COMPACT_MIN; ++i) {
        if (!WIsDigit(c[i])) return Fail(rbp, RC_INVALID_PART, u"NID ERROR %#x:Invalid Number Part");
        allZero = allZero && c[i] == u'0';
    }
    if (allZero) return Fail(rbp, RC_INVALID_PART, u"NID ERROR %#x:Invalid Number Part");
    if (src->length == UK_COMPACT_MAX) {
        char16_t suffix = WToUpper(c[UK_COMPACT_MAX - 1]);
        if (suffix < u'A' || suffix > u'D') return Fail(rbp, RC_INVALID_PART, u"NID ERROR %#x:Invalid Suffix");
    }
    return 0;
}

int32_t ValidateNINO(RBPDATA* rbp, NINOSOURCE* src) {
    src->code = 0;
    if (rbp->InKind != KIND_STRING || !rbp->InValue.pStr)
        return Fail(rbp, RC_INVALID_TYPE, u"NID ERROR %#x:Invalid Source DataType");
    const char16_t* s = rbp->InValue.pStr;
    int32_t len = rbp->InLength;
    if (len < MIN_SOURCE_LENGTH || len > MAX_SOURCE_LENGTH) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x:Invalid UK NINO Length:%d", RC_INVALID_LENGTH, len);
        return RC_INVALID_LENGTH;
    }
    if (WAllBlank(s, size_t(len))) return RC_BLANK;
    int32_t rc = RecogniseLayout(rbp, s, len, src);
    return rc ? rc : CheckParts(rbp, src);
}

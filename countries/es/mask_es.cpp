/*
** mask_es.cpp - Spain's row routine: the mask method (scramble the seven digits, recompute
** the check letter, keep the NIF/NIE kind) and the dispatch to the random method.
**
** Masking is deterministic: a value gives the same result in every run and column.
*/
#include "countries/es/es.h"
#include "exit/log/log.h"
#include "exit/random/random.h"
#include "exit/wstr.h"

enum {
    SEED_MODULUS = 5040,
    REORDERED = ES_DIGITS - 1,
    SEED_PERIOD = 60              /* lcm(2..6): seeds equal modulo 60 give the same order */
};

/* The reorderings of the six last digits, one per seed modulo 60, built once from
** PermuteFromSeed so that a row does no division by a variable. */
struct PERMTABLEES {
    uint8_t p[SEED_PERIOD][REORDERED];
};

static PERMTABLEES BuildPermTableES() {
    PERMTABLEES t;
    for (int seed = 0; seed < SEED_PERIOD; ++seed) {
        uint16_t p[REORDERED];
        PermuteFromSeed(seed, REORDERED, p);
        for (int i = 0; i < REORDERED; ++i) t.p[seed][i] = uint8_t(p[i]);
    }
    return t;
}

void ScrambleDigitsES(const char16_t* digits, uint8_t* out) {
    static const PERMTABLEES kPerms = BuildPermTableES();
    /* Shift every digit by its position plus 3 or 1, as the last digit is even or odd. */
    int k = ((digits[ES_DIGITS - 1] - u'0') & 1) ? 1 : 3;
    uint8_t s[ES_DIGITS];
    /* The seed is the product of (shifted digit + 1) modulo 5040; the product of seven
    ** factors of at most 10 fits in 32 bits, so it is reduced once at the end. */
    uint32_t product = 1;
    for (int i = 0; i < ES_DIGITS; ++i) {
        int v = digits[i] - u'0' + k + i;   /* at most 9 + 3 + 6 */
        s[i] = uint8_t(v >= 10 ? v - 10 : v);
        product *= uint32_t(s[i] + 1);
    }
    uint32_t seed = product % SEED_MODULUS;
    /* The seed depends only on which shifted digits occur, not on their order, so it can
    ** be recomputed from the result: the reordering can be undone and no two inputs meet. */
    const uint8_t* p = kPerms.p[seed % SEED_PERIOD];
    out[0] = s[0];
    for (int i = 0; i < REORDERED; ++i) out[i + 1] = s[p[i]];
}

char16_t OutputSeparatorES(const RBPDATA* rbp, uint32_t layout, const SHAPEES* shape) {
    if (layout == 0) return shape->sep;
    int32_t room = shape->isNIE ? ES_NIE_SEPARATED_LENGTH : ES_NIF_SEPARATED_LENGTH;
    if (rbp->pDestCol->Length < room) return 0;
    if (layout & ES_OUT_HYPHEN) return u'-';
    if (layout & ES_OUT_BLANK) return u' ';
    return 0;
}

int32_t WriteNumberES(char16_t* out, bool isNIE, char16_t sep, const uint8_t* d, char16_t letter) {
    int32_t n = 0;
    if (isNIE) {
        out[n++] = u'X';
        if (sep) out[n++] = sep;
    }
    for (int i = 0; i < ES_DIGITS; ++i) out[n++] = char16_t(u'0' + d[i]);
    if (sep) out[n++] = sep;
    out[n++] = letter;
    out[n] = 0;
    return n;
}

/* A blank source gives blanks for the fixed-length string types, an empty string else. */
static int32_t BlankResultES(RBPDATA* rbp) {
    int16_t t = rbp->DestDataType;
    return WriteBlankOutput(rbp, (t == 1 || t == 31 || t == 35) ? rbp->InLength : 0);
}

/* A refused row: with debug on, the message goes to the log at once as well. */
static int32_t RefuseES(const RBPDATA* rbp, int32_t rc) {
    if (rbp->Flags & MODE_DEBUG) LogMessage(LOG_TAG, rbp->pMsgBuf);
    return rc;
}

int32_t ReadValueES(RBPDATA* rbp, SHAPEES* shape, int32_t* n) {
    const char16_t* v = rbp->InValue.pStr;
    int32_t len = rbp->InLength;
    if (rbp->InKind != KIND_STRING || !v || len < 0) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x: Invalid NIF/NIE Format!", ES_RC_FORMAT);
        return ES_RC_FORMAT;
    }
    if (WAllBlank(v, size_t(len))) return RC_BLANK;
    int32_t rc = ShapeOfES(v, len, shape, rbp->pMsgBuf);
    if (rc != RC_OK) return rc;
    rc = DigitsOfES(v + shape->digitsAt, n, rbp->pMsgBuf);
    if (rc != RC_OK) return rc;
    if ((rbp->Flags & MODE_VALIDATE) && v[shape->letterAt] != CheckLetterES(*n)) {
        FormatMsg(rbp->pMsgBuf, u"NID ERROR %#x: Invalid NIF/NIE Format!", ES_RC_CHECK_LETTER);
        return ES_RC_CHECK_LETTER;
    }
    return RC_OK;
}

/* The mask method for one source value. */
static int32_t MaskValueES(RBPDATA* rbp, uint32_t layout) {
    SHAPEES shape;
    int32_t n;
    int32_t rc = ReadValueES(rbp, &shape, &n);
    if (rc == RC_BLANK) return BlankResultES(rbp);
    if (rc != RC_OK) return RefuseES(rbp, rc);
    const char16_t* v = rbp->InValue.pStr;

    uint8_t d[ES_DIGITS];
    ScrambleDigitsES(v + shape.digitsAt, d);
    int32_t m = 0;
    for (int i = 0; i < ES_DIGITS; ++i) m = m * 10 + d[i];
    char16_t sep = OutputSeparatorES(rbp, layout, &shape);
    rbp->OutLength = WriteNumberES(rbp->OutValue.pStr, shape.isNIE, sep, d, CheckLetterES(m));
    rbp->OutKind = KIND_STRING;
    return RC_OK;
}

int32_t MaskCountryES(RBPDATA* rbp, uint32_t* workArea) {
    uint32_t layout = workArea ? *workArea : 0;
    if (rbp->Flags & MODE_RANDOM) return RandomValueES(rbp, layout);
    if (rbp->Flags & MODE_MASK) return MaskValueES(rbp, layout);
    return RC_OK;
}

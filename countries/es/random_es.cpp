/*
** random_es.cpp - the random method: a fresh number, a NIE for the lowest 9.3% of them.
*/
#include "countries/es/es.h"
#include "exit/log/log.h"
#include "exit/random/random.h"

void RandomNumberES(int32_t* out) {
    /* Two draws: the two leading digits, then the five others. */
    uint32_t a = RandomNumber() % 100u;
    uint32_t b = RandomNumber() % 100000u;
    *out = int32_t(a * 100000u + b);
}

int32_t RandomValueES(RBPDATA* rbp, uint32_t layout) {
    int32_t n;
    RandomNumberES(&n);
    char16_t letter = CheckLetterES(n);
    char16_t sep = (layout & ES_OUT_HYPHEN) ? u'-' : (layout & ES_OUT_BLANK) ? u' ' : 0;
    char16_t* out = rbp->OutValue.pStr;
    int len;
    if (n < ES_NIE_LIMIT) {
        len = sep ? FormatMsgN(out, OUT_BUF_CHARS, u"%c%c%07d%c%c", u'X', sep, n, sep, letter)
                  : FormatMsgN(out, OUT_BUF_CHARS, u"%c%07d%c", u'X', n, letter);
    } else {
        len = sep ? FormatMsgN(out, OUT_BUF_CHARS, u"%07d%c%c", n, sep, letter)
                  : FormatMsgN(out, OUT_BUF_CHARS, u"%07d%c", n, letter);
    }
    if (len < 1) return ES_RC_NO_RESULT;
    rbp->OutLength = len;
    rbp->OutKind = KIND_STRING;
    return RC_OK;
}

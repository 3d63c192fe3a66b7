/*
** validate_es.cpp - the shapes a Spanish source value may take.
**
**   length 8   NIF  1234567L
**   length 9   NIE  X1234567L,  or NIF with a separator  1234567-L / 1234567 L
**   length 11  NIE with the same separator twice         X-1234567-L / X 1234567 L
**
** Only an upper-case "X" starts a NIE; the separator is a hyphen or a blank.
*/
#include "countries/es/es.h"
#include "exit/log/log.h"
#include "exit/wstr.h"

static const char16_t kMsgFormat[] = u"NID ERROR %#x: Invalid NIF/NIE Format!";
static const char16_t kMsgNIE[] = u"NID ERROR %#x: Invalid NIE Format/Unmatching Separators found";
static const char16_t kMsgLength[] = u"NID ERROR %#x: Invalid Length!";

static bool IsSeparatorES(char16_t c) { return c == u'-' || c == u' '; }

/* Fills a shape record. */
static int32_t SetShape(SHAPEES* shape, bool isNIE, char16_t sep, int digitsAt, int letterAt) {
    shape->isNIE = isNIE;
    shape->sep = sep;
    shape->digitsAt = digitsAt;
    shape->letterAt = letterAt;
    return RC_OK;
}

int32_t ShapeOfES(const char16_t* v, int32_t len, SHAPEES* shape, char16_t* msg) {
    switch (len) {
    case ES_NIF_LENGTH:
        return SetShape(shape, false, 0, 0, 7);
    case ES_NIF_SEPARATED_LENGTH:
        if (v[0] == u'X') return SetShape(shape, true, 0, 1, 8);
        if (IsSeparatorES(v[7])) return SetShape(shape, false, v[7], 0, 8);
        FormatMsg(msg, kMsgFormat, ES_RC_FORMAT);
        return ES_RC_FORMAT;
    case ES_NIE_SEPARATED_LENGTH:
        if (v[0] == u'X' && IsSeparatorES(v[1]) && v[9] == v[1]) return SetShape(shape, true, v[1], 2, 10);
        FormatMsg(msg, kMsgNIE, ES_RC_FORMAT);
        return ES_RC_FORMAT;
    default:
        FormatMsg(msg, kMsgLength, ES_RC_LENGTH);
        return ES_RC_LENGTH;
    }
}

int32_t DigitsOfES(const char16_t* v, int32_t* n, char16_t* msg) {
    int32_t x = 0;
    for (int i = 0; i < ES_DIGITS; ++i) {
        if (!WIsDigit(v[i])) {
            FormatMsg(msg, kMsgFormat, ES_RC_FORMAT);
            return ES_RC_FORMAT;
        }
        x = x * 10 + (v[i] - u'0');
    }
    *n = x;
    return RC_OK;
}

/*
** keyed_es.cpp - Spain: the seven digits of a NIF or NIE, 10^7 numbers; the kind (NIF or
** NIE) is kept and the check letter recomputed.
*/
#include "countries/es/es.h"
#include "keyed/keyed_internal.h"

enum { ES_NUMBERS = 10000000 };

static uint8_t FieldsES(uint32_t) { return 0; }
static int DomainCountES(uint32_t) { return 1; }
static uint64_t DomainSizeES(uint32_t, int) { return ES_NUMBERS; }

static int32_t RowES(KEYEDCOUNTRY* c, RBPDATA* rbp, bool unmask) {
    SHAPEES shape;
    int32_t n;
    int32_t rc = ReadValueES(rbp, &shape, &n);
    if (rc != RC_OK) return rc;
    uint32_t m = uint32_t(KeyedPermute(c, &c->Domains[0], uint64_t(n), unmask));
    uint8_t d[ES_DIGITS];
    uint32_t x = m;
    for (int i = ES_DIGITS - 1; i >= 0; --i, x /= 10) d[i] = uint8_t(x % 10);
    char16_t sep = OutputSeparatorES(rbp, c->Word, &shape);
    rbp->OutLength = WriteNumberES(rbp->OutValue.pStr, shape.isNIE, sep, d, CheckLetterES(int32_t(m)));
    return RC_OK;
}

const KEYEDRULES KeyedRulesES = {COUNTRY_ES, "ES", FieldsES, DomainCountES, DomainSizeES, RowES};

/*
** keyed_uk.cpp - the UK: the six digits (000001 to 999999) and, when the format replaces
** it, the prefix (one of the accepted ones); the suffix is kept.
*/
#include "countries/uk/uk.h"
#include "keyed/keyed_internal.h"

enum { UK_NUMBERS = 999999 };

static uint8_t FieldsUK(uint32_t word) { return uint8_t(word & UK_MASK_PREFIX); }
static int DomainCountUK(uint32_t) { return 1; }
static uint64_t DomainSizeUK(uint32_t word, int) {
    return uint64_t(UK_NUMBERS) * ((word & UK_MASK_PREFIX) ? UK_PREFIX_COUNT : 1);
}

static int32_t RowUK(KEYEDCOUNTRY* c, RBPDATA* rbp, bool unmask) {
    NINOSOURCE src;
    int32_t rc = ValidateNINO(rbp, &src);
    if (rc != RC_OK) return rc;
    const char16_t* v = src.compact;
    bool prefix = (c->Word & UK_MASK_PREFIX) != 0;
    uint64_t digits = 0;
    for (int i = 2; i < UK_COMPACT_MIN; ++i) digits = digits * 10 + uint64_t(v[i] - u'0');
    uint64_t value[2] = {uint64_t(PrefixPositionUK(v)), digits - 1};
    const uint64_t size[2] = {UK_PREFIX_COUNT, UK_NUMBERS};
    int first = prefix ? 0 : 1;
    uint64_t r = KeyedRank(value + first, size + first, 2 - first);
    KeyedUnrank(KeyedPermute(c, &c->Domains[0], r, unmask), size + first, 2 - first, value + first);

    char16_t out[UK_COMPACT_MAX];
    out[0] = prefix ? PrefixTableUK[value[0]][0] : v[0];
    out[1] = prefix ? PrefixTableUK[value[0]][1] : v[1];
    uint64_t x = value[1] + 1;
    for (int i = UK_COMPACT_MIN - 1; i >= 2; --i, x /= 10) out[i] = char16_t(u'0' + x % 10);
    if (src.length == UK_COMPACT_MAX) out[UK_COMPACT_MAX - 1] = v[UK_COMPACT_MAX - 1];
    return PutNINO(rbp, c->Word, &src, out, src.length);
}

const KEYEDRULES KeyedRulesUK = {COUNTRY_UK, "UK", FieldsUK, DomainCountUK, DomainSizeUK, RowUK};

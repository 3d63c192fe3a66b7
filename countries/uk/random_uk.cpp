/*
** random_uk.cpp - the random method: a fresh NINO from three draws.
*/
#include "countries/uk/uk.h"

#include "exit/random/random.h"

enum { RANDOM_NUMBERS = 999999, SUFFIX_CHOICES = 4 };

int32_t RandomNINO(char16_t* out) {
    /* Three draws in this order: number (000001 to 999999), prefix, suffix. */
    uint32_t n = RandomNumber() % RANDOM_NUMBERS + 1;
    const char16_t* prefix = PrefixTableUK[RandomNumber() % UK_PREFIX_COUNT];
    uint32_t k = RandomNumber() % SUFFIX_CHOICES;

    out[0] = prefix[0];
    out[1] = prefix[1];
    for (int i = UK_DIGITS - 1; i >= 0; --i, n /= 10) out[2 + i] = char16_t(u'0' + n % 10);
    if (k == 0) return UK_COMPACT_MIN;
    out[UK_COMPACT_MAX - 1] = u"ABCD"[k]; /* B, C or D: one draw in four has no suffix */
    return UK_COMPACT_MAX;
}

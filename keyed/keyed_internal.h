/*
** keyed_internal.h - what the keyed masker shares with its country files.
**
** Each country file (keyed_fr.cpp, keyed_it.cpp, keyed_es.cpp, keyed_uk.cpp) provides a
** KEYEDRULES record: how many domains it needs for the work area word its format gives,
** their sizes, and the row routine that reads a value with the country's own checks,
** numbers its replaced fields, permutes the number and writes the result.
*/
#ifndef ZT0NID_KEYED_INTERNAL_H
#define ZT0NID_KEYED_INTERNAL_H

#include "exit/host_records.h"
#include "keyed/ff1.h"
#include "keyed/keyed.h"

/* The valid combinations 0..Size-1 of one class of values, and the FF1 domain that
** permutes them (radix^n >= Size, cycle walking for the numbers above). */
struct KEYEDDOMAIN {
    uint64_t Size;
    FF1DOMAIN Ff1;
};

/* One country of an open masker. */
struct KEYEDCOUNTRY {
    uint32_t Word;                /* the work area word the country's initialisation sets */
    int DomainCount;
    KEYEDDOMAIN* Domains;         /* DomainCount of them; a domain of Size 0 is never used */
    KEYEDSTATS Stats;
};

/* A country's part of the keyed mask. */
struct KEYEDRULES {
    uint16_t Bit;                 /* COUNTRY_* */
    char Code[3];
    /* Replaced fields of a work area word: goes into the tweak. */
    uint8_t (*Fields)(uint32_t word);
    /* Domains needed for a work area word, and the size of domain i (0: unused). */
    int (*DomainCount)(uint32_t word);
    uint64_t (*DomainSize)(uint32_t word, int i);
    /* One value: InValue, InLength and OutValue (KEYED_OUT_CHARS) set in rbp. */
    int32_t (*Row)(KEYEDCOUNTRY* c, RBPDATA* rbp, bool unmask);
};

extern const KEYEDRULES KeyedRulesFR, KeyedRulesIT, KeyedRulesES, KeyedRulesUK;

/* Permutes a number below dom->Size (unmask: the inverse permutation), counting the FF1
** calls in c's statistics. */
uint64_t KeyedPermute(KEYEDCOUNTRY* c, const KEYEDDOMAIN* dom, uint64_t x, bool unmask);

/* Numbers a combination of n fields (value i below size i, the first most significant),
** and takes a number apart again. */
uint64_t KeyedRank(const uint64_t* value, const uint64_t* size, int n);
void KeyedUnrank(uint64_t r, const uint64_t* size, int n, uint64_t* value);

#endif

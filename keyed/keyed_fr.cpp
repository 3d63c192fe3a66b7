/*
** keyed_fr.cpp - France: the replaced fields of an NIR numbered in this order: sex (4),
** year (100), month (12), department and commune together (every valid pair) or the
** commune alone (the valid communes of the kept department), and the order number (1000,
** always replaced).  The key is recomputed.
**
** When the format keeps the department but replaces the commune, the number of values
** depends on the department: one domain per department index.
*/
#include <algorithm>

#include "countries/fr/fr.h"
#include "keyed/keyed_internal.h"

enum { SEXES = 4, YEARS = 100, MONTHS = 12, ORDERS = 1000, FIELDS_FR = 5 };

/* ------------------------------------------------------------------ communes */

/* Excluded numbers of a department that lie in 1..maxCommune (a list may hold a sentinel). */
static int RealExcluded(const DEPTFR* d) {
    int n = d->excludedCount;
    while (n > 0 && d->excluded[n - 1] > d->maxCommune) --n;
    return n;
}

static uint64_t CommuneCount(int dept) {
    const DEPTFR* d = &DeptTableFR[dept];
    return d->maxCommune >= 1 ? uint64_t(d->maxCommune - RealExcluded(d)) : 0;
}

/* Position of a valid commune among the department's valid communes. */
static uint64_t CommuneRank(int dept, int c) {
    const DEPTFR* d = &DeptTableFR[dept];
    const uint16_t* e = d->excluded;
    return uint64_t(c - 1 - (std::lower_bound(e, e + RealExcluded(d), uint16_t(c)) - e));
}

/* The valid commune at position k: k + 1 plus the excluded numbers below it, found by
** a binary search on e[i] - i (the valid numbers below e[i], plus one). */
static int CommuneAt(int dept, uint64_t k) {
    const DEPTFR* d = &DeptTableFR[dept];
    int lo = 0, hi = RealExcluded(d);
    int64_t want = int64_t(k) + 1;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (int64_t(d->excluded[mid]) - mid <= want) lo = mid + 1;
        else hi = mid;
    }
    return int(want + lo);
}

/* Valid (department, commune) pairs before each department index; built once. */
struct PAIRSFR {
    uint64_t Before[DEPT_INDEX_COUNT + 1];
};

static const PAIRSFR& Pairs() {
    static const PAIRSFR kPairs = [] {
        PAIRSFR p{};
        for (int d = 0; d < DEPT_INDEX_COUNT; ++d) p.Before[d + 1] = p.Before[d] + CommuneCount(d);
        return p;
    }();
    return kPairs;
}

static uint64_t PairRank(int dept, int c) { return Pairs().Before[dept] + CommuneRank(dept, c); }

static void PairAt(uint64_t r, int* dept, int* c) {
    const uint64_t* b = Pairs().Before;
    *dept = int(std::upper_bound(b, b + DEPT_INDEX_COUNT + 1, r) - b) - 1;
    *c = CommuneAt(*dept, r - b[*dept]);
}

/* ------------------------------------------------------------------ domains */

static uint8_t FieldsFR(uint32_t word) { return uint8_t(word & (FR_SEX | FR_YEAR | FR_MONTH | FR_DEPT | FR_COMMUNE)); }

/* The department keeps its value but the commune changes: one domain per department. */
static bool PerDepartment(uint32_t word) { return (word & FR_COMMUNE) && !(word & FR_DEPT); }

static int DomainCountFR(uint32_t word) { return PerDepartment(word) ? DEPT_INDEX_COUNT : 1; }

static uint64_t DomainSizeFR(uint32_t word, int i) {
    uint64_t n = ORDERS;
    if (word & FR_SEX) n *= SEXES;
    if (word & FR_YEAR) n *= YEARS;
    if (word & FR_MONTH) n *= MONTHS;
    if (word & FR_DEPT) n *= Pairs().Before[DEPT_INDEX_COUNT];
    else if (word & FR_COMMUNE) n *= CommuneCount(i);
    return n;
}

/* ------------------------------------------------------------------ one value */

/* The fields of a checked 15-character NIR. */
struct NIRFIELDS {
    int sex;                      /* index in SexDigitsFR */
    int year, month, dept, commune, order;
};

static int Number(const char16_t* s, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + (s[i] - u'0');
    return v;
}

static void ReadFields(const char16_t* nir, NIRFIELDS* f) {
    f->sex = int(std::find(SexDigitsFR, SexDigitsFR + SEXES, uint16_t(nir[0] - u'0')) - SexDigitsFR);
    f->year = Number(nir + 1, 2);
    f->month = Number(nir + 3, 2);
    int32_t number;
    f->dept = DeptIndexFR(nir, &number);
    f->commune = Number(nir + 7, 3);
    f->order = Number(nir + 10, 3);
}

/* Writes the 13 characters of the fields and the key. */
static void WriteFields(const NIRFIELDS* f, char16_t* out) {
    out[0] = char16_t(u'0' + SexDigitsFR[f->sex]);
    WriteDigitsFR(out + 1, uint32_t(f->year), 2);
    WriteDigitsFR(out + 3, uint32_t(f->month), 2);
    WriteDeptFR(out + 5, f->dept);
    WriteDigitsFR(out + 7, uint32_t(f->commune), 3);
    WriteDigitsFR(out + 10, uint32_t(f->order), 3);
    WriteDigitsFR(out + NIR_KEY_AT, uint32_t(NirKey(out)), 2);
    out[NIR_CHARS] = 0;
}

static int32_t RowFR(KEYEDCOUNTRY* c, RBPDATA* rbp, bool unmask) {
    uint32_t layout = c->Word;
    int32_t rc = ReadNIR(rbp, &layout);
    if (rc != RC_OK) return rc;
    NIRFIELDS f;
    ReadFields(rbp->InValue.pStr, &f);

    /* The replaced fields as mixed-radix digits, most significant first. */
    uint64_t value[FIELDS_FR], size[FIELDS_FR];
    int n = 0;
    uint32_t w = c->Word;
    if (w & FR_SEX) value[n] = uint64_t(f.sex), size[n++] = SEXES;
    if (w & FR_YEAR) value[n] = uint64_t(f.year), size[n++] = YEARS;
    if (w & FR_MONTH) value[n] = uint64_t(f.month - 1), size[n++] = MONTHS;
    if (w & FR_DEPT) value[n] = PairRank(f.dept, f.commune), size[n++] = Pairs().Before[DEPT_INDEX_COUNT];
    else if (w & FR_COMMUNE) value[n] = CommuneRank(f.dept, f.commune), size[n++] = CommuneCount(f.dept);
    value[n] = uint64_t(f.order), size[n++] = ORDERS;

    const KEYEDDOMAIN* dom = &c->Domains[PerDepartment(w) ? f.dept : 0];
    KeyedUnrank(KeyedPermute(c, dom, KeyedRank(value, size, n), unmask), size, n, value);

    n = 0;
    if (w & FR_SEX) f.sex = int(value[n++]);
    if (w & FR_YEAR) f.year = int(value[n++]);
    if (w & FR_MONTH) f.month = int(value[n++]) + 1;
    if (w & FR_DEPT) PairAt(value[n++], &f.dept, &f.commune);
    else if (w & FR_COMMUNE) f.commune = CommuneAt(f.dept, value[n++]);
    f.order = int(value[n]);

    WriteFields(&f, rbp->OutValue.pStr);
    return PutNIR(rbp, layout);
}

const KEYEDRULES KeyedRulesFR = {COUNTRY_FR, "FR", FieldsFR, DomainCountFR, DomainSizeFR, RowFR};

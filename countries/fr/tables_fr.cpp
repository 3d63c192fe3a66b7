/*
** tables_fr.cpp - the small France tables and the operations on the department table:
** commune validity, stepping up and down, and the random draw.
**
** Each department index keeps at least one valid commune, so the stepping and drawing
** loops always end.
*/
#include "countries/fr/fr.h"
#include "exit/random/random.h"

const uint16_t SexDigitsFR[4] = {1, 2, 7, 8};

/* The five orders of three digits other than the identity (1-based; fourth entry unused). */
const uint8_t OrderPermFR[5][4] = {
    {1, 3, 2, 0}, {2, 1, 3, 0}, {2, 3, 1, 0}, {3, 1, 2, 0}, {3, 2, 1, 0},
};

/* The record of an index that holds communes, or NULL. */
static const DEPTFR* Department(int32_t dept) {
    if (dept < 0 || dept >= DEPT_INDEX_COUNT) return nullptr;
    const DEPTFR* d = &DeptTableFR[dept];
    return d->maxCommune >= 1 ? d : nullptr;
}

/* Entry i of the excluded list, read as a signed 16-bit number (sentinels are negative). */
static int32_t Entry(const DEPTFR* d, int32_t i) { return int16_t(d->excluded[i]); }

/* Index of the first entry not below c; excludedCount when none.  A branch-free binary
** search: the halving steps do not depend on the data, only the chosen half does. */
static int32_t LowerBound(const DEPTFR* d, int32_t c) {
    int32_t n = d->excludedCount;
    if (n <= 0) return 0;
    const uint16_t* base = d->excluded;
    while (n > 1) {
        int32_t half = n / 2;
        base = int16_t(base[half]) < c ? base + half : base;
        n -= half;
    }
    return int32_t(base - d->excluded) + (int16_t(*base) < c);
}

/* True when c is in the department's excluded list. */
static bool IsExcluded(const DEPTFR* d, int32_t c) {
    int32_t i = LowerBound(d, c);
    return i < d->excludedCount && Entry(d, i) == c;
}

bool IsValidCommuneFR(int32_t dept, int32_t c) {
    const DEPTFR* d = Department(dept);
    return d && c >= 1 && c <= d->maxCommune && !IsExcluded(d, c);
}

/* Steps cyclically through 1..m (up or down) to the nearest valid number; a start above
** m first falls into range through the modulo.  One binary search places the start in the
** sorted excluded list, which is then walked alongside the candidate. */
static int32_t StepCommune(int32_t dept, int32_t c, bool up) {
    const DEPTFR* d = Department(dept);
    if (!d || c < 0) return c;
    int32_t m = d->maxCommune, n = d->excludedCount;
    int32_t x = (up ? c + 1 : c + m - 1) % m;
    if (x == 0) x = m;
    int32_t i = LowerBound(d, x);
    if (up) {
        while (i < n && Entry(d, i) == x) {
            if (++x > m) x = 1, i = 0;
            else ++i;
        }
    } else {
        if (i == n || Entry(d, i) != x) --i; /* the last entry below x */
        while (i >= 0 && Entry(d, i) == x) {
            if (--x < 1) x = m, i = n - 1;
            else --i;
        }
    }
    return x;
}

int32_t NextCommuneFR(int32_t dept, int32_t c) { return StepCommune(dept, c, true); }
int32_t PrevCommuneFR(int32_t dept, int32_t c) { return StepCommune(dept, c, false); }

int32_t RandomCommuneFR(int32_t dept) {
    const DEPTFR* d = Department(dept);
    if (!d) return 0;
    uint32_t m = uint32_t(d->maxCommune);
    int32_t x;
    do x = int32_t(RandomNumber() % m + 1);
    while (IsExcluded(d, x));
    return x;
}

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

/* True when c is in the department's excluded list (binary search, signed entries). */
static bool IsExcluded(const DEPTFR* d, int32_t c) {
    int32_t lo = 0, hi = int32_t(d->excludedCount) - 1;
    while (lo <= hi) {
        int32_t mid = lo + (hi - lo) / 2;
        int32_t e = int16_t(d->excluded[mid]);
        if (e == c) return true;
        if (e < c) lo = mid + 1;
        else hi = mid - 1;
    }
    return false;
}

bool IsValidCommuneFR(int32_t dept, int32_t c) {
    const DEPTFR* d = Department(dept);
    return d && c >= 1 && c <= d->maxCommune && !IsExcluded(d, c);
}

/* Steps cyclically through 1..m by delta (1 up, m - 1 down) until a valid number. */
static int32_t StepCommune(int32_t dept, int32_t c, int32_t up) {
    const DEPTFR* d = Department(dept);
    if (!d || c < 0) return c;
    int32_t m = d->maxCommune;
    int32_t delta = up ? 1 : m - 1;
    int32_t x = c;
    do {
        x = (x + delta) % m;
        if (x == 0) x = m;
    } while (IsExcluded(d, x));
    return x;
}

int32_t NextCommuneFR(int32_t dept, int32_t c) { return StepCommune(dept, c, 1); }
int32_t PrevCommuneFR(int32_t dept, int32_t c) { return StepCommune(dept, c, 0); }

int32_t RandomCommuneFR(int32_t dept) {
    const DEPTFR* d = Department(dept);
    if (!d) return 0;
    uint32_t m = uint32_t(d->maxCommune);
    int32_t x;
    do x = int32_t(RandomNumber() % m + 1);
    while (IsExcluded(d, x));
    return x;
}

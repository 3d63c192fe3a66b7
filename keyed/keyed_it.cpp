/*
** keyed_it.cpp - Italy: the replaced parts of a codice fiscale numbered in this order:
** the two name codes (each one of the valid three-letter codes), the birth date (a day of
** years 00 to 99, February 29 when the year is a multiple of 4) and the commune code (one
** of the accepted codes).  The sex, the substitution letters of the source (put back at
** the same places) and the copied parts are kept; the control character is recomputed.
*/
#include "countries/it/it.h"
#include "keyed/keyed_internal.h"

enum {
    LETTERS = 26,
    NAME_SLOTS = LETTERS * LETTERS * LETTERS,
    COMMUNE_LETTERS = 12,
    COMMUNE_SLOTS = COMMUNE_LETTERS * 1000,
    DAYS = 36525,                 /* days of years 00 to 99 */
    FOUR_YEARS = 1461,
    LEAP_YEAR = 366,
    FEMALE_DAY = 40,
    FIELDS_IT = 4
};

/* The valid name codes and accepted commune codes, numbered in order; built once. */
struct TABLESIT {
    int16_t NameRank[NAME_SLOTS];     /* -1 for a code that is not valid */
    uint16_t NameAt[NAME_SLOTS];
    int NameCount;
    int16_t CommuneRank[COMMUNE_SLOTS];
    uint16_t CommuneAt[COMMUNE_SLOTS];
    int CommuneCount;
};

static const TABLESIT& Tables() {
    static const TABLESIT* kTables = [] {
        static TABLESIT t;
        for (int s = 0; s < NAME_SLOTS; ++s) {
            const char16_t code[3] = {char16_t(u'A' + s / (LETTERS * LETTERS)), char16_t(u'A' + s / LETTERS % LETTERS),
                                      char16_t(u'A' + s % LETTERS)};
            t.NameRank[s] = -1;
            if (NameCodeValidIT(code)) {
                t.NameRank[s] = int16_t(t.NameCount);
                t.NameAt[t.NameCount++] = uint16_t(s);
            }
        }
        for (int s = 0; s < COMMUNE_SLOTS; ++s) {
            t.CommuneRank[s] = -1;
            if (CommuneAcceptedIT(CommuneLetters[s / 1000], s % 1000)) {
                t.CommuneRank[s] = int16_t(t.CommuneCount);
                t.CommuneAt[t.CommuneCount++] = uint16_t(s);
            }
        }
        return &t;
    }();
    return *kTables;
}

static int NameSlot(const char16_t* p) { return ((p[0] - u'A') * LETTERS + (p[1] - u'A')) * LETTERS + (p[2] - u'A'); }

static void WriteName(int rank, char16_t* out) {
    int s = Tables().NameAt[rank];
    out[0] = char16_t(u'A' + s / (LETTERS * LETTERS));
    out[1] = char16_t(u'A' + s / LETTERS % LETTERS);
    out[2] = char16_t(u'A' + s % LETTERS);
}

/* ------------------------------------------------------------------ dates */

/* Day number of year y (0..99), month index m (0..11), day d (1..). */
static uint64_t DateRank(int y, int m, int d) {
    uint64_t r = uint64_t(365 * y + (y + 3) / 4);
    for (int i = 0; i < m; ++i) r += uint64_t(MonthLengthIT(MonthLetters[i], y));
    return r + uint64_t(d - 1);
}

static void DateAt(uint64_t r, int* y, int* m, int* d) {
    /* Four-year blocks, each starting with the leap year. */
    int rest = int(r % FOUR_YEARS);
    *y = int(r / FOUR_YEARS) * 4;
    if (rest >= LEAP_YEAR) {
        *y += 1 + (rest - LEAP_YEAR) / 365;
        rest = (rest - LEAP_YEAR) % 365;
    }
    int i = 0;
    while (rest >= MonthLengthIT(MonthLetters[i], *y)) rest -= MonthLengthIT(MonthLetters[i++], *y);
    *m = i;
    *d = rest + 1;
}

/* ------------------------------------------------------------------ domains */

static uint8_t FieldsIT(uint32_t word) { return uint8_t(word & (IT_NAMES | IT_DATE | IT_COMMUNE)); }
static int DomainCountIT(uint32_t) { return 1; }

static uint64_t DomainSizeIT(uint32_t word, int) {
    uint64_t n = 1, names = uint64_t(Tables().NameCount);
    if (word & IT_NAMES) n *= names * names;
    if (word & IT_DATE) n *= DAYS;
    if (word & IT_COMMUNE) n *= uint64_t(Tables().CommuneCount);
    return n;
}

/* ------------------------------------------------------------------ one value */

static void PutTwo(char16_t* at, int v) {
    at[0] = char16_t(u'0' + v / 10);
    at[1] = char16_t(u'0' + v % 10);
}

static int32_t RowIT(KEYEDCOUNTRY* c, RBPDATA* rbp, bool unmask) {
    char16_t code[IT_CODE_CHARS + 1];
    uint32_t flags;
    int layout;
    int32_t rc = ReadCodeIT(rbp, c->Word, code, &flags, &layout);
    if (rc != RC_OK) return rc;
    const TABLESIT& t = Tables();

    int year = ReadFieldIT(code + 6, 2, flags & IT_OMO_YEAR);
    int month = InfoIT(code[8]).Month;
    int day = ReadFieldIT(code + 9, 2, flags & IT_OMO_DAY);
    bool female = day > FEMALE_DAY;
    if (female) day -= FEMALE_DAY;
    int32_t number = 0;
    ReadCommuneNumberIT(code, flags, &number); /* checked: a number of 1 to 999 */
    int commune = InfoIT(code[11]).Commune * 1000 + number;

    uint64_t value[FIELDS_IT], size[FIELDS_IT];
    int n = 0;
    uint32_t w = c->Word;
    if (w & IT_NAMES) {
        value[n] = uint64_t(t.NameRank[NameSlot(code)]), size[n++] = uint64_t(t.NameCount);
        value[n] = uint64_t(t.NameRank[NameSlot(code + 3)]), size[n++] = uint64_t(t.NameCount);
    }
    if (w & IT_DATE) value[n] = DateRank(year, month, day), size[n++] = DAYS;
    if (w & IT_COMMUNE) value[n] = uint64_t(t.CommuneRank[commune]), size[n++] = uint64_t(t.CommuneCount);
    KeyedUnrank(KeyedPermute(c, &c->Domains[0], KeyedRank(value, size, n), unmask), size, n, value);

    char16_t out[IT_CODE_CHARS + 1];
    for (int i = 0; i < 6; ++i) out[i] = code[i];
    n = 0;
    if (w & IT_NAMES) {
        WriteName(int(value[n++]), out);
        WriteName(int(value[n++]), out + 3);
    }
    if (w & IT_DATE) DateAt(value[n++], &year, &month, &day);
    if (w & IT_COMMUNE) commune = t.CommuneAt[value[n]];
    PutTwo(out + 6, year);
    out[8] = MonthLetters[month];
    PutTwo(out + 9, female ? day + FEMALE_DAY : day);
    out[11] = CommuneLetters[commune / 1000];
    out[12] = char16_t(u'0' + commune % 1000 / 100);
    PutTwo(out + 13, commune % 100);
    out[IT_CODE_CHARS] = 0;
    if (flags & IT_OMO_ANY) CarrySubstitutionsIT(code, out);
    SetControlChar(out);
    WriteResultIT(rbp, c->Word, out, layout);
    return RC_OK;
}

const KEYEDRULES KeyedRulesIT = {COUNTRY_IT, "IT", FieldsIT, DomainCountIT, DomainSizeIT, RowIT};

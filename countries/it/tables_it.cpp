/*
** tables_it.cpp - the constant tables of the codice fiscale.
**
** The rejected commune codes come from the generated UnassignedCommunes list; at compile
** time they are folded into a bitmap of accepted codes (26 letters x 1000 numbers), so that
** a lookup on the row path is one bit test instead of a binary search.
*/
#include "countries/it/communes_it_table.h"
#include "countries/it/it.h"

const char16_t VowelsIT[] = u"AEIOU";
const char16_t ConsonantsIT[] = u"BCDFGHJKLMNPQRSTVWXYZ";
const char16_t MonthLetters[] = u"ABCDEHLMPRST";
const char16_t ShortMonths[] = u"BDHPS";
const char16_t CommuneLetters[] = u"ABCDEFGHILMZ";
const char16_t OmocodeLetters[] = u"LMNPQRSTUV";
const uint8_t OmocodePositions[7] = {15, 14, 13, 11, 10, 8, 7};

/* Values of A to Z at odd positions (the published control-character table). */
const uint8_t OddValues[26] = {1,  0,  5,  7,  9,  13, 15, 17, 19, 21, 2,  4,  18,
                               20, 11, 3,  6,  8,  12, 14, 16, 10, 22, 25, 24, 23};

int IndexInIT(const char16_t* table, char16_t c) {
    for (int i = 0; table[i]; ++i)
        if (table[i] == c) return i;
    return -1;
}

namespace {

enum { COMMUNE_SLOTS = 26 * 1000, COMMUNE_WORDS = (COMMUNE_SLOTS + 63) / 64 };

struct CommuneBitmap {
    uint64_t Word[COMMUNE_WORDS];
};

constexpr int CommuneSlot(char16_t letter, int number) { return (letter - u'A') * 1000 + number; }

/* Every code of the commune letters, minus number 0 and the unassigned codes. */
consteval CommuneBitmap BuildAcceptedCommunes() {
    CommuneBitmap b{};
    const char16_t letters[] = u"ABCDEFGHILMZ";
    for (int l = 0; letters[l]; ++l)
        for (int n = 1; n <= 999; ++n) {
            int s = CommuneSlot(letters[l], n);
            b.Word[s / 64] |= uint64_t(1) << (s % 64);
        }
    for (const auto& code : UnassignedCommunes) {
        int n = (code[1] - u'0') * 100 + (code[2] - u'0') * 10 + (code[3] - u'0');
        int s = CommuneSlot(code[0], n);
        b.Word[s / 64] &= ~(uint64_t(1) << (s % 64));
    }
    return b;
}

constexpr CommuneBitmap kAcceptedCommunes = BuildAcceptedCommunes();

/* The generated list must be sorted and unique, like the lookup it replaces assumes. */
consteval bool CommunesSortedUnique() {
    for (int i = 1; i < UNASSIGNED_COMMUNES_COUNT; ++i)
        for (int k = 0; k < 4; ++k) {
            if (UnassignedCommunes[i - 1][k] < UnassignedCommunes[i][k]) break;
            if (UnassignedCommunes[i - 1][k] > UnassignedCommunes[i][k] || k == 3) return false;
        }
    return true;
}
static_assert(CommunesSortedUnique());

} // namespace

bool CommuneAcceptedIT(char16_t letter, int number) {
    if (letter < u'A' || letter > u'Z' || number < 0 || number > 999) return false;
    int s = CommuneSlot(letter, number);
    return (kAcceptedCommunes.Word[s / 64] >> (s % 64)) & 1;
}

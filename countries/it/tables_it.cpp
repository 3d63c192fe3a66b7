/*
** tables_it.cpp - the constant tables of the codice fiscale.
**
** The rejected commune codes come from the generated UnassignedCommunes list; at compile
** time they are folded into a bitmap of accepted codes (26 letters x 1000 numbers), so that
** a lookup on the row path is one bit test instead of a binary search.  Likewise the
** character tables are folded into one record per ASCII character.
*/
#include "countries/it/communes_it_table.h"
#include "countries/it/it.h"

constexpr char16_t VowelsIT[] = u"AEIOU";
constexpr char16_t ConsonantsIT[] = u"BCDFGHJKLMNPQRSTVWXYZ";
constexpr char16_t MonthLetters[] = u"ABCDEHLMPRST";
constexpr char16_t ShortMonths[] = u"BDHPS";
constexpr char16_t CommuneLetters[] = u"ABCDEFGHILMZ";
constexpr char16_t OmocodeLetters[] = u"LMNPQRSTUV";
const uint8_t OmocodePositions[7] = {15, 14, 13, 11, 10, 8, 7};

/* Values of A to Z at odd positions (the published control-character table). */
constexpr uint8_t OddValues[26] = {1,  0,  5,  7,  9,  13, 15, 17, 19, 21, 2,  4,  18,
                                   20, 11, 3,  6,  8,  12, 14, 16, 10, 22, 25, 24, 23};

namespace {

constexpr int8_t IndexIn(const char16_t* table, char16_t c) {
    for (int i = 0; table[i]; ++i)
        if (table[i] == c) return int8_t(i);
    return -1;
}

/* The position of every ASCII character in each table, and its control-character values. */
consteval CHARINFO_TABLE_IT BuildCharInfo() {
    CHARINFO_TABLE_IT t{};
    for (char16_t c = 0; c < 128; ++c) {
        CHARINFO_IT& i = t.Info[c];
        i.Vowel = c ? IndexIn(VowelsIT, c) : -1;
        i.Consonant = c ? IndexIn(ConsonantsIT, c) : -1;
        i.Month = c ? IndexIn(MonthLetters, c) : -1;
        i.Commune = c ? IndexIn(CommuneLetters, c) : -1;
        i.Omocode = c ? IndexIn(OmocodeLetters, c) : -1;
        i.ShortMonth = c && IndexIn(ShortMonths, c) >= 0;
        char16_t letter = (c >= u'0' && c <= u'9') ? char16_t(u'A' + (c - u'0')) : c;
        i.Counted = letter >= u'A' && letter <= u'Z';
        i.OddValue = i.Counted ? OddValues[letter - u'A'] : 0;
        i.EvenValue = i.Counted ? uint8_t(letter - u'A') : 0;
        i.NameClass = i.Vowel >= 0 ? NAME_VOWEL_IT : c == u'X' ? NAME_X_IT : NAME_OTHER_IT;
    }
    return t;
}

/* The values of CharInfoIT again, laid out for the control character's sum. */
consteval CONTROL_TABLE_IT BuildControlValues() {
    CHARINFO_TABLE_IT info = BuildCharInfo();
    CONTROL_TABLE_IT t{};
    for (int c = 0; c < 128; ++c) {
        t.Value[0][c] = info.Info[c].OddValue;
        t.Value[1][c] = info.Info[c].EvenValue;
    }
    return t;
}

/* x mod n in 0..n-1 for any sign of x. */
constexpr int Mod(int x, int n) { return (x % n + n) % n; }

/* MaskNameCode's shifts for each month key: the middle position shifts backwards, the
** outer two forwards, the key growing by the position after each. */
consteval NAMEMASK_TABLE_IT BuildNameMask() {
    NAMEMASK_TABLE_IT t{};
    for (int m = 1; m <= 12; ++m) {
        int k = m;
        for (int i = 0; i < 3; ++i) {
            int shift = i == 1 ? -k : k;
            for (int l = 0; l < 26; ++l) {
                char16_t c = char16_t(u'A' + l);
                int v = IndexIn(VowelsIT, c);
                t.Letter[m - 1][i][l] = v >= 0 ? VowelsIT[Mod(v + 1 + shift, 5)]
                                               : ConsonantsIT[Mod(IndexIn(ConsonantsIT, c) + 1 + shift, 21)];
            }
            k += i + 1;
        }
    }
    return t;
}

} // namespace

constexpr CHARINFO_TABLE_IT CharInfoIT = BuildCharInfo();
constexpr CONTROL_TABLE_IT ControlValueIT = BuildControlValues();
constexpr NAMEMASK_TABLE_IT NameMaskIT = BuildNameMask();

namespace {

constexpr int CommuneSlot(char16_t letter, int number) { return (letter - u'A') * 1000 + number; }

/* Every code of the commune letters, minus number 0 and the unassigned codes. */
consteval COMMUNE_BITMAP_IT BuildAcceptedCommunes() {
    COMMUNE_BITMAP_IT b{};
    for (int l = 0; CommuneLetters[l]; ++l)
        for (int n = 1; n <= 999; ++n) {
            int s = CommuneSlot(CommuneLetters[l], n);
            b.Word[s / 64] |= uint64_t(1) << (s % 64);
        }
    for (const auto& code : UnassignedCommunes) {
        int n = (code[1] - u'0') * 100 + (code[2] - u'0') * 10 + (code[3] - u'0');
        int s = CommuneSlot(code[0], n);
        b.Word[s / 64] &= ~(uint64_t(1) << (s % 64));
    }
    return b;
}

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

constexpr COMMUNE_BITMAP_IT AcceptedCommunesIT = BuildAcceptedCommunes();

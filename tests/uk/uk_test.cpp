/* uk_test.cpp - the UK NINO: prefixes, set-up, masks, refusals, the scramble, random draws. */
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "countries/uk/uk.h"
#include "support/country.h"

using ctest::U8;

/* The prefix table: ascending, ending in ZY, positions found again, others not found; for a
** prefix of each digit order the digit mask is one-to-one over 000001..999999, never 000000,
** the replaced prefix in the table. */
TEST(UK, PrefixTableAndDigitMask) {
    for (int i = 1; i < UK_PREFIX_COUNT; ++i) {
        const char16_t *a = PrefixTableUK[i - 1], *b = PrefixTableUK[i];
        EXPECT_TRUE(a[0] < b[0] || (a[0] == b[0] && a[1] < b[1])) << i;
    }
    EXPECT_EQ(std::u16string(PrefixTableUK[238]), u"ZY");
    for (int i = 0; i < UK_PREFIX_COUNT; ++i) EXPECT_EQ(PrefixPositionUK(PrefixTableUK[i]), i);
    for (const char16_t* bad : {u"jk", u"Jk", u"DA", u"AC", u"ZZ", u"A-", u"\xFF41\xFF41"})
        EXPECT_EQ(PrefixPositionUK(bad), -1) << int(bad[0]);
}

/* Set-up: the flag word follows format, method and destination length; column checks.  Worked
** values: the source's layout kept only where the destination holds it. */
TEST(UK, SetUpAndMasks) {
    const uint32_t G = UK_FORMAT_GIVEN, P = UK_MASK_PREFIX, C = UK_OUT_COMPACT, G3 = UK_OUT_GROUPS3,
                   G5 = UK_OUT_GROUPS5, H = UK_SEP_HYPHEN, D = UK_SEP_DOT, B = UK_SEP_BLANK,
                   N = UK_OUT_NO_SUFFIX;
    const uint16_t M = MODE_MASK, R = MODE_RANDOM;
    const ctest::InitCase inits[] = {
        {u"", M, 1, 20, 32, 20, 0, 0, nullptr, 0, 35},       {u"", M, 1, 20, 32, 8, 0, N, nullptr, 0, 35},
        {u"2x-6x-1c", M, 1, 20, 32, 10, 0, G | C | H | P},   {u"2x-6x-1c", M, 1, 20, 32, 11, 0, G | G3 | H | P},
        {u"2x-6x-1c", R, 1, 20, 32, 11, 0, G | G3 | H},      {u"2C-2X-2X-2X-1C", M, 1, 20, 32, 12, 0, G | C | H},
        {u"2C-2X-2X-2X-1C", M, 1, 20, 32, 13, 0, G | G5 | H}, {u"8X1C", R, 1, 20, 32, 9, 0, G | C | P},
        {u"2C 6X 1C", M, 1, 20, 32, 11, 0, G | G3 | B},      {u"2X.2X.2X.2X.1C", M, 1, 20, 32, 8, 0, G | C | D | P | N},
        {u"2c6x1c", M, 1, 20, 32, 9, 0, G | C},              {u"2C/6X/1C", M, 1, 20, 32, 11, 0, 0},
        {u"", M, 1, 20, 32, 7, 257, 0},                      {u"", M, 1, 20, 32, 256, 257, 0},
        {u"", M, 9, 20, 32, 20, 7, 0},                       {u"", R, 9, 20, 32, 20, 0, 0, nullptr, 0, 35},
        {u",format=2C-6X-1C", M, 1, 20, 32, 11, 0, 0},
    };
    for (auto& k : inits) ctest::ExpectInit(InitCountryUK, ctest::Ops(u"UK", k.ops), k);
    struct { const char16_t *in, *fmt; int32_t destLength; const char16_t* out; } cases[] = {
        {u"JK123456D", u"", 11, u"JK035776D"},        {u"JK-123456-D", u"", 11, u"JK-035776-D"},
        {u"JK-123456-D", u"", 10, u"JK035776D"},      {u"JK 12 34 56 D", u"", 13, u"JK 03 57 76 D"},
        {u"JK.123456", u"", 9, u"JK.035776"},         {u"JK123456D", u"2X-6X-1C", 11, u"ZP-035776-D"},
        {u"JK123456D", u"2C.2X.2X.2X.1C", 13, u"JK.03.57.76.D"}, {u"JK123456D", u"", 8, u"JK035776"},
        {u"JK468753A", u"", 9, u"JK572364A"},         {u"PL654321", u"8X1C", 9, u"PK140988"},
        {u"JK-12-34-56", u"", 11, u"JK-03-57-76"},    {u"JK 12 34 56 D", u"", 11, u"JK035776D"},
        {u"JK 123456", u"", 8, u"JK035776"},          {u"JK123456d", u"", 9, u"JK035776d"},
        {u"JK 12 34 56", u"2x-6x-1c", 11, u"ZP-035776"},  {u"JK123456", u"2C-2X-2X-2X-1C", 13, u"JK-03-57-76"},
        {u"JK-12-34-56-D", u"2X-6X-1C", 8, u"ZP035776"},  {u"JK-123456-D", u"2C/6X/1C", 11, u"JK-035776-D"},
    };
    for (auto& k : cases) ctest::ExpectRow(ctest::Ops(u"UK", k.fmt), k.destLength, 1, k.in, k.out);
    ctest::ExpectRow(ctest::Ops(u"UK", u""), 13, 2, u"         ", u"");
}

/* Each refusal: the row routine's status and message, then its counter through the entry; a
** blank source gives eight blanks or the empty string, by destination type code. */
TEST(UK, RefusalsAndBlanks) {
    const char16_t *prefix = u"0x102:Invalid Prefix", *number = u"0x102:Invalid Number Part";
    const char16_t *suffix = u"0x102:Invalid Suffix", *nino = u"0x3a:Invalid NINO";
    const ctest::Refusal cases[] = {
        {0, u"jk123456D", 258, prefix},    {0, u"DK123456D", 258, prefix},
        {0, u"jk000000E", 258, prefix},    {0, u"JK000000D", 258, number},
        {0, u"JK12345XD", 258, number},    {0, u"JK.12.34.5 ", 258, number},
        {0, u"JK123456E", 258, suffix},    {0, u"JK-123456- ", 258, suffix},
        {0, u"JK12345", 257, u"0x101:Invalid UK NINO Length:7"},
        {0, u"       ", 257, u"0x101:Invalid UK NINO Length:7"},
        {0, u"JK-12-34-56-DD", 257, u"0x101:Invalid UK NINO Length:14"},
        {0, u"JK-123456D", 257, u"0x101:Invalid NINO Length:10"},
        {0, u"JK-12-34-56D", 257, u"0x101:Invalid NINO Length:12"},
        {0, u"JK-123456.D", 58, nino},     {0, u"JK-12-34.56-D", 58, nino},
        {0, u"JK/123456/D", 259, nullptr}, {0, u"JK_12_34_56_D", 259, nullptr},
        {0, u"JK123456D", 263, u"0x107:Invalid Source DataType", KIND_INT32},
    };
    for (auto& k : cases) ctest::ExpectRefusal(MaskCountryUK, 0, u"switch=\"UK", 20, k);
    struct { const char16_t* in; int16_t destCode; const char16_t* out; } blanks[] = {
        {u"        ", 1, u"        "}, {u"             ", 31, u"        "}, {u"         ", 35, u"        "},
        {u"         ", 3, u""},         {u"         ", 33, u""},             {u"         ", 37, u""}};
    for (auto& k : blanks) {
        ctest::Call c = ctest::Mask(MaskCountryUK, 0, 0, k.in, KIND_STRING, k.destCode);
        EXPECT_EQ(c.rc, 64);
        EXPECT_EQ(c.out, k.out);
        EXPECT_EQ(c.outLength, int32_t(std::u16string(k.out).size()));
        EXPECT_EQ(c.outKind, KIND_STRING);
    }
    bool rowSeen[UK_PERM_ROWS] = {};
    for (int p = 0; p < UK_PREFIX_COUNT; ++p) {
        int row = (26 * (PrefixTableUK[p][0] - u'A' + 1) + PrefixTableUK[p][1] - u'A' + 1) % UK_PERM_ROWS;
        if (std::exchange(rowSeen[row], true)) continue;
        std::vector<bool> seen(1000000); /* by six-digit result */
        char16_t in[8] = {PrefixTableUK[p][0], PrefixTableUK[p][1], u'0', u'0', u'0', u'0', u'0', u'0'}, out[8];
        int bad = 0;
        for (int n = 1; n <= 999999; ++n) {
            for (int i = 7; ++in[i] > u'9'; --i) in[i] = u'0'; /* next number */
            ScrambleNINO(in, 8, UK_MASK_PREFIX, out);
            uint32_t v = 0;
            for (int i = 2; i < 8; ++i) v = v * 10 + uint32_t(out[i] - u'0');
            bad += seen[v] || PrefixPositionUK(out) < 0;
            seen[v] = true;
        }
        ASSERT_EQ(bad + seen[0], 0) << p;
    }
    EXPECT_EQ(std::count(rowSeen, rowSeen + UK_PERM_ROWS, true), UK_PERM_ROWS);
}

/* Scripted draws give exact values; real draws have the layout, each suffix a quarter. */
TEST(UK, Random) {
    struct { const char16_t* fmt; int32_t destLength; std::vector<uint32_t> draws; const char* out; } cases[] = {
        {u"", 13, {0, 0, 0}, "AA000001"}, {u"", 13, {999998, 238, 3}, "ZY999999D"},
        {u"2X-6X-1C", 11, {999999, 239, 1}, "AA-000001-B"}, {u"2C 2X 2X 2X 1C", 13, {122, 68, 2}, "JK 00 01 23 C"},
        {u"2C 2X 2X 2X 1C", 8, {122, 68, 2}, "JK000123"},
    };
    for (auto& k : cases) ctest::ExpectDrawn(ctest::Ops(u"UK", k.fmt, u",method=random"), k.destLength, k.draws, k.out);
    for (int32_t destLength : {8, 20}) {
        hostemu::ColumnMap m = ctest::Map(u"switch=\"UK,method=random", destLength);
        int suffixes[4] = {};
        for (int i = 0; i < 4000; ++i) {
            std::u16string v = m.row().put;
            ASSERT_TRUE(v.size() == 8 || (destLength > 8 && v.size() == 9)) << v.size();
            ASSERT_TRUE(v.size() == 8 || (v[8] >= u'B' && v[8] <= u'D'));
            ++suffixes[v.size() == 9 ? v[8] - u'A' : 0];
        }
        for (int s : suffixes) EXPECT_TRUE(destLength == 8 || s > 800) << s;
    }
}

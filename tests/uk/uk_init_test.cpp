/* The UK tables and the set-up of the flag word. */
#include <gtest/gtest.h>

#include "countries/uk/uk.h"
#include "exit/operands/operands.h"

TEST(UkTables, PrefixTableIsAscendingWithTheFirstPositionOfEachLetter) {
    ASSERT_EQ(sizeof PrefixTableUK / sizeof PrefixTableUK[0], 239u);
    for (int i = 1; i < UK_PREFIX_COUNT; ++i) {
        const char16_t *a = PrefixTableUK[i - 1], *b = PrefixTableUK[i];
        EXPECT_TRUE(a[0] < b[0] || (a[0] == b[0] && a[1] < b[1])) << i;
    }
    const struct { char16_t letter; int first; } kFirst[] = {
        {u'A', 0},   {u'B', 15},  {u'C', 23},  {u'E', 30},  {u'G', 45},  {u'H', 46},  {u'J', 61},
        {u'K', 80},  {u'L', 95},  {u'M', 110}, {u'N', 113}, {u'O', 126}, {u'P', 137}, {u'R', 155},
        {u'S', 169}, {u'T', 188}, {u'W', 203}, {u'Y', 210}, {u'Z', 225}};
    for (const auto& f : kFirst) {
        EXPECT_EQ(PrefixTableUK[f.first][0], f.letter);
        if (f.first > 0) {
            EXPECT_NE(PrefixTableUK[f.first - 1][0], f.letter);
        }
    }
    EXPECT_EQ(std::u16string(PrefixTableUK[238]), u"ZY");
    for (int i = 0; i < UK_PREFIX_COUNT; ++i) EXPECT_EQ(PrefixPositionUK(PrefixTableUK[i]), i);
    for (const char16_t* bad : {u"jk", u"Jk", u"DA", u"AC", u"ZZ", u"A-", u"\xFF41\xFF41"})
        EXPECT_EQ(PrefixPositionUK(bad), -1) << int(bad[0]);
}

/* InitCountryUK with columns of the given destination length and an operand string. */
struct InitCase {
    const char16_t* operands;
    uint16_t mode;
    int32_t destLength;
    int16_t srcType;
    int32_t rc;
    uint32_t flags;
};

TEST(UkInit, FlagWordFollowsFormatMethodAndDestinationLength) {
    const uint32_t G = UK_FORMAT_GIVEN, P = UK_MASK_PREFIX, C = UK_OUT_COMPACT, G3 = UK_OUT_GROUPS3,
                   G5 = UK_OUT_GROUPS5, H = UK_SEP_HYPHEN, D = UK_SEP_DOT, B = UK_SEP_BLANK, N = UK_OUT_NO_SUFFIX;
    const InitCase kCases[] = {
        {u"switch=\"UK", MODE_MASK, 20, 1, 0, 0},
        {u"switch=\"UK", MODE_MASK, 8, 1, 0, N},
        {u"switch=\"UK,format=(UK=2x-6x-1c)", MODE_MASK, 10, 1, 0, G | C | H | P},
        {u"switch=\"UK,format=(UK=2x-6x-1c)", MODE_MASK, 11, 1, 0, G | G3 | H | P},
        {u"switch=\"UK,format=(UK=2x-6x-1c)", MODE_RANDOM, 11, 1, 0, G | G3 | H},
        {u"switch=\"UK,format=(UK=2C-2X-2X-2X-1C)", MODE_MASK, 12, 1, 0, G | C | H},
        {u"switch=\"UK,format=(UK=2C-2X-2X-2X-1C)", MODE_MASK, 13, 1, 0, G | G5 | H},
        {u"switch=\"UK,format=(UK=2X.2X.2X.2X.1C)", MODE_MASK, 8, 1, 0, G | C | D | P | N},
        {u"switch=\"UK,format=(UK=2C 6X 1C)", MODE_MASK, 11, 1, 0, G | G3 | B},
        {u"switch=\"UK,format=(UK=8X1C)", MODE_RANDOM, 9, 1, 0, G | C | P},
        {u"switch=\"UK,format=(UK=2c6x1c)", MODE_MASK, 9, 1, 0, G | C},
        {u"switch=\"UK,format=(UK=2C/6X/1C)", MODE_MASK, 11, 1, 0, 0},
        {u"switch=\"UK,format=2C-6X-1C", MODE_MASK, 11, 1, 0, 0},
        {u"switch=\"UK", MODE_MASK, 7, 1, 257, 0},
        {u"switch=\"UK", MODE_MASK, 256, 1, 257, 0},
        {u"switch=\"UK", MODE_MASK, 20, 9, 7, 0},
        {u"switch=\"UK", MODE_RANDOM, 20, 9, 0, 0},
    };
    for (const InitCase& t : kCases) {
        SCOPED_TRACE(&t - kCases);
        MAP map{};
        ASSERT_EQ(ParseOperands(t.operands, &map, u',', u'='), 0);
        COLDESC src{}, dst{};
        src.DataType = t.srcType;
        src.Length = 20;
        dst.DataType = 32;
        dst.Length = t.destLength;
        RBPDATA rbp{};
        rbp.Flags = t.mode;
        rbp.pSrcCol = &src;
        rbp.pDestCol = &dst;
        rbp.pOperands = &map;
        uint32_t word = 0xdead;
        EXPECT_EQ(InitCountryUK(&rbp, &word), t.rc);
        if (t.rc == 0) {
            EXPECT_EQ(word, t.flags);
            EXPECT_EQ(rbp.DestDataType, 35);
        }
        FreeOperands(&map);
    }
}

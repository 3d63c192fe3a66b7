/*
** init_fr_test.cpp - France initialisation: the descriptor table read as its notation,
** the format operand and the column checks.
*/
#include <gtest/gtest.h>

#include <set>

#include "countries/fr/fr.h"
#include "exit/operands/operands.h"
#include "fr_test_util.h"

namespace {

/* Each entry's flag word is what its notation spells: whole fields masked, order number
** and key always, layout by separator; 69 different words. */
TEST(FormatTableFR, FlagWordsMatchTheNotation) {
    const struct { int from, to; uint32_t bit; } fields[] = {
        {1, 1, FR_SEX}, {2, 3, FR_YEAR}, {4, 5, FR_MONTH}, {6, 7, FR_DEPT}, {8, 10, FR_COMMUNE}, {11, 15, 0}};
    std::set<uint32_t> words;
    for (int i = 0; i < FR_FORMAT_COUNT; ++i) {
        frtest::Spelled s = frtest::Spell(FormatTableFR[i]);
        uint32_t bits = s.sep == '-' ? FR_HYPHEN : s.sep == ' ' ? FR_BLANK : FR_PLAIN;
        for (auto& f : fields) {
            int n = 0;
            for (int p = f.from; p <= f.to; ++p) n += s.masked[p];
            EXPECT_TRUE(n == 0 ? f.bit != 0 : n == f.to - f.from + 1) << frtest::U8(FormatTableFR[i]);
            if (n) bits |= f.bit;
        }
        EXPECT_EQ(s.count, 15) << frtest::U8(FormatTableFR[i]);
        EXPECT_EQ(FormatFlagsFR(i), bits) << frtest::U8(FormatTableFR[i]);
        words.insert(FormatFlagsFR(i));
    }
    EXPECT_EQ(words.size(), 69u);
}

struct InitRun {
    int32_t rc;
    uint32_t word;
    std::u16string msg;
    int16_t srcType, destType;
};

InitRun RunInit(const char16_t* ops, int16_t srcType, int32_t srcLen, int16_t destType, int32_t destLen,
                uint16_t mode = MODE_MASK) {
    MAP map{};
    ParseOperands(ops, &map, u',', u'=');
    char16_t msg[MSG_BUF_CHARS] = {0};
    COLDESC src{nullptr, 0, srcType, srcLen, 0, 0, 0, 0, 0}, dest{nullptr, 0, destType, destLen, 0, 0, 0, 0, 0};
    RBPDATA rbp{};
    rbp.SrcDataType = rbp.DestDataType = -7;
    rbp.Flags = mode;
    rbp.pSrcCol = &src;
    rbp.pDestCol = &dest;
    rbp.pMsgBuf = msg;
    rbp.pOperands = &map;
    uint32_t word = 0xdead;
    int32_t rc = InitCountryFR(&rbp, &word);
    FreeOperands(&map);
    return {rc, word, msg, rbp.SrcDataType, rbp.DestDataType};
}

TEST(InitCountryFR, FormatOperand) {
    const char16_t* bad = u"NID ERROR 0xffffffff :Invalid Format for source data value";
    struct { const char16_t* ops; uint32_t word; const char16_t* msg; } cases[] = {
        {u"switch=\"FR", 0x2E, u""},                           {u"switch=\"FR,format=5X2C8X", 0x2E, u""},
        {u"switch=\"FR,format=(IT=16X)", 0x2E, u""},           {u"switch=\"FR,format=(FR=5x2c6x-2x)", 0x16E, u""},
        {u"switch=\"FR,format=(france=5x2c8x)", 0x12F, u""},   {u"switch=\"FR,format=(FR=5X2C8X )", 0x12F, u""},
        {u"switch=\"FR,format=(FR=15X)", 0x13F, u""},          {u"switch=\"FR,format=(FR=13X 2X)", 0x1BE, u""},
        {u"switch=\"FR,format=(FR=7C6X 2X)", 0x1A0, u""},      {u"switch=\"FR,format=(FR=5X2C6X_2X)", 0x2E, bad},
        {u"switch=\"FR,format=(FR=5X 2C8X)", 0x2E, bad},
    };
    for (auto& k : cases) {
        InitRun r = RunInit(k.ops, 1, 20, 1, 20);
        EXPECT_EQ(r.rc, 0) << frtest::U8(k.ops);
        EXPECT_EQ(r.word, k.word) << frtest::U8(k.ops);
        EXPECT_EQ(r.msg, k.msg) << frtest::U8(k.ops);
    }
}

TEST(InitCountryFR, ColumnChecks) {
    struct { int16_t srcType; int32_t srcLen; int16_t destType; int32_t destLen; uint16_t mode;
             int32_t rc; int16_t srcCode, destCode; } cases[] = {
        {1, 20, 1, 20, MODE_MASK, 0, 1, 1},       {2, 15, 30, 255, MODE_MASK, 0, 3, 31},
        {31, 20, 32, 20, MODE_MASK, 0, 33, 35},   {33, 20, 5, 255, MODE_MASK, 0, 37, -7},
        {8, 20, 1, 20, MODE_MASK, 7, -7, -7},     {11, 3, 1, 20, MODE_MASK, 7, -7, -7},
        {1, 20, 9, 20, MODE_MASK, 8, 1, -7},      {1, 14, 1, 20, MODE_MASK, 257, 1, -7},
        {1, 256, 1, 20, MODE_MASK, 257, 1, -7},   {1, 20, 1, 14, MODE_MASK, 257, 1, 1},
        {1, 20, 30, 300, MODE_MASK, 257, 1, 31},  {9, 3, 1, 20, MODE_RANDOM, 0, -7, 1},
        {1, 20, 10, 20, MODE_RANDOM, 8, -7, -7},
    };
    for (auto& k : cases) {
        InitRun r = RunInit(u"switch=\"FR,format=(FR=15X)", k.srcType, k.srcLen, k.destType, k.destLen, k.mode);
        SCOPED_TRACE(testing::Message() << k.srcType << "/" << k.srcLen << " -> " << k.destType << "/" << k.destLen);
        EXPECT_EQ(r.rc, k.rc);
        EXPECT_EQ(r.srcType, k.srcCode);
        EXPECT_EQ(r.destType, k.destCode);
        EXPECT_EQ(r.word, k.rc ? 0u : 0x13Fu);
    }
}

} // namespace

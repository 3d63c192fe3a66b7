/*
** init_fr_test.cpp - France initialisation: the descriptor table read as its notation,
** the format operand, and the column checks.
*/
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "countries/fr/fr.h"
#include "exit/operands/operands.h"
#include "fr_test_util.h"

namespace {

/* The field bits that the masked positions of a descriptor stand for. */
uint32_t FieldBits(const frtest::Spelled& s) {
    struct { int from, to; uint32_t bit; } fields[] = {
        {1, 1, FR_SEX}, {2, 3, FR_YEAR}, {4, 5, FR_MONTH}, {6, 7, FR_DEPT}, {8, 10, FR_COMMUNE}};
    uint32_t bits = 0;
    for (auto& f : fields) {
        bool all = true, any = false;
        for (int p = f.from; p <= f.to; ++p) { all = all && s.masked[p]; any = any || s.masked[p]; }
        EXPECT_EQ(all, any) << "a field is partly masked";
        if (all) bits |= f.bit;
    }
    return bits;
}

/* Every entry's flag word agrees with its notation; the table holds each allowed field
** combination once per layout. */
TEST(FormatTableFR, FlagWordsMatchTheNotation) {
    std::set<uint32_t> words;
    for (int i = 0; i < FR_FORMAT_COUNT; ++i) {
        frtest::Spelled s = frtest::Spell(FormatTableFR[i]);
        SCOPED_TRACE(frtest::U8(FormatTableFR[i]));
        EXPECT_EQ(s.count, 15);
        for (int p = 11; p <= 15; ++p) { EXPECT_TRUE(s.masked[p]); }
        uint32_t layout = s.sep == '-' ? FR_HYPHEN : s.sep == ' ' ? FR_BLANK : FR_PLAIN;
        EXPECT_EQ(FormatFlagsFR(i), FieldBits(s) | layout);
        if (FieldBits(s) & FR_DEPT) { EXPECT_TRUE(FieldBits(s) & FR_COMMUNE); }
        EXPECT_NE(FieldBits(s), 0u);
        words.insert(FormatFlagsFR(i));
    }
    EXPECT_EQ(words.size(), 69u); /* 2^5 - 1 combinations less the 8 with department but no commune */
}

/* Runs InitCountryFR on a parsed operand string and the given columns. */
struct InitRun {
    int32_t rc;
    uint32_t word;
    std::u16string msg;
    int16_t srcType, destType;
};

InitRun RunInit(const char16_t* ops, COLDESC src, COLDESC dest, uint16_t mode = MODE_MASK) {
    MAP map{};
    EXPECT_EQ(ParseOperands(ops, &map, u',', u'='), 0);
    char16_t msg[MSG_BUF_CHARS] = {0};
    RBPDATA rbp{};
    rbp.SrcDataType = -7;
    rbp.DestDataType = -7;
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

COLDESC Col(int16_t type, int32_t length) {
    COLDESC c{};
    c.DataType = type;
    c.Length = length;
    return c;
}

TEST(InitCountryFR, FormatOperand) {
    struct { const char16_t* ops; uint32_t word; const char16_t* msg; } cases[] = {
        {u"switch=\"FR", 0x2E, u""},
        {u"switch=\"FR,format=5X2C8X", 0x2E, u""},
        {u"switch=\"FR,format=(IT=16X)", 0x2E, u""},
        {u"switch=\"FR,format=(FR=(15X,x))", 0x2E, u""},
        {u"switch=\"FR,format=(FR=5x2c6x-2x)", 0x16E, u""},
        {u"switch=\"FR,format=(france=5x2c8x)", 0x12F, u""},
        {u"switch=\"FR,format=(FR=5X2C8X )", 0x12F, u""},
        {u"switch=\"FR,format=(FR=15X)", 0x13F, u""},
        {u"switch=\"FR,format=(FR=13X-2X)", 0x17E, u""},
        {u"switch=\"FR,format=(FR=13X 2X)", 0x1BE, u""},
        {u"switch=\"FR,format=(FR=7C6X 2X)", 0x1A0, u""},
        {u"switch=\"FR,format=(FR=5X2C6X_2X)", 0x2E, u"NID ERROR 0xffffffff :Invalid Format for source data value"},
        {u"switch=\"FR,format=(FR=5X 2C8X)", 0x2E, u"NID ERROR 0xffffffff :Invalid Format for source data value"},
    };
    for (auto& k : cases) {
        InitRun r = RunInit(k.ops, Col(1, 20), Col(1, 20));
        SCOPED_TRACE(frtest::U8(k.ops));
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.word, k.word);
        EXPECT_EQ(r.msg, k.msg);
    }
}

TEST(InitCountryFR, ColumnChecks) {
    struct {
        int16_t srcType; int32_t srcLen; int16_t destType; int32_t destLen; uint16_t mode;
        int32_t rc; int16_t srcCode, destCode;
    } cases[] = {
        {1, 20, 1, 20, MODE_MASK, 0, 1, 1},
        {2, 15, 30, 255, MODE_MASK, 0, 3, 31},
        {31, 20, 32, 20, MODE_MASK, 0, 33, 35},
        {33, 20, 5, 255, MODE_MASK, 0, 37, -7},        /* unknown host type keeps the code */
        {8, 20, 1, 20, MODE_MASK, 7, -7, -7},
        {11, 3, 1, 20, MODE_MASK, 7, -7, -7},          /* type refused before the length */
        {1, 20, 9, 20, MODE_MASK, 8, 1, -7},
        {1, 14, 1, 20, MODE_MASK, 257, 1, -7},
        {1, 256, 1, 20, MODE_MASK, 257, 1, -7},
        {1, 20, 1, 14, MODE_MASK, 257, 1, 1},
        {1, 20, 30, 300, MODE_MASK, 257, 1, 31},       /* code stored before the length fails */
        {9, 3, 1, 20, MODE_RANDOM, 0, -7, 1},          /* random: the source is not examined */
        {1, 20, 9, 20, MODE_RANDOM, 8, -7, -7},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(testing::Message() << k.srcType << "/" << k.srcLen << " -> " << k.destType << "/" << k.destLen);
        InitRun r = RunInit(u"switch=\"FR,format=(FR=15X)", Col(k.srcType, k.srcLen), Col(k.destType, k.destLen), k.mode);
        EXPECT_EQ(r.rc, k.rc);
        EXPECT_EQ(r.srcType, k.srcCode);
        EXPECT_EQ(r.destType, k.destCode);
        if (k.rc) { EXPECT_EQ(r.word, 0u); }
    }
}

} // namespace

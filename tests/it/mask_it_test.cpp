// Italy through the entry point (formats, layouts, refusals and their counters, random
// codes) and the row routine's messages.
#include <gtest/gtest.h>

#include <string>

#include "countries/it/it.h"
#include "exit/operands/operands.h"
#include "host/emul/host_emul.h"

namespace {

using hostemu::Column;
using hostemu::ColumnMap;

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

// One row through KLOColMapWExit: the operands, the destination and the source value.
struct RowCase {
    const char16_t* ops;
    int16_t destType;
    int32_t destLength;
    const char16_t* in;
    int16_t rc;
    const char16_t* put;      // expected put when rc is 0
    int counter;              // work-area counter bumped when rc is 1: 2 length, 4 part, 5 separator
};

TEST(EntryIT, MaskLayoutsAndRefusals) {
    const RowCase cases[] = {
        // Default format: the layout follows the source.
        {u"switch=\"IT", 1, 19, u"BNCLCU80A01D612U", 0, u"BNCLCU05R20I590Y", 0},
        {u"switch=\"IT", 1, 19, u"BNC-LCU-80A01-D612U", 0, u"BNC-LCU-05R20-I590Y", 0},
        {u"switch=\"IT", 1, 19, u"BNC LCU 80A01 D612U", 0, u"BNC LCU 05R20 I590Y", 0},
        {u"switch=\"IT", 1, 18, u"BNC LCU 80A01 D612U", 0, u"BNCLCU05R20I590Y", 0},
        // Hyphen format: hyphens, except for a blank-separated source; compact below 19.
        {u"switch=\"IT,format=(IT=3X-3X-5X-5X)", 1, 19, u"BNCLCU80A01D612U", 0, u"DMJ-NBU-05R20-I590R", 0},
        {u"switch=\"IT,format=(IT=3X-3X-5X-5X)", 1, 19, u"BNC LCU 80A01 D612U", 0, u"DMJ NBU 05R20 I590R", 0},
        {u"switch=\"IT,format=(IT=3X-3X-5X-5X)", 1, 16, u"BNC-LCU-80A01-D612U", 0, u"DMJNBU05R20I590R", 0},
        {u"switch=\"IT,format=(it=3x 3x 5x 5x)", 1, 30, u"BNC-LCU-80A01-D612U", 0, u"DMJ NBU 05R20 I590R", 0},
        {u"switch=\"IT,format=(IT=16X)", 1, 19, u"BNC-LCU-80A01-D612U", 0, u"DMJNBU05R20I590R", 0},
        {u"switch=\"IT,format=(IT=11C5X)", 1, 19, u"BNCLCU80A01D612U", 0, u"BNCLCU80A01H118X", 0},
        {u"switch=\"IT,format=(IT=6c10x)", 1, 19, u"BNC-LCU-80A01-D612U", 0, u"BNCLCU05R20I590Y", 0},
        {u"switch=\"IT,format=(IT=6C11X)", 1, 19, u"BNC-LCU-80A01-D612U", 0, u"BNC-LCU-05R20-I590Y", 0},
        // Lower case, wrong control character and mixed separators pass without validation.
        {u"switch=\"IT", 1, 19, u"bnclcu80a01d612u", 0, u"BNCLCU05R20I590Y", 0},
        {u"switch=\"IT", 1, 19, u"BNCLCU80A01D612A", 0, u"BNCLCU05R20I590Y", 0},
        {u"switch=\"IT", 1, 19, u"BNC-LCU 80A01-D612U", 0, u"BNCLCU05R20I590Y", 0},
        {u"switch=\"IT,validate=y", 1, 19, u"bnclcu80a01d612u", 1, nullptr, 4},
        {u"switch=\"IT,validate=y", 1, 19, u"BNC-LCU 80A01-D612U", 1, nullptr, 5},
        // Blank sources: 16 blanks for fixed-length strings, empty for varying ones.
        {u"switch=\"IT", 1, 19, u"                   ", 0, u"                ", 0},
        {u"switch=\"IT", 2, 19, u"                ", 0, u"", 0},
        // Lengths count every character; substitution letters are carried over.
        {u"switch=\"IT", 1, 19, u"BNCLCU80A01D612UX", 1, nullptr, 2},
        {u"switch=\"IT", 1, 19, u"BNCLCU80A01D612U    ", 1, nullptr, 2},
        {u"switch=\"IT", 1, 19, u"BNCLCU80A01D61NJ", 0, u"BNCLCU05R20I59LB", 0},
        {u"switch=\"IT", 1, 19, u"BNCLCU80A01D6N2U", 1, nullptr, 4},
        {u"switch=\"IT,format=(IT=16X)", 1, 19, u"BNCLCU80A41D612Y", 0, u"DMJNBU05R60I590V", 0},
    };
    for (const RowCase& c : cases) {
        ColumnMap m(&KLOColMapWExit, c.ops, {{u"NID", 1, 25}}, {{u"NID", c.destType, c.destLength}});
        m.set(u"NID", c.in);
        auto r = m.row();
        SCOPED_TRACE(Narrow(c.ops) + " / " + Narrow(c.in));
        EXPECT_EQ(r.rc, c.rc);
        if (c.rc == 0) {
            EXPECT_EQ(Narrow(r.put), Narrow(c.put));
        }
        const int32_t* counters = &m.workArea().NullInputCount;
        for (int k = 0; k < 6; ++k) EXPECT_EQ(counters[k], k == c.counter && c.rc == 1 ? 1 : 0) << k;
        EXPECT_EQ(m.end(), 0);
    }
}

// The row routine's messages, character for character.
TEST(MaskCountryIT, Messages) {
    const struct {
        uint16_t mode;
        int32_t kind;
        const char16_t* in;
        int32_t rc;
        const char16_t* msg;
    } cases[] = {
        {0, KIND_INT32, nullptr, 263, u"NID ERROR 0x107 :Invalid source value type\n"},
        {0, KIND_STRING, u"BNCLCU80A01D612", 257, u"NID ERROR 0x101 :Invalid Length for Source Data Value\n"},
        {MODE_VALIDATE, KIND_STRING, u"BNC-LCU.80A01-D612U", 259, u"NID ERROR 0x103 :Invalid Separator for source data value\n"},
        {0, KIND_STRING, u"BN1-LCU-80A01-D612U", 258, u"NID ERROR 0x102 :Invalid ASCII CHARACTER for source data value (BN1-LCU-80A01-D612U) \n"},
        {0, KIND_STRING, u"BNCLCU8*A01D612U", 258, u"NID ERROR 0x102 :Invalid ASCII CHARACTER for source data value (BNCLCU8*A01D612U)\n"},
        {0, KIND_STRING, u"BNCLCU80101D612U", 258, u"NID ERROR 0x102 :Invalid ASCII CHARACTER for source data value (BNCLCU80101D612U)\n"},
        {0, KIND_STRING, u"BNCLCU80A01D61AU", 258, u"NID ERROR 0x102 :Invalid Replacement Character for source data value (BNCLCU80A01D61AU)\n"},
        {0, KIND_STRING, u"BNCLCU80A01D6N2U", 258, u"NID ERROR 0x102 :Invalid REPLACEMENT CHARACTER for source data value (BNCLCU80A01D6N2U) \n"},
        {0, KIND_STRING, u"rosaxa80f01j123o", 258, u"NID ERROR 0x102 :Invalid FAMILY NAME Code for source data value (rosaxa80f01j123o) \n"},
        {0, KIND_STRING, u"BNCAXA80A01D612J", 258, u"NID ERROR 0x102 :Invalid FIRST NAME Code for source data value (BNCAXA80A01D612J) \n"},
        {0, KIND_STRING, u"BNCLCU80F01D612G", 258, u"NID ERROR 0x102 :Invalid BIRTH DATE for source data value (BNCLCU80F01D612G) \n"},
        {0, KIND_STRING, u"BNCLCU80A01A000Y", 258, u"NID ERROR 0x102 :Invalid REGION CODE for source data value (BNCLCU80A01A000Y) \n"},
        {MODE_VALIDATE, KIND_STRING, u"BNCLCU80A01D612A", 258, u"NID ERROR 0x102 :Invalid CONTROL CHARACTER for source data value (BNCLCU80A01D612A)\n"},
    };
    COLDESC dest{};
    dest.Length = 19;
    for (const auto& c : cases) {
        char16_t msg[MSG_BUF_CHARS] = {};
        char16_t out[OUT_BUF_CHARS] = {};
        std::u16string in = c.in ? c.in : u"";
        RBPDATA rbp{};
        rbp.Flags = uint16_t(MODE_MASK | c.mode);
        rbp.DestDataType = 1;
        rbp.pDestCol = &dest;
        rbp.pMsgBuf = msg;
        rbp.InKind = c.kind;
        rbp.InLength = int32_t(in.size());
        if (c.kind == KIND_STRING) rbp.InValue.pStr = in.data();
        rbp.OutValue.pStr = out;
        uint32_t wa = IT_DEFAULT_FORMAT;
        EXPECT_EQ(MaskCountryIT(&rbp, &wa), c.rc) << Narrow(in);
        EXPECT_EQ(Narrow(msg), Narrow(c.msg));
        EXPECT_EQ(out[0], 0) << "a refused row leaves the output alone";
    }
}

// InitCountryIT: the work-area word and the message of each column check and format.
TEST(InitCountryIT, WordsAndMessages) {
    const struct {
        uint16_t mode;
        int16_t srcType, destType;
        int32_t srcLength, destLength;
        const char16_t* ops;
        int32_t rc;
        uint32_t word;
        const char16_t* msg;
    } cases[] = {
        {MODE_MASK, 1, 1, 20, 19, u"format=(IT=3C-3C-5C-5X)", 0, IT_COMMUNE | IT_HYPHEN, u""},
        {MODE_MASK, 1, 1, 20, 19, u"format=(italy=6x9c1x)", 0, IT_NAMES | IT_COMPACT, u""},
        {MODE_MASK, 1, 1, 20, 19, u"format=(IT=3X 3X 5X 4C1X)", 0, IT_NAMES | IT_DATE | IT_BLANK, u""},
        {MODE_MASK, 1, 1, 20, 19, u"format=(FR=5X2C8X)", 0, 0x06, u"NID ERROR Format Value Not Found: Default Format used\n"},
        {MODE_MASK, 1, 1, 20, 19, u"format=16X", 0, 0x06, u"NID ERROR Format Value Not Found: Default Format used\n"},
        {MODE_MASK, 1, 1, 20, 19, u"format=(IT=3X3X5X5X)", 0, 0x06, u"NID ERROR Format Value Invalid: Default Format used\n"},
        {MODE_MASK, 9, 1, 20, 19, u"", 7, 0, u"NID ERROR  0x7 :Source Column Type Not Supported\n"},
        {MODE_MASK, 1, 1, 15, 19, u"", 257, 0, u"NID ERROR  0x101 :Source Column Length Not Supported\n"},
        {MODE_RANDOM, 9, 3, 20, 19, u"", 8, 0, u"NID ERROR  0x8 :Destination Column Type Not Supported\n"},
        {MODE_RANDOM, 9, 1, 20, 256, u"", 257, 0, u"NID ERROR  0x101 :Destination Column Length Not Supported\n"},
    };
    for (const auto& c : cases) {
        MAP map{};
        std::u16string ops = c.ops;
        ASSERT_EQ(ParseOperands(ops.c_str(), &map, u',', u'='), 0);
        COLDESC src{}, dest{};
        src.DataType = c.srcType;
        src.Length = c.srcLength;
        dest.DataType = c.destType;
        dest.Length = c.destLength;
        char16_t msg[MSG_BUF_CHARS] = {};
        RBPDATA rbp{};
        rbp.Flags = c.mode;
        rbp.pSrcCol = &src;
        rbp.pDestCol = &dest;
        rbp.pMsgBuf = msg;
        rbp.pOperands = &map;
        uint32_t wa = 0xFFFF;
        EXPECT_EQ(InitCountryIT(&rbp, &wa), c.rc) << Narrow(c.ops);
        EXPECT_EQ(wa, c.word) << Narrow(c.ops);
        EXPECT_EQ(Narrow(msg), Narrow(c.msg));
        FreeOperands(&map);
    }
}

// Random codes through the entry point pass a validating mask run; layouts by format.
TEST(EntryIT, RandomCodesValidateAndFollowTheLayout) {
    const struct {
        const char16_t* ops;
        int32_t destLength;
        size_t length;
    } cases[] = {{u"switch=\"IT,method=random", 19, 16},
                 {u"switch=\"IT,method=random,format=(IT=3C-3C-5C-5X)", 19, 19},
                 {u"switch=\"IT,method=random,format=(IT=3C-3C-5C-5X)", 18, 16}};
    ColumnMap check(&KLOColMapWExit, u"switch=\"IT,validate=y", {{u"NID", 1, 20}}, {{u"NID", 1, 19}});
    for (const auto& c : cases) {
        ColumnMap m(&KLOColMapWExit, c.ops, {{u"NID", 1, 20}}, {{u"NID", 1, c.destLength}});
        for (int i = 0; i < 1500; ++i) {
            auto r = m.row();
            ASSERT_EQ(r.rc, 0);
            ASSERT_EQ(r.put.size(), c.length);
            ASSERT_TRUE(r.gets.empty());
            check.set(u"NID", r.put);
            ASSERT_EQ(check.row().rc, 0) << Narrow(r.put);
        }
        m.end();
    }
    check.end();
}

} // namespace

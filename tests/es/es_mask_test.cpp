#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "countries/es/es.h"
#include "exit/operands/operands.h"
#include "host/emul/host_emul.h"
#include "support/log_file.h"

using hostemu::ColumnMap;

static std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

TEST(SpainEntry, MasksEveryLayoutByFormatDestinationTypeAndLength) {
    struct { const char16_t* ops; int16_t dstType; int32_t dstLen; const char16_t* src; const char16_t* out; } rows[] = {
        {u"switch=\"ES,validate=y", 1, 11, u"1234567L", u"2044628C"},
        {u"switch=\"ES,validate=y", 1, 11, u"1234567-L", u"2044628-C"},
        {u"switch=\"ES,validate=y", 1, 11, u"X1234567L", u"X2044628C"},
        {u"switch=\"ES,validate=y", 1, 11, u"X 7654321 J", u"X 8888888 D"},
        {u"switch=\"ES,validate=y", 1, 11, u"9999999J", u"0123456S"},
        {u"switch=\"ES,validate=y", 1, 11, u"0000000T", u"3456789G"},
        {u"switch=\"ES,validate=y", 1, 11, u"7654321J", u"8888888D"},
        {u"switch=\"ES", 1, 11, u"9876053Z", u"0050010P"},          /* seed 12 reorders 1,4,2,3,5,6 */
        {u"switch=\"ES", 1, 8, u"X 7654321 J", u"X 8888888 D"},     /* no format: length not consulted */
        {u"switch=\"ES,format=(ES=7X-1X)", 1, 8, u"1234567L", u"2044628C"},
        {u"switch=\"ES,format=(ES=7X-1X)", 1, 9, u"1234567 L", u"2044628-C"},
        {u"switch=\"ES,format=(ES=7X-1X)", 1, 10, u"X1234567L", u"X2044628C"},
        {u"switch=\"ES,format=(ES=7x-1x)", 1, 11, u"X 7654321 J", u"X-8888888-D"},
        {u"switch=\"ES,format=(spain=7X 1X)", 1, 11, u"X-1234567-L", u"X 2044628 C"},
        {u"switch=\"ES,format=(ES=8X)", 1, 11, u"X 7654321 J", u"X8888888D"},
        {u"switch=\"ES,format=(ES=7X_1X)", 1, 11, u"1234567 L", u"2044628 C"},   /* unknown: source layout */
        {u"switch=\"ES,validate=y", 1, 11, u"        ", u"        "},           /* blanks by destination type */
        {u"switch=\"ES,validate=y", 30, 11, u"   ", u"   "},
        {u"switch=\"ES,validate=y", 32, 11, u"        ", u"        "},
        {u"switch=\"ES,validate=y", 1, 11, u"", u""},
        {u"switch=\"ES,validate=y", 2, 11, u"        ", u""},
        {u"switch=\"ES,validate=y", 33, 11, u"         ", u""},
    };
    for (const auto& r : rows) {
        ColumnMap m(&KLOColMapWExit, r.ops, {{u"NID", 1, 20}}, {{u"NID", r.dstType, r.dstLen}});
        m.set(u"NID", r.src);
        hostemu::RowOutcome o = m.row();
        m.end();
        EXPECT_EQ(o.rc, 0) << Narrow(r.src);
        EXPECT_EQ(Narrow(o.put), Narrow(r.out)) << Narrow(r.ops) << " [" << Narrow(r.src) << "]";
    }
}

/* Direct calls: the result code and message of each refusal; nothing is written. */
TEST(SpainMask, RefusalCodesAndMessages) {
    const std::u16string fmt = u"NID ERROR 0x3a: Invalid NIF/NIE Format!";
    const std::u16string nie = u"NID ERROR 0x3a: Invalid NIE Format/Unmatching Separators found";
    const std::u16string part = u"NID ERROR 0x102: Invalid NIF/NIE Format!";
    struct { uint16_t flags; const char16_t* src; int32_t rc; std::u16string msg; } rows[] = {
        {MODE_MASK, u"12345678Z", 58, fmt},       /* nine characters, no separator at 8 */
        {MODE_MASK, u"x1234567L", 58, fmt},       /* only an upper-case X starts a NIE */
        {MODE_MASK, u"12 4567L", 58, fmt},
        {MODE_MASK, u"X-1234567 L", 58, nie},
        {MODE_MASK, u"Y-1234567-L", 58, nie},
        {MODE_MASK, u"ABCDEFGHIJ", 257, u"NID ERROR 0x101: Invalid Length!"},
        {MODE_MASK, u"X12345678", 0, u""},        /* check letter not read without validation */
        {MODE_MASK | MODE_VALIDATE, u"1234567A", 258, part},
        {MODE_MASK | MODE_VALIDATE, u"X-1234567-l", 258, part},
        {MODE_MASK | MODE_VALIDATE, u"12345A7L", 58, fmt},   /* bad digit reported before the letter */
    };
    COLDESC dest{};
    dest.Length = 20;
    for (const auto& r : rows) {
        char16_t msg[MSG_BUF_CHARS] = {0}, out[OUT_BUF_CHARS] = {0};
        std::u16string in(r.src);
        RBPDATA rbp{};
        rbp.Flags = r.flags;
        rbp.DestDataType = 1;
        rbp.pDestCol = &dest;
        rbp.pMsgBuf = msg;
        rbp.InKind = KIND_STRING;
        rbp.InValue.pStr = in.data();
        rbp.InLength = int32_t(in.size());
        rbp.OutValue.pStr = out;
        uint32_t wa = 0;
        EXPECT_EQ(MaskCountryES(&rbp, &wa), r.rc) << Narrow(in);
        EXPECT_EQ(Narrow(msg), Narrow(r.msg)) << Narrow(in);
        EXPECT_TRUE(r.rc == 0 || out[0] == 0) << "nothing written for " << Narrow(in);
    }
}

/* Refused rows are skipped and counted; with debug on the routine logs its message
** itself and the row processing logs it again. */
TEST(SpainEntry, RefusalsCountedAndLoggedTwiceWithDebug) {
    testlog::LogFile log;
    ColumnMap m(&KLOColMapWExit, u"switch=\"ES,validate=y,debug=y", {{u"NID", 1, 20}}, {{u"NID", 1, 11}});
    for (const char16_t* src : {u"1234567A", u"12345678Z", u"1234567-LL", u"X 1234567-L", u"1234567L"}) {
        m.set(u"NID", src);
        hostemu::RowOutcome o = m.row();
        EXPECT_EQ(o.puts, o.rc == 0 ? 1 : 0) << Narrow(src);
    }
    const WORKAREA& wa = m.workArea();
    EXPECT_EQ(wa.InvalidPartCount, 1);
    EXPECT_EQ(wa.InvalidDataCount, 2);
    EXPECT_EQ(wa.InvalidLengthCount, 1);
    EXPECT_EQ(wa.NullInputCount + wa.ConversionErrorCount + wa.InvalidSeparatorCount, 0);
    m.end();
    std::vector<std::string> lines;  /* the row messages, without the other countries' set-up */
    for (const std::string& l : log.texts())
        if (l.find("InitCountry") == std::string::npos) lines.push_back(l);
    const std::string part = "ZTNID : NID ERROR 0x102: Invalid NIF/NIE Format!";
    const std::string data = "ZTNID : NID ERROR 0x3a: Invalid NIF/NIE Format!";
    const std::string length = "ZTNID : NID ERROR 0x101: Invalid Length!";
    const std::string nie = "ZTNID : NID ERROR 0x3a: Invalid NIE Format/Unmatching Separators found";
    const std::vector<std::string> expected = {part, part, data, data, length, length, nie, nie};
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8), expected);
}

TEST(SpainInit, ColumnChecksAndFormatBits) {
    struct { uint16_t method; int16_t srcType; int32_t srcLen; int16_t dstType; int32_t dstLen;
             const char16_t* ops; int32_t rc; uint32_t bits; } rows[] = {
        {MODE_MASK, 1, 20, 1, 8, u"switch=\"ES", 0, 0},
        {MODE_MASK, 1, 20, 1, 7, u"switch=\"ES", 257, 0},
        {MODE_MASK, 1, 255, 33, 255, u"switch=\"ES", 0, 0},
        {MODE_MASK, 1, 256, 1, 20, u"switch=\"ES", 257, 0},
        {MODE_MASK, 5, 20, 1, 20, u"switch=\"ES", 7, 0},
        {MODE_RANDOM, 5, 2, 1, 20, u"switch=\"ES", 0, 0},     /* random: source not checked */
        {MODE_RANDOM, 1, 20, 3, 20, u"switch=\"ES", 8, 0},
        {MODE_MASK, 1, 20, 1, 20, u"switch=\"ES,format=(ES=8x)", 0, ES_OUT_COMPACT},
        {MODE_MASK, 1, 20, 1, 20, u"switch=\"ES,format=(FR=5X2C8X,ES=7x-1X)", 0, ES_OUT_HYPHEN},
        {MODE_MASK, 1, 20, 1, 20, u"switch=\"ES,format=(spain=7X 1X)", 0, ES_OUT_BLANK},
        {MODE_MASK, 1, 20, 1, 20, u"switch=\"ES,format=(ES=7X  1X)", 0, 0},
        {MODE_MASK, 1, 20, 1, 20, u"switch=\"ES,format=8X", 0, 0},
    };
    for (const auto& r : rows) {
        MAP map{};
        ASSERT_EQ(ParseOperands(r.ops, &map, u',', u'='), 0);
        COLDESC src{}, dst{};
        src.DataType = r.srcType, src.Length = r.srcLen, dst.DataType = r.dstType, dst.Length = r.dstLen;
        RBPDATA rbp{};
        rbp.Flags = r.method;
        rbp.pSrcCol = &src;
        rbp.pDestCol = &dst;
        rbp.pOperands = &map;
        uint32_t wa = 0xffffffff;
        EXPECT_EQ(InitCountryES(&rbp, &wa), r.rc) << Narrow(r.ops) << " dest " << r.dstType << "/" << r.dstLen;
        EXPECT_EQ(wa, r.bits) << Narrow(r.ops);
        EXPECT_TRUE(r.rc != 0 || rbp.DestDataType == ValueTypeOfHostType(r.dstType));
        FreeOperands(&map);
    }
}

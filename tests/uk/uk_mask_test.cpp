/* Masking and random NINOs, through the entry point and the row routine. */
#include <gtest/gtest.h>

#include <vector>

#include "countries/uk/uk.h"
#include "exit/random/random.h"
#include "host/emul/host_emul.h"

using hostemu::ColumnMap;

static std::u16string Operands(const char16_t* format, const char16_t* method = u"") {
    std::u16string ops = u"switch=\"UK";
    ops += method;
    if (format) ops += std::u16string(u",format=(UK=") + format + u")";
    return ops;
}

struct Example {
    const char16_t* source;
    const char16_t* format;
    int32_t destLength;
    const char16_t* result;
};

TEST(UkMask, WorkedExamplesThroughTheEntryPoint) {
    const Example kExamples[] = {
        {u"JK123456D", nullptr, 11, u"JK035776D"},        {u"JK-123456-D", nullptr, 11, u"JK-035776-D"},
        {u"JK-123456-D", nullptr, 10, u"JK035776D"},      {u"JK 12 34 56 D", nullptr, 13, u"JK 03 57 76 D"},
        {u"JK.123456", nullptr, 9, u"JK.035776"},         {u"JK123456D", u"2X-6X-1C", 11, u"ZP-035776-D"},
        {u"JK123456D", u"2C.2X.2X.2X.1C", 13, u"JK.03.57.76.D"}, {u"JK123456D", nullptr, 8, u"JK035776"},
        {u"JK468753A", nullptr, 9, u"JK572364A"},         {u"PL654321", u"8X1C", 9, u"PK140988"},
        /* layouts of the source kept only where the destination holds them */
        {u"JK-12-34-56", nullptr, 11, u"JK-03-57-76"},    {u"JK 12 34 56 D", nullptr, 11, u"JK035776D"},
        {u"JK 123456", nullptr, 8, u"JK035776"},          {u"JK123456d", nullptr, 9, u"JK035776d"},
        {u"JK 12 34 56", u"2x-6x-1c", 11, u"ZP-035776"},  {u"JK123456", u"2C-2X-2X-2X-1C", 13, u"JK-03-57-76"},
        {u"JK-12-34-56-D", u"2X-6X-1C", 8, u"ZP035776"},  {u"JK-123456-D", u"2C/6X/1C", 11, u"JK-035776-D"},
    };
    for (const Example& e : kExamples) {
        SCOPED_TRACE(&e - kExamples);
        ColumnMap m(&KLOColMapWExit, Operands(e.format), {{u"NID"}}, {{u"NID", 1, e.destLength}});
        m.set(u"NID", e.source);
        auto r = m.row();
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.put, e.result);
        EXPECT_EQ(m.end(), 0);
    }
}

/* The row routine alone, with its own buffers. */
struct Routine {
    COLDESC dst{};
    RBPDATA rbp{};
    char16_t msg[MSG_BUF_CHARS] = u"earlier text";
    char16_t out[OUT_BUF_CHARS] = {};
    std::u16string in;

    int32_t mask(const std::u16string& value, int16_t destType = 1, int32_t kind = KIND_STRING) {
        in = value;
        dst.Length = 20;
        rbp.pDestCol = &dst;
        rbp.DestDataType = destType;
        rbp.Flags = MODE_MASK;
        rbp.pMsgBuf = msg;
        rbp.OutValue.pStr = out;
        rbp.InKind = kind;
        rbp.InValue.pStr = in.data();
        rbp.InLength = int32_t(in.size());
        uint32_t word = 0;
        return MaskCountryUK(&rbp, &word);
    }
};

struct Refusal {
    const char16_t* source;
    int32_t code;
    const char16_t* message;
    int32_t WORKAREA::*counter;
};

TEST(UkMask, RefusalsGiveTheirCodeMessageAndCounter) {
    const Refusal kRefusals[] = {
        {u"jk123456D", 258, u"NID ERROR 0x102:Invalid Prefix", &WORKAREA::InvalidPartCount},
        {u"DK123456D", 258, u"NID ERROR 0x102:Invalid Prefix", &WORKAREA::InvalidPartCount},
        {u"jk000000E", 258, u"NID ERROR 0x102:Invalid Prefix", &WORKAREA::InvalidPartCount},
        {u"JK000000D", 258, u"NID ERROR 0x102:Invalid Number Part", &WORKAREA::InvalidPartCount},
        {u"JK12345XD", 258, u"NID ERROR 0x102:Invalid Number Part", &WORKAREA::InvalidPartCount},
        {u"JK.12.34.5 ", 258, u"NID ERROR 0x102:Invalid Number Part", &WORKAREA::InvalidPartCount},
        {u"JK123456E", 258, u"NID ERROR 0x102:Invalid Suffix", &WORKAREA::InvalidPartCount},
        {u"JK-123456- ", 258, u"NID ERROR 0x102:Invalid Suffix", &WORKAREA::InvalidPartCount},
        {u"JK12345", 257, u"NID ERROR 0x101:Invalid UK NINO Length:7", &WORKAREA::InvalidLengthCount},
        {u"       ", 257, u"NID ERROR 0x101:Invalid UK NINO Length:7", &WORKAREA::InvalidLengthCount},
        {u"JK-12-34-56-DD", 257, u"NID ERROR 0x101:Invalid UK NINO Length:14", &WORKAREA::InvalidLengthCount},
        {u"JK-123456D", 257, u"NID ERROR 0x101:Invalid NINO Length:10", &WORKAREA::InvalidLengthCount},
        {u"JK-12-34-56D", 257, u"NID ERROR 0x101:Invalid NINO Length:12", &WORKAREA::InvalidLengthCount},
        {u"JK-123456.D", 58, u"NID ERROR 0x3a:Invalid NINO", &WORKAREA::InvalidDataCount},
        {u"JK-12-34.56-D", 58, u"NID ERROR 0x3a:Invalid NINO", &WORKAREA::InvalidDataCount},
        {u"JK/123456/D", 259, u"earlier text", &WORKAREA::InvalidSeparatorCount},
        {u"JK_12_34_56_D", 259, u"earlier text", &WORKAREA::InvalidSeparatorCount},
    };
    for (const Refusal& t : kRefusals) {
        SCOPED_TRACE(&t - kRefusals);
        Routine k;
        EXPECT_EQ(k.mask(t.source), t.code);
        EXPECT_EQ(std::u16string(k.msg), t.message);
        EXPECT_EQ(k.out[0], 0); /* nothing written on failure */

        ColumnMap m(&KLOColMapWExit, Operands(nullptr), {{u"NID"}}, {{u"NID"}});
        m.set(u"NID", t.source);
        auto r = m.row();
        EXPECT_EQ(r.rc, 1);
        EXPECT_EQ(r.puts, 0);
        WORKAREA& wa = m.workArea();
        EXPECT_EQ(wa.*t.counter, 1);
        EXPECT_EQ(wa.NullInputCount + wa.InvalidDataCount + wa.InvalidLengthCount + wa.ConversionErrorCount +
                      wa.InvalidPartCount + wa.InvalidSeparatorCount, 1);
        m.end();
    }
    Routine k;
    EXPECT_EQ(k.mask(u"JK123456D", 1, KIND_INT32), 263);
    EXPECT_EQ(std::u16string(k.msg), u"NID ERROR 0x107:Invalid Source DataType");
}

TEST(UkMask, BlankSourceGivesEightBlanksOrAnEmptyString) {
    const struct { const char16_t* source; int16_t destType; const char16_t* result; } kBlanks[] = {
        {u"        ", 1, u"        "}, {u"             ", 31, u"        "}, {u"         ", 35, u"        "},
        {u"         ", 3, u""},         {u"         ", 33, u""},             {u"         ", 37, u""}};
    for (const auto& t : kBlanks) {
        Routine k;
        EXPECT_EQ(k.mask(t.source, t.destType), 64);
        EXPECT_EQ(std::u16string(k.out), t.result);
        EXPECT_EQ(k.rbp.OutLength, int32_t(std::u16string(t.result).size()));
        EXPECT_EQ(k.rbp.OutKind, KIND_STRING);
    }
    ColumnMap m(&KLOColMapWExit, Operands(nullptr), {{u"NID"}}, {{u"NID", 2, 13}});
    m.set(u"NID", u"         ");
    auto r = m.row();
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.put, u"");
}

/* For every prefix the six digits map one-to-one over 000001..999999, never to 000000,
** and the replaced prefix stays in the table.  The sanitizer build, ten times slower,
** takes every eleventh prefix. */
#if defined(__SANITIZE_ADDRESS__)
enum { PREFIX_STEP = 11 };
#else
enum { PREFIX_STEP = 1 };
#endif

TEST(UkMask, DigitMaskIsABijectionForEveryPrefix) {
    std::vector<uint64_t> hit(1000000 / 64 + 1); /* one bit per six-digit result */
    char16_t in[8], out[8];
    for (int p = 0; p < UK_PREFIX_COUNT; p += PREFIX_STEP) {
        std::fill(hit.begin(), hit.end(), 0);
        in[0] = PrefixTableUK[p][0];
        in[1] = PrefixTableUK[p][1];
        for (int i = 2; i < 8; ++i) in[i] = u'0';
        int collisions = 0, badPrefix = 0;
        for (int n = 1; n <= 999999; ++n) {
            for (int i = 7; ++in[i] > u'9'; --i) in[i] = u'0'; /* next number */
            ScrambleNINO(in, 8, UK_MASK_PREFIX, out);
            uint32_t v = 0;
            for (int i = 2; i < 8; ++i) v = v * 10 + uint32_t(out[i] - u'0');
            uint64_t bit = uint64_t(1) << (v % 64);
            collisions += (hit[v / 64] & bit) != 0;
            hit[v / 64] |= bit;
            badPrefix += PrefixPositionUK(out) < 0;
        }
        ASSERT_EQ(collisions, 0) << p;
        ASSERT_EQ(hit[0] & 1, 0u) << p;
        ASSERT_EQ(badPrefix, 0) << p;
    }
}

static const uint32_t* g_draws;
static int g_drawCount;
static uint32_t ScriptedDraw() { return g_drawCount < 3 ? g_draws[g_drawCount++] : (++g_drawCount, 0u); }

TEST(UkRandom, ScriptedDrawsPickNumberPrefixAndSuffix) {
    const struct { uint32_t draws[3]; const char16_t* format; int32_t destLength; const char16_t* result; } kDraws[] = {
        {{0, 0, 0}, nullptr, 13, u"AA000001"},
        {{999998, 238, 3}, nullptr, 13, u"ZY999999D"},
        {{999999, 239, 1}, u"2X-6X-1C", 11, u"AA-000001-B"},
        {{122, 68, 2}, u"2C 2X 2X 2X 1C", 13, u"JK 00 01 23 C"},
        {{122, 68, 2}, u"2C 2X 2X 2X 1C", 8, u"JK000123"},
    };
    for (const auto& t : kDraws) {
        ColumnMap m(&KLOColMapWExit, Operands(t.format, u",method=random"), {}, {{u"NID", 1, t.destLength}});
        g_draws = t.draws;
        g_drawCount = 0;
        RandomSourceFn old = SetRandomSource(&ScriptedDraw);
        auto r = m.row();
        SetRandomSource(old);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.put, t.result);
        EXPECT_EQ(g_drawCount, 3);
        EXPECT_TRUE(r.gets.empty());
        m.end();
    }
}

TEST(UkRandom, EveryDrawIsWellFormed) {
    for (int32_t destLength : {8, 20}) {
        ColumnMap m(&KLOColMapWExit, Operands(nullptr, u",method=random"), {}, {{u"NID", 1, destLength}});
        int suffixes[4] = {};
        for (int i = 0; i < 4000; ++i) {
            auto r = m.row();
            ASSERT_EQ(r.rc, 0);
            const std::u16string& v = r.put;
            ASSERT_TRUE(v.size() == 8 || (destLength > 8 && v.size() == 9)) << v.size();
            EXPECT_GE(PrefixPositionUK(v.data()), 0);
            EXPECT_NE(v.substr(2, 6), u"000000");
            for (int d = 2; d < 8; ++d) EXPECT_TRUE(v[d] >= u'0' && v[d] <= u'9');
            if (v.size() == 9) {
                ASSERT_TRUE(v[8] >= u'B' && v[8] <= u'D');
                ++suffixes[v[8] - u'A'];
            } else {
                ++suffixes[0];
            }
        }
        if (destLength > 8) {
            for (int s : suffixes) EXPECT_GT(s, 800); /* about a quarter each */
        }
        m.end();
    }
}

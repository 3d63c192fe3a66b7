/* es_test.cpp - the Spanish NIF/NIE: set-up, masks, refusals, the scramble, random draws. */
#include <gtest/gtest.h>

#include "countries/es/es.h"
#include "support/country.h"
#include "support/log_file.h"

using ctest::U8;

/* Set-up: column checks, the flag word of a format operand and the destination's code; worked
** values, layouts by format and destination length, blanks by destination type.  Each refusal:
** the row routine's status and message, then its counter through the entry; with debug on, the
** routine logs a refusal's message and the row processing logs it again. */
TEST(ES, SetUpAndMasks) {
    const uint16_t M = MODE_MASK, R = MODE_RANDOM;
    const ctest::InitCase inits[] = {
        {u"", M, 1, 20, 1, 8, 0, 0, nullptr, 0, 1},      {u"", M, 1, 20, 1, 7, 257, 0},
        {u"", M, 1, 255, 33, 255, 0, 0, nullptr, 0, 37}, {u"", M, 1, 256, 1, 20, 257, 0},
        {u"", M, 5, 20, 1, 20, 7, 0}, {u"", R, 5, 2, 1, 20, 0, 0, nullptr, 0, 1}, /* random: source unchecked */
        {u"", R, 1, 20, 3, 20, 8, 0}, {u",format=(ES=8x)", M, 1, 20, 1, 20, 0, ES_OUT_COMPACT},
        {u",format=(FR=5X2C8X,ES=7x-1X)", M, 1, 20, 1, 20, 0, ES_OUT_HYPHEN},
        {u",format=(spain=7X 1X)", M, 1, 20, 1, 20, 0, ES_OUT_BLANK}, {u",format=(ES=7X  1X)", M, 1, 20, 1, 20, 0, 0},
        {u",format=8X", M, 1, 20, 1, 20, 0, 0},
    };
    for (auto& k : inits) ctest::ExpectInit(InitCountryES, std::u16string(u"switch=\"ES") + k.ops, k);
    const char16_t* V = u",validate=y";
    struct { const char16_t *fmt, *in, *out; int32_t destLength = 11; int16_t destType = 1; } cases[] = {
        {V, u"1234567L", u"2044628C"},   {V, u"1234567-L", u"2044628-C"}, {V, u"X1234567L", u"X2044628C"},
        {V, u"9999999J", u"0123456S"},   {V, u"0000000T", u"3456789G"},   {V, u"7654321J", u"8888888D"},
        {V, u"X 7654321 J", u"X 8888888 D"},
        {u"", u"9876053Z", u"0050010P"},        /* seed 12 reorders 1,4,2,3,5,6 */
        {u"", u"X 7654321 J", u"X 8888888 D", 8}, /* no format: length not consulted */
        {u"7X-1X", u"1234567L", u"2044628C", 8}, {u"7X-1X", u"1234567 L", u"2044628-C", 9},
        {u"7X-1X", u"X1234567L", u"X2044628C", 10}, {u"7x-1x", u"X 7654321 J", u"X-8888888-D"},
        {u",format=(spain=7X 1X)", u"X-1234567-L", u"X 2044628 C"}, {u"8X", u"X 7654321 J", u"X8888888D"},
        {u"7X_1X", u"1234567 L", u"2044628 C"}, /* unknown: the source's layout */
        {V, u"        ", u"        "}, {V, u"   ", u"   ", 11, 30}, {V, u"        ", u"        ", 11, 32},
        {V, u"", u""},                 {V, u"        ", u"", 11, 2}, {V, u"         ", u"", 11, 33},
    };
    for (auto& k : cases) ctest::ExpectRow(ctest::Ops(u"ES", k.fmt), k.destLength, k.destType, k.in, k.out);
    const char16_t* fmt = u"0x3a: Invalid NIF/NIE Format!";
    const char16_t* nie = u"0x3a: Invalid NIE Format/Unmatching Separators found";
    const char16_t* part = u"0x102: Invalid NIF/NIE Format!";
    const uint16_t VM = MODE_VALIDATE;
    const ctest::Refusal refusals[] = {
        {0, u"12345678Z", 58, fmt}, /* nine characters, no separator at 8 */
        {0, u"x1234567L", 58, fmt}, /* only an upper-case X starts a NIE */
        {0, u"12 4567L", 58, fmt},   {0, u"X-1234567 L", 58, nie},  {0, u"Y-1234567-L", 58, nie},
        {0, u"ABCDEFGHIJ", 257, u"0x101: Invalid Length!"},
        {0, u"X12345678", 0, nullptr}, /* check letter not read without validation */
        {VM, u"1234567A", 258, part}, {VM, u"X-1234567-l", 258, part},
        {VM, u"12345A7L", 58, fmt}, /* bad digit reported before the letter */
    };
    for (auto& k : refusals) ctest::ExpectRefusal(MaskCountryES, 0, u"switch=\"ES", 11, k);
    testlog::LogFile log;
    {
        hostemu::ColumnMap m = ctest::Map(u"switch=\"ES,validate=y,debug=y", 11);
        for (const char16_t* in : {u"1234567A", u"12345678Z", u"1234567-LL", u"X 1234567-L", u"1234567L"}) {
            m.set(u"NID", in);
            m.row();
        }
    }
    std::vector<std::string> lines; /* the row messages, without the other countries' set-up */
    for (const std::string& l : log.texts())
        if (l.find("InitCountry") == std::string::npos) lines.push_back(l);
    std::vector<std::string> expected;
    for (const char* m : {"0x102: Invalid NIF/NIE Format!", "0x3a: Invalid NIF/NIE Format!", "0x101: Invalid Length!",
                          "0x3a: Invalid NIE Format/Unmatching Separators found"})
        expected.insert(expected.end(), 2, std::string("ZTNID : NID ERROR ") + m);
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8), expected);
}

/* Every seven-digit string gives a different result (a bitmap of the 10^7 outputs); scripted
** draws give exact values; real draws have the layout, about 9.3% of them NIE. */
TEST(ES, ScrambleAndRandom) {
    std::vector<uint64_t> seen(10000000 / 64 + 1, 0);
    char16_t d[ES_DIGITS] = {u'0', u'0', u'0', u'0', u'0', u'0', u'0'};
    for (int n = 0; n < 10000000; ++n) {
        uint8_t out[ES_DIGITS];
        ScrambleDigitsES(d, out);
        uint32_t m = 0;
        for (uint8_t v : out) m = m * 10 + v;
        ASSERT_LT(m, 10000000u);
        ASSERT_FALSE(seen[m / 64] >> (m % 64) & 1) << "collision at input " << n;
        seen[m / 64] |= uint64_t(1) << (m % 64);
        for (int i = ES_DIGITS - 1; i >= 0 && ++d[i] > u'9'; --i) d[i] = u'0'; /* next string */
    }
    struct { const char16_t* fmt; int32_t dstLen; std::vector<uint32_t> draws; const char* out; } cases[] = {
        {u"", 20, {5, 12345}, "X0512345C"}, {u"", 20, {99, 99999}, "9999999J"}, {u"", 20, {1234, 100005}, "3400005F"},
        {u"", 20, {9, 29999}, "X0929999V"}, {u"", 20, {9, 30000}, "0930000H"}, /* the last NIE, the first NIF */
        {u"7X-1X", 8, {0, 0}, "X-0000000-T"}, {u"7X 1X", 8, {99, 99999}, "9999999 J"}, {u"8X", 20, {0, 0}, "X0000000T"},
    };
    for (auto& k : cases) ctest::ExpectDrawn(ctest::Ops(u"ES", k.fmt, u",method=random"), k.dstLen, k.draws, k.out);
    for (const char16_t* fmt : {u"", u"7X 1X"}) {
        hostemu::ColumnMap m = ctest::Map(ctest::Ops(u"ES", fmt, u",method=random"), 8);
        const bool blank = fmt[0] != 0;
        int nie = 0, draws = 4000;
        for (int i = 0; i < draws; ++i) {
            const char16_t* p = nullptr;
            ASSERT_EQ(m.rowFast(&p, nullptr), 0);
            std::u16string s(p);
            bool isNIE = s[0] == u'X';
            nie += isNIE;
            ASSERT_EQ(s.size(), isNIE ? (blank ? 11u : 9u) : (blank ? 9u : 8u)) << U8(s);
            int32_t n = std::stoi(U8(s.substr(isNIE ? (blank ? 2 : 1) : 0, ES_DIGITS)));
            EXPECT_EQ(isNIE, n < ES_NIE_LIMIT);
            EXPECT_TRUE(!blank || s[s.size() - 2] == u' ');
        }
        EXPECT_GT(nie, draws * 6 / 100);
        EXPECT_LT(nie, draws * 13 / 100);
    }
}

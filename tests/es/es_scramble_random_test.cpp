#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "countries/es/es.h"
#include "exit/random/random.h"
#include "host/emul/host_emul.h"

/* Every seven-digit string gives a different result: a bitmap of the 10^7 outputs. */
TEST(SpainScramble, OneToOneOverAllSevenDigitStrings) {
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
        for (int i = ES_DIGITS - 1; i >= 0 && ++d[i] > u'9'; --i) d[i] = u'0';  /* next string */
    }
}

/* Scripted draws: each row takes the next two numbers. */
static const uint32_t* g_draws;
static uint32_t NextDraw() { return *g_draws++; }

TEST(SpainRandom, ScriptedDrawsGiveNumberKindAndLayout) {
    struct { const char16_t* ops; int32_t dstLen; uint32_t r1, r2; const char16_t* out; } rows[] = {
        {u"switch=\"ES,method=random", 20, 5, 12345, u"X0512345C"},
        {u"switch=\"ES,method=random", 20, 99, 99999, u"9999999J"},
        {u"switch=\"ES,method=random", 20, 1234, 100005, u"3400005F"},
        {u"switch=\"ES,method=random", 20, 9, 29999, u"X0929999V"},         /* 929999: last NIE */
        {u"switch=\"ES,method=random", 20, 9, 30000, u"0930000H"},          /* 930000: first NIF */
        {u"switch=\"ES,method=random,format=(ES=7X-1X)", 8, 0, 0, u"X-0000000-T"},
        {u"switch=\"ES,method=random,format=(ES=7X 1X)", 8, 99, 99999, u"9999999 J"},
        {u"switch=\"ES,method=random,format=(ES=8X)", 20, 0, 0, u"X0000000T"},
    };
    RandomSourceFn old = SetRandomSource(&NextDraw);
    for (const auto& r : rows) {
        const uint32_t draws[2] = {r.r1, r.r2};
        g_draws = draws;
        hostemu::ColumnMap m(&KLOColMapWExit, r.ops, {{u"NID", 1, 20}}, {{u"NID", 1, r.dstLen}});
        hostemu::RowOutcome o = m.row();
        EXPECT_EQ(o.rc, 0);
        EXPECT_EQ(o.put, std::u16string(r.out)) << r.r1 << "," << r.r2;
        EXPECT_EQ(g_draws, draws + 2) << "two draws per row";
        EXPECT_TRUE(o.gets.empty()) << "the source is never read";
        m.end();
    }
    SetRandomSource(old);
}

/* Real draws: every result well formed; about 9.3% NIE. */
TEST(SpainRandom, DrawsAreWellFormedWithTheExpectedNieShare) {
    struct { const char16_t* ops; size_t nifLen, nieLen; char16_t sep; } variants[] = {
        {u"switch=\"ES,method=random", 8, 9, 0},
        {u"switch=\"ES,method=random,format=(ES=7X 1X)", 9, 11, u' '},
    };
    for (const auto& v : variants) {
        hostemu::ColumnMap m(&KLOColMapWExit, v.ops, {{u"NID", 1, 20}}, {{u"NID", 1, 8}});
        int nie = 0, draws = 4000;
        for (int i = 0; i < draws; ++i) {
            const char16_t* p = nullptr;
            ASSERT_EQ(m.rowFast(&p, nullptr), 0);
            std::u16string s(p);
            bool isNIE = s[0] == u'X';
            nie += isNIE;
            ASSERT_EQ(s.size(), isNIE ? v.nieLen : v.nifLen) << std::string(s.begin(), s.end());
            std::u16string digits = s.substr(isNIE ? (v.sep ? 2 : 1) : 0, ES_DIGITS);
            int32_t n = std::stoi(std::string(digits.begin(), digits.end()));
            EXPECT_EQ(s.back(), CheckLetterES(n));
            EXPECT_EQ(isNIE, n < ES_NIE_LIMIT);
            EXPECT_TRUE(!v.sep || s[s.size() - 2] == v.sep);
        }
        EXPECT_GT(nie, draws * 6 / 100);
        EXPECT_LT(nie, draws * 13 / 100);
        m.end();
    }
}

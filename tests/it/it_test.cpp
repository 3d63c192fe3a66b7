/* it_test.cpp - the Italian codice fiscale: set-up, masks, refusals, rules, random codes. */
#include <gtest/gtest.h>

#include <algorithm>

#include "countries/it/communes_it_table.h"
#include "countries/it/it.h"
#include "support/country.h"

using ctest::U8;

/* Set-up: the flag word and message of each format, the column checks.  Worked values through
** the entry: layouts; lower case, a wrong control character and mixed separators pass without
** validation; substitution letters carried over; blanks. */
TEST(IT, SetUpAndMasks) {
    const char16_t *notFound = u"NID ERROR Format Value Not Found: Default Format used\n", *ok = u"untouched";
    const uint16_t M = MODE_MASK, R = MODE_RANDOM;
    const ctest::InitCase inits[] = {
        {u"format=(IT=3C-3C-5C-5X)", M, 1, 20, 1, 19, 0, IT_COMMUNE | IT_HYPHEN, ok},
        {u"format=(italy=6x9c1x)", M, 1, 20, 1, 19, 0, IT_NAMES | IT_COMPACT, ok},
        {u"format=(IT=3X 3X 5X 4C1X)", M, 1, 20, 1, 19, 0, IT_NAMES | IT_DATE | IT_BLANK, ok},
        {u"format=(FR=5X2C8X)", M, 1, 20, 1, 19, 0, 0x06, notFound},
        {u"format=16X", M, 1, 20, 1, 19, 0, 0x06, notFound},
        {u"format=(IT=3X3X5X5X)", M, 1, 20, 1, 19, 0, 0x06,
         u"NID ERROR Format Value Invalid: Default Format used\n"},
        {u"", M, 9, 20, 1, 19, 7, 0, u"NID ERROR  0x7 :Source Column Type Not Supported\n"},
        {u"", M, 1, 15, 1, 19, 257, 0, u"NID ERROR  0x101 :Source Column Length Not Supported\n"},
        {u"", R, 9, 20, 3, 19, 8, 0, u"NID ERROR  0x8 :Destination Column Type Not Supported\n"},
        {u"", R, 9, 20, 1, 256, 257, 0, u"NID ERROR  0x101 :Destination Column Length Not Supported\n"},
    };
    for (auto& k : inits) ctest::ExpectInit(InitCountryIT, k.ops, k);
    struct { const char16_t *fmt, *in, *out; int32_t destLength = 19; int16_t destType = 1; } cases[] = {
        {u"", u"BNCLCU80A01D612U", u"BNCLCU05R20I590Y"},        {u"", u"bnclcu80a01d612u", u"BNCLCU05R20I590Y"},
        {u"", u"BNCLCU80A01D612A", u"BNCLCU05R20I590Y"},        {u"", u"BNCLCU80A01D61NJ", u"BNCLCU05R20I59LB"},
        {u"", u"BNC-LCU-80A01-D612U", u"BNC-LCU-05R20-I590Y"},  {u"", u"BNC LCU 80A01 D612U", u"BNC LCU 05R20 I590Y"},
        {u"", u"BNC LCU 80A01 D612U", u"BNCLCU05R20I590Y", 18}, {u"", u"BNC-LCU 80A01-D612U", u"BNCLCU05R20I590Y"},
        {u"3X-3X-5X-5X", u"BNCLCU80A01D612U", u"DMJ-NBU-05R20-I590R"},
        {u"3X-3X-5X-5X", u"BNC LCU 80A01 D612U", u"DMJ NBU 05R20 I590R"},
        {u"3X-3X-5X-5X", u"BNC-LCU-80A01-D612U", u"DMJNBU05R20I590R", 16},
        {u",format=(it=3x 3x 5x 5x)", u"BNC-LCU-80A01-D612U", u"DMJ NBU 05R20 I590R", 30},
        {u"16X", u"BNC-LCU-80A01-D612U", u"DMJNBU05R20I590R"}, {u"16X", u"BNCLCU80A41D612Y", u"DMJNBU05R60I590V"},
        {u"11C5X", u"BNCLCU80A01D612U", u"BNCLCU80A01H118X"},  {u"6c10x", u"BNC-LCU-80A01-D612U", u"BNCLCU05R20I590Y"},
        {u"6C11X", u"BNC-LCU-80A01-D612U", u"BNC-LCU-05R20-I590Y"},
        {u"", u"                   ", u"                "},     {u"", u"                ", u"", 19, 2},
    };
    for (auto& k : cases) ctest::ExpectRow(ctest::Ops(u"IT", k.fmt), k.destLength, k.destType, k.in, k.out);
}

/* Each refusal: the row routine's status and message, then its counter through the entry. */
TEST(IT, Refusals) {
    const char16_t* len = u"0x101 :Invalid Length for Source Data Value\n";
    const char16_t* sep = u"0x103 :Invalid Separator for source data value\n";
    const std::u16string part = u"0x102 :Invalid ";
    const std::u16string bad[] = {u"ASCII CHARACTER", u"Replacement Character", u"REPLACEMENT CHARACTER",
                                  u"FAMILY NAME Code", u"FIRST NAME Code", u"BIRTH DATE", u"REGION CODE",
                                  u"CONTROL CHARACTER"};
    const struct { uint16_t mode; const char16_t* in; int what; const char16_t* end; } parts[] = {
        {0, u"BN1-LCU-80A01-D612U", 0, u" \n"},        {0, u"BNCLCU8*A01D612U", 0, u"\n"},
        {0, u"BNCLCU80101D612U", 0, u"\n"},           {0, u"BNCLCU80A01D61AU", 1, u"\n"},
        {0, u"BNCLCU80A01D6N2U", 2, u" \n"},          {0, u"rosaxa80f01j123o", 3, u" \n"},
        {0, u"BNCAXA80A01D612J", 4, u" \n"},          {0, u"BNCLCU80F01D612G", 5, u" \n"},
        {0, u"BNCLCU80A01A000Y", 6, u" \n"},          {MODE_VALIDATE, u"BNCLCU80A01D612A", 7, u"\n"},
        {MODE_VALIDATE, u"bnclcu80a01d612u", 7, u"\n"},
    };
    for (auto& k : parts) {
        std::u16string msg = part + bad[k.what] + u" for source data value (" + k.in + u")" + k.end;
        ctest::ExpectRefusal(MaskCountryIT, IT_DEFAULT_FORMAT, u"switch=\"IT", 19,
                             {k.mode, k.in, 258, msg.c_str()});
    }
    const ctest::Refusal cases[] = {
        {0, u"BNCLCU80A01D612", 257, len},                {0, u"BNCLCU80A01D612UX", 257, len},
        {0, u"BNCLCU80A01D612U    ", 257, len},           {MODE_VALIDATE, u"BNC-LCU.80A01-D612U", 259, sep},
        {MODE_VALIDATE, u"BNC-LCU 80A01-D612U", 259, sep},
        {0, u"", 263, u"0x107 :Invalid source value type\n", KIND_INT32},
    };
    for (auto& k : cases) ctest::ExpectRefusal(MaskCountryIT, IT_DEFAULT_FORMAT, u"switch=\"IT", 19, k);
}

/* Whole-code masks by parts (the other parts' examples are the entry's); name codes by key;
** for every valid name code and month, the whole-code mask's table gives MaskNameCode's. */
TEST(IT, MaskCodeAndNameCodes) {
    struct { const char16_t* src; uint32_t flags; const char16_t* want; } codes[] = {
        {u"BNCLCU80A01D612U", 0x01, u"DMJNBU80A01D612N"}, {u"BNCLCU80A01D612U", 0x02, u"BNCLCU05R20D612R"},
        {u"BNCLCU00A01D612C", 0x04, u"BNCLCU00A01H305F"}, /* year 00: key 100, first step H305 */
    };
    for (auto& k : codes) {
        char16_t out[17] = {};
        EXPECT_EQ(MaskCodeIT(k.src, out, k.flags), 0) << U8(k.src);
        EXPECT_EQ(U8(out), U8(k.want)) << U8(k.src);
    }
    struct { const char16_t* in; int16_t key; const char16_t* want; } names[] = {
        {u"BNC", 1, u"DMJ"}, {u"LCU", 1, u"NBU"}, {u"RAX", 3, u"WIX"}, {u"XXX", 12, u"NJR"}, {u"AEI", 1, u"IAI"}};
    for (auto& k : names) {
        char16_t out[4] = {};
        EXPECT_EQ(MaskNameCode(k.in, out, k.key), 1);
        EXPECT_EQ(std::u16string(out), k.want) << k.key;
    }
    char16_t out[4];
    EXPECT_EQ(MaskNameCode(nullptr, out, 1), 0);
    const char16_t months[] = u"ABCDEHLMPRST";
    char16_t name[4] = {};
    for (int n = 0; n < 26 * 26 * 26; ++n) {
        name[0] = char16_t(u'A' + n / 676), name[1] = char16_t(u'A' + n / 26 % 26), name[2] = char16_t(u'A' + n % 26);
        if (!NameCodeValidIT(name)) continue;
        for (int m = 0; m < 12; ++m) {
            std::u16string src = std::u16string(name) + name + u"80" + months[m] + u"01D612U";
            char16_t out[17] = {}, want[4] = {};
            ASSERT_EQ(MaskCodeIT(src.c_str(), out, IT_NAMES), 0);
            MaskNameCode(name, want, int16_t(m + 1));
            ASSERT_EQ(std::u16string(out, 3), want) << U8(src);
            ASSERT_EQ(std::u16string(out + 3, 3), want) << U8(src);
        }
    }
}

/* Validation of names, dates and communes; digit fields; the control character; CheckCommuneCode
** and the bitmap agree with the table; every accepted commune's walk ends in 26 rounds. */
TEST(IT, ValidationAndCommunes) {
    const uint16_t F = IT_ERR_FAMILY, N = IT_ERR_FIRST, D = IT_ERR_DATE, C = IT_ERR_COMMUNE;
    struct { const char16_t* code; uint32_t flags; uint16_t want; } cases[] = {
        {u"RSSRAX80A01D612U", 0, 0}, {u"AEIXXX80A01D612U", 0, 0}, {u"ROSLCU80A01D612U", 0, F},
        {u"BNCAXA80A01D612U", 0, N}, {u"BNCLCU00B29D612U", 0, 0}, {u"BNCLCU04B29D612U", 0, 0},
        {u"BNCLCU96B29D612U", 0, 0}, {u"BNCLCU01B29D612U", 0, D}, {u"BNCLCU80B30D612U", 0, D},
        {u"BNCLCU80D31D612U", 0, D}, {u"BNCLCU80D30D612U", 0, 0}, {u"BNCLCU80A00D612U", 0, D},
        {u"BNCLCU80A40D612U", 0, D}, {u"BNCLCU80A72D612U", 0, D}, {u"BNCLCU80A71D612U", 0, 0},
        {u"BNCLCU80F01D612U", 0, D}, {u"BNCLCU80A01J123U", 0, C}, {u"BNCLCU80A01A002U", 0, C},
        {u"BNCLCU80A01A001U", 0, 0}, {u"BNCLCU80A01D61NU", 0, C}, {u"BNCLCU80A4MD612U", IT_OMO_DAY, 0},
        {u"BNCLCU80ALNDSMNU", IT_OMO_DAY | IT_OMO_COMMUNE, 0}, /* LN: day 02, SMN: commune 612 */
    };
    for (auto& k : cases) EXPECT_EQ(ValidateCodeIT(k.code, k.flags), k.want) << U8(k.code);
    EXPECT_EQ(ReadFieldIT(u"LN", 2, true), 2);
    EXPECT_EQ(ReadFieldIT(u"4M", 2, true), 41);
    int32_t v = -1;
    EXPECT_EQ(ParseDigits(u"612", 3, 3, &v), 0);
    EXPECT_EQ(v, 612);
    EXPECT_EQ(ParseDigits(u"61N", 3, 3, &v), IT_PARSE_FAIL);
    EXPECT_EQ(ParseDigits(u"61 ", 2, 3, &v), 0);
    EXPECT_EQ(v, 61);
    EXPECT_EQ(ParseDigits(u"612", 2, 3, &v), IT_PARSE_FAIL);
    struct { char16_t code[17]; char16_t want; } controls[] = {
        {u"BNCLCU80A01D612#", u'U'}, {u"BN-CLCU80A01D61#", u'P'}, {u"bNCLCU80A01D612#", u'S'}};
    for (auto k : controls) {
        SetControlChar(k.code);
        EXPECT_EQ(k.code[15], k.want) << U8(k.code);
    }
    EXPECT_EQ(UNASSIGNED_COMMUNES_COUNT, 3677);
    const std::u16string letters = u"ABCDEFGHILMZ";
    auto listed = [](const std::u16string& code) {
        return std::binary_search(std::begin(UnassignedCommunes), std::end(UnassignedCommunes), code,
                                  [](const auto& a, const auto& b) { return std::u16string(a) < std::u16string(b); });
    };
    for (char16_t l = u'A'; l <= u'Z'; ++l)
        for (int n = 0; n < 1000; ++n) {
            std::u16string code{l, char16_t(u'0' + n / 100), char16_t(u'0' + n / 10 % 10), char16_t(u'0' + n % 10)};
            bool want = letters.find(l) != std::u16string::npos && n != 0 && !listed(code);
            ASSERT_EQ(CheckCommuneCode(code.c_str()), want ? 1 : 0) << U8(code);
            ASSERT_EQ(CommuneAcceptedIT(l, n), want) << U8(code);
        }
    EXPECT_EQ(CheckCommuneCode(nullptr), 0);
    EXPECT_EQ(CheckCommuneCode(u"a001"), 0);
    int worst = 0;
    for (int l = 0; l < 12; ++l)
        for (int32_t n = 1; n <= 999; ++n) {
            if (!CommuneAcceptedIT(CommuneLetters[l], n)) continue;
            for (int c = 1; c <= 100; ++c) {
                int index = l;
                int32_t number = n;
                int rounds = WalkCommuneIT(&index, &number, c);
                ASSERT_GE(rounds, 1) << l << " " << n << " " << c;
                ASSERT_TRUE(CommuneAcceptedIT(CommuneLetters[index], number));
                worst = std::max(worst, rounds);
            }
        }
    EXPECT_LE(worst, 26);
}

/* Scripted draws give exact codes (29 February 04, a woman, A000 and A002 refused); codes
** drawn through the entry have the layout, and their masks by parts are valid. */
TEST(IT, Random) {
    struct { std::vector<uint32_t> draws; const char16_t* want; } cases[] = {
        {{1, 0, 5, 2, 17, 4, 80, 0, 0, 0, 3, 612}, u"BAXCRE80A01D612F"},
        {{4, 0, 0, 0, 0, 0, 4, 1, 28, 1, 0, 0, 0, 2, 0, 1}, u"EAAAAA04B69A001S"},
    };
    for (auto& k : cases) {
        ctest::ScriptedDraws s(k.draws);
        char16_t out[17] = {};
        ASSERT_EQ(RandomCodeIT(out), 0);
        EXPECT_EQ(U8(out), U8(k.want));
        EXPECT_EQ(ctest::ScriptedDraws::taken, k.draws.size());
    }
    struct { const char16_t* fmt; int32_t destLength; size_t length; } layouts[] = {
        {u"", 19, 16}, {u",format=(IT=3C-3C-5C-5X)", 19, 19}, {u",format=(IT=3C-3C-5C-5X)", 18, 16}};
    for (auto& k : layouts) {
        hostemu::ColumnMap m = ctest::Map(std::u16string(u"switch=\"IT,method=random") + k.fmt, k.destLength);
        for (int i = 0; i < 1000; ++i) {
            hostemu::RowOutcome r = m.row();
            ASSERT_EQ(r.rc, 0);
            ASSERT_EQ(r.put.size(), k.length);
            ASSERT_TRUE(r.gets.empty());
            std::u16string code = r.put;
            code.erase(std::remove(code.begin(), code.end(), u'-'), code.end());
            for (uint32_t parts = 1; parts <= 7; ++parts) {
                char16_t out[17];
                ASSERT_EQ(MaskCodeIT(code.c_str(), out, parts), 0);
                ASSERT_EQ(ValidateCodeIT(out, 0), 0) << U8(out) << " " << parts;
                ASSERT_EQ(code[9] >= u'4', out[9] >= u'4');
                ASSERT_EQ(ControlCharIT(out), out[15]);
            }
        }
    }
}

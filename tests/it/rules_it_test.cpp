// The codice fiscale rules called directly: validation, commune table, control character,
// name codes, whole-code masking and random codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "countries/it/communes_it_table.h"
#include "countries/it/it.h"
#include "exit/random/random.h"

namespace {

std::u16string Masked(const char16_t* src, uint32_t flags) {
    char16_t out[17] = {};
    EXPECT_EQ(MaskCodeIT(src, out, flags), 0) << std::string(src, src + 16);
    return out;
}

TEST(RulesIT, MaskCodeExamples) {
    const struct {
        const char16_t* src;
        uint32_t flags;
        const char16_t* want;
    } cases[] = {
        {u"BNCLCU80A01D612U", 0x06, u"BNCLCU05R20I590Y"},
        {u"BNCLCU80A01D612U", 0x07, u"DMJNBU05R20I590R"},
        {u"BNCLCU80A01D612U", 0x01, u"DMJNBU80A01D612N"},
        {u"BNCLCU80A01D612U", 0x02, u"BNCLCU05R20D612R"},
        {u"BNCLCU80A01D612U", 0x04, u"BNCLCU80A01H118X"},
        {u"BNCLCU80A41D612Y", 0x07, u"DMJNBU05R60I590V"},
        {u"BNCLCU80A01D61NJ", 0x06 | IT_OMO_COMMUNE, u"BNCLCU05R20I59LB"},
        // Year 00 walks the communes with key 100: its first step, H305, is accepted.
        {u"BNCLCU00A01D612C", 0x04, u"BNCLCU00A01H305F"},
    };
    for (const auto& c : cases) EXPECT_EQ(Masked(c.src, c.flags), c.want) << std::string(c.src, c.src + 16);
}

TEST(RulesIT, NameCodeKeys) {
    const struct {
        const char16_t* in;
        int16_t key;
        const char16_t* want;
    } cases[] = {{u"BNC", 1, u"DMJ"}, {u"LCU", 1, u"NBU"}, {u"RAX", 3, u"WIX"},
                 {u"XXX", 12, u"NJR"}, {u"AEI", 1, u"IAI"}};
    for (const auto& c : cases) {
        char16_t out[4] = {};
        EXPECT_EQ(MaskNameCode(c.in, out, c.key), 1);
        EXPECT_EQ(std::u16string(out), c.want) << c.key;
    }
    char16_t out[4];
    EXPECT_EQ(MaskNameCode(nullptr, out, 1), 0);
}

// The whole-code mask takes its name codes from a table: for every valid name code and
// every month it must give what MaskNameCode gives with the month as key.
TEST(RulesIT, NameCodesOfTheWholeCodeFollowMaskNameCode) {
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
            ASSERT_EQ(std::u16string(out, 3), want) << std::string(src.begin(), src.end());
            ASSERT_EQ(std::u16string(out + 3, 3), want) << std::string(src.begin(), src.end());
        }
    }
}

TEST(RulesIT, ValidateNamesDatesAndCommunes) {
    const struct {
        const char16_t* code;
        uint32_t flags;
        uint16_t want;
    } cases[] = {
        {u"RSSRAX80A01D612U", 0, 0},           {u"AEIXXX80A01D612U", 0, 0},
        {u"ROSLCU80A01D612U", 0, IT_ERR_FAMILY}, {u"BNCAXA80A01D612U", 0, IT_ERR_FIRST},
        {u"BNCLCU00B29D612U", 0, 0},           {u"BNCLCU04B29D612U", 0, 0},
        {u"BNCLCU96B29D612U", 0, 0},           {u"BNCLCU01B29D612U", 0, IT_ERR_DATE},
        {u"BNCLCU80B30D612U", 0, IT_ERR_DATE}, {u"BNCLCU80D31D612U", 0, IT_ERR_DATE},
        {u"BNCLCU80D30D612U", 0, 0},           {u"BNCLCU80A00D612U", 0, IT_ERR_DATE},
        {u"BNCLCU80A40D612U", 0, IT_ERR_DATE}, {u"BNCLCU80A72D612U", 0, IT_ERR_DATE},
        {u"BNCLCU80A71D612U", 0, 0},           {u"BNCLCU80F01D612U", 0, IT_ERR_DATE},
        {u"BNCLCU80A01J123U", 0, IT_ERR_COMMUNE}, {u"BNCLCU80A01A002U", 0, IT_ERR_COMMUNE},
        {u"BNCLCU80A01A001U", 0, 0},
        // Substitution letters: LN is day 02, 4M is 41, SMN is commune 612.
        {u"BNCLCU80ALNDSMNU", IT_OMO_DAY | IT_OMO_COMMUNE, 0},
        {u"BNCLCU80A4MD612U", IT_OMO_DAY, 0},
        {u"BNCLCU80A01D61NU", 0, IT_ERR_COMMUNE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ValidateCodeIT(c.code, c.flags), c.want) << std::string(c.code, c.code + 16);
    EXPECT_EQ(ReadFieldIT(u"LN", 2, true), 2);
    EXPECT_EQ(ReadFieldIT(u"4M", 2, true), 41);
}

TEST(RulesIT, ParseDigitsAndControlChar) {
    int32_t v = -1;
    EXPECT_EQ(ParseDigits(u"612", 3, 3, &v), 0);
    EXPECT_EQ(v, 612);
    EXPECT_EQ(ParseDigits(u"61N", 3, 3, &v), IT_PARSE_FAIL);
    EXPECT_EQ(ParseDigits(u"61 ", 2, 3, &v), 0);
    EXPECT_EQ(v, 61);
    EXPECT_EQ(ParseDigits(u"612", 2, 3, &v), IT_PARSE_FAIL);

    // A character that is neither digit nor capital is skipped without flipping odd and even.
    const struct {
        char16_t code[17];
        char16_t want;
    } cases[] = {{u"BNCLCU80A01D612#", u'U'}, {u"BN-CLCU80A01D61#", u'P'}, {u"bNCLCU80A01D612#", u'S'}};
    for (auto c : cases) {
        SetControlChar(c.code);
        EXPECT_EQ(c.code[15], c.want) << std::string(c.code, c.code + 15);
    }
}

// The bitmap behind CheckCommuneCode must say exactly what a search of the table says.
TEST(RulesIT, CommuneCheckMatchesTheTable) {
    EXPECT_EQ(UNASSIGNED_COMMUNES_COUNT, 3677);
    const std::u16string letters = u"ABCDEFGHILMZ";
    const int perLetter[] = {191, 213, 216, 218, 210, 196, 189, 224, 224, 213, 794, 789};
    for (size_t i = 0; i < letters.size(); ++i)
        EXPECT_EQ(std::count_if(std::begin(UnassignedCommunes), std::end(UnassignedCommunes),
                                [&](const char16_t* c) { return c[0] == letters[i]; }),
                  perLetter[i]);
    auto listed = [](const std::u16string& code) {
        return std::binary_search(std::begin(UnassignedCommunes), std::end(UnassignedCommunes), code,
                                  [](const auto& a, const auto& b) { return std::u16string(a) < std::u16string(b); });
    };
    for (char16_t l = u'A'; l <= u'Z'; ++l)
        for (int n = 0; n < 1000; ++n) {
            std::u16string code{l, char16_t(u'0' + n / 100), char16_t(u'0' + n / 10 % 10), char16_t(u'0' + n % 10)};
            bool want = letters.find(l) != std::u16string::npos && n != 0 && !listed(code);
            ASSERT_EQ(CheckCommuneCode(code.c_str()), want ? 1 : 0) << std::string(code.begin(), code.end());
        }
    EXPECT_EQ(CheckCommuneCode(nullptr), 0);
    EXPECT_EQ(CheckCommuneCode(u"a001"), 0);
}

// For every accepted commune and every key the mask can use, the walk ends within 26 rounds.
TEST(RulesIT, CommuneWalkEndsWithin26Rounds) {
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

// A scripted random source: a fixed list of draws, then a simple generator.
const uint32_t* g_script = nullptr;
size_t g_scriptLeft = 0;
uint32_t g_lcg = 12345;
uint32_t ScriptedDraw() {
    if (g_scriptLeft) return --g_scriptLeft, *g_script++;
    g_lcg = g_lcg * 1664525u + 1013904223u;
    return g_lcg >> 8;
}

struct ScriptedSource {
    explicit ScriptedSource(std::initializer_list<uint32_t> d) : draws(d) {
        g_script = draws.data();
        g_scriptLeft = draws.size();
        old = SetRandomSource(&ScriptedDraw);
    }
    ~ScriptedSource() { SetRandomSource(old); }
    std::vector<uint32_t> draws;
    RandomSourceFn old;
};

TEST(RulesIT, RandomCodeDrawOrder) {
    const struct {
        std::initializer_list<uint32_t> draws;
        const char16_t* want;
    } cases[] = {
        {{1, 0, 5, 2, 17, 4, 80, 0, 0, 0, 3, 612}, u"BAXCRE80A01D612F"},
        // February of year 04 has 29 days (28 -> day 29), a woman, then A000 and A002
        // are refused before A001.
        {{4, 0, 0, 0, 0, 0, 4, 1, 28, 1, 0, 0, 0, 2, 0, 1}, u"EAAAAA04B69A001S"},
    };
    for (const auto& c : cases) {
        ScriptedSource s(c.draws);
        char16_t out[17] = {};
        ASSERT_EQ(RandomCodeIT(out), 0);
        EXPECT_EQ(std::u16string(out), c.want);
        EXPECT_EQ(g_scriptLeft, 0u);
    }
}

// Random codes pass the validation; masking them with every choice of parts gives codes
// that pass it too, keep the sex and carry a correct control character.
TEST(RulesIT, RandomAndMaskedCodesAreValid) {
    ScriptedSource s({});
    for (int i = 0; i < 3000; ++i) {
        char16_t code[17];
        ASSERT_EQ(RandomCodeIT(code), 0);
        ASSERT_EQ(ValidateCodeIT(code, 0), 0) << std::string(code, code + 16);
        char16_t check[17];
        std::copy(code, code + 17, check);
        SetControlChar(check);
        ASSERT_EQ(check[15], code[15]);
        for (uint32_t parts = 1; parts <= 7; ++parts) {
            char16_t out[17];
            ASSERT_EQ(MaskCodeIT(code, out, parts), 0);
            ASSERT_EQ(ValidateCodeIT(out, 0), 0) << std::string(out, out + 16) << " " << parts;
            ASSERT_EQ(code[9] >= u'4', out[9] >= u'4');
            std::copy(out, out + 17, check);
            SetControlChar(check);
            ASSERT_EQ(check[15], out[15]);
        }
    }
}

} // namespace

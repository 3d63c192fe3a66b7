// Operand parser: the map each tricky operand string gives, keyword lookup, and
// allocation failures at every point of a parse.
#include <gtest/gtest.h>

#include <string>

#include "exit/memory.h"
#include "exit/operands/operands.h"
#include "host/emul/utf.h"

namespace {

std::string Dump(const MAP* map);

// "long=value" per entry, sub-lists in parentheses, dropped entries as "#0".
std::string DumpEntry(const MAPENTRY& e) {
    if (e.KeywordId == 0) return "#0";
    std::string name = Utf16ToUtf8(KeywordTable[e.KeywordId - 1].LongName);
    if (e.IsList) return name + "=(" + Dump(e.Value.pList) + ")";
    return name + "=" + Utf16ToUtf8(e.Value.pStr);
}

std::string Dump(const MAP* map) {
    std::string s;
    for (int i = 0; i < map->Count; ++i) s += (i ? ";" : "") + DumpEntry(map->pEntries[i]);
    return s;
}

struct ParseCase {
    const char16_t* text;
    const char* map;
};

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, GivesTheMap) {
    MAP map{};
    ASSERT_EQ(ParseOperands(GetParam().text, &map, u',', u'='), 0);
    EXPECT_EQ(Dump(&map), GetParam().map) << Utf16ToUtf8(GetParam().text);
    FreeOperands(&map);
}

INSTANTIATE_TEST_SUITE_P(
    Operands, ParseTable,
    ::testing::Values(
        // keywords: long or short names, any case, blanks around them
        ParseCase{u"SWITCH=x", "switch=x"}, ParseCase{u"Swt=x", "switch=x"},
        ParseCase{u"swt = x", "switch=x"}, ParseCase{u"s w t=x", "switch=x"},
        ParseCase{u"sw=x", ""}, ParseCase{u"switchx=x", ""},
        ParseCase{u"switchswitchswitch=x", ""},
        // values: blanks and enclosing parentheses trimmed, inner blanks kept
        ParseCase{u"switch = ( x ) ", "switch=x"}, ParseCase{u"switch=((abc))", "switch=abc"},
        ParseCase{u"switch=x)", "switch=x)"}, ParseCase{u"switch=(x))", "switch=x)"},
        ParseCase{u"switch=", ""}, ParseCase{u"switch=  (( ", ""}, ParseCase{u"switch", ""},
        ParseCase{u"format=(FR=5X2C6X 2X)", "format=(france=5X2C6X 2X)"},
        // lists
        ParseCase{u"format=(FR=5X2C8X,IT=16X)", "format=(france=5X2C8X;italy=16X)"},
        ParseCase{u"format=5X2C8X", "format=5X2C8X"},
        ParseCase{u"switch=(a,b),method=mask", "#0;method=mask"},
        ParseCase{u"format=(FR=(a=1),IT=16X)", "format=(#0;italy=16X)"},
        ParseCase{u"format=(FR=(IT=(ES=1)))", "format=(#0)"},
        ParseCase{u"fmt=(spain=7X-1X,uk=2X-6X-1C)", "format=(spain=7X-1X;uk=2X-6X-1C)"},
        // a dropped pair does not lower the list mark: the next value counts as a list
        ParseCase{u"foo=(a=1),switch=x", "#0"},
        // separators
        ParseCase{u"debug=1,,status=2", "debug=1"}, ParseCase{u"debug=1,status=2,", "debug=1;status=2"},
        ParseCase{u",,,debug=1", "debug=1"},
        // unbalanced parenthesis loses its pair and what follows
        ParseCase{u"switch=x,format=(FR=1X9C5X", "switch=x"},
        ParseCase{u"switch=x,format=(FR=1X9C5X,debug=y", "switch=x"},
        // leading non-letters, blanks only, empty
        ParseCase{u"  ,;12= switch=x", "switch=x"}, ParseCase{u"     ", ""}, ParseCase{u"", ""},
        ParseCase{u"12,=;(34)", ""},
        // a keyword given twice gives two entries
        ParseCase{u"switch=x,swt=y", "switch=x;switch=y"},
        // more pairs than the first allocation holds
        ParseCase{u"debug=1,debug=2,debug=3,debug=4,debug=5,debug=6,debug=7",
                  "debug=1;debug=2;debug=3;debug=4;debug=5;debug=6;debug=7"}));

TEST(Operands, FindOperandReturnsTheFirstEntry) {
    MAP map{};
    ASSERT_EQ(ParseOperands(u"switch=x,swt=y", &map, u',', u'='), 0);
    MAPENTRY* e = nullptr;
    EXPECT_EQ(FindOperand(KW_SWITCH, &map, &e), 0);
    EXPECT_EQ(std::u16string(e->Value.pStr), u"x");
    EXPECT_EQ(FindOperand(KW_FORMAT, &map, &e), OPS_ABSENT);
    EXPECT_EQ(FindOperand(KW_SWITCH, nullptr, &e), OPS_MISSING);
    EXPECT_EQ(FindOperand(KW_SWITCH, &map, nullptr), 0);
    FreeOperands(&map);
}

TEST(Operands, MissingTextAndUsedMap) {
    MAP map{};
    EXPECT_EQ(ParseOperands(nullptr, &map, u',', u'='), 0);
    EXPECT_EQ(map.Capacity, 0);
    EXPECT_EQ(ParseOperands(u"switch=x", nullptr, u',', u'='), OPS_MISSING);
    ASSERT_EQ(ParseOperands(u"switch=x", &map, u',', u'='), 0);
    // a map that already has entries is left alone
    EXPECT_EQ(ParseOperands(u"debug=y", &map, u',', u'='), 0);
    EXPECT_EQ(Dump(&map), "switch=x");
    FreeOperands(&map);
}

TEST(Operands, LookupKeywordEveryNameAnyCase) {
    for (const KEYWORD& k : KeywordTable) {
        EXPECT_EQ(LookupKeyword(k.LongName), k.Id);
        EXPECT_EQ(LookupKeyword(k.ShortName), k.Id);
        std::u16string upper(k.LongName), lower(k.ShortName);
        for (auto& c : upper) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
        for (auto& c : lower) c = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        EXPECT_EQ(LookupKeyword(upper.c_str()), k.Id);
        EXPECT_EQ(LookupKeyword(lower.c_str()), k.Id);
    }
    EXPECT_EQ(LookupKeyword(u"sw"), -1);
    EXPECT_EQ(LookupKeyword(u""), -1);
    EXPECT_EQ(LookupKeyword(u"switch "), -1);
}

// Fails the n-th allocation from now on.
int g_allocsLeft = -1;
bool FailNth(size_t) { return g_allocsLeft < 0 || g_allocsLeft-- > 0; }

TEST(Operands, EveryAllocationFailureIsReportedAndCleanedUp) {
    const char16_t* text = u"switch=CTRY,format=(FR=15X,IT=16X,ES=7X-1X,UK=8X1C),debug=y,"
                           u"status=y,method=mask,validate=n,source=NID,ctry=x,st=y";
    int failures = 0;
    for (int n = 0; n < 64; ++n) {
        g_allocsLeft = n;
        ZtSetAllocHook(&FailNth);
        MAP map{};
        int rc = ParseOperands(text, &map, u',', u'=');
        ZtSetAllocHook(nullptr);
        EXPECT_TRUE(rc == 0 || rc == OPS_NOMEM) << rc;
        if (rc == OPS_NOMEM) ++failures;
        FreeOperands(&map); // the sanitizer build proves nothing leaks or is freed twice
    }
    EXPECT_GT(failures, 10);
}

TEST(Operands, HugeOperandStringsStayBounded) {
    std::u16string many;
    for (int i = 0; i < 40000; ++i) many += u"debug=y,";
    MAP map{};
    EXPECT_EQ(ParseOperands(many.c_str(), &map, u',', u'='), OPS_NOMEM);
    FreeOperands(&map);

    std::u16string deep = u"switch=" + std::u16string(20000, u'(') + u"x" + std::u16string(20000, u')');
    MAP map2{};
    EXPECT_EQ(ParseOperands(deep.c_str(), &map2, u',', u'='), 0);
    EXPECT_EQ(Dump(&map2), "switch=x");
    FreeOperands(&map2);
}

} // namespace

// Operand parser, keyword and format lookup, allocation failures at every point of a parse.
#include "exit/formats/formats.h"
#include "exit/memory.h"
#include "exit/operands/operands.h"
#include "framework/fake_countries.h"

namespace {

std::string Key(const MAPENTRY& e) { return Utf16ToUtf8(KeywordTable[e.KeywordId - 1].LongName); }

// "long=value" per entry, sub-lists in parentheses, dropped entries as "#0".
std::string Dump(const MAP* map) {
    std::string s;
    for (int i = 0; i < map->Count; ++i) {
        const MAPENTRY& e = map->pEntries[i];
        s += i ? ";" : "";
        if (e.KeywordId == 0) s += "#0";
        else if (e.IsList) s += Key(e) + "=(" + Dump(e.Value.pList) + ")";
        else s += Key(e) + "=" + Utf16ToUtf8(e.Value.pStr);
    }
    return s;
}

std::string Parse(const char16_t* text) {
    MAP map{};
    EXPECT_EQ(ParseOperands(text, &map, u',', u'='), 0);
    std::string s = Dump(&map);
    FreeOperands(&map);
    return s;
}

TEST(Operands, ParseGivesTheMap) {
    struct { const char16_t* text; const char* map; } cases[] = {
        // keywords: long or short names, any case, blanks around them
        {u"SWITCH=x", "switch=x"}, {u"Swt=x", "switch=x"}, {u"swt = x", "switch=x"},
        {u"s w t=x", "switch=x"}, {u"sw=x", ""}, {u"switchx=x", ""}, {u"switchswitchswitch=x", ""},
        // values: blanks and enclosing parentheses trimmed, inner blanks kept
        {u"switch = ( x ) ", "switch=x"}, {u"switch=((abc))", "switch=abc"}, {u"switch", ""},
        {u"switch=x)", "switch=x)"}, {u"switch=(x))", "switch=x)"}, {u"switch=", ""},
        {u"switch=  (( ", ""}, {u"format=(FR=5X2C6X 2X)", "format=(france=5X2C6X 2X)"},
        {u"format=(FR=5X2C8X,IT=16X)", "format=(france=5X2C8X;italy=16X)"},
        {u"format=5X2C8X", "format=5X2C8X"}, {u"switch=(a,b),method=mask", "#0;method=mask"},
        {u"format=(FR=(a=1),IT=16X)", "format=(#0;italy=16X)"},
        {u"format=(FR=(IT=(ES=1)))", "format=(#0)"},
        {u"fmt=(spain=7X-1X,uk=2X-6X-1C)", "format=(spain=7X-1X;uk=2X-6X-1C)"},
        // a dropped pair does not lower the list mark: the next value counts as a list
        {u"foo=(a=1),switch=x", "#0"},
        {u"debug=1,,status=2", "debug=1"}, {u"debug=1,status=2,", "debug=1;status=2"},
        {u",,,debug=1", "debug=1"},
        // an unbalanced parenthesis loses its pair and what follows
        {u"switch=x,format=(FR=1X9C5X", "switch=x"},
        {u"switch=x,format=(FR=1X9C5X,debug=y", "switch=x"},
        {u"  ,;12= switch=x", "switch=x"}, {u"     ", ""}, {u"", ""}, {u"12,=;(34)", ""},
        // a keyword given twice gives two entries; more pairs than the first allocation holds
        {u"switch=x,swt=y", "switch=x;switch=y"},
        {u"debug=1,debug=2,debug=3,debug=4,debug=5,debug=6,debug=7",
         "debug=1;debug=2;debug=3;debug=4;debug=5;debug=6;debug=7"}};
    for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.map) << Utf16ToUtf8(c.text);
}

TEST(Operands, FindOperandMissingTextAndUsedMap) {
    MAP map{};
    EXPECT_EQ(ParseOperands(nullptr, &map, u',', u'='), 0);
    EXPECT_EQ(map.Capacity, 0);
    EXPECT_EQ(ParseOperands(u"switch=x", nullptr, u',', u'='), OPS_MISSING);
    ASSERT_EQ(ParseOperands(u"switch=x,swt=y", &map, u',', u'='), 0);
    EXPECT_EQ(ParseOperands(u"debug=y", &map, u',', u'='), 0); // a used map is left alone
    EXPECT_EQ(Dump(&map), "switch=x;switch=y");
    MAPENTRY* e = nullptr;
    EXPECT_EQ(FindOperand(KW_SWITCH, &map, &e), 0);
    EXPECT_EQ(std::u16string(e->Value.pStr), u"x"); // the first entry
    EXPECT_EQ(FindOperand(KW_FORMAT, &map, &e), OPS_ABSENT);
    EXPECT_EQ(FindOperand(KW_SWITCH, nullptr, &e), OPS_MISSING);
    EXPECT_EQ(FindOperand(KW_SWITCH, &map, nullptr), 0);
    FreeOperands(&map);
}

TEST(Operands, LookupKeywordEveryNameAnyCase) {
    for (const KEYWORD& k : KeywordTable)
        for (std::u16string name : {k.LongName, k.ShortName}) {
            EXPECT_EQ(LookupKeyword(name.c_str()), k.Id) << Utf16ToUtf8(name);
            for (char16_t& c : name) c ^= (c | 32) >= u'a' && (c | 32) <= u'z' ? 32 : 0; // A-a
            EXPECT_EQ(LookupKeyword(name.c_str()), k.Id) << Utf16ToUtf8(name);
        }
    for (const char16_t* name : {u"sw", u"", u"switch "}) EXPECT_EQ(LookupKeyword(name), -1);
}

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
        failures += rc == OPS_NOMEM;
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
    std::u16string deep = u"switch=" + std::u16string(20000, u'(') + u"x";
    deep += std::u16string(20000, u')');
    EXPECT_EQ(Parse(deep.c_str()), "switch=x");
}

TEST(Formats, CountryFormatFindsTheCountrysDescriptor) {
    struct { const char16_t* operands; uint16_t country; int rc; const char16_t* descriptor; }
    cases[] = {
        {u"format=(FR=5X2C8X,IT=16X)", KW_FR, 0, u"5X2C8X"},
        {u"format=(FR=5X2C8X,IT=16X)", KW_IT, 0, u"16X"},
        {u"format=(FR=5X2C8X,IT=16X)", KW_ES, OPS_ABSENT, u""},
        {u"format=(france=5x2c8x)", KW_FR, 0, u"5x2c8x"}, {u"switch=x", KW_UK, OPS_ABSENT, u""},
        {u"format=(FR=5X2C8X )", KW_FR, 0, u"5X2C8X"},
        {u"format=5X2C8X", KW_FR, FMT_NOT_A_LIST, u""},
        // a list one level too deep is dropped: as if absent
        {u"fmt=(uk=(a=1,b=2),ES=8X)", KW_UK, OPS_ABSENT, u""},
        {u"fmt=(uk=(a=1,b=2),ES=8X)", KW_ES, 0, u"8X"}};
    for (const auto& c : cases) {
        MAP map{};
        ASSERT_EQ(ParseOperands(c.operands, &map, u',', u'='), 0);
        const char16_t* desc = nullptr;
        EXPECT_EQ(GetCountryFormat(c.country, &map, &desc), c.rc) << c.country;
        EXPECT_EQ(std::u16string(desc ? desc : u""), c.descriptor);
        FreeOperands(&map);
    }
    static const char16_t* const table[] = {u"8X", u"7X-1X", u"7X 1X"};
    struct { const char16_t* desc; int n, index; } finds[] = {
        {u"8X", 3, 0}, {u"7x-1x", 3, 1}, {u"7X 1X", 3, 2}, {u"7X-1X ", 3, -1}, {u"7X", 3, -1},
        {u"", 3, -1}, {u"8X", 0, -1}};
    for (const auto& f : finds) EXPECT_EQ(FindFormat(f.desc, table, f.n), f.index) << f.n;
}

} // namespace

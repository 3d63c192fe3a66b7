/*
** random_fr_test.cpp - the random method: scripted draws through the entry point, and
** the spread of real draws.
*/
#include <gtest/gtest.h>

#include <map>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

TEST(RandomFR, ScriptedDraws) {
    struct { const char16_t* format; int32_t destLength; std::vector<uint32_t> draws; std::string out; } cases[] = {
        {u"", 20, {0, 50, 4, 75, 111, 345}, "150057511234595"},
        {u"", 20, {8, 0, 0, 96, 0, 1, 2}, "700012B00200234"},
        {u",format=(FR=5X2C6X-2X)", 16, {9, 99, 11, 20, 5, 7}, "899122A006007-34"},
        {u",format=(FR=5X2C6X-2X)", 15, {9, 99, 11, 20, 5, 7}, "899122A00600734"},
        {u",format=(FR=13X 2X)", 30, {9, 99, 11, 20, 5, 7}, "899122A006007 34"},
        {u"", 20, {3, 1, 2, 20, 1, 5, 999}, "101032A006999"}, /* 2A/002 excluded: drawn again */
    };
    for (auto& k : cases) {
        auto m = frtest::NewMap(std::u16string(u"switch=\"FR,method=random") + k.format, k.destLength);
        frtest::ScriptedDraws draws(k.draws);
        auto r = m->row();
        std::string want = k.out.size() == 13 ? k.out + frtest::KeyOf(k.out) : k.out;
        EXPECT_EQ(r.rc, 0);
        EXPECT_TRUE(r.gets.empty());
        EXPECT_EQ(frtest::U8(r.put), want);
        EXPECT_EQ(frtest::ScriptedDraws::taken, k.draws.size()) << want;
    }
}

/* Sex 1 and 2 four times in ten, 7 and 8 once; each department index but 96 once in 97. */
TEST(RandomFR, Spread) {
    const int N = 40000;
    auto m = frtest::NewMap(u"switch=\"FR,method=random");
    std::map<char, int> sex;
    std::map<std::string, int> dept;
    for (int i = 0; i < N; ++i) {
        std::string v = frtest::U8(m->row().put);
        ++sex[v[0]];
        ++dept[v.substr(5, 2)];
    }
    const double share[] = {0.4, 0.4, 0.1, 0.1};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(sex["1278"[i]] / double(N), share[i], 0.015);
    EXPECT_EQ(dept.size(), 97u);
    EXPECT_EQ(dept.count("20") + dept.count("96"), 0u);
    for (auto& [d, n] : dept) EXPECT_NEAR(n / double(N), 1 / 97.0, 0.005) << d;
}

} // namespace

/*
** random_fr_test.cpp - the random method: scripted draw sequences through the entry
** point, and the shape and spread of real draws.
*/
#include <gtest/gtest.h>

#include <map>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

using frtest::NewMap;
using frtest::ScriptedDraws;

TEST(RandomFR, ScriptedDraws) {
    struct {
        const char16_t* ops;
        int32_t destLength;
        std::vector<uint32_t> draws;
        const char16_t* out;
    } cases[] = {
        {u"switch=\"FR,method=random", 20, {0, 50, 4, 75, 111, 345}, u"150057511234595"},
        {u"switch=\"FR,method=random", 20, {8, 0, 0, 96, 0, 1, 2}, u"700012B00200234"},
        {u"switch=\"FR,method=random,format=(FR=5X2C6X-2X)", 16, {9, 99, 11, 20, 5, 7}, u"899122A006007-34"},
        {u"switch=\"FR,method=random,format=(FR=5X2C6X-2X)", 15, {9, 99, 11, 20, 5, 7}, u"899122A00600734"},
        {u"switch=\"FR,method=random,format=(FR=13X 2X)", 30, {9, 99, 11, 20, 5, 7}, u"899122A006007 34"},
        /* the 2A commune 002 is excluded, so the commune is drawn again */
        {u"switch=\"FR,method=random", 20, {3, 1, 2, 20, 1, 5, 999}, u"101032A006999xx"},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(frtest::U8(k.ops));
        auto m = NewMap(k.ops, k.destLength);
        ScriptedDraws draws(k.draws);
        auto r = m->row();
        EXPECT_EQ(r.rc, 0);
        EXPECT_TRUE(r.gets.empty());
        std::u16string want = k.out;
        if (want.substr(13) == u"xx") want = want.substr(0, 13) + frtest::U16(frtest::KeyOf(frtest::U8(want)));
        EXPECT_EQ(r.put, want);
        EXPECT_EQ(ScriptedDraws::Taken(), k.draws.size());
        m->end();
    }
}

/* Real draws: every output well formed, the sex digits and departments spread as the
** weights say. */
TEST(RandomFR, ShapeAndSpread) {
    const int N = 40000;
    auto m = NewMap(u"switch=\"FR,method=random");
    std::map<char, int> sex;
    std::map<int, int> dept;
    for (int i = 0; i < N; ++i) {
        auto r = m->row();
        ASSERT_EQ(r.rc, 0);
        std::string v = frtest::U8(r.put);
        ASSERT_EQ(v.size(), 15u) << v;
        ++sex[v[0]];
        int d = v.substr(5, 2) == "2A" ? 20 : v.substr(5, 2) == "2B" ? 0 : std::stoi(v.substr(5, 2));
        ASSERT_FALSE(v.substr(5, 2) == "20" || d == DEPT_NONE) << v;
        ++dept[d];
        int month = std::stoi(v.substr(3, 2));
        ASSERT_TRUE(month >= 1 && month <= 12) << v;
        ASSERT_TRUE(IsValidCommuneFR(d, std::stoi(v.substr(7, 3)))) << v;
        ASSERT_EQ(v.substr(13), frtest::KeyOf(v)) << v;
    }
    EXPECT_NEAR(sex['1'] / double(N), 0.4, 0.02);
    EXPECT_NEAR(sex['2'] / double(N), 0.4, 0.02);
    EXPECT_NEAR(sex['7'] / double(N), 0.1, 0.01);
    EXPECT_NEAR(sex['8'] / double(N), 0.1, 0.01);
    EXPECT_EQ(dept.size(), 97u);
    for (auto& [d, n] : dept) { EXPECT_NEAR(n / double(N), 1 / 97.0, 0.006) << d; }
}

} // namespace

/*
** tables_fr_test.cpp - the department table and its operations: the stated facts of the
** table, validity and stepping examples, and termination for every department index.
*/
#include <gtest/gtest.h>

#include <set>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

std::vector<int> Excluded(int d) {
    const DEPTFR& r = DeptTableFR[d];
    return std::vector<int>(r.excluded, r.excluded + r.excludedCount);
}

std::vector<int> Head(const std::vector<int>& v, size_t n) { return std::vector<int>(v.begin(), v.begin() + n); }

bool Overseas(int c) {
    return (c >= 101 && c <= 134) || (c >= 201 && c <= 234) || (c >= 301 && c <= 314) || (c >= 351 && c <= 362) ||
           (c >= 401 && c <= 424);
}

/* The indices the commune routines accept. */
std::vector<int> Departments() {
    std::vector<int> v;
    for (int d = 0; d < DEPT_INDEX_COUNT; ++d)
        if (d != DEPT_NONE) v.push_back(d);
    return v;
}

TEST(DeptTableFR, StatedFacts) {
    EXPECT_EQ(DeptTableFR[0].maxCommune, 366);
    EXPECT_EQ(DeptTableFR[62].maxCommune, 909);
    EXPECT_EQ(DeptTableFR[DEPT_NONE].maxCommune, -1);
    EXPECT_EQ(Excluded(DEPT_NONE), std::vector<int>{65534});
    for (int d : {6, 13, 18, 34, 46, 75, 82, 84}) { EXPECT_EQ(Excluded(d), std::vector<int>{65535}) << d; }

    auto e0 = Excluded(0), e1 = Excluded(1), e20 = Excluded(20);
    EXPECT_EQ(e0.size(), 127u);
    EXPECT_EQ(Head(e0, 8), (std::vector<int>{1, 4, 6, 8, 11, 14, 17, 18}));
    EXPECT_EQ(e1.size(), 38u);
    EXPECT_EQ(Head(e1, 8), (std::vector<int>{3, 18, 20, 48, 55, 70, 86, 120}));
    EXPECT_GT(e20.size(), 363u / 2);
    EXPECT_EQ(Head(e20, 8), (std::vector<int>{2, 3, 5, 7, 9, 10, 12, 13}));
    EXPECT_EQ(Excluded(92), (std::vector<int>{1,  3,  5,  6,  8,  9,  10, 11, 13, 14, 15, 16, 17, 18, 21,
                                              27, 28, 29, 30, 31, 34, 37, 38, 39, 41, 42, 43, 45, 52, 53,
                                              54, 55, 56, 57, 58, 59, 61, 65, 66, 67, 68, 69, 70, 74}));
    for (int c = 1; c <= 424; ++c) { EXPECT_EQ(IsValidCommuneFR(DEPT_OVERSEAS, c), Overseas(c)) << c; }
    EXPECT_EQ(DeptTableFR[DEPT_OVERSEAS].excludedCount, 306);
}

/* Every list is strictly ascending within 1..maxCommune (or the one sentinel) and leaves
** at least one valid number, which the stepping and drawing loops rely on. */
TEST(DeptTableFR, ListsAreWellFormed) {
    for (int d : Departments()) {
        auto e = Excluded(d);
        ASSERT_FALSE(e.empty()) << d;
        int max = DeptTableFR[d].maxCommune;
        if (e == std::vector<int>{65535}) continue;
        for (size_t i = 0; i < e.size(); ++i) {
            EXPECT_GE(e[i], 1) << d;
            EXPECT_LE(e[i], max) << d;
            if (i) { EXPECT_LT(e[i - 1], e[i]) << d; }
        }
        EXPECT_LT(int(e.size()), max) << "no valid commune in " << d;
    }
}

TEST(CommuneFR, Validity) {
    struct { int d, c; bool valid; } cases[] = {
        {97, 135, false}, {97, 134, true}, {75, 120, true}, {75, 121, false}, {75, 0, false},
        {13, 119, true},  {13, 120, false}, {0, 1, false},  {0, 2, true},    {0, 44, true},
        {0, 76, true},    {0, 151, true},  {20, 6, true},   {20, 5, false},  {92, 78, true},
        {92, 74, false},  {57, 111, true}, {2, 5, true},    {96, 1, false},
    };
    for (auto& k : cases) { EXPECT_EQ(IsValidCommuneFR(k.d, k.c), k.valid) << k.d << "/" << k.c; }
}

TEST(CommuneFR, Stepping) {
    struct { int d, c; bool up; int want; } cases[] = {
        {13, 119, true, 1},  {13, 1, false, 119}, {97, 134, true, 201}, {97, 201, false, 134},
        {97, 424, true, 101}, {97, 101, false, 424}, {92, 500, true, 33}, {92, 17, true, 19},
        {92, 2, false, 78},  {75, 112, false, 111}, {57, 112, false, 111}, {20, 4, true, 6},
        {2, 4, true, 5},     {20, 15, true, 17},  {69, 123, false, 122},
    };
    for (auto& k : cases) {
        int got = k.up ? NextCommuneFR(k.d, k.c) : PrevCommuneFR(k.d, k.c);
        EXPECT_EQ(got, k.want) << k.d << "/" << k.c << (k.up ? " up" : " down");
    }
}

/* From every starting number 1..999 both steps end on a valid number of the index, and a
** step down undoes a step up. */
TEST(CommuneFR, SteppingEndsForEveryIndex) {
    for (int d : Departments()) {
        for (int c = 1; c <= 999; ++c) {
            int up = NextCommuneFR(d, c), down = PrevCommuneFR(d, c);
            ASSERT_TRUE(IsValidCommuneFR(d, up)) << d << "/" << c;
            ASSERT_TRUE(IsValidCommuneFR(d, down)) << d << "/" << c;
            if (IsValidCommuneFR(d, c)) { ASSERT_EQ(PrevCommuneFR(d, up), c) << d << "/" << c; }
        }
    }
}

/* Drawing ends for every index: the draws count up from 0, so each loop meets the
** lowest valid number; every draw then lands on a valid number. */
TEST(CommuneFR, DrawingEndsForEveryIndex) {
    for (int d : Departments()) {
        frtest::ScriptedDraws draws({});
        int c = RandomCommuneFR(d);
        EXPECT_TRUE(IsValidCommuneFR(d, c)) << d;
        int lowest = 1;
        while (!IsValidCommuneFR(d, lowest)) ++lowest;
        EXPECT_EQ(c, lowest) << d;
        EXPECT_EQ(frtest::ScriptedDraws::Taken(), size_t(lowest)) << d;
    }
    std::set<int> seen;
    for (int i = 0; i < 5000; ++i) {
        int c = RandomCommuneFR(DEPT_OVERSEAS);
        ASSERT_TRUE(Overseas(c)) << c;
        seen.insert(c);
    }
    EXPECT_GT(seen.size(), 100u); /* 116 valid numbers */
}

TEST(OrderPermFR, FiveNonIdentityOrders) {
    std::set<std::vector<int>> rows;
    for (auto& r : OrderPermFR) {
        std::vector<int> v(r, r + 3);
        EXPECT_NE(v, (std::vector<int>{1, 2, 3}));
        std::vector<int> s = v;
        std::sort(s.begin(), s.end());
        EXPECT_EQ(s, (std::vector<int>{1, 2, 3}));
        rows.insert(v);
    }
    EXPECT_EQ(rows.size(), 5u);
    EXPECT_EQ(std::vector<int>(OrderPermFR[4], OrderPermFR[4] + 3), (std::vector<int>{3, 2, 1}));
}

} // namespace

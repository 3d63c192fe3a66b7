/*
** tables_fr_test.cpp - the department table: the examples of validity and stepping, and
** for every department index, well-formed lists and loops that end on valid numbers.
*/
#include <gtest/gtest.h>

#include "countries/fr/fr.h"
#include "fr_test_util.h"

namespace {

TEST(CommuneFR, ValidityAndSteppingExamples) {
    struct { int d, c; char op; int want; } cases[] = { /* op: v valid, u step up, d step down */
        {97, 135, 'v', 0},  {97, 134, 'v', 1},   {75, 120, 'v', 1},  {75, 121, 'v', 0},  {13, 119, 'v', 1},
        {0, 1, 'v', 0},     {0, 44, 'v', 1},     {0, 76, 'v', 1},    {0, 151, 'v', 1},   {92, 74, 'v', 0},
        {13, 119, 'u', 1},  {13, 1, 'd', 119},   {97, 134, 'u', 201}, {97, 201, 'd', 134}, {97, 424, 'u', 101},
        {97, 101, 'd', 424}, {92, 500, 'u', 33}, {92, 17, 'u', 19},  {92, 2, 'd', 78},   {57, 112, 'd', 111},
        {20, 4, 'u', 6},    {2, 4, 'u', 5},      {20, 15, 'u', 17},  {69, 123, 'd', 122},
    };
    for (auto& k : cases) {
        int got = k.op == 'v' ? IsValidCommuneFR(k.d, k.c) : k.op == 'u' ? NextCommuneFR(k.d, k.c) : PrevCommuneFR(k.d, k.c);
        EXPECT_EQ(got, k.want) << k.d << "/" << k.c << " " << k.op;
    }
    EXPECT_EQ(DeptTableFR[0].excludedCount, 127);
    EXPECT_EQ(DeptTableFR[1].excludedCount, 38);
    EXPECT_EQ(DeptTableFR[92].excludedCount, 44);
}

/* Every index: lists strictly ascending inside 1..maxCommune (or one sentinel); from every
** start both steps end on the nearest valid number, found here one number at a time; a
** draw ends (the draws count up from 0, so it meets the lowest valid number). */
TEST(CommuneFR, EveryIndexStepsAndDrawsToValidNumbers) {
    for (int d = 0; d < DEPT_INDEX_COUNT; ++d) {
        if (d == DEPT_NONE) continue;
        const DEPTFR& r = DeptTableFR[d];
        for (int i = 0; i < r.excludedCount && r.excluded[0] != 65535; ++i) {
            ASSERT_TRUE(r.excluded[i] >= 1 && r.excluded[i] <= r.maxCommune) << d;
            if (i) { ASSERT_LT(r.excluded[i - 1], r.excluded[i]) << d; }
        }
        int m = r.maxCommune;
        for (int c = 1; c <= 999; ++c) {
            int up = c % m + 1, down = (c - 1) % m ? (c - 1) % m : m;
            while (!IsValidCommuneFR(d, up)) up = up % m + 1;
            while (!IsValidCommuneFR(d, down)) down = down > 1 ? down - 1 : m;
            ASSERT_EQ(NextCommuneFR(d, c), up) << d << "/" << c;
            ASSERT_EQ(PrevCommuneFR(d, c), down) << d << "/" << c;
        }
        frtest::ScriptedDraws draws({});
        int lowest = NextCommuneFR(d, r.maxCommune);
        EXPECT_EQ(RandomCommuneFR(d), lowest) << d;
        EXPECT_EQ(frtest::ScriptedDraws::taken, size_t(lowest)) << d;
    }
    for (int i = 0; i < 2000; ++i) {
        int c = RandomCommuneFR(DEPT_OVERSEAS);
        ASSERT_TRUE(IsValidCommuneFR(DEPT_OVERSEAS, c) && !(c >= 135 && c <= 200)) << c;
    }
}

} // namespace

// Seeded permutations and the random source seam.
#include <gtest/gtest.h>

#include <algorithm>

#include "exit/random/random.h"

namespace {

std::vector<int> Perm(int32_t seed, int32_t n) {
    uint16_t out[16] = {};
    PermuteFromSeed(seed, n, out);
    return std::vector<int>(out, out + n);
}

TEST(PermuteFromSeed, WorkedValuesAndAlwaysAPermutation) {
    EXPECT_EQ(Perm(5, 4), (std::vector<int>{2, 4, 3, 1}));
    EXPECT_EQ(Perm(23, 4), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_EQ(Perm(12, 6), (std::vector<int>{1, 4, 2, 3, 5, 6}));
    EXPECT_EQ(Perm(17, 4), Perm(5, 4)); // same remainders for 4, 3, 2
    EXPECT_EQ(Perm(987654, 1), std::vector<int>{1});
    for (int n = 1; n <= 15; ++n) {
        std::vector<int> id = Perm(0, n); // seed 0: the identity
        for (int i = 0; i < n; ++i) EXPECT_EQ(id[i], i + 1);
        for (int32_t seed : {1, 2, 3, 7, 100, 5039, 65535, 1 << 30, 2147483647}) {
            std::vector<int> p = Perm(seed, n);
            std::sort(p.begin(), p.end());
            EXPECT_EQ(p, id) << "seed " << seed;
        }
    }
}

uint32_t Seven() { return 7; }

TEST(RandomNumber, TestSourceReplacesTheSystemGenerator) {
    RandomSourceFn old = SetRandomSource(&Seven);
    EXPECT_EQ(RandomNumber(), 7u);
    SetRandomSource(old);
    uint32_t first = RandomNumber(); // the system generator: 64 draws are not all equal
    bool differs = false;
    for (int i = 0; i < 64; ++i) differs = differs || RandomNumber() != first;
    EXPECT_TRUE(differs);
}

} // namespace

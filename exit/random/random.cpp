/*
** random.cpp - random numbers and seeded permutations.
*/
#include "exit/random/random.h"

#include "platform/platform.h"

static RandomSourceFn g_source = nullptr;

RandomSourceFn SetRandomSource(RandomSourceFn fn) {
    RandomSourceFn old = g_source;
    g_source = fn;
    return old;
}

uint32_t RandomNumber() { return g_source ? g_source() : PlatformRandom32(); }

void PermuteFromSeed(int32_t seed, int32_t n, uint16_t* out) {
    enum { POOL = 16 };
    if (n < 1) return;
    if (n > POOL - 1) n = POOL - 1;
    /* Callers pass non-negative seeds; a negative one is taken by its magnitude. */
    uint32_t useed = seed < 0 ? 0u - uint32_t(seed) : uint32_t(seed);
    uint16_t pool[POOL];
    for (int i = 0; i < n; ++i) pool[i] = uint16_t(i + 1);
    int left = n;
    /* The same seed picks at every step, reduced by the size of what is left. */
    for (int i = 0; i < n - 1; ++i, --left) {
        int k = int(useed % uint32_t(left));
        out[i] = pool[k];
        for (int j = k; j < left - 1; ++j) pool[j] = pool[j + 1];
    }
    out[n - 1] = pool[0];
}

/*
** random.h - random numbers for the random method, permutations for the mask method.
*/
#ifndef ZT0NID_RANDOM_H
#define ZT0NID_RANDOM_H

#include <stdint.h>

/* One number from the operating system's secure generator (or the test source). */
uint32_t RandomNumber();

/* Fills out[0..n-1] with a permutation of 1..n that depends only on seed and n
** (1 <= n <= 15, seed >= 0). */
void PermuteFromSeed(int32_t seed, int32_t n, uint16_t* out);

/* Test seam: draws come from fn instead of the operating system; NULL restores it.
** Returns the previous source. */
typedef uint32_t (*RandomSourceFn)();
RandomSourceFn SetRandomSource(RandomSourceFn fn);

#endif

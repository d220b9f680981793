// support/random.h - the one program-wide pseudo-random generator.
//
// Seeded once (from the tick count, or --seed N for reproducible runs);
// random_int(n) is a uniform integer in 0..n-1, and 0 for n <= 0. The
// generator is a 64-bit Mersenne twister with a rejection-free multiply-shift
// reduction, so a seed gives the same sequence on every machine and build.
#pragma once

#include <cstdint>

void     random_seed(uint64_t seed);
uint32_t random_int(uint32_t n);

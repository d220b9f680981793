// support/random.h - the one program-wide pseudo-random generator.
//
// Seeded once (from the tick count, or --seed N for reproducible runs);
// random_int(n) is a uniform integer in 0..n-1, and 0 for n <= 0. The
// generator is a 64-bit Mersenne twister (the sequence of std::mt19937_64)
// with a rejection-free multiply-shift reduction, so a seed gives the same
// sequence on every machine and build. random_skip(n) leaves the generator as
// n draws of random_int with n > 0 would, in bounded time however large n is.
#pragma once

#include <cstdint>

void     random_seed(uint64_t seed);
uint32_t random_int(uint32_t n);
// As n calls of random_int with a non-zero argument, without their results.
void     random_skip(uint64_t draws);
// random_skip through the jump-ahead path whatever n (tests and benchmarks).
void     random_jump(uint64_t draws);

// The generator's whole state, to be put back later (work that must leave no
// trace, such as the shader warm-up before the show, draws and then restores).
struct random_saved {
    uint64_t x[312];
    int      p;
    bool     seeded;
};
random_saved random_save();
void         random_restore(const random_saved& saved);

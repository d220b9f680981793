// support/random.cpp - program-wide generator (see random.h).
#include "support/random.h"

#include <mutex>
#include <random>

static std::mt19937_64 random_engine(1);
static std::mutex      random_mutex;  // the audio thread draws too (random play mode)

void random_seed(uint64_t seed)
{
    std::lock_guard<std::mutex> lock(random_mutex);
    random_engine.seed(seed);
}

uint32_t random_int(uint32_t n)
{
    if (n == 0)
        return 0;
    std::lock_guard<std::mutex> lock(random_mutex);
    uint64_t r = random_engine() >> 32;
    return static_cast<uint32_t>((r * n) >> 32);
}

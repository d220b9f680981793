// support/random.cpp - program-wide generator (see random.h).
//
// The engine is MT19937-64, written out here rather than taken from
// std::mt19937_64 (whose sequence it reproduces draw for draw) so that its
// state can be jumped ahead: random_skip(n) must leave the generator exactly
// where n draws would, in time that does not grow with n, because a particle
// emitter can ask for two thousand million emissions in one step. The state is
// a ring of 312 words advanced one word per draw.
//
// Jumping uses the linearity of the generator over GF(2): with T the one-draw
// transition and phi its characteristic polynomial (degree 19937), T^n equals
// g(T) for g = x^n mod phi, applied to the state by Horner's rule (19937
// one-word steps and as many state additions). phi is found once, at the first
// jump, by Berlekamp-Massey over 2 x 19937 output bits; since phi is primitive
// every non-zero bit sequence of the generator has it as minimal polynomial.
// Computing x^n mod phi takes one squaring per bit of n (reduced eight bits at
// a time through a table) and is kept for the next jump of the same length;
// applying it is one Horner pass. Skips under a million draws simply draw.
#include "support/random.h"

#include <cstring>
#include <mutex>
#include <vector>

// --- types --------------------------------------------------------------------
namespace {

constexpr int      MT_N = 312;                        // state words
constexpr int      MT_M = 156;                        // middle word offset
constexpr uint64_t MT_A = 0xB5026F5AA96619E9ULL;      // twist matrix
constexpr uint64_t MT_UPPER = 0xFFFFFFFF80000000ULL;  // the 33 bits taken from x[k]
constexpr uint64_t MT_LOWER = 0x7FFFFFFFULL;          // the 31 bits taken from x[k + 1]
constexpr int      MT_DEGREE = 19937;                 // bits of state that matter
constexpr int      MT_POLY_WORDS = (MT_DEGREE + 63) / 64 + 1;
constexpr uint64_t RANDOM_JUMP_FROM = 1u << 20;       // shorter skips draw one by one

struct random_mt {
    uint64_t x[MT_N];  // ring of the last 312 words, x[p] the oldest
    int      p;        // ring position of the oldest word
};

using random_poly = std::vector<uint64_t>;  // GF(2) polynomial, bit i = coefficient of x^i

}  // namespace

// --- module state -------------------------------------------------------------
static random_mt   random_state;
static bool        random_seeded = false;
static random_poly random_phi;    // characteristic polynomial, found at the first jump
static std::vector<random_poly> random_table;  // its byte reduction table
static uint64_t    random_last_jump = 0;       // the jump random_last_poly makes
static random_poly random_last_poly;           // x^random_last_jump mod phi
static std::mutex  random_mutex;  // the audio thread draws too (random play mode)

// --- internal helpers ---------------------------------------------------------
static void random_mt_seed(random_mt& s, uint64_t seed)
{
    s.x[0] = seed;
    for (int i = 1; i < MT_N; ++i)
        s.x[i] = 6364136223846793005ULL * (s.x[i - 1] ^ (s.x[i - 1] >> 62)) + static_cast<uint64_t>(i);
    s.p = 0;
}

// One draw before tempering: the new word, which replaces the oldest.
static uint64_t random_mt_step(random_mt& s)
{
    int p = s.p;
    int p1 = p + 1 == MT_N ? 0 : p + 1;
    int pm = p + MT_M >= MT_N ? p + MT_M - MT_N : p + MT_M;
    uint64_t y = (s.x[p] & MT_UPPER) | (s.x[p1] & MT_LOWER);
    uint64_t v = s.x[pm] ^ (y >> 1) ^ ((y & 1) ? MT_A : 0);
    s.x[p] = v;
    s.p = p1;
    return v;
}

static uint64_t random_mt_temper(uint64_t v)
{
    v ^= (v >> 29) & 0x5555555555555555ULL;
    v ^= (v << 17) & 0x71D67FFFEDA60000ULL;
    v ^= (v << 37) & 0xFFF7EEE000000000ULL;
    v ^= v >> 43;
    return v;
}

static uint64_t random_mt_next(random_mt& s)
{
    return random_mt_temper(random_mt_step(s));
}

static bool random_poly_bit(const random_poly& a, size_t i)
{
    return (a[i >> 6] >> (i & 63)) & 1;
}

// a ^= b << shift, within a's size.
static void random_poly_add_shifted(random_poly& a, const random_poly& b, size_t shift, size_t b_words)
{
    size_t w = shift >> 6, r = shift & 63;
    for (size_t i = 0; i < b_words && i + w < a.size(); ++i) {
        a[i + w] ^= b[i] << r;
        if (r && i + w + 1 < a.size())
            a[i + w + 1] ^= b[i] >> (64 - r);
    }
}

// 64 bits of the bit array from bit offset off (zeros past its end).
static uint64_t random_bits_at(const random_poly& bits, size_t off)
{
    size_t w = off >> 6, r = off & 63;
    uint64_t lo = w < bits.size() ? bits[w] : 0;
    if (r == 0)
        return lo;
    uint64_t hi = w + 1 < bits.size() ? bits[w + 1] : 0;
    return (lo >> r) | (hi << (64 - r));
}

// The characteristic polynomial from the low bits of 2 x 19937 draws, by
// Berlekamp-Massey; empty when the degree is not the expected one.
static random_poly random_find_phi()
{
    const size_t count = 2 * MT_DEGREE + 64, words = count / 64 + 2;
    random_mt s;
    random_mt_seed(s, 5489);
    random_poly rev(words, 0);  // bit count-1-t holds bit t of the sequence
    for (size_t t = 0; t < count; ++t)
        if (random_mt_step(s) & 1) {
            size_t r = count - 1 - t;
            rev[r >> 6] |= uint64_t(1) << (r & 63);
        }
    random_poly c(words, 0), b(words, 0), keep;
    c[0] = b[0] = 1;
    size_t len = 0, m = 1;
    for (size_t n = 0; n < count; ++n) {
        uint64_t d = 0;
        size_t off = count - 1 - n;
        for (size_t w = 0; w <= len / 64; ++w)
            d ^= c[w] & random_bits_at(rev, off + 64 * w);
        if (!(__builtin_popcountll(d) & 1)) {
            ++m;
            continue;
        }
        if (2 * len <= n) {
            keep = c;
            random_poly_add_shifted(c, b, m, words);
            len = n + 1 - len;
            b.swap(keep);
            m = 1;
        } else {
            random_poly_add_shifted(c, b, m, words);
            ++m;
        }
    }
    if (len != static_cast<size_t>(MT_DEGREE))
        return {};
    random_poly phi(MT_POLY_WORDS, 0);  // reversed connection polynomial
    for (size_t j = 0; j <= len; ++j)
        if (random_poly_bit(c, len - j))
            phi[j >> 6] |= uint64_t(1) << (j & 63);
    return phi;
}

// Bits [at, at + 8) of a as a byte.
static unsigned random_poly_byte(const random_poly& a, size_t at)
{
    return static_cast<unsigned>(random_bits_at(a, at) & 0xFF);
}

// reduce[v] = (v x^19937) mod phi for every byte v: a reduction then clears
// eight top bits with one shifted addition.
static std::vector<random_poly> random_reduce_table(const random_poly& phi)
{
    std::vector<random_poly> table(256, random_poly(MT_POLY_WORDS, 0));
    random_poly power = phi;  // x^19937 mod phi: phi without its top term
    power[MT_DEGREE >> 6] &= ~(uint64_t(1) << (MT_DEGREE & 63));
    for (int b = 0; b < 8; ++b) {
        table[1u << b] = power;
        bool top = random_poly_bit(power, MT_DEGREE - 1);
        random_poly next(MT_POLY_WORDS, 0);
        random_poly_add_shifted(next, power, 1, MT_POLY_WORDS);
        next[MT_DEGREE >> 6] &= ~(uint64_t(1) << (MT_DEGREE & 63));
        if (top)
            for (size_t w = 0; w < static_cast<size_t>(MT_POLY_WORDS); ++w)
                next[w] ^= table[1][w];
        power.swap(next);
    }
    for (unsigned v = 1; v < 256; ++v)
        if (v & (v - 1))
            for (size_t w = 0; w < static_cast<size_t>(MT_POLY_WORDS); ++w)
                table[v][w] = table[v & (v - 1)][w] ^ table[v & -v][w];
    return table;
}

// a mod phi, eight bits at a time from the top, into MT_POLY_WORDS words.
static void random_poly_reduce(random_poly& a, const std::vector<random_poly>& table)
{
    size_t bits = a.size() * 64;
    if (bits > static_cast<size_t>(MT_DEGREE))
        for (size_t s = (bits - MT_DEGREE) / 8 * 8 + 8; s >= 8;) {
            s -= 8;
            unsigned v = random_poly_byte(a, MT_DEGREE + s);
            if (v == 0)
                continue;
            for (size_t b = 0; b < 8; ++b) {
                size_t i = MT_DEGREE + s + b;
                if (i < bits)
                    a[i >> 6] &= ~(uint64_t(1) << (i & 63));
            }
            random_poly_add_shifted(a, table[v], s, MT_POLY_WORDS);
        }
    a.resize(MT_POLY_WORDS);
}

// x^n mod phi, by squaring and multiplying by x from the top bit of n down.
static random_poly random_poly_power(uint64_t n, const std::vector<random_poly>& table)
{
    random_poly g(MT_POLY_WORDS, 0);
    g[0] = 1;
    int top = 63;
    while (top >= 0 && !((n >> top) & 1))
        --top;
    for (int bit = top; bit >= 0; --bit) {
        random_poly sq(2 * MT_POLY_WORDS, 0);
        for (size_t i = 0; i < static_cast<size_t>(MT_POLY_WORDS); ++i)
            for (uint64_t w = g[i]; w; w &= w - 1) {
                size_t j = 2 * (64 * i + static_cast<size_t>(__builtin_ctzll(w)));
                sq[j >> 6] |= uint64_t(1) << (j & 63);
            }
        random_poly_reduce(sq, table);
        g.swap(sq);
        if ((n >> bit) & 1) {
            random_poly shifted(MT_POLY_WORDS + 1, 0);
            random_poly_add_shifted(shifted, g, 1, MT_POLY_WORDS);
            random_poly_reduce(shifted, table);
            g.swap(shifted);
        }
    }
    return g;
}

// s = g(T) s by Horner's rule over copies of the state.
static void random_mt_apply(random_mt& s, const random_poly& g)
{
    random_mt acc;
    std::memset(&acc, 0, sizeof acc);
    for (size_t i = static_cast<size_t>(MT_DEGREE) + 1; i-- > 0;) {
        random_mt_step(acc);
        if (random_poly_bit(g, i))
            for (int k = 0, a = acc.p, b = s.p; k < MT_N; ++k) {
                acc.x[a] ^= s.x[b];
                a = a + 1 == MT_N ? 0 : a + 1;
                b = b + 1 == MT_N ? 0 : b + 1;
            }
    }
    s = acc;
}

static void random_ensure_seeded()
{
    if (!random_seeded) {
        random_mt_seed(random_state, 1);
        random_seeded = true;
    }
}

// Advances by n draws through the characteristic polynomial; false when it is unknown.
static bool random_jump_locked(uint64_t n)
{
    if (random_phi.empty()) {
        random_phi = random_find_phi();
        if (random_phi.empty())
            return false;
        random_table = random_reduce_table(random_phi);
    }
    // An emitter asks for the same jump step after step: keep the last one.
    if (random_last_poly.empty() || random_last_jump != n) {
        random_last_poly = random_poly_power(n, random_table);
        random_last_jump = n;
    }
    random_mt_apply(random_state, random_last_poly);
    return true;
}

// --- public functions ---------------------------------------------------------
void random_seed(uint64_t seed)
{
    std::lock_guard<std::mutex> lock(random_mutex);
    random_mt_seed(random_state, seed);
    random_seeded = true;
}

uint32_t random_int(uint32_t n)
{
    if (n == 0)
        return 0;
    std::lock_guard<std::mutex> lock(random_mutex);
    random_ensure_seeded();
    uint64_t r = random_mt_next(random_state) >> 32;
    return static_cast<uint32_t>((r * n) >> 32);
}

void random_skip(uint64_t draws)
{
    std::lock_guard<std::mutex> lock(random_mutex);
    random_ensure_seeded();
    if (draws >= RANDOM_JUMP_FROM && random_jump_locked(draws))
        return;
    for (uint64_t i = 0; i < draws; ++i)
        random_mt_step(random_state);
}

void random_jump(uint64_t draws)
{
    std::lock_guard<std::mutex> lock(random_mutex);
    random_ensure_seeded();
    if (draws == 0 || !random_jump_locked(draws))
        for (uint64_t i = 0; i < draws; ++i)
            random_mt_step(random_state);
}

random_saved random_save()
{
    std::lock_guard<std::mutex> lock(random_mutex);
    random_saved saved{};
    static_assert(sizeof saved.x == sizeof random_state.x);
    std::memcpy(saved.x, random_state.x, sizeof saved.x);
    saved.p = random_state.p;
    saved.seeded = random_seeded;
    return saved;
}

void random_restore(const random_saved& saved)
{
    std::lock_guard<std::mutex> lock(random_mutex);
    std::memcpy(random_state.x, saved.x, sizeof saved.x);
    random_state.p = saved.p >= 0 && saved.p < MT_N ? saved.p : 0;
    random_seeded = saved.seeded;
}

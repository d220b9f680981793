// support/numparse.cpp - integer and float conversion (see numparse.h).
#include "support/numparse.h"

#include <cstdlib>
#include <string>

// --- internal helpers ---------------------------------------------------------
static size_t numparse_skip_blanks(std::string_view t, size_t i)
{
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t'))
        ++i;
    return i;
}

static int numparse_digit(char c, int base)
{
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

// --- public functions ---------------------------------------------------------
bool numparse_int(std::string_view t, int32_t& value)
{
    size_t i = numparse_skip_blanks(t, 0);
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16, ++i;
    } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16, i += 2;
    } else if (i < t.size() && t[i] == '%') {
        base = 2, ++i;
    } else if (i < t.size() && t[i] == '&') {
        base = 8, ++i;
    }
    if (i >= t.size())
        return false;
    uint64_t limit = base == 10 ? (negative ? 2147483648ull : 2147483647ull) : 0xFFFFFFFFull;
    uint64_t v = 0;
    for (; i < t.size(); ++i) {
        int d = numparse_digit(t[i], base);
        if (d < 0)
            return false;
        v = v * base + d;
        if (v > limit)
            return false;
    }
    uint32_t bits = static_cast<uint32_t>(v);
    if (negative)
        bits = 0u - bits;
    value = static_cast<int32_t>(bits);
    return true;
}

bool numparse_double(std::string_view t, long double& value)
{
    size_t i = numparse_skip_blanks(t, 0);
    size_t start = i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9')
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        size_t exp_digits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i, ++exp_digits;
        if (exp_digits == 0)
            return false;
    }
    if (i != t.size())
        return false;
    std::string s(t.substr(start));
    value = std::strtold(s.c_str(), nullptr);
    return true;
}

bool numparse_float(std::string_view t, float& value)
{
    long double v;
    if (!numparse_double(t, v))
        return false;
    value = static_cast<float>(v);
    return true;
}

int32_t numparse_int_or_zero(std::string_view text)
{
    int32_t v;
    return numparse_int(text, v) ? v : 0;
}

float numparse_float_or_zero(std::string_view text)
{
    float v;
    return numparse_float(text, v) ? v : 0.0f;
}

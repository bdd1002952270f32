// Bit-for-bit comparison of a fast block's output with the reference loop's.
#pragma once

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <type_traits>
#include <limits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

// Passes when the two arrays hold the same bits; otherwise names the first
// differing index and both values in hexadecimal. Two NaNs count as the same:
// which NaN an operation on two NaNs passes on depends on the order in which
// the compiler places the operands of an addition or multiplication, which
// neither the language nor the source fixes.
template <typename T>
testing::AssertionResult SameBits(const T *fast, const T *reference, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (std::memcmp(&fast[i], &reference[i], sizeof(T)) == 0)
            continue;
        if constexpr (std::is_floating_point_v<T>)
            if (std::isnan(fast[i]) && std::isnan(reference[i]))
                continue;
        uint64_t a = 0, b = 0;
        std::memcpy(&a, &fast[i], sizeof(T));
        std::memcpy(&b, &reference[i], sizeof(T));
        char text[128];
        std::snprintf(text, sizeof text, "first difference at %zu: fast %016" PRIx64 ", reference %016" PRIx64, i, a, b);
        return testing::AssertionFailure() << text;
    }
    return testing::AssertionSuccess();
}

template <typename T>
testing::AssertionResult SameBits(const std::vector<T> &fast, const std::vector<T> &reference)
{
    if (fast.size() != reference.size())
        return testing::AssertionFailure() << "lengths " << fast.size() << " and " << reference.size();
    return SameBits(fast.data(), reference.data(), fast.size());
}

// Random block lengths from 1 up to `longest` that add up to `total`.
inline std::vector<int> RandomSplits(int total, int longest, std::mt19937 &random)
{
    std::vector<int> splits;
    std::uniform_int_distribution<int> length(1, longest);
    for (int done = 0; done < total;) {
        const int piece = std::min(length(random), total - done);
        splits.push_back(piece);
        done += piece;
    }
    return splits;
}

// Uniform samples in [-spread, spread], with about one in `rare` replaced by
// NaN, +inf or -inf when rare > 0.
inline std::vector<double> RandomSamples(size_t count, double spread, int rare, std::mt19937 &random)
{
    std::uniform_real_distribution<double> value(-spread, spread);
    std::uniform_int_distribution<int> pick(0, rare > 0 ? rare - 1 : 0);
    const double special[3] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};
    std::vector<double> samples(count);
    for (double &s : samples)
        s = rare > 0 && pick(random) == 0 ? special[random() % 3] : value(random);
    return samples;
}

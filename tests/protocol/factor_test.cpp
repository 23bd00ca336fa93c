// Synthesizer divider search: the exact grids, the tolerance search, and a
// sweep over the tuning range checked against exact integer arithmetic.
#include "protocol/factor.h"

#include "protocol/radiostate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>

namespace {

struct Pair {
    int r = -1;
    int n = -1;
    bool operator==(const Pair&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Pair& p) {
    return os << "R " << p.r << ", N " << p.n;
}

// Error of N * XTAL / R against f + MIXER, in hertz, from integers.
double errorHz(int f, const Pair& p) {
    const std::int64_t vco = std::int64_t{f} + MIXER;
    const std::int64_t diff = std::int64_t{p.n} * XTAL - vco * p.r;
    return static_cast<double>(std::llabs(diff)) / p.r;
}

TEST(Factor, GridFrequenciesTakeTheExactFastPaths) {
    const std::pair<int, Pair> cases[] = {
        {15000000, {1432, 24000}}, {7001250, {2864, 41601}},  {14074000, {3580, 59074}},
        {100000, {1432, 18040}},   {30000000, {1432, 30000}}, {20534000, {3580, 65534}},
    };
    for (const auto& [f, expected] : cases) {
        Pair p;
        ASSERT_TRUE(factor(f, &p.r, &p.n)) << f;
        EXPECT_EQ(p, expected) << f;
        EXPECT_EQ(errorHz(f, p), 0.0) << f;
    }
}

TEST(Factor, OffGridFrequenciesAreSearched) {
    const std::pair<int, Pair> cases[] = {
        {20536000, {1790, 32768}}, // on the 1000 Hz grid but above its limit
        {7000100, {1788, 25971}},  // error about 0.67 Hz
        {7000001, {1432, 20800}},  // error exactly 1 Hz: accepted at about 1.1
        {101392, {5201, 65523}},   // the largest R the search allows for it
    };
    for (const auto& [f, expected] : cases) {
        Pair p;
        ASSERT_TRUE(factor(f, &p.r, &p.n)) << f;
        EXPECT_EQ(p, expected) << f;
    }
    Pair p;
    factor(20536000, &p.r, &p.n);
    EXPECT_EQ(errorHz(20536000, p), 0.0);
    factor(7000001, &p.r, &p.n);
    EXPECT_DOUBLE_EQ(errorHz(7000001, p), 1.0);
}

TEST(Factor, UnreachableFrequenciesStoreNothing) {
    for (int f : {4608515, 16371386}) {
        Pair p;
        EXPECT_FALSE(factor(f, &p.r, &p.n)) << f;
        EXPECT_EQ(p, Pair{}) << f;
    }
}

TEST(Factor, TargetsAtOrBelowZeroAreRefused) {
    for (int f : {-MIXER, -MIXER - 2500, std::numeric_limits<int>::min()}) {
        Pair p;
        EXPECT_FALSE(factor(f, &p.r, &p.n)) << f;
        EXPECT_EQ(p, Pair{});
    }
}

// True when some divider pair within the search limits comes strictly
// within 5 Hz; an oracle independent of the search order.
bool anyPairWithin5Hz(int f) {
    const std::int64_t vco = std::int64_t{f} + MIXER;
    for (std::int64_t r = R2500; r <= 32767; ++r) {
        const std::int64_t n = (vco * r + XTAL / 2) / XTAL; // nearest
        if (n < 40 || n > 65534)
            continue;
        if (static_cast<double>(std::llabs(n * XTAL - vco * r)) / r < 4.999)
            return true;
    }
    return false;
}

void checkSweep(int f) {
    Pair p;
    const bool found = factor(f, &p.r, &p.n);
    const bool grid = f % 2500 == 0 || f % 1250 == 0 || (f <= 20535000 && f % 1000 == 0);
    if (grid) {
        ASSERT_TRUE(found) << f;
        EXPECT_EQ(errorHz(f, p), 0.0) << f << ": " << p;
        return;
    }
    if (!found) {
        EXPECT_FALSE(anyPairWithin5Hz(f)) << f << " was refused but has a pair";
        return;
    }
    EXPECT_LT(errorHz(f, p), 5.0) << f << ": " << p;
    EXPECT_GE(p.r, R2500) << f;
    EXPECT_LE(p.r, 32767) << f;
    EXPECT_GE(p.n, 40) << f;
    EXPECT_LE(p.n, 65534) << f;
}

TEST(Factor, SweepOverTheTuningRange) {
    int count = 2000;
    if (const char* s = std::getenv("VELKOR_FACTOR_SWEEP"))
        count = std::atoi(s);
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> anywhere(MIN_FREQUENCY, MAX_FREQUENCY);
    for (int i = 0; i < count; ++i) {
        const int f = anywhere(rng);
        checkSweep(f);
        // Neighbours of grid points, and the grid points themselves.
        checkSweep(f - f % 2500);
        checkSweep(f - f % 1000 + 1);
    }
    for (int f : {100000, 100001, 29999999, 30000000, 20535000, 20535001, 20536000})
        checkSweep(f);
}

} // namespace

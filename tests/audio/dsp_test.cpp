// Upsampler, decimator and the interpolation filters: coefficients, counts,
// extents, impulse and constant responses, in-place use, and agreement of
// the polyphase and direct forms.
#include "audio/dsp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr float SENTINEL = -1234.5f;

using Filter = void (*)(float*, const float*, int);

struct Kernel {
    const char* name;
    int l;          // interpolation factor
    const float* h; // N = 4L taps
    Filter polyphase;
    Filter direct;
};

const Kernel kernels[] = {
    {"N32L8", 8, fC32.data(), polyphaseFirN32L8, firN32},
    {"N64L16", 16, fC64.data(), polyphaseFirN64L16, firN64},
};

// v at every multiple of l, zero between, over n samples.
std::vector<float> zeroStuffed(int n, int l, std::mt19937& rng) {
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> x(static_cast<std::size_t>(n), 0.0f);
    for (int k = 0; k < n; k += l)
        x[static_cast<std::size_t>(k)] = value(rng);
    return x;
}

TEST(Coefficients, KernelShape) {
    EXPECT_EQ(fC64[32], 1.0f);
    EXPECT_EQ(fC64[0], 0.0f);
    EXPECT_EQ(fC64[16], 0.0f);
    EXPECT_EQ(fC64[48], 0.0f);
    EXPECT_EQ(fC64[1], -0.00239605f);
    EXPECT_EQ(fC64[11], -0.124590926f);
    EXPECT_EQ(fC64[31], 0.9927887f);
    for (int d = 1; d <= 31; ++d)
        EXPECT_EQ(fC64[32 + d], fC64[32 - d]) << d;
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ(fC32[k], fC64[2 * k]) << k;

    // Close to c(1 + c)/2, c = cos(pi(n - 32)/32): catches a mistyped value.
    for (int n = 0; n < 64; ++n) {
        const double c = std::cos(std::numbers::pi * (n - 32) / 32.0);
        EXPECT_NEAR(fC64[n], c * (1 + c) / 2, 1e-7) << n;
    }
}

TEST(Coefficients, GainAndBranchesSumToOne) {
    for (const Kernel& k : kernels) {
        double total = 0;
        for (int i = 0; i < 4 * k.l; ++i)
            total += k.h[i];
        EXPECT_NEAR(total, k.l, 1e-6) << k.name;
        for (int p = 0; p < k.l; ++p) {
            const double branch = double(k.h[k.l - 1 - p]) + k.h[2 * k.l - 1 - p] +
                                  k.h[3 * k.l - 1 - p] + k.h[4 * k.l - 1 - p];
            EXPECT_NEAR(branch, 1.0, 3e-8) << k.name << " phase " << p;
        }
    }
}

TEST(Resize, UpsampleZeroStuffsAndWritesExactlyMTimesL) {
    struct Case {
        int m, l;
    };
    for (auto [m, l] : {Case{256, 8}, Case{404, 16}, Case{5, 1}, Case{0, 8}, Case{-3, 8}}) {
        std::vector<float> x(static_cast<std::size_t>(std::max(m, 0)));
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float>(i + 1);
        const int written = std::max(m, 0) * l;
        std::vector<float> y(static_cast<std::size_t>(written + 4), SENTINEL);
        upsample(y.data(), x.data(), m, l);
        for (int i = 0; i < written; ++i)
            ASSERT_EQ(y[i], i % l ? 0.0f : static_cast<float>(i / l + 1)) << m << "/" << l;
        for (std::size_t i = static_cast<std::size_t>(written); i < y.size(); ++i)
            EXPECT_EQ(y[i], SENTINEL) << m << "/" << l << " wrote " << i;
    }
}

TEST(Resize, DecimateKeepsEveryNthAndWritesCeilMOverN) {
    struct Case {
        int m, n, written;
    };
    for (auto [m, n, written] : {Case{2020, 5, 404}, Case{6400, 25, 256}, Case{7, 1, 7},
                                 Case{6401, 25, 257}, Case{0, 5, 0}, Case{-1, 5, 0}}) {
        std::vector<float> x(static_cast<std::size_t>(std::max(m, 0)));
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = static_cast<float>(i);
        std::vector<float> y(static_cast<std::size_t>(written + 4), SENTINEL);
        decimate(y.data(), x.data(), m, n);
        for (int k = 0; k < written; ++k)
            ASSERT_EQ(y[k], static_cast<float>(k * n)) << m << "/" << n;
        for (std::size_t i = static_cast<std::size_t>(written); i < y.size(); ++i)
            EXPECT_EQ(y[i], SENTINEL) << m << "/" << n << " wrote " << i;
    }
}

TEST(Polyphase, ImpulseResponseIsTheKernelReversedAndDelayed) {
    for (const Kernel& k : kernels) {
        const int n = 4 * k.l;
        const int P = 6 * k.l;
        const int m = 10 * k.l;
        std::vector<float> x(static_cast<std::size_t>(m + 3 * k.l), 0.0f);
        x[static_cast<std::size_t>(P)] = 1.0f;
        std::vector<float> y(static_cast<std::size_t>(m));
        k.polyphase(y.data(), x.data(), m);
        for (int i = 0; i < m; ++i) {
            const int tap = P - i + k.l - 1;
            EXPECT_EQ(y[i], tap >= 0 && tap < n ? k.h[tap] : 0.0f) << k.name << " output " << i;
        }
        EXPECT_EQ(y[static_cast<std::size_t>(P - k.l - 1)], 1.0f) << k.name;
    }
}

TEST(Polyphase, ConstantInConstantOut) {
    for (const Kernel& k : kernels) {
        for (float v : {1.0f, -0.75f, 32767.0f / 32768.0f}) {
            const int m = 20 * k.l;
            std::vector<float> x(static_cast<std::size_t>(m + 3 * k.l), 0.0f);
            for (std::size_t i = 0; i < x.size(); i += static_cast<std::size_t>(k.l))
                x[i] = v;
            std::vector<float> y(static_cast<std::size_t>(m));
            k.polyphase(y.data(), x.data(), m);
            for (int i = 0; i < m; ++i)
                ASSERT_NEAR(y[i], v, 1.2e-7) << k.name << " output " << i;
        }
    }
}

TEST(Polyphase, InPlaceEqualsSeparateArrays) {
    std::mt19937 rng(1);
    for (const Kernel& k : kernels) {
        // Not zero-stuffed: the values between the block inputs must not
        // matter, and the in-place call overwrites them as it goes.
        const int m = 2020;
        std::vector<float> x(static_cast<std::size_t>(m + 4 * k.l));
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (float& v : x)
            v = value(rng);
        std::vector<float> separate(x.size(), SENTINEL);
        k.polyphase(separate.data(), x.data(), m);
        std::vector<float> inPlace = x;
        k.polyphase(inPlace.data(), inPlace.data(), m);
        const std::size_t written = (m + k.l - 1) / k.l * k.l;
        EXPECT_EQ(std::memcmp(separate.data(), inPlace.data(), written * sizeof(float)), 0)
            << k.name;
    }
}

TEST(Polyphase, EqualsDirectFormOnZeroStuffedInputDelayedByLMinusOne) {
    std::mt19937 rng(2);
    for (const Kernel& k : kernels) {
        const int n = 4 * k.l;
        const int m = 40 * k.l;
        std::vector<float> x = zeroStuffed(m + n, k.l, rng);
        std::vector<float> poly(static_cast<std::size_t>(m));
        k.polyphase(poly.data(), x.data(), m);
        std::vector<float> direct(static_cast<std::size_t>(m));
        k.direct(direct.data(), x.data(), m);
        for (int i = k.l - 1; i < m; ++i)
            ASSERT_NEAR(poly[i], direct[i - (k.l - 1)], 2e-6) << k.name << " output " << i;
    }
}

// The sizes the resampler uses, with the input sized to exactly what the
// filter may read (an address sanitizer build catches a read beyond it) and
// sentinels after the outputs.
TEST(Polyphase, WritesWholeBlocksAndNothingBeyond) {
    struct Case {
        Filter f;
        int l, m, written, lastRead;
    };
    for (auto [f, l, m, written, lastRead] :
         {Case{polyphaseFirN32L8, 8, 2020, 2024, 2040},
          Case{polyphaseFirN64L16, 16, 6400, 6400, 6432}, Case{polyphaseFirN32L8, 8, 1, 8, 24},
          Case{polyphaseFirN64L16, 16, 0, 0, -1}}) {
        std::vector<float> x(static_cast<std::size_t>(lastRead + 1), 0.5f);
        std::vector<float> y(static_cast<std::size_t>(written + 2 * l), SENTINEL);
        f(y.data(), x.data(), m);
        for (int i = 0; i < written; ++i)
            ASSERT_NE(y[i], SENTINEL) << "L" << l << " m " << m << " output " << i;
        for (std::size_t i = static_cast<std::size_t>(written); i < y.size(); ++i)
            ASSERT_EQ(y[i], SENTINEL) << "L" << l << " m " << m << " wrote " << i;
    }
}

TEST(Direct, ImpulseResponseLooksForwardAndInPlaceIsSafe) {
    std::mt19937 rng(3);
    for (const Kernel& k : kernels) {
        const int n = 4 * k.l;
        const int P = 2 * n;
        const int m = 3 * n;
        std::vector<float> x(static_cast<std::size_t>(m + n - 1), 0.0f);
        x[static_cast<std::size_t>(P)] = 1.0f;
        std::vector<float> y(static_cast<std::size_t>(m + 4), SENTINEL);
        k.direct(y.data(), x.data(), m);
        for (int j = 0; j < m; ++j) {
            const int tap = P - j;
            EXPECT_EQ(y[j], tap >= 0 && tap < n ? k.h[tap] : 0.0f) << k.name << " output " << j;
        }
        for (int j = m; j < m + 4; ++j)
            EXPECT_EQ(y[j], SENTINEL) << k.name;

        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (float& v : x)
            v = value(rng);
        k.direct(y.data(), x.data(), m);
        k.direct(x.data(), x.data(), m);
        EXPECT_EQ(std::memcmp(x.data(), y.data(), static_cast<std::size_t>(m) * sizeof(float)), 0)
            << k.name;
    }
}

} // namespace

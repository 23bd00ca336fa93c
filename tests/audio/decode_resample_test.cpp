// Decoding of half-clips and their conversion from 7812.5 to 8000 samples
// per second: step response, steady state, timing and phase of a tone
// across calls, silence, and the extent of the work array.
#include "audio/adpcm.h"
#include "audio/audio.h"
#include "audio/dsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double INPUT_RATE = 7812.5;

class Pipeline : public testing::Test {
  protected:
    void SetUp() override {
        ADPCMDecoderInit();
        resampleReset();
    }

    // One resampler call; returns its 256 frames.
    std::vector<float> resampleBlock(const std::int16_t* sData) {
        std::fill(work.begin(), work.end(), SENTINEL);
        EXPECT_EQ(resample(work.data(), sData), work.data());
        for (std::size_t i = RESAMPLE_WORK_SIZE; i < work.size(); ++i)
            EXPECT_EQ(work[i], SENTINEL) << "resample wrote beyond its work array at " << i;
        return {work.begin(), work.begin() + FRAMES_PER_BLOCK};
    }

    std::vector<float> resampleConstant(std::int16_t s) {
        std::array<std::int16_t, SAMPLES_PER_HALFCLIP> samples;
        samples.fill(s);
        return resampleBlock(samples.data());
    }

    static constexpr float SENTINEL = -1234.5f;
    std::array<float, RESAMPLE_WORK_SIZE + 8> work{};
};

TEST_F(Pipeline, DecodeTakesTheLowNibbleFirstAndCarriesStateAcrossCalls) {
    const BYTE octets[] = {0x70, 0x77, 0x0F};
    std::array<std::int16_t, 8> all;
    all.fill(99);
    EXPECT_EQ(decode(all.data(), octets, 3), all.data());
    EXPECT_EQ(std::vector<int>(all.begin(), all.begin() + 6),
              (std::vector<int>{0, 11, 41, 104, 104 - 136, 104 - 136 + 19}));
    EXPECT_EQ(all[6], 99) << "decode wrote beyond 2n samples";

    ADPCMDecoderInit();
    std::array<std::int16_t, 6> split{};
    decode(split.data(), octets, 1);
    decode(split.data() + 2, octets + 1, 2);
    decode(split.data(), octets, 0);
    EXPECT_TRUE(std::equal(split.begin(), split.end(), all.begin()));
}

TEST_F(Pipeline, FirstCallGivesTheStepResponse) {
    for (std::int16_t s : {std::int16_t{16384}, std::int16_t{-32768}}) {
        SetUp();
        const double v = s / 32768.0;
        const std::vector<float> out = resampleConstant(s);
        EXPECT_EQ(out[0], 0.0f);
        EXPECT_EQ(out[1], 0.0f);
        const double step[] = {-0.005, -0.138, 0.745, 1.048, 0.996};
        for (int k = 2; k <= 6; ++k)
            EXPECT_NEAR(out[k], step[k - 2] * v, 0.0015) << "frame " << k;
        for (int k = 7; k < FRAMES_PER_BLOCK; ++k)
            ASSERT_NEAR(out[k], v, 2e-7) << "frame " << k;
    }
}

TEST_F(Pipeline, ConstantInputGivesConstantOutputFromTheSecondCall) {
    for (std::int16_t s : {std::int16_t{32767}, std::int16_t{-32768}, std::int16_t{-1234}}) {
        SetUp();
        resampleConstant(s);
        for (int call = 1; call < 4; ++call) {
            const std::vector<float> out = resampleConstant(s);
            for (int k = 0; k < FRAMES_PER_BLOCK; ++k)
                ASSERT_NEAR(out[k], s / 32768.0, 2e-7) << "call " << call << " frame " << k;
        }
    }
}

TEST_F(Pipeline, SilentClipFromZeroStateGivesSilence) {
    const std::array<BYTE, CLIPSIZE> clip{};
    std::array<std::int16_t, SAMPLES_PER_HALFCLIP> samples;
    for (int half = 0; half < 2; ++half) {
        decode(samples.data(), clip.data() + half * HALFCLIP, HALFCLIP);
        for (float f : resampleBlock(samples.data()))
            ASSERT_EQ(f, 0.0f) << "half " << half;
    }
}

TEST_F(Pipeline, ResetForgetsTheCarriedSamples) {
    const std::vector<float> fresh = resampleConstant(20000);
    resampleConstant(-20000);
    resampleReset();
    EXPECT_EQ(resampleConstant(20000), fresh);
}

// Gain of a kernel for interpolation by l at frequency f (hertz) and rate fs.
double kernelGain(const float* h, int l, double f, double fs) {
    double re = 0, im = 0;
    for (int n = 0; n < 4 * l; ++n) {
        re += h[n] * std::cos(2 * std::numbers::pi * f / fs * n);
        im += h[n] * std::sin(2 * std::numbers::pi * f / fs * n);
    }
    return std::hypot(re, im) / l;
}

// A tone keeps its frequency and phase: frame K of the output stream lies at
// input time (125K - 539)/128, across the joins between calls. Each block is
// fitted with a sine and a cosine at the analytic phase of its frames; the
// fit gives gain and phase, and what it leaves over is distortion.
TEST_F(Pipeline, ToneKeepsFrequencyPhaseAndTiming) {
    for (double f : {250.0, 500.0, 1000.0, 2000.0}) {
        SetUp();
        constexpr double AMPLITUDE = 0.5;
        constexpr int CALLS = 40;
        const double expectedGain =
            kernelGain(fC32.data(), 8, f, 62500) * kernelGain(fC64.data(), 16, f, 200000);
        for (int c = 0; c < CALLS; ++c) {
            std::array<std::int16_t, SAMPLES_PER_HALFCLIP> samples;
            for (int i = 0; i < SAMPLES_PER_HALFCLIP; ++i) {
                const double a = 250.0 * c + i;
                samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(
                    AMPLITUDE * 32768 * std::sin(2 * std::numbers::pi * f * a / INPUT_RATE)));
            }
            const std::vector<float> out = resampleBlock(samples.data());
            if (c == 0)
                continue;
            double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
            std::array<double, FRAMES_PER_BLOCK> sn, cs;
            for (int k = 0; k < FRAMES_PER_BLOCK; ++k) {
                const double t = (125.0 * (256 * c + k) - 539) / 128;
                const double phase = 2 * std::numbers::pi * f * t / INPUT_RATE;
                sn[k] = std::sin(phase);
                cs[k] = std::cos(phase);
                ss += sn[k] * sn[k];
                sc += sn[k] * cs[k];
                cc += cs[k] * cs[k];
                ys += out[k] * sn[k];
                yc += out[k] * cs[k];
            }
            const double det = ss * cc - sc * sc;
            const double a = (ys * cc - yc * sc) / det;
            const double b = (yc * ss - ys * sc) / det;
            const double gain = std::hypot(a, b) / AMPLITUDE;
            const double phaseError = std::atan2(b, a);
            EXPECT_NEAR(gain, expectedGain, 1e-3) << f << " Hz, call " << c;
            // A shift of 1/128 input sample would be 0.003 rad at 500 Hz.
            EXPECT_NEAR(phaseError, 0.0, 1.5e-3) << f << " Hz, call " << c;
            // What remains are the filters' images folded back into the band,
            // some 30 dB down; a seam between calls would stand out.
            for (int k = 0; k < FRAMES_PER_BLOCK; ++k)
                ASSERT_NEAR(out[k], expectedGain * AMPLITUDE * sn[k], 0.07 * AMPLITUDE)
                    << f << " Hz, call " << c << " frame " << k;
        }
    }
}

} // namespace

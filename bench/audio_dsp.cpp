// Cost of turning received audio into output frames: one half-clip through
// decode and resample against the 32 ms it plays for, the ADPCM decoder per
// octet, and each filter call the resampler makes.
#include "audio/adpcm.h"
#include "audio/audio.h"
#include "audio/dsp.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double HALFCLIP_SECONDS = 0.032; // 256 frames at 8000 per second

// A clip that codes a tone, so the decoder and filters see ordinary values.
std::array<BYTE, CLIPSIZE> toneClip() {
    std::array<BYTE, CLIPSIZE> clip{};
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> octet(0, 255);
    for (BYTE& b : clip)
        b = static_cast<BYTE>(octet(rng));
    return clip;
}

std::array<float, 6464> workSignal() {
    std::array<float, 6464> x{};
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(0.5 *
                                  std::sin(2 * std::numbers::pi * 0.01 * static_cast<double>(i)));
    return x;
}

// Speed relative to real time: seconds of audio produced per second of work
// (shown as "k/s": thousands of times faster than real time).
void reportRealTime(benchmark::State& state, double secondsOfAudioPerIteration) {
    state.counters["audio_sec"] = benchmark::Counter(secondsOfAudioPerIteration,
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeAndResampleHalfClip(benchmark::State& state) {
    const auto clip = toneClip();
    std::array<std::int16_t, SAMPLES_PER_HALFCLIP> samples{};
    std::array<float, RESAMPLE_WORK_SIZE> frames{};
    int half = 0;
    for (auto _ : state) {
        decode(samples.data(), clip.data() + half * HALFCLIP, HALFCLIP);
        resample(frames.data(), samples.data());
        benchmark::DoNotOptimize(frames.data());
        benchmark::ClobberMemory();
        half ^= 1;
    }
    reportRealTime(state, HALFCLIP_SECONDS);
}
BENCHMARK(BM_DecodeAndResampleHalfClip)->Unit(benchmark::kMicrosecond);

void BM_AdpcmDecoderPerOctet(benchmark::State& state) {
    const auto clip = toneClip();
    std::array<std::int16_t, 2 * CLIPSIZE> samples{};
    for (auto _ : state) {
        decode(samples.data(), clip.data(), CLIPSIZE);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_octet"] = benchmark::Counter(
        CLIPSIZE, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AdpcmDecoderPerOctet)->Unit(benchmark::kMicrosecond);

template <void (*F)(float*, const float*, int), int M> void BM_Filter(benchmark::State& state) {
    // Separate arrays, so every call sees the same input; an in-place call
    // does the same work.
    const auto signal = workSignal();
    std::array<float, 6464> out{};
    for (auto _ : state) {
        F(out.data(), signal.data(), M);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_output"] = benchmark::Counter(
        M, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// The two calls the resampler makes per half-clip, and the direct forms over
// the same outputs for comparison.
BENCHMARK(BM_Filter<polyphaseFirN32L8, 2020>)
    ->Name("BM_polyphaseFirN32L8/2020")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Filter<polyphaseFirN64L16, 6400>)
    ->Name("BM_polyphaseFirN64L16/6400")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Filter<firN32, 2020>)->Name("BM_firN32/2020")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Filter<firN64, 6400>)->Name("BM_firN64/6400")->Unit(benchmark::kMicrosecond);

} // namespace

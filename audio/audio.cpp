// The audio pipeline.
#include "audio/audio.h"

#include "audio/adpcm.h"
#include "audio/dsp.h"

#include <algorithm>
#include <cstddef>

std::array<BYTE, CLIPSIZE> ucAudioClip;
HANDLE hAudioClip = nullptr;
HANDLE hGetMore = nullptr;

// ---------------------------------------------------------------------------
// Decoding and resampling of half-clips.
//
// 7812.5 -> 8000 per second is 128/125: up 8, down 5 (to 12500 per second),
// then up 16, down 25. Output frame K of the stream is centred on input
// sample (125K - 539)/128.

namespace {

constexpr int HISTORY = 6;                            // input samples carried between calls
constexpr int INPUT = HISTORY + SAMPLES_PER_HALFCLIP; // 256
constexpr int UP1 = 8;
constexpr int DOWN1 = 5;
constexpr int UP2 = 16;
constexpr int DOWN2 = 25;
constexpr int FILTERED1 = 2020; // outputs of the first filter that the decimator uses
constexpr int MID = (FILTERED1 + DOWN1 - 1) / DOWN1; // 404 samples at 12500 per second
constexpr int FILTERED2 = 6400;
constexpr int TEMP_SIZE = MID * UP2; // 6464
constexpr float FULL_SCALE = 32768.0f;

static_assert(MID == RESAMPLE_WORK_SIZE);
static_assert((FILTERED2 + DOWN2 - 1) / DOWN2 == FRAMES_PER_BLOCK);
// The filters write whole blocks and read three blocks beyond the start of
// their last one.
constexpr int blocksEnd(int m, int l) {
    return (m + l - 1) / l * l;
}
static_assert(INPUT * UP1 >= blocksEnd(FILTERED1, UP1) + 2 * UP1 + 1);
static_assert(TEMP_SIZE >= blocksEnd(FILTERED2, UP2) + 2 * UP2 + 1);

// sAudio and fAudio are the audio thread's: one decoded half-clip, and the
// resampler's work array whose first block is played.
[[maybe_unused]] std::array<std::int16_t, SAMPLES_PER_HALFCLIP> sAudio{};
[[maybe_unused]] std::array<float, RESAMPLE_WORK_SIZE> fAudio{};
std::array<float, HISTORY> fLast{};   // input carried to the next call
std::array<float, TEMP_SIZE> fTemp{}; // upsampled work array

} // namespace

std::int16_t* decode(std::int16_t* sData, const BYTE* ucaCode, int n) {
    for (int j = 0; j < n; ++j) {
        sData[2 * j] = ADPCMDecoder(static_cast<BYTE>(ucaCode[j] & 0x0F));
        sData[2 * j + 1] = ADPCMDecoder(static_cast<BYTE>(ucaCode[j] >> 4));
    }
    return sData;
}

float* resample(float* fAudio, const std::int16_t* sData) {
    std::copy(fLast.begin(), fLast.end(), fAudio);
    for (int i = 0; i < SAMPLES_PER_HALFCLIP; ++i)
        fAudio[HISTORY + i] = static_cast<float>(sData[i]) / FULL_SCALE;
    std::copy(fAudio + INPUT - HISTORY, fAudio + INPUT, fLast.begin());

    upsample(fTemp.data(), fAudio, INPUT, UP1);
    polyphaseFirN32L8(fTemp.data(), fTemp.data(), FILTERED1);
    decimate(fAudio, fTemp.data(), FILTERED1, DOWN1);
    upsample(fTemp.data(), fAudio, MID, UP2);
    polyphaseFirN64L16(fTemp.data(), fTemp.data(), FILTERED2);
    decimate(fAudio, fTemp.data(), FILTERED2, DOWN2);
    return fAudio;
}

void resampleReset() {
    fLast.fill(0.0f);
}

// ---------------------------------------------------------------------------

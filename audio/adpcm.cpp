// IMA ADPCM decoder. One decoder state serves the whole program: the
// receiver's stream is continuous across octets, half-clips and clips.
#include "audio/adpcm.h"

#include <algorithm>

const std::array<std::int8_t, 16> cIndTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                               -1, -1, -1, -1, 2, 4, 6, 8};

const std::array<std::int32_t, 89> stepSizeTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

namespace {

constexpr std::int32_t MIN_SAMPLE = -32768;
constexpr std::int32_t MAX_SAMPLE = 32767;
constexpr int MAX_INDEX = static_cast<int>(stepSizeTable.size()) - 1;

constexpr BYTE CODE_MASK = 0x0F;
constexpr BYTE SIGN_BIT = 0x08;

std::int32_t lPrevSample = 0; // the predictor: the last decoded sample
std::int8_t cIndex = 0;       // position in stepSizeTable

} // namespace

std::int16_t ADPCMDecoder(BYTE ucCode) {
    // Only the low nibble is a code; anything above it would index past
    // cIndTable.
    ucCode &= CODE_MASK;

    const std::int32_t step = stepSizeTable[static_cast<std::size_t>(cIndex)];
    // The sum of separately truncated shifts, as the encoder forms it; the
    // product (2*magnitude+1)*step/8 would differ in the last bits.
    std::int32_t lDif = step >> 3;
    if (ucCode & 4)
        lDif += step;
    if (ucCode & 2)
        lDif += step >> 1;
    if (ucCode & 1)
        lDif += step >> 2;

    if (ucCode & SIGN_BIT)
        lPrevSample -= lDif;
    else
        lPrevSample += lDif;
    lPrevSample = std::clamp(lPrevSample, MIN_SAMPLE, MAX_SAMPLE);

    cIndex = static_cast<std::int8_t>(std::clamp(cIndex + cIndTable[ucCode], 0, MAX_INDEX));

    return static_cast<std::int16_t>(lPrevSample);
}

void ADPCMDecoderInit() {
    lPrevSample = 0;
    cIndex = 0;
}

void ADPCMDecoderState(std::int16_t* pPredictor, std::uint8_t* pIndex) {
    *pPredictor = static_cast<std::int16_t>(lPrevSample);
    *pIndex = static_cast<std::uint8_t>(cIndex);
}

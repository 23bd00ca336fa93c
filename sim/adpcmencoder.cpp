// IMA ADPCM encoder: the standard successive-approximation choice of the
// code, with the reconstruction done exactly as the decoder does it.
#include "sim/adpcmencoder.h"

#include "audio/adpcm.h"

#include <algorithm>
#include <cassert>

namespace {

constexpr std::int32_t MIN_SAMPLE = -32768;
constexpr std::int32_t MAX_SAMPLE = 32767;
constexpr int MAX_INDEX = static_cast<int>(stepSizeTable.size()) - 1;
constexpr BYTE SIGN_BIT = 0x08;

// The decoder's difference for a code: the sum of separately truncated
// shifts of the step, not (2*magnitude+1)*step/8.
std::int32_t difference(std::int32_t step, BYTE ucCode) {
    std::int32_t lDif = step >> 3;
    if (ucCode & 4)
        lDif += step;
    if (ucCode & 2)
        lDif += step >> 1;
    if (ucCode & 1)
        lDif += step >> 2;
    return lDif;
}

} // namespace

BYTE adpcmEncode(ADPCMENCODER& encoder, std::int16_t lSample) {
    const std::int32_t step = stepSizeTable[static_cast<std::size_t>(encoder.iIndex)];

    std::int32_t lDiff = static_cast<std::int32_t>(lSample) - encoder.lReconstructed;
    BYTE ucCode = 0;
    if (lDiff < 0) {
        ucCode = SIGN_BIT;
        lDiff = -lDiff;
    }
    // Successive approximation of |diff| in units of step, step/2, step/4.
    std::int32_t part = step;
    if (lDiff >= part) {
        ucCode |= 4;
        lDiff -= part;
    }
    part = step >> 1;
    if (lDiff >= part) {
        ucCode |= 2;
        lDiff -= part;
    }
    part = step >> 2;
    if (lDiff >= part)
        ucCode |= 1;

    const std::int32_t lDif = difference(step, ucCode);
    if (ucCode & SIGN_BIT)
        encoder.lReconstructed -= lDif;
    else
        encoder.lReconstructed += lDif;
    encoder.lReconstructed = std::clamp(encoder.lReconstructed, MIN_SAMPLE, MAX_SAMPLE);
    encoder.iIndex = std::clamp(encoder.iIndex + cIndTable[ucCode], 0, MAX_INDEX);
    return ucCode;
}

void adpcmEncodeBlock(ADPCMENCODER& encoder, std::span<const std::int16_t> samples,
                      std::span<BYTE> octets) {
    assert(samples.size() == 2 * octets.size());
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const BYTE low = adpcmEncode(encoder, samples[2 * i]);
        const BYTE high = adpcmEncode(encoder, samples[2 * i + 1]);
        octets[i] = static_cast<BYTE>(low | (high << 4));
    }
}

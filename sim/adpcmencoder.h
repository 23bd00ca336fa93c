// IMA ADPCM encoder for the receiver emulator.
//
// The encoder keeps its own reconstruction of the signal, computed with
// exactly the arithmetic of the program's decoder (audio/adpcm.h), so a
// decoder fed every code in order reproduces adpcmEncoder's
// lReconstructed sample for sample. Two codes go into one octet, the
// earlier sample in the low nibble.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <span>

struct ADPCMENCODER {
    std::int32_t lReconstructed = 0; // what the decoder holds after the last code
    int iIndex = 0;                  // the decoder's step index after the last code
};

// Chooses the code whose reconstruction tracks lSample and advances the
// state as the decoder would. Returns the 4-bit code.
BYTE adpcmEncode(ADPCMENCODER& encoder, std::int16_t lSample);

// Encodes samples.size() samples (an even number) into samples.size()/2
// octets, low nibble first.
void adpcmEncodeBlock(ADPCMENCODER& encoder, std::span<const std::int16_t> samples,
                      std::span<BYTE> octets);

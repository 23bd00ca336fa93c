// IMA ADPCM decoder with one state for the whole program.
#pragma once

#include "platform/types.h"

#include <array>
#include <cstdint>

extern const std::array<std::int8_t, 16> cIndTable;
extern const std::array<std::int32_t, 89> stepSizeTable;

// Decodes one 4-bit code (low four bits) and returns the new sample.
std::int16_t ADPCMDecoder(BYTE ucCode);
void ADPCMDecoderInit();
// The state the next code is decoded from: the predictor and the step index.
void ADPCMDecoderState(std::int16_t* pPredictor, std::uint8_t* pIndex);

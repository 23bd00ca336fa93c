// The audio pipeline: decoding, resampling and playback of audio clips.
#pragma once

#include "platform/types.h"

#include <array>
#include <cstdint>

inline constexpr int CLIPSIZE = 250;

// One half-clip: 125 octets give 250 samples, which resample to one output
// block of 256 frames.
inline constexpr int HALFCLIP = CLIPSIZE / 2;
inline constexpr int SAMPLES_PER_HALFCLIP = 2 * HALFCLIP;
inline constexpr int FRAMES_PER_BLOCK = 256;
// Size of the resampler's work array; its first FRAMES_PER_BLOCK floats are
// the output block.
inline constexpr int RESAMPLE_WORK_SIZE = 404;

// The clip hand-off with the framer: it fills ucAudioClip, sets
// hAudioClip and waits for hGetMore before it touches the clip again.
extern std::array<BYTE, CLIPSIZE> ucAudioClip;
extern HANDLE hAudioClip;
extern HANDLE hGetMore;

// Decodes n octets into 2n samples, low nibble first; the decoder state
// carries on from the previous call. Returns sData.
std::int16_t* decode(std::int16_t* sData, const BYTE* ucaCode, int n);

// Converts the SAMPLES_PER_HALFCLIP samples in sData from 7812.5 to 8000 per
// second into FRAMES_PER_BLOCK frames at the start of fAudio, which must hold
// RESAMPLE_WORK_SIZE floats (the rest is scratch). The last input samples
// are carried into the next call, so consecutive calls join seamlessly.
// Returns fAudio.
float* resample(float* fAudio, const std::int16_t* sData);

// Forgets the carried input samples, as if no half-clip had been resampled.
void resampleReset();

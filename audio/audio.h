// The audio pipeline: decoding, resampling and playback of audio clips.
#pragma once

#include "platform/types.h"

#include <array>
#include <cstdint>

inline constexpr int CLIPSIZE = 250;

// The clip hand-off with the framer: it fills ucAudioClip, sets
// hAudioClip and waits for hGetMore before it touches the clip again.
extern std::array<BYTE, CLIPSIZE> ucAudioClip;
extern HANDLE hAudioClip;
extern HANDLE hGetMore;

// The audio pipeline.
#include "audio/audio.h"

std::array<BYTE, CLIPSIZE> ucAudioClip;
HANDLE hAudioClip = nullptr;
HANDLE hGetMore = nullptr;

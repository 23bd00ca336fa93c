// A sound device without a device: it takes the sound output's place
// through SetSoundDevice, so the audio pipeline runs unchanged while
// something other than a sound card keeps its time.
#pragma once

#include "platform/types.h"

enum class STANDIN {
    CLOCK, // a thread calls back once per buffer (32 ms) while the output runs
    HAND,  // the caller calls back, with StandInPlay, at a pace of its choosing
};

// Makes the stand-in the current sound device: outputs opened from now
// on are its. One stand-in output is open at a time.
void UseStandInSound(STANDIN pace);
// Makes the sound library's default output current again.
void UseDefaultSound();

// One callback of the open stand-in output while it runs, into pOutput
// (SOUND_FRAMES_PER_BUFFER floats). Returns the callback's result, or -1
// when no stand-in output runs. Neither waits nor allocates.
int StandInPlay(float* pOutput);

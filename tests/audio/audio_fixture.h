// The pipeline on a stand-in sound device: the test plays the framer
// (hands clips over) and the sound device (calls back at its own pace).
#pragma once

#include "audio/adpcm.h"
#include "audio/audio.h"
#include "tools/measure/standin_sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace audiotest {

// Codes 0 and 1 at step index 0 leave the index at 0 and add 0 or 1 to
// the sample, so a half-clip that opens with two codes of 1 and holds
// the rest raises the level by exactly 2. Half-clip n (from a fresh
// decoder) then plays as a block whose middle frames sit at 2(n + 1).
inline void fillMarkedClip(std::array<BYTE, CLIPSIZE>& clip) {
    clip.fill(0x00);
    clip[0] = 0x11;
    clip[HALFCLIP] = 0x11;
}

// The half-clip a played block came from; -1 for silence.
inline long blockNumber(const float* fFrame) {
    const double level = fFrame[FRAMES_PER_BLOCK / 2] * 32768.0;
    if (std::fabs(level) < 0.5)
        return -1;
    return std::lround(level / 2.0) - 1;
}

// The framer's side of the hand-off: while audio is off the clip is
// dropped at once. TRUE when the clip was handed over and released.
inline bool handOver() {
    if (!bAudioOn)
        return false;
    fillMarkedClip(ucAudioClip);
    SetEvent(hAudioClip);
    EXPECT_EQ(WaitForSingleObject(hGetMore, 2000), WAIT_OBJECT_0) << "GetMore never came";
    return true;
}

// One callback of the stand-in sound device.
inline long playOne(std::array<float, FRAMES_PER_BLOCK>& out) {
    out.fill(99.0f);
    EXPECT_EQ(StandInPlay(out.data()), 0);
    return blockNumber(out.data());
}

// Opens the pipeline on a stand-in device that the test calls back by hand.
inline DWORD openByHand() {
    UseStandInSound(STANDIN::HAND);
    return audioOpen();
}

class Playback : public testing::Test {
  protected:
    void SetUp() override {
        ADPCMDecoderInit();
        ASSERT_EQ(openByHand(), NO_ERROR);
    }
    void TearDown() override {
        audioClose();
        EXPECT_EQ(audioCounters.iThreads.load(), 0) << "the audio thread outlived audioClose";
    }
};

} // namespace audiotest

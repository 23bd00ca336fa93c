// Real sound: a test tone streamed by the emulated receiver at the real
// line rate, through the link and the audio path, into the default sound
// output. scripts/null-sink run provides a null sink and records it; the
// recording must hold the tone at its frequency and level, without gaps
// or jumps after the first half second.
#include "audio/audio.h"
#include "sim/signalmodel.h"
#include "tools/measure/audiorun.h"
#include "tools/measure/capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr double RATE = 8000.0;
constexpr double SETTLE_SECONDS = 0.5;
constexpr double CHECKED_SECONDS = 10.0;
constexpr auto STREAMED = 12s;
constexpr double TONE_AMPLITUDE = TEST_TONE_PEAK / 32768.0;

TEST(RealSound, AToneFromTheReceiverPlaysAtItsFrequencyAndLevelWithoutGaps) {
    const char* szCapture = std::getenv("VELKOR_CAPTURE");
    if (szCapture == nullptr || std::getenv("PULSE_SERVER") == nullptr)
        GTEST_SKIP() << "no sound server: run through scripts/null-sink run";

    AudioLinkRun run(true, TEST_TONE_FREQUENCY);
    ASSERT_EQ(run.open(), NO_ERROR) << "the sound output did not open";
    run.enable();
    const auto start = std::chrono::steady_clock::now();
    while (audioCounters.ulBlocksPlayed.load() == 0 &&
           std::chrono::steady_clock::now() - start < 5s)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(audioCounters.ulBlocksPlayed.load(), 0u) << "nothing played";
    std::this_thread::sleep_for(std::chrono::duration<double>(SETTLE_SECONDS));
    const std::uint64_t ulUnderruns = audioCounters.ulUnderruns;
    std::this_thread::sleep_until(start + STREAMED);
    EXPECT_EQ(audioCounters.ulUnderruns.load(), ulUnderruns) << "underruns after start-up";
    run.disable();
    std::this_thread::sleep_for(300ms);
    run.close();

    const TONECHECK tone =
        checkTone(readCapture(szCapture), RATE, TEST_TONE_HZ, SETTLE_SECONDS, CHECKED_SECONDS);
    ASSERT_TRUE(tone.bFound) << "no tone (or too short a tone) in " << szCapture;
    EXPECT_NEAR(tone.dFrequency, TEST_TONE_HZ, 10.0);
    EXPECT_NEAR(tone.dAmplitude, TONE_AMPLITUDE, 0.1 * TONE_AMPLITUDE);
    EXPECT_EQ(tone.ulQuietWindows, 0u) << "gaps in the sound";
    EXPECT_LT(tone.dWorstPhaseStep, 0.3)
        << "the tone's phase jumps at " << tone.ulWorstAt / RATE << " s into the recording";
}

} // namespace

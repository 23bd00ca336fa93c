// Half a minute of a test tone streamed by the emulated receiver at the
// real line rate through a USB serial adapter (62-octet packets, or fewer
// when its 16 ms timer expires), through the link and the audio path:
// the stream never stops, no frame is abandoned, no request goes
// unanswered, and playback has no gap after the first half second.
// Through the sound output into the null sink that scripts/null-sink run
// records (skipped without a sound server), and with a stand-in sound
// clock, which needs none.
#include "audio/audio.h"
#include "link/comthread.h"
#include "sim/signalmodel.h"
#include "tools/measure/audiorun.h"
#include "tools/measure/capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double RATE = 8000.0;
constexpr auto SETTLE = 500ms;
constexpr auto STREAMED = 30s;
// A clip lasts 64 ms; a stream that pauses for this long has stopped
// (the ring holds 96 ms of sound). Generous against a loaded machine.
constexpr auto STOPPED = 400ms;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void streamThroughUsb(bool bRealSound) {
    AudioLinkRun run(bRealSound, TEST_TONE_FREQUENCY);
    ASSERT_EQ(run.emulator().frontPanel("usb on"), "ok");
    ASSERT_EQ(run.open(), NO_ERROR) << "the sound output or the link did not open";
    // The panel polls for a moment first, as it does before anyone
    // ticks "Enable": late poll answers meet the first request.
    std::this_thread::sleep_for(300ms);
    const auto enabled = Clock::now();
    run.enable();
    while (audioCounters.ulBlocksPlayed.load() == 0 && Clock::now() - enabled < 5s)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(audioCounters.ulBlocksPlayed.load(), 0u) << "nothing played";
    std::this_thread::sleep_for(SETTLE);
    const std::uint64_t ulUnderruns = audioCounters.ulUnderruns;

    // The longest wait for the next clip while the stream runs.
    std::uint64_t ulClips = audioCounters.ulClipsTaken;
    auto lastClip = Clock::now();
    Clock::duration longest{};
    while (Clock::now() - enabled < STREAMED) {
        std::this_thread::sleep_for(2ms);
        const auto now = Clock::now();
        if (audioCounters.ulClipsTaken.load() != ulClips) {
            ulClips = audioCounters.ulClipsTaken;
            lastClip = now;
        }
        longest = std::max(longest, now - lastClip);
    }
    const std::uint64_t ulUnderrunsAfter = audioCounters.ulUnderruns.load() - ulUnderruns;
    const int bStillStreaming = bStreaming;
    run.disable();
    std::this_thread::sleep_for(300ms);
    run.close();

    std::printf("%llu clips, longest wait for a clip %.0f ms, underruns after start-up %llu, "
                "frames abandoned %llu, requests unanswered %llu\n",
                static_cast<unsigned long long>(audioCounters.ulClipsTaken.load()), ms(longest),
                static_cast<unsigned long long>(ulUnderrunsAfter),
                static_cast<unsigned long long>(linkCounters.ulFramesAbandoned.load()),
                static_cast<unsigned long long>(linkCounters.ulRequestsUnanswered.load()));
    EXPECT_LT(ms(longest), ms(STOPPED)) << "the stream stopped";
    EXPECT_EQ(bStillStreaming, 1);
    EXPECT_EQ(linkCounters.ulFramesAbandoned.load(), 0u);
    EXPECT_EQ(linkCounters.ulRequestsUnanswered.load(), 0u);
    EXPECT_EQ(linkCounters.ulStreamsEnded.load(), 0u);
    EXPECT_EQ(ulUnderrunsAfter, 0u) << "playback had gaps after start-up";
}

TEST(UsbStream, ThroughTheSoundOutputWithoutGaps) {
    const char* szCapture = std::getenv("VELKOR_CAPTURE");
    if (szCapture == nullptr || std::getenv("PULSE_SERVER") == nullptr)
        GTEST_SKIP() << "no sound server: run through scripts/null-sink run";
    streamThroughUsb(true);
    if (HasFatalFailure())
        return;
    // The recording: the tone throughout, without a quiet stretch or a
    // phase jump after the first half second.
    const double checked = std::chrono::duration<double>(STREAMED - 2s).count();
    const TONECHECK tone = checkTone(readCapture(szCapture), RATE, TEST_TONE_HZ,
                                     std::chrono::duration<double>(SETTLE).count(), checked);
    ASSERT_TRUE(tone.bFound) << "no tone (or too short a tone) in " << szCapture;
    std::printf("captured %.1f s: tone %.1f Hz, quiet 8 ms windows %zu, largest phase step %.3f "
                "rad\n",
                static_cast<double>(tone.ulFrames) / RATE, tone.dFrequency, tone.ulQuietWindows,
                tone.dWorstPhaseStep);
    EXPECT_NEAR(tone.dFrequency, TEST_TONE_HZ, 10.0);
    EXPECT_EQ(tone.ulQuietWindows, 0u) << "gaps in the sound";
    EXPECT_LT(tone.dWorstPhaseStep, 0.3)
        << "the tone's phase jumps at " << tone.ulWorstAt / RATE << " s into the recording";
}

TEST(UsbStream, WithAStandInSoundClockNeverStops) {
    streamThroughUsb(false);
}

} // namespace

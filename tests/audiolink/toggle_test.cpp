// "Enable" switched on and off a hundred times while the emulated
// receiver streams at the real line rate, through the real link: the
// stream ends each time, polling resumes, there is never a second audio
// thread, and nothing deadlocks. A stand-in sound clock plays the device.
#include "audio/audio.h"
#include "sim/signalmodel.h"
#include "tools/measure/audiorun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// When the first status query after since reached the receiver.
std::optional<Clock::time_point> firstPoll(Emulator& emulator, Clock::time_point since) {
    for (const CommandRecord& record : emulator.log())
        if (record.received > since && record.szCommand != "?RMC" && record.szCommand != "*RMC")
            return record.received;
    return std::nullopt;
}

std::size_t requests(Emulator& emulator) {
    std::size_t n = 0;
    for (const CommandRecord& record : emulator.log())
        n += record.szCommand == "?RMC" ? 1 : 0;
    return n;
}

TEST(AudioLink, EnableToggledAHundredTimesWhileFramesFlow) {
    AudioLinkRun run(false, TEST_TONE_FREQUENCY);
    ASSERT_EQ(run.open(), NO_ERROR);
    std::mt19937 random(4470);
    int iRoundsPlayed = 0;
    for (int round = 0; round < 100; ++round) {
        const std::uint64_t ulPlayed = audioCounters.ulBlocksPlayed;
        run.enable();
        // On for 20 to 200 ms: off again before the first clip, in the
        // middle of a hand-off, or with the ring full.
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 180));
        if (audioCounters.ulBlocksPlayed.load() > ulPlayed)
            ++iRoundsPlayed;
        const auto off = Clock::now();
        run.disable();
        ASSERT_EQ(audioCounters.iThreads.load(), 1) << "round " << round;

        std::optional<Clock::time_point> polled;
        while (!(polled = firstPoll(run.emulator(), off)) && Clock::now() - off < 5s)
            std::this_thread::sleep_for(2ms);
        ASSERT_TRUE(polled) << "polling did not resume after round " << round;
        // At most one request queued before the switch may still go out;
        // after that the stream has ended.
        std::this_thread::sleep_for(100ms);
        const std::size_t ulRequests = requests(run.emulator());
        std::this_thread::sleep_for(150ms);
        ASSERT_EQ(requests(run.emulator()), ulRequests)
            << "clips still requested after the stream ended, round " << round;
    }
    EXPECT_GT(iRoundsPlayed, 50) << "frames hardly flowed";
    run.close();
    EXPECT_EQ(audioCounters.iThreads.load(), 0);
}

TEST(AudioLink, CloseWhileStreamingReturnsPromptly) {
    for (auto onFor : {0ms, 30ms, 300ms}) {
        AudioLinkRun run(false, TEST_TONE_FREQUENCY);
        ASSERT_EQ(run.open(), NO_ERROR);
        run.enable();
        std::this_thread::sleep_for(onFor);
        const auto start = Clock::now();
        run.close();
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0)
            << "after " << onFor.count() << " ms";
        EXPECT_EQ(audioCounters.iThreads.load(), 0);
    }
}

} // namespace

// Switching the pipeline on and off and closing it in every state: the
// framer is never left waiting, stale blocks never play, and there is
// never more than one audio thread.
#include "audio/ring.h"
#include "audio_fixture.h"

#include "platform/sound.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace audiotest;
using namespace std::chrono_literals;

class Switching : public Playback {};

// Runs f on another thread; fails if it takes longer than a second.
template <typename F> void promptly(F f, const char* szWhat) {
    auto done = std::async(std::launch::async, f);
    ASSERT_EQ(done.wait_for(1s), std::future_status::ready) << szWhat << " hung";
    done.get();
}

void waitForProduced(std::uint64_t n) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (audioCounters.ulBlocksProduced.load() < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
}

TEST_F(Switching, BeforeTheFirstStartAClipIsDroppedAndNothingWaits) {
    EXPECT_FALSE(bAudioOn);
    promptly([] { EXPECT_FALSE(handOver()); }, "a hand-off before audioStart");
    EXPECT_EQ(audioCounters.iThreads.load(), 0) << "the thread runs before audioStart";
}

TEST_F(Switching, StopReleasesAFramerWaitingForTheRingToDrain) {
    ASSERT_EQ(audioStart(), 0);
    // Clips up to the depth are taken at once; the next one stands above
    // it, and the thread holds the framer until the ring has drained.
    int iBlocks = 0;
    for (; iBlocks + 2 <= MIN_DEPTH; iBlocks += 2)
        ASSERT_TRUE(handOver());
    std::atomic<bool> bReleased{false};
    std::thread framer([&] {
        handOver();
        bReleased = true;
    });
    waitForProduced(iBlocks + 2);
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(bReleased) << "GetMore came although the ring stood above its depth";
    promptly([] { audioStop(); }, "audioStop");
    framer.join();
    EXPECT_TRUE(bReleased);
    EXPECT_FALSE(bAudioOn);
    promptly([] { EXPECT_FALSE(handOver()); }, "a hand-off after audioStop");
}

TEST_F(Switching, TheClipTapGetsOnlyClipsTakenWhileAudioIsOn) {
    clipTap.clear();
    bClipTap = TRUE;
    ASSERT_EQ(audioStart(), 0);
    ASSERT_TRUE(handOver());
    TAPPEDCLIP tapped;
    EXPECT_EQ(clipTap.pop(&tapped, 1), 1u);
    // A clip the framer handed over just as audio went off is not heard
    // elsewhere either.
    promptly([] { audioStop(); }, "audioStop");
    fillMarkedClip(ucAudioClip);
    SetEvent(hAudioClip);
    EXPECT_EQ(WaitForSingleObject(hGetMore, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(clipTap.pop(&tapped, 1), 0u);
    bClipTap = FALSE;
}

TEST_F(Switching, RestartPlaysOnlyNewBlocksWithTheSameThread) {
    std::array<float, FRAMES_PER_BLOCK> out;
    for (long round = 0; round < 100; ++round) {
        ASSERT_EQ(audioStart(), 0);
        ASSERT_EQ(audioStart(), static_cast<int>(ERROR_SERVICE_ALREADY_RUNNING))
            << "a second start while running";
        std::thread framer([] { handOver(); });
        // The first block played after a start is the new clip's first
        // half: older blocks left in the ring are skipped.
        long n = -1;
        const auto deadline = std::chrono::steady_clock::now() + 2s;
        while (n < 0 && std::chrono::steady_clock::now() < deadline) {
            n = playOne(out);
            std::this_thread::sleep_for(500us);
        }
        EXPECT_EQ(n, 2 * round);
        framer.join();
        // Half of the rounds stop with the second block still waiting.
        if (round % 2 == 0) {
            waitForProduced(static_cast<std::uint64_t>(2 * round + 2));
            EXPECT_EQ(playOne(out), 2 * round + 1);
        }
        promptly([] { audioStop(); }, "audioStop");
        EXPECT_EQ(audioCounters.iThreads.load(), 1);
    }
    EXPECT_GT(audioCounters.ulStaleBlocks.load(), 0u);
}

// A sound device with no output to open.
DWORD openNothing(SOUNDCALLBACK, LPVOID, LPVOID*) {
    return ERROR_DEVICE_NOT_AVAILABLE;
}
DWORD neverCalled(LPVOID) {
    ADD_FAILURE() << "a sound output that never opened was used";
    return ERROR_INVALID_HANDLE;
}
const SOUNDDEVICE noDevice = {openNothing, neverCalled, neverCalled, neverCalled};

TEST(Closing, InEveryStateReturnsPromptlyAndReleasesTheFramer) {
    // Never opened.
    promptly([] { audioClose(); }, "close before open");
    // Opened partly: the sound output is not there. Its reason comes
    // through, and the close that start-up's failure path makes is clean.
    SetSoundDevice(&noDevice);
    EXPECT_EQ(audioOpen(), ERROR_DEVICE_NOT_AVAILABLE);
    promptly([] { audioClose(); }, "close after a failed open");
    EXPECT_EQ(audioCounters.iThreads.load(), 0);
    EXPECT_EQ(audioStart(), static_cast<int>(ERROR_INVALID_HANDLE));
    // Opened, never started: the thread never ran.
    ASSERT_EQ(openByHand(), NO_ERROR);
    promptly([] { audioClose(); }, "close after open");
    EXPECT_EQ(audioCounters.iThreads.load(), 0);
    // Running and idle.
    ASSERT_EQ(openByHand(), NO_ERROR);
    audioStart();
    promptly([] { audioClose(); }, "close while idle");
    EXPECT_EQ(audioCounters.iThreads.load(), 0);
    // Running, the ring above its depth, a framer waiting for GetMore.
    ASSERT_EQ(openByHand(), NO_ERROR);
    audioStart();
    std::thread framer([] {
        fillMarkedClip(ucAudioClip);
        SetEvent(hAudioClip);
        EXPECT_EQ(WaitForSingleObject(hGetMore, 2000), WAIT_OBJECT_0);
    });
    std::this_thread::sleep_for(20ms);
    promptly([] { audioClose(); }, "close with a clip in flight");
    framer.join();
    EXPECT_EQ(audioCounters.iThreads.load(), 0);
    // Stopped with a clip handed over before the stop.
    ASSERT_EQ(openByHand(), NO_ERROR);
    audioStart();
    audioStop();
    promptly([] { audioClose(); }, "close after stop");
    // Closed twice.
    promptly([] { audioClose(); }, "a second close");
    EXPECT_EQ(audioStart(), static_cast<int>(ERROR_INVALID_HANDLE));
}

} // namespace

// The ring between the audio thread and the sound callback, driven by a
// stand-in framer and a stand-in sound clock: order, completeness,
// underruns, and a callback path that never allocates.
#include "audio_fixture.h"

#include "audio/ring.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>
#include <vector>

namespace {

// Counts allocations made on a thread while it has the flag set.
thread_local bool bCountAllocations = false;
std::atomic<long> lAllocations{0};

} // namespace

// The replacements pair malloc with free; GCC sees only the free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (bCountAllocations)
        lAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace audiotest;
using namespace std::chrono_literals;

class Ring : public Playback {
  protected:
    // A stand-in clock for the depth logic, in microseconds.
    std::int64_t llNow = 1000000;

    // Clips in a steady stream over llMicros, one every two blocks.
    static int clipsIn(std::int64_t llMicros) {
        return static_cast<int>(llMicros / (2 * BLOCK_MICROS));
    }
    // iClips clips, each llWait after its request, at the stream's pace.
    void stream(DEPTH& depth, int iClips, std::int64_t llWait) {
        for (int i = 0; i < iClips; ++i) {
            llNow += 2 * BLOCK_MICROS;
            depthClipArrived(depth, llWait);
            depthTick(depth, llNow);
        }
    }
};

void waitForProduced(std::uint64_t n) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (audioCounters.ulBlocksProduced.load() < n && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
}

TEST_F(Ring, EveryBlockPlaysOnceAndInOrderUnderRandomTiming) {
    constexpr int CLIPS = 150;
    ASSERT_EQ(audioStart(), 0);

    std::thread framer([] {
        std::mt19937 random(7);
        for (int c = 0; c < CLIPS; ++c) {
            ASSERT_TRUE(handOver());
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 2500));
        }
    });

    std::mt19937 random(11);
    std::vector<long> played;
    long lSilent = 0;
    std::array<float, FRAMES_PER_BLOCK> out;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (played.size() < 2 * CLIPS && std::chrono::steady_clock::now() < deadline) {
        const long n = playOne(out);
        if (n < 0)
            ++lSilent;
        else
            played.push_back(n);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    }
    framer.join();

    ASSERT_EQ(played.size(), 2u * CLIPS);
    for (int i = 0; i < 2 * CLIPS; ++i)
        ASSERT_EQ(played[i], i) << "block " << i << " missing, repeated or out of order";
    EXPECT_EQ(audioCounters.ulBlocksProduced.load(), 2u * CLIPS);
    EXPECT_EQ(audioCounters.ulBlocksPlayed.load(), 2u * CLIPS);
    EXPECT_EQ(audioCounters.ulUnderruns.load(), static_cast<std::uint64_t>(lSilent));
    EXPECT_EQ(audioCounters.ulCallbacks.load(), 2u * CLIPS + lSilent);
    EXPECT_GE(audioCounters.ulHighestFill.load(), 1u);
    EXPECT_LE(audioCounters.ulHighestFill.load(), static_cast<std::uint64_t>(RING_BLOCKS));
    EXPECT_EQ(audioCounters.ulClipsTaken.load(), static_cast<std::uint64_t>(CLIPS));
}

TEST_F(Ring, AnEmptyRingPlaysSilenceAndCountsAnUnderrun) {
    ASSERT_EQ(audioStart(), 0);
    std::array<float, FRAMES_PER_BLOCK> out;
    for (int i = 0; i < 3; ++i) {
        out.fill(99.0f);
        StandInPlay(out.data());
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float f) { return f == 0.0f; }));
    }
    EXPECT_EQ(audioCounters.ulUnderruns.load(), 3u);
    EXPECT_EQ(audioCounters.ulBlocksPlayed.load(), 0u);
    // Every callback raises AudioPlayed, block or no block.
    EXPECT_EQ(WaitForSingleObject(hAudioPlayed, 0), WAIT_OBJECT_0);

    std::thread framer([] { handOver(); });
    waitForProduced(2);
    EXPECT_EQ(playOne(out), 0);
    framer.join(); // GetMore came once the ring was down to its depth
    EXPECT_EQ(playOne(out), 1);
    EXPECT_EQ(playOne(out), -1);
    EXPECT_EQ(audioCounters.ulUnderruns.load(), 4u);
}

TEST_F(Ring, TheNextClipIsRequestedOnceTheRingHasDrainedToItsDepth) {
    ASSERT_EQ(audioStart(), 0);
    std::array<float, FRAMES_PER_BLOCK> out;
    // Silence before the first clip is the wait for it, not a gap.
    EXPECT_EQ(playOne(out), -1);
    std::atomic<bool> bReleased{false};
    std::thread framer([&] {
        handOver();
        bReleased = true;
    });
    waitForProduced(2);
    std::this_thread::sleep_for(20ms);
    // The next clip is asked for only once no more than the depth waits.
    EXPECT_EQ(bReleased.load(), 2 <= MIN_DEPTH)
        << "the next clip was asked for with more than the depth waiting, or held back";
    EXPECT_EQ(playOne(out), 0);
    framer.join();
    EXPECT_TRUE(bReleased);
    EXPECT_EQ(audioCounters.ulDepth.load(), static_cast<std::uint64_t>(MIN_DEPTH));

    // The ring runs dry while the sound output starts: that says nothing
    // about the depth.
    EXPECT_EQ(playOne(out), 1);
    EXPECT_EQ(playOne(out), -1);
    std::thread early([] { handOver(); });
    waitForProduced(4);
    EXPECT_EQ(playOne(out), 2);
    early.join();
    EXPECT_EQ(audioCounters.ulDepth.load(), static_cast<std::uint64_t>(MIN_DEPTH));
    EXPECT_EQ(playOne(out), 3);

    // Later, in mid-stream, it does: the next clip holds one block more
    // before it asks for the one after.
    std::this_thread::sleep_for(std::chrono::microseconds(SETTLING_MICROS));
    EXPECT_EQ(playOne(out), -1);
    std::thread late([] { handOver(); });
    late.join();
    EXPECT_EQ(audioCounters.ulDepth.load(), static_cast<std::uint64_t>(MIN_DEPTH + 1));
    EXPECT_EQ(audioCounters.ulDepthGrown.load(), 1u);
    EXPECT_EQ(playOne(out), 4);
    EXPECT_EQ(playOne(out), 5);
}

TEST_F(Ring, TheDepthGrowsAfterAStallShrinksAfterACleanStretchAndCoversTheLine) {
    DEPTH depth;
    depthReset(depth, llNow);
    // The line rate alone: a request and its frame fit in the blocks
    // waiting and the one being played, with the margin.
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH);
    EXPECT_GE((MIN_DEPTH + 1) * BLOCK_MICROS, LINE_CLIP_MICROS + DEPTH_MARGIN_MICROS);
    EXPECT_LT(MIN_DEPTH * BLOCK_MICROS, LINE_CLIP_MICROS + DEPTH_MARGIN_MICROS)
        << "deeper than the line needs";
    stream(depth, 100, LINE_CLIP_MICROS);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH);

    // Two stalls: a block more each, however clean the stream around them.
    depthUnderrun(depth, llNow);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH + 1);
    stream(depth, 400, LINE_CLIP_MICROS); // 26 s
    depthUnderrun(depth, llNow);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH + 2);
    // A block back after each clean stretch, and never below the line's need.
    stream(depth, clipsIn(CLEAN_STRETCH_MICROS) - 10, LINE_CLIP_MICROS);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH + 2) << "shrunk before the stretch was over";
    stream(depth, 20, LINE_CLIP_MICROS);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH + 1);
    stream(depth, clipsIn(CLEAN_STRETCH_MICROS), LINE_CLIP_MICROS);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH);
    stream(depth, 3 * clipsIn(CLEAN_STRETCH_MICROS), LINE_CLIP_MICROS);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH);

    // Clips that come late again and again (a USB adapter holding a
    // frame's tail): the depth covers them, and drops back once they come
    // on time again. A single late one is left to the underrun it causes.
    constexpr std::int64_t USB_WAIT = LINE_CLIP_MICROS + 14000;
    stream(depth, 1, USB_WAIT);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH);
    stream(depth, 1, USB_WAIT);
    EXPECT_GE((depthBlocks(depth) + 1) * BLOCK_MICROS, USB_WAIT + DEPTH_MARGIN_MICROS);
    stream(depth, ARRIVALS_KEPT, LINE_CLIP_MICROS);
    EXPECT_EQ(depthBlocks(depth), MIN_DEPTH);

    // However bad it gets, the clip on top still fits in the ring.
    for (int i = 0; i < 10; ++i)
        depthUnderrun(depth, llNow);
    stream(depth, 2, 10 * BLOCK_MICROS);
    EXPECT_EQ(depthBlocks(depth), MAX_DEPTH);
    EXPECT_LE(MAX_DEPTH + 2, RING_BLOCKS);
}

TEST_F(Ring, TheCallbackPathNeverAllocates) {
    ASSERT_EQ(audioStart(), 0);
    std::thread framer([] {
        for (int c = 0; c < 20; ++c)
            handOver();
    });
    std::array<float, FRAMES_PER_BLOCK> out;
    long lPlayed = 0;
    lAllocations = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (lPlayed < 40 && std::chrono::steady_clock::now() < deadline) {
        bCountAllocations = true;
        StandInPlay(out.data());
        bCountAllocations = false;
        if (blockNumber(out.data()) >= 0)
            ++lPlayed;
        std::this_thread::sleep_for(200us);
    }
    framer.join();
    EXPECT_EQ(lPlayed, 40);
    EXPECT_EQ(lAllocations.load(), 0);

    // The counter itself works.
    bCountAllocations = true;
    auto* p = new std::vector<int>(3);
    bCountAllocations = false;
    delete p;
    EXPECT_GE(lAllocations.load(), 1);
}

} // namespace

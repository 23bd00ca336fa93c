// The ring between the audio thread and the sound callback, driven by a
// stand-in framer and a stand-in sound clock: order, completeness,
// underruns, and a callback path that never allocates.
#include "audio_fixture.h"

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

class Ring : public Playback {};

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
    framer.join(); // GetMore came before the clip's blocks were played
    while (audioCounters.ulBlocksProduced.load() < 2)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(playOne(out), 0);
    EXPECT_EQ(playOne(out), 1);
    EXPECT_EQ(playOne(out), -1);
    EXPECT_EQ(audioCounters.ulUnderruns.load(), 4u);
}

TEST_F(Ring, TheProducerWaitsWhileTheRingIsFullAndTheNextClipIsRequestedMeanwhile) {
    ASSERT_EQ(audioStart(), 0);
    // Two clips fill three slots and hold the fourth block; both clips are
    // released, since each was decoded before its last block waited.
    std::thread framer([] {
        handOver();
        handOver();
    });
    framer.join();
    const auto settle = std::chrono::steady_clock::now() + 2s;
    while (audioCounters.ulBlocksProduced.load() < RING_BLOCKS &&
           std::chrono::steady_clock::now() < settle)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(audioCounters.ulBlocksProduced.load(), static_cast<std::uint64_t>(RING_BLOCKS));
    EXPECT_EQ(audioCounters.ulHighestFill.load(), static_cast<std::uint64_t>(RING_BLOCKS));

    std::array<float, FRAMES_PER_BLOCK> out;
    for (long n = 0; n < 4; ++n) {
        EXPECT_EQ(playOne(out), n);
        std::this_thread::sleep_for(20ms); // let the thread refill
    }
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

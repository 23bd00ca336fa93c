// The ring of output blocks between the audio thread and the sound
// callback: one producer, one consumer, no lock.
#pragma once

#include "audio/audio.h"

#include <array>
#include <atomic>
#include <cstdint>

// Where a block came from.
struct BLOCKTAG {
    DWORD ulSession;         // the audioStart it belongs to
    std::int64_t llClipTime; // first block of a clip: when the clip was taken; else 0
    std::uint64_t ulClip;    // the clip's number since audioOpen
    std::int64_t llPutTime;  // when it went into the ring
};

struct BLOCK {
    std::array<float, FRAMES_PER_BLOCK> fFrame;
    BLOCKTAG tag;
};

// The counts only grow; block n sits in slot n % RING_BLOCKS. Writing a
// count with release and reading the other side's with acquire hands the
// block contents over with it.
struct RING {
    std::array<BLOCK, RING_BLOCKS> block{};
    std::atomic<std::uint64_t> ullWritten{0};
    std::atomic<std::uint64_t> ullRead{0};
};

// Empties the ring. Neither side may be using it.
void ringReset(RING& ring);

// The producer's side: copies FRAMES_PER_BLOCK frames from fFrame into
// the next slot. FALSE, and nothing written, while the ring is full.
// *pulFill receives the number of blocks waiting, this one included.
bool ringPut(RING& ring, const float* fFrame, const BLOCKTAG& tag, std::uint64_t* pulFill);

// What the consumer's take found.
struct TAKEN {
    bool bPlayed;              // a block of the session went out
    BLOCKTAG tag;              // its tag, when one did
    std::uint64_t ulStale = 0; // blocks of earlier sessions skipped on the way
};

// The consumer's side: copies the oldest block of ulSession into
// pOutput, skipping older sessions' blocks, and fills the rest of the
// ulFrames frames with silence. Never waits or allocates.
TAKEN ringTake(RING& ring, DWORD ulSession, float* pOutput, unsigned long ulFrames);

// How many blocks the ring holds when the next clip is requested.
//
// The audio thread releases the framer (and with it the next request)
// once the ring has drained to the depth, so the clip lands just before
// the ring runs dry: the deeper the ring, the later a clip's sound comes
// out. A request goes out right after a callback took a block, so a clip
// that arrives within (depth + 1) blocks of its request plays without a
// gap. The depth is the least that covers the last few clips' arrivals
// but the slowest one and never less than a clip's time on the line; an
// underrun adds a block, and a long stretch without one takes it back.
// A pure unit on a caller's clock (microseconds), so a test can drive it.
inline constexpr std::int64_t BLOCK_MICROS = 32000; // one block at 8000 frames/s
// Request and frame on the line at 57600 baud, 10 bits an octet: "?RMC\r"
// out, "@RMC", the 16-octet status record and the clip back.
inline constexpr std::int64_t LINE_CLIP_MICROS = (5 + 4 + 16 + CLIPSIZE) * 10 * 1000000LL / 57600;
// Slack on top of the wait a clip needs: a late thread, and a sound
// server that takes its periods in bursts (a callback may come a block
// early). Under a slower build (sanitizers) or a loaded machine a margin
// of less than a block left gaps that the depth's growth did not catch.
inline constexpr std::int64_t DEPTH_MARGIN_MICROS = 40000;
inline constexpr int ARRIVALS_KEPT = 16;                       // about a second of clips
inline constexpr std::int64_t CLEAN_STRETCH_MICROS = 60000000; // a minute without an underrun
inline constexpr int MAX_DEPTH = RING_BLOCKS - 2;              // room for a whole clip on top

// The depth that lets a clip that takes llWaitMicros from request to the
// audio thread arrive before the blocks already waiting have played.
constexpr int depthFor(std::int64_t llWaitMicros) {
    const std::int64_t llNeed = llWaitMicros + DEPTH_MARGIN_MICROS;
    const auto iBlocks = static_cast<int>((llNeed + BLOCK_MICROS - 1) / BLOCK_MICROS) - 1;
    return iBlocks < 1 ? 1 : (iBlocks > MAX_DEPTH ? MAX_DEPTH : iBlocks);
}
// What the line rate alone needs.
inline constexpr int MIN_DEPTH = depthFor(LINE_CLIP_MICROS);

struct DEPTH {
    int iExtra = 0;                                   // blocks added by underruns
    std::int64_t llCleanSince = 0;                    // last underrun, or last block taken back
    std::array<std::int64_t, ARRIVALS_KEPT> llWait{}; // recent request-to-clip times
    int iNextWait = 0;
};

// Starts afresh at the line rate's depth.
void depthReset(DEPTH& depth, std::int64_t llNow);
// A clip came llWaitMicros after it was requested.
void depthClipArrived(DEPTH& depth, std::int64_t llWaitMicros);
// The ring ran dry while the stream was playing: one block more.
void depthUnderrun(DEPTH& depth, std::int64_t llNow);
// Takes one block back after a clean stretch; call it now and then.
void depthTick(DEPTH& depth, std::int64_t llNow);
// The depth now, between MIN_DEPTH and MAX_DEPTH.
int depthBlocks(const DEPTH& depth);

// Blocks waiting in the ring (of any session).
std::uint64_t ringFill(const RING& ring);

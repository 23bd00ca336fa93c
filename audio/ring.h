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

// The lock-free ring of output blocks.
#include "audio/ring.h"

#include <algorithm>
#include <functional>

void ringReset(RING& ring) {
    for (BLOCK& block : ring.block)
        block = BLOCK{};
    ring.ullWritten = 0;
    ring.ullRead = 0;
}

bool ringPut(RING& ring, const float* fFrame, const BLOCKTAG& tag, std::uint64_t* pulFill) {
    const std::uint64_t ullWritten = ring.ullWritten.load(std::memory_order_relaxed);
    if (ullWritten - ring.ullRead.load(std::memory_order_acquire) >= RING_BLOCKS)
        return false;
    BLOCK& block = ring.block[ullWritten % RING_BLOCKS];
    std::copy(fFrame, fFrame + FRAMES_PER_BLOCK, block.fFrame.begin());
    block.tag = tag;
    ring.ullWritten.store(ullWritten + 1, std::memory_order_release);
    *pulFill = ullWritten + 1 - ring.ullRead.load(std::memory_order_relaxed);
    return true;
}

TAKEN ringTake(RING& ring, DWORD ulSession, float* pOutput, unsigned long ulFrames) {
    TAKEN taken{false, {}, 0};
    const std::uint64_t ullWritten = ring.ullWritten.load(std::memory_order_acquire);
    std::uint64_t ullRead = ring.ullRead.load(std::memory_order_relaxed);
    const BLOCK* pBlock = nullptr;
    while (ullRead != ullWritten && pBlock == nullptr) {
        const BLOCK& block = ring.block[ullRead % RING_BLOCKS];
        ++ullRead;
        if (block.tag.ulSession == ulSession)
            pBlock = &block;
        else
            ++taken.ulStale;
    }
    const unsigned long ulCopy = pBlock ? std::min<unsigned long>(ulFrames, FRAMES_PER_BLOCK) : 0;
    if (pBlock) {
        std::copy(pBlock->fFrame.begin(), pBlock->fFrame.begin() + ulCopy, pOutput);
        taken.bPlayed = true;
        taken.tag = pBlock->tag;
    }
    std::fill(pOutput + ulCopy, pOutput + ulFrames, 0.0f);
    // The block is copied out: its slot may be refilled.
    ring.ullRead.store(ullRead, std::memory_order_release);
    return taken;
}

std::uint64_t ringFill(const RING& ring) {
    return ring.ullWritten.load(std::memory_order_acquire) -
           ring.ullRead.load(std::memory_order_acquire);
}

void depthReset(DEPTH& depth, std::int64_t llNow) {
    depth = DEPTH{};
    depth.llCleanSince = llNow;
}

void depthClipArrived(DEPTH& depth, std::int64_t llWaitMicros) {
    depth.llWait[static_cast<std::size_t>(depth.iNextWait)] = llWaitMicros;
    depth.iNextWait = (depth.iNextWait + 1) % ARRIVALS_KEPT;
}

void depthUnderrun(DEPTH& depth, std::int64_t llNow) {
    if (depth.iExtra < MAX_DEPTH - MIN_DEPTH)
        ++depth.iExtra;
    depth.llCleanSince = llNow;
}

void depthTick(DEPTH& depth, std::int64_t llNow) {
    if (depth.iExtra > 0 && llNow - depth.llCleanSince >= CLEAN_STRETCH_MICROS) {
        --depth.iExtra;
        depth.llCleanSince = llNow;
    }
}

int depthBlocks(const DEPTH& depth) {
    // The second slowest: a single late clip is the underrun's business,
    // a link that is slow again and again is the depth's.
    std::array<std::int64_t, ARRIVALS_KEPT> llWait = depth.llWait;
    std::nth_element(llWait.begin(), llWait.begin() + 1, llWait.end(), std::greater<>());
    return std::min(MAX_DEPTH, std::max(MIN_DEPTH, depthFor(llWait[1])) + depth.iExtra);
}

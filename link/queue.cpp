// Priority queues: one lock for all queues, one semaphore per queue.
#include "link/queue.h"

#include <cstring>

namespace {

CRITICAL_SECTION QueueCriticalSection;
int openQueues = 0; // changed only by openQueue and closeQueue

} // namespace

void openQueue(QUEUE* pQueue, LPCSTR szName) {
    if (openQueues++ == 0)
        InitializeCriticalSection(&QueueCriticalSection);
    pQueue->szPacket.fill('\0');
    pQueue->kind = COMMAND_NONE;
    pQueue->count = 0;
    pQueue->Element.fill(QUEUE::ELEMENT{});
    pQueue->Kept.fill(QUEUE::ELEMENT{});
    pQueue->kept = 0;
    pQueue->ulRefused = 0;
    pQueue->ulKept = 0;
    pQueue->ulReplaced = 0;
    pQueue->hQueue = CreateSemaphoreA(nullptr, 0, MAX_QUEUE_ELEMENTS, szName);
}

void closeQueue(QUEUE* pQueue) {
    if (pQueue->hQueue != nullptr) {
        CloseHandle(pQueue->hQueue);
        pQueue->hQueue = nullptr;
    }
    if (openQueues > 0 && --openQueues == 0)
        DeleteCriticalSection(&QueueCriticalSection);
}

namespace {

QUEUE::ELEMENT makeElement(LPCSTR szPacket, int kind, int priority) {
    QUEUE::ELEMENT element{};
    element.priority = priority;
    element.kind = kind;
    // Cut to 15 characters; the rest of the buffer, and always its last
    // character, stays NUL.
    std::memcpy(element.szPacket.data(), szPacket, strnlen(szPacket, MAXRESPONSESIZE - 1));
    return element;
}

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// With the lock held and room in the queue. The packet's unit is released
// by the caller once the lock is left, so the consumer it wakes does not
// find the lock still held.
void append(QUEUE* pQueue, const QUEUE::ELEMENT& element) {
    pQueue->Element[at(pQueue->count)] = element;
    ++pQueue->count;
}

void releaseUnits(QUEUE* pQueue, int nUnits) {
    if (nUnits > 0)
        ReleaseSemaphore(pQueue->hQueue, nUnits, nullptr);
}

// Kept units change nothing on the receiver in between that a later
// setting of the same kind would hide: memory commands store or recall
// what was set before them, a restart and the stream switch act at once.
bool isBarrier(int kind) {
    return kind == COMMAND_MEMORY_READ || kind == COMMAND_MEMORY_WRITE || kind == COMMAND_RESTART ||
           kind == COMMAND_STREAM_ON || kind == COMMAND_STREAM_OFF;
}

// Kinds of the same setting: a tuning, whichever way it is made, or a
// lock, on or off.
int settingOf(int kind) {
    if (isTuningKind(kind))
        return COMMAND_FREQUENCY;
    if (kind == COMMAND_UNLOCK)
        return COMMAND_LOCK;
    return kind;
}

// Removes the kept unit that begins at index first. Lock held.
void removeKept(QUEUE* pQueue, int first) {
    const int size = pQueue->Kept[at(first)].unit;
    for (int i = first; i + size < pQueue->kept; ++i)
        pQueue->Kept[at(i)] = pQueue->Kept[at(i + size)];
    pQueue->kept -= size;
}

// Drops the latest kept unit of the same setting, when no barrier was
// kept after it. Lock held.
void replaceKept(QUEUE* pQueue, int kind) {
    const int setting = settingOf(kind);
    int found = -1;
    for (int i = 0; i < pQueue->kept; i += pQueue->Kept[at(i)].unit) {
        const int keptKind = pQueue->Kept[at(i)].kind;
        if (isBarrier(keptKind))
            found = -1;
        else if (settingOf(keptKind) == setting)
            found = i;
    }
    if (found >= 0) {
        removeKept(pQueue, found);
        pQueue->ulReplaced += 1;
    }
}

// Moves kept units in while the oldest fits whole. Lock held; returns
// the packets moved.
int moveKeptIn(QUEUE* pQueue) {
    int moved = 0;
    while (pQueue->kept > 0 && pQueue->Kept[0].unit <= MAX_QUEUE_ELEMENTS - pQueue->count) {
        const int size = pQueue->Kept[0].unit;
        for (int i = 0; i < size; ++i)
            append(pQueue, pQueue->Kept[at(i)]);
        removeKept(pQueue, 0);
        moved += size;
    }
    return moved;
}

} // namespace

int enqueueUnit(QUEUE* pQueue, const PACKET* pPackets, int nPackets, int priority,
                UNITPOLICY policy) {
    if (nPackets <= 0 || nPackets > MAX_QUEUE_ELEMENTS)
        return QUEUE_ERROR;
    EnterCriticalSection(&QueueCriticalSection);
    int result = QUEUE_SUCCESS;
    // Kept units go first: nothing overtakes them.
    if (pQueue->kept == 0 && pQueue->count + nPackets <= MAX_QUEUE_ELEMENTS) {
        for (int i = 0; i < nPackets; ++i)
            append(pQueue, makeElement(pPackets[i].szText.data(), pPackets[i].kind, priority));
    } else if (policy == UNIT_DROP) {
        pQueue->ulRefused += static_cast<std::uint64_t>(nPackets);
        result = QUEUE_ERROR;
    } else {
        if (policy == UNIT_KEEP_LATEST)
            replaceKept(pQueue, pPackets[0].kind);
        if (pQueue->kept + nPackets <= MAX_KEPT_COMMANDS) {
            for (int i = 0; i < nPackets; ++i) {
                auto element = makeElement(pPackets[i].szText.data(), pPackets[i].kind, priority);
                element.unit = i == 0 ? nPackets : 0;
                pQueue->Kept[at(pQueue->kept + i)] = element;
            }
            pQueue->kept += nPackets;
            pQueue->ulKept += static_cast<std::uint64_t>(nPackets);
            result = QUEUE_KEPT;
        } else {
            pQueue->ulRefused += static_cast<std::uint64_t>(nPackets);
            result = QUEUE_ERROR;
        }
    }
    LeaveCriticalSection(&QueueCriticalSection);
    if (result == QUEUE_SUCCESS)
        releaseUnits(pQueue, nPackets);
    return result;
}

int enqueuePacket(QUEUE* pQueue, const PACKET& packet, int priority) {
    return enqueueUnit(pQueue, &packet, 1, priority, UNIT_DROP);
}

int enqueue(QUEUE* pQueue, LPCSTR szPacket, int priority) {
    PACKET packet;
    packet.kind = commandKindOf(szPacket);
    std::strncpy(packet.szText.data(), szPacket, MAXRESPONSESIZE - 1);
    return enqueuePacket(pQueue, packet, priority);
}

int enqueueCommand(QUEUE* pQueue, LPCSTR szPacket, int priority) {
    PACKET packet;
    packet.kind = commandKindOf(szPacket);
    std::strncpy(packet.szText.data(), szPacket, MAXRESPONSESIZE - 1);
    return enqueueUnit(pQueue, &packet, 1, priority, UNIT_KEEP);
}

namespace {

template <typename Match> int holds(QUEUE* pQueue, Match match) {
    EnterCriticalSection(&QueueCriticalSection);
    int bHeld = FALSE;
    for (int i = 0; i < pQueue->count && !bHeld; ++i)
        bHeld = match(pQueue->Element[at(i)]);
    for (int i = 0; i < pQueue->kept && !bHeld; ++i)
        bHeld = match(pQueue->Kept[at(i)]);
    LeaveCriticalSection(&QueueCriticalSection);
    return bHeld;
}

} // namespace

int queueHolds(QUEUE* pQueue, LPCSTR szPacket) {
    return holds(pQueue, [szPacket](const QUEUE::ELEMENT& element) {
        return std::strcmp(element.szPacket.data(), szPacket) == 0;
    });
}

int queueHoldsKind(QUEUE* pQueue, int kind, int minPriority) {
    return holds(pQueue, [kind, minPriority](const QUEUE::ELEMENT& element) {
        return element.kind == kind && element.priority >= minPriority;
    });
}

char* dequeue(QUEUE* pQueue, int* pPriority) {
    EnterCriticalSection(&QueueCriticalSection);
    if (pQueue->count == 0) {
        LeaveCriticalSection(&QueueCriticalSection);
        return nullptr;
    }
    int best = 0;
    int maxPriority = -1;
    for (int i = 0; i < pQueue->count; ++i) {
        if (pQueue->Element[at(i)].priority > maxPriority) {
            maxPriority = pQueue->Element[at(i)].priority;
            best = i;
        }
    }
    if (pPriority)
        *pPriority = pQueue->Element[at(best)].priority;
    pQueue->szPacket = pQueue->Element[at(best)].szPacket;
    pQueue->kind = pQueue->Element[at(best)].kind;
    for (int i = best; i < pQueue->count - 1; ++i)
        pQueue->Element[at(i)] = pQueue->Element[at(i + 1)];
    --pQueue->count;
    const int moved = moveKeptIn(pQueue);
    LeaveCriticalSection(&QueueCriticalSection);
    releaseUnits(pQueue, moved);
    return pQueue->szPacket.data();
}

int queueWithdraw(QUEUE* pQueue, int belowPriority) {
    EnterCriticalSection(&QueueCriticalSection);
    int kept = 0;
    for (int i = 0; i < pQueue->count; ++i)
        if (pQueue->Element[at(i)].priority >= belowPriority)
            pQueue->Element[at(kept++)] = pQueue->Element[at(i)];
    const int removed = pQueue->count - kept;
    pQueue->count = kept;
    const int moved = moveKeptIn(pQueue);
    LeaveCriticalSection(&QueueCriticalSection);
    releaseUnits(pQueue, moved);
    return removed;
}

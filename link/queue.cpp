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
    pQueue->count = 0;
    for (auto& element : pQueue->Element) {
        element.priority = 0;
        element.szPacket.fill('\0');
    }
    for (auto& element : pQueue->Kept) {
        element.priority = 0;
        element.szPacket.fill('\0');
    }
    pQueue->kept = 0;
    pQueue->ulRefused = 0;
    pQueue->ulKept = 0;
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

void storePacket(QUEUE::ELEMENT* pElement, LPCSTR szPacket, int priority) {
    pElement->priority = priority;
    // Cut to 15 characters; the rest of the buffer, and always its last
    // character, stays NUL.
    std::strncpy(pElement->szPacket.data(), szPacket, MAXRESPONSESIZE - 1);
    pElement->szPacket[MAXRESPONSESIZE - 1] = '\0';
}

// With the lock held and room in the queue. The packet's unit is released
// by the caller once the lock is left, so the consumer it wakes does not
// find the lock still held.
void append(QUEUE* pQueue, const QUEUE::ELEMENT& element) {
    pQueue->Element[static_cast<std::size_t>(pQueue->count)] = element;
    ++pQueue->count;
}

void releaseUnit(QUEUE* pQueue) {
    ReleaseSemaphore(pQueue->hQueue, 1, nullptr);
}

} // namespace

int enqueue(QUEUE* pQueue, LPCSTR szPacket, int priority) {
    EnterCriticalSection(&QueueCriticalSection);
    if (pQueue->count == MAX_QUEUE_ELEMENTS) {
        pQueue->ulRefused += 1;
        LeaveCriticalSection(&QueueCriticalSection);
        return QUEUE_ERROR;
    }
    QUEUE::ELEMENT element;
    storePacket(&element, szPacket, priority);
    append(pQueue, element);
    LeaveCriticalSection(&QueueCriticalSection);
    releaseUnit(pQueue);
    return QUEUE_SUCCESS;
}

int enqueueCommand(QUEUE* pQueue, LPCSTR szPacket, int priority) {
    EnterCriticalSection(&QueueCriticalSection);
    int result = QUEUE_SUCCESS;
    if (pQueue->count < MAX_QUEUE_ELEMENTS) {
        QUEUE::ELEMENT element;
        storePacket(&element, szPacket, priority);
        append(pQueue, element);
    } else if (pQueue->kept < MAX_KEPT_COMMANDS) {
        storePacket(&pQueue->Kept[static_cast<std::size_t>(pQueue->kept)], szPacket, priority);
        ++pQueue->kept;
        pQueue->ulKept += 1;
        result = QUEUE_KEPT;
    } else {
        pQueue->ulRefused += 1;
        result = QUEUE_ERROR;
    }
    LeaveCriticalSection(&QueueCriticalSection);
    if (result == QUEUE_SUCCESS)
        releaseUnit(pQueue);
    return result;
}

int queueHolds(QUEUE* pQueue, LPCSTR szPacket) {
    EnterCriticalSection(&QueueCriticalSection);
    int bHeld = FALSE;
    for (int i = 0; i < pQueue->count && !bHeld; ++i)
        bHeld = std::strcmp(pQueue->Element[static_cast<std::size_t>(i)].szPacket.data(),
                            szPacket) == 0;
    for (int i = 0; i < pQueue->kept && !bHeld; ++i)
        bHeld =
            std::strcmp(pQueue->Kept[static_cast<std::size_t>(i)].szPacket.data(), szPacket) == 0;
    LeaveCriticalSection(&QueueCriticalSection);
    return bHeld;
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
        if (pQueue->Element[static_cast<std::size_t>(i)].priority > maxPriority) {
            maxPriority = pQueue->Element[static_cast<std::size_t>(i)].priority;
            best = i;
        }
    }
    if (pPriority)
        *pPriority = pQueue->Element[static_cast<std::size_t>(best)].priority;
    pQueue->szPacket = pQueue->Element[static_cast<std::size_t>(best)].szPacket;
    for (int i = best; i < pQueue->count - 1; ++i)
        pQueue->Element[static_cast<std::size_t>(i)] =
            pQueue->Element[static_cast<std::size_t>(i + 1)];
    --pQueue->count;
    const bool bMovedIn = pQueue->kept > 0;
    if (bMovedIn) {
        // The oldest kept command takes the room just made.
        append(pQueue, pQueue->Kept[0]);
        for (int i = 0; i < pQueue->kept - 1; ++i)
            pQueue->Kept[static_cast<std::size_t>(i)] =
                pQueue->Kept[static_cast<std::size_t>(i + 1)];
        --pQueue->kept;
    }
    LeaveCriticalSection(&QueueCriticalSection);
    if (bMovedIn)
        releaseUnit(pQueue);
    return pQueue->szPacket.data();
}

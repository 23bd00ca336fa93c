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

int enqueue(QUEUE* pQueue, LPCSTR szPacket, int priority) {
    EnterCriticalSection(&QueueCriticalSection);
    if (pQueue->count == MAX_QUEUE_ELEMENTS) {
        LeaveCriticalSection(&QueueCriticalSection);
        return QUEUE_ERROR;
    }
    auto& element = pQueue->Element[static_cast<std::size_t>(pQueue->count)];
    element.priority = priority;
    // Cut to 15 characters; the rest of the buffer, and always its last
    // character, stays NUL.
    std::strncpy(element.szPacket.data(), szPacket, MAXRESPONSESIZE - 1);
    element.szPacket[MAXRESPONSESIZE - 1] = '\0';
    ++pQueue->count;
    ReleaseSemaphore(pQueue->hQueue, 1, nullptr);
    LeaveCriticalSection(&QueueCriticalSection);
    return QUEUE_SUCCESS;
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
        pQueue->Element[static_cast<std::size_t>(i)] = pQueue->Element[static_cast<std::size_t>(i + 1)];
    --pQueue->count;
    LeaveCriticalSection(&QueueCriticalSection);
    return pQueue->szPacket.data();
}

// Bounded, thread-safe priority queues of short text packets.
//
// The consumer waits on hQueue (one unit per packet) and then calls
// dequeue; producers call enqueue from any thread. The most urgent packet
// comes out first, packets of equal priority in arrival order. Every
// negative priority ranks below 0 and equal to every other negative one.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

#include <array>

inline constexpr int MAXRESPONSESIZE = 16;
inline constexpr int MAX_QUEUE_ELEMENTS = 50;
inline constexpr int QUEUE_SUCCESS = 1;
inline constexpr int QUEUE_ERROR = 0;
inline constexpr int MIN_PRIORITY = 0;
inline constexpr int MAX_PRIORITY = 255;

struct QUEUE {
    struct ELEMENT {
        int priority;
        std::array<char, MAXRESPONSESIZE> szPacket;
    };

    std::array<char, MAXRESPONSESIZE> szPacket; // the packet dequeue last removed
    int count;
    HANDLE hQueue; // one unit per packet not yet claimed by the consumer
    std::array<ELEMENT, MAX_QUEUE_ELEMENTS> Element;
};

void openQueue(QUEUE* pQueue, LPCSTR szName);
void closeQueue(QUEUE* pQueue);
int enqueue(QUEUE* pQueue, LPCSTR szPacket, int priority);
// The removed packet's text (the queue's own szPacket, valid until the
// next dequeue on this queue), or nullptr when the queue is empty.
char* dequeue(QUEUE* pQueue, int* pPriority);

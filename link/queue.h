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
#include <cstdint>

inline constexpr int MAXRESPONSESIZE = 16;
inline constexpr int MAX_QUEUE_ELEMENTS = 50;
inline constexpr int QUEUE_SUCCESS = 1;
inline constexpr int QUEUE_ERROR = 0;
inline constexpr int QUEUE_KEPT = 2; // enqueueCommand: full, kept until there is room
inline constexpr int MIN_PRIORITY = 0;
inline constexpr int MAX_PRIORITY = 255;
// Operator commands held back while their queue is full.
inline constexpr int MAX_KEPT_COMMANDS = 64;

struct QUEUE {
    struct ELEMENT {
        int priority;
        std::array<char, MAXRESPONSESIZE> szPacket;
    };

    std::array<char, MAXRESPONSESIZE> szPacket; // the packet dequeue last removed
    int count;
    HANDLE hQueue; // one unit per packet not yet claimed by the consumer
    std::array<ELEMENT, MAX_QUEUE_ELEMENTS> Element;
    // Operator commands that found the queue full, oldest first; dequeue
    // moves the oldest in as soon as it has made room.
    std::array<ELEMENT, MAX_KEPT_COMMANDS> Kept;
    int kept;
    Shared<std::uint64_t> ulRefused; // packets refused since openQueue (lost)
    Shared<std::uint64_t> ulKept;    // commands kept back since openQueue (not lost)
};

void openQueue(QUEUE* pQueue, LPCSTR szName);
void closeQueue(QUEUE* pQueue);
int enqueue(QUEUE* pQueue, LPCSTR szPacket, int priority);
// For commands the operator gave, which must not be lost: like enqueue,
// but a command that finds the queue full is kept, in order with the
// other kept ones, and enters the queue as room frees (QUEUE_KEPT).
// QUEUE_ERROR only when MAX_KEPT_COMMANDS are already kept.
int enqueueCommand(QUEUE* pQueue, LPCSTR szPacket, int priority);
// TRUE while a packet with exactly this text waits in the queue, kept
// commands included.
int queueHolds(QUEUE* pQueue, LPCSTR szPacket);
// The removed packet's text (the queue's own szPacket, valid until the
// next dequeue on this queue), or nullptr when the queue is empty.
char* dequeue(QUEUE* pQueue, int* pPriority);

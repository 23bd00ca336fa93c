// Bounded, thread-safe priority queues of short text packets.
//
// The consumer waits on hQueue (one unit per packet) and then calls
// dequeue; producers call enqueue from any thread. The most urgent packet
// comes out first, packets of equal priority in arrival order. Every
// negative priority ranks below 0 and equal to every other negative one.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"
#include "protocol/command.h"

#include <array>
#include <cstdint>

inline constexpr int MAXRESPONSESIZE = COMMAND_SIZE;
inline constexpr int MAX_QUEUE_ELEMENTS = 50;
inline constexpr int QUEUE_SUCCESS = 1;
inline constexpr int QUEUE_ERROR = 0;
inline constexpr int QUEUE_KEPT = 2; // full: kept until there is room
inline constexpr int MIN_PRIORITY = 0;
inline constexpr int MAX_PRIORITY = 255;
// Operator commands held back while their queue is full.
inline constexpr int MAX_KEPT_COMMANDS = 64;

// What enqueueUnit does with a unit that finds the queue full.
enum UNITPOLICY : int {
    UNIT_DROP,        // refuse it (QUEUE_ERROR): whoever sent it asks again
    UNIT_KEEP,        // keep it, in order with the other kept units
    UNIT_KEEP_LATEST, // keep it in place of an older kept unit of the same kind
};

struct QUEUE {
    struct ELEMENT {
        int priority;
        std::array<char, MAXRESPONSESIZE> szPacket;
        int kind; // COMMANDKIND
        int unit; // kept packets only: how many packets the unit this one begins holds
    };

    std::array<char, MAXRESPONSESIZE> szPacket; // the packet dequeue last removed
    int kind;                                   // and its kind (COMMANDKIND)
    int count;
    HANDLE hQueue; // one unit per packet not yet claimed by the consumer
    std::array<ELEMENT, MAX_QUEUE_ELEMENTS> Element;
    // Operator commands that found the queue full, oldest first, in whole
    // units; dequeue moves the oldest unit in as soon as there is room for
    // all of it.
    std::array<ELEMENT, MAX_KEPT_COMMANDS> Kept;
    int kept;
    Shared<std::uint64_t> ulRefused;  // packets refused since openQueue (lost)
    Shared<std::uint64_t> ulKept;     // commands kept back since openQueue (not lost)
    Shared<std::uint64_t> ulReplaced; // kept commands a later one of their kind replaced
};

void openQueue(QUEUE* pQueue, LPCSTR szName);
void closeQueue(QUEUE* pQueue);
// A text packet; its kind is read from the text. Refused (QUEUE_ERROR)
// when the queue is full, or while operator commands wait for room.
int enqueue(QUEUE* pQueue, LPCSTR szPacket, int priority);
int enqueuePacket(QUEUE* pQueue, const PACKET& packet, int priority);
// Packets that go to the receiver together: all of them enter the queue,
// in order, or none does. When there is no room for all (or older kept
// units wait), the policy decides: refused, or kept whole and moved in
// as room frees (QUEUE_KEPT). UNIT_KEEP_LATEST drops an older kept unit
// of the same kind first, unless a memory, restart or stream command
// was kept after it (that one must still see the older setting).
// QUEUE_ERROR when refused, or when MAX_KEPT_COMMANDS cannot hold it.
int enqueueUnit(QUEUE* pQueue, const PACKET* pPackets, int nPackets, int priority,
                UNITPOLICY policy);
// For commands the operator gave, which must not be lost: like enqueue,
// but a command that finds the queue full is kept, in order with the
// other kept ones, and enters the queue as room frees (QUEUE_KEPT).
// QUEUE_ERROR only when MAX_KEPT_COMMANDS are already kept.
int enqueueCommand(QUEUE* pQueue, LPCSTR szPacket, int priority);
// TRUE while a packet with exactly this text waits in the queue, kept
// commands included.
int queueHolds(QUEUE* pQueue, LPCSTR szPacket);
// TRUE while a packet of this kind and at least this priority waits in
// the queue, kept ones included.
int queueHoldsKind(QUEUE* pQueue, int kind, int minPriority);
// Removes every waiting packet of a priority below belowPriority (the
// scanner's, withdrawn when it stops); returns how many. Their units stay
// in hQueue, and dequeue answers nullptr for each.
int queueWithdraw(QUEUE* pQueue, int belowPriority);
// The removed packet's text (the queue's own szPacket, valid until the
// next dequeue on this queue; its kind is left in pQueue->kind), or
// nullptr when the queue is empty.
char* dequeue(QUEUE* pQueue, int* pPriority);

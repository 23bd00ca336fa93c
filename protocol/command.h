// Every command the program sends to the receiver, built in one place.
//
// Each packet carries its kind, so that the queue and the link decide
// what to keep, replace or resend by what a command does, never by
// comparing its text.
#pragma once

#include "platform/types.h"

#include <array>
#include <cstddef>

// Every command and response buffer holds this many characters, its
// terminating NUL included.
inline constexpr int COMMAND_SIZE = 16;

enum COMMANDKIND : int {
    COMMAND_NONE = 0,     // a packet of no known kind (a response line)
    COMMAND_FREQUENCY,    // "*AF": tune, normal tuning
    COMMAND_DIVIDER_R,    // "*AR": reference divider, first of an extended tuning
    COMMAND_DIVIDER_N,    // "*AN": loop divider, second of an extended tuning
    COMMAND_DIVIDER_TUNE, // "*AD": frequency, last of an extended tuning
    COMMAND_LOCK,         // "*AL"
    COMMAND_UNLOCK,       // "*AU"
    COMMAND_MODE,         // "*RMM"
    COMMAND_STEP,         // "*RMI"
    COMMAND_MEMORY_READ,  // "*KRA"
    COMMAND_MEMORY_WRITE, // "*KWA"
    COMMAND_STREAM_ON,    // "?RMC": start the stream, or ask for the next clip
    COMMAND_STREAM_OFF,   // "*RMC"
    COMMAND_RESTART,      // "XX"
    COMMAND_QUERY_FREQUENCY,
    COMMAND_QUERY_MODE,
    COMMAND_QUERY_STEP,
    COMMAND_QUERY_LOCK,
    COMMAND_QUERY_SIGNAL,
    COMMAND_STREAM_RETRY, // "?RMC" to a stream that stopped: answered or not, the link goes on
};

struct PACKET {
    COMMANDKIND kind = COMMAND_NONE;
    std::array<char, COMMAND_SIZE> szText{};
};

// The commands that tune the receiver to one frequency: "*AF" alone, or
// in extended tuning "*AR", "*AN" and "*AD" (the dividers only when the
// synthesizer can make the frequency). They go to the receiver together
// or not at all.
struct TUNINGUNIT {
    std::array<PACKET, 3> packets{};
    int count = 0;
    int R = 0; // the dividers sent, when count is 3
    int N = 0;
};

PACKET commandFrequency(DWORD ulFrequency);
// Normal tuning, or extended tuning when bExtended is TRUE.
TUNINGUNIT commandTuning(DWORD ulFrequency, BOOL bExtended);
// MODE_AM, MODE_CW, anything else is SSB.
PACKET commandMode(DWORD uMode);
PACKET commandStep(DWORD uSpeed);
PACKET commandLock(BOOL bLock);
PACKET commandMemoryRead(DWORD uMemory);
PACKET commandMemoryWrite(DWORD uMemory);
PACKET commandStream(BOOL bOn);
// "?RMC" as a retry: the same text, but the link does not wait for its
// frame, so the status poll goes on while a stopped stream is asked for.
PACKET commandStreamRetry();
PACKET commandRestart();
// One of the five status queries (COMMAND_QUERY_...).
PACKET commandQuery(COMMANDKIND kind);

// TRUE for the kinds that tune the receiver (a whole tuning unit).
constexpr BOOL isTuningKind(int kind) {
    return kind == COMMAND_FREQUENCY || kind == COMMAND_DIVIDER_R || kind == COMMAND_DIVIDER_N ||
           kind == COMMAND_DIVIDER_TUNE;
}

// The kind of a command text built above (COMMAND_NONE for any other
// text), for packets that arrive as text alone.
COMMANDKIND commandKindOf(const char* szText);

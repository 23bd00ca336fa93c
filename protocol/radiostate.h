// The receiver state record and the constants every subsystem shares.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

inline constexpr DWORD MODE_SSB = 1;
inline constexpr DWORD MODE_CW = 2;
inline constexpr DWORD MODE_AM = 4;

// The word for a receiver mode ("AM", "CW", "SSB"), empty for any other
// value: in file names, station lists and exports alike.
constexpr const char* modeWord(DWORD uMode) {
    return uMode == MODE_AM ? "AM" : uMode == MODE_CW ? "CW" : uMode == MODE_SSB ? "SSB" : "";
}

inline constexpr DWORD MIN_FREQUENCY = 100000;
inline constexpr DWORD MAX_FREQUENCY = 30000000;
inline constexpr DWORD MIN_MEMORY = 1;
inline constexpr DWORD MAX_MEMORY = 128;

// First character of every response line.
inline constexpr char cPreamble = '@';

// What the receiver reports, what the dialog shows of it, or what the
// operator works with. Each field is one word that the exec thread and
// the dialog thread may share without a lock.
struct RADIOSTATE {
    Shared<DWORD> ulFrequency; // hertz
    Shared<DWORD> uSpeed;      // tuning step, hertz
    Shared<DWORD> uSUnits;     // signal strength, S-units
    Shared<DWORD> uMode;       // MODE_SSB, MODE_CW or MODE_AM
    Shared<BOOL> bLock;        // front panel locked
};

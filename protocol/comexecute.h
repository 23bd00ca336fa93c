// Interpretation of response lines into the receiver state.
#pragma once

#include "platform/sync.h"
#include "protocol/radiostate.h"

#include <array>

extern RADIOSTATE radio;                 // what the receiver last reported
extern Shared<BOOL> bSignal;             // the display is to be refreshed
extern Shared<int> bStart;               // the receiver announced its start
extern const std::array<DWORD, 8> ulJog; // tuning step for each step code

// Applies one NUL-terminated response line to radio; raises bSignal for a
// signal report or an audio frame, and counts a start announcement (a
// line not begun by "@" that contains "START") in bStart. Never reads past
// the line's terminator.
void comExecute(const char* szResponse);

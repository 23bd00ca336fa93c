// The tuning steps the operator can choose, and moving along them.
#pragma once

#include "platform/types.h"
#include "protocol/steps.h" // uaSpeed, the receiver's steps

// Spinner deltas: the upper arrow (or Up key) and the lower arrow (or Down).
inline constexpr int UP = -1;
inline constexpr int DOWN = 1;

// What changeSpeed returns for a step that is not in uaSpeed.
inline constexpr DWORD NOT_A_SPEED = 0xFFFFFFFF;

// The next larger step for UP, the next smaller for DOWN, uSpeed itself at
// either end of the table and for any other delta (so delta 0 only tells
// whether uSpeed is a table step); NOT_A_SPEED when uSpeed is not a step.
DWORD changeSpeed(DWORD uSpeed, int delta);

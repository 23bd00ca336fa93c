// The tuning steps the receiver offers, in increasing order.
#pragma once

#include "platform/types.h"

#include <array>

inline constexpr int speedSize = 9;
// Tuning steps in hertz, in increasing order.
inline constexpr std::array<DWORD, speedSize> uaSpeed{10,   100,  1000,  1250,  2500,
                                                      5000, 9000, 10000, 100000};

// What the link's rooms (the port, the receive window, the replay) share
// with the two link threads that run them in lock-step. Defined with the
// threads in link/comthread.cpp.
#pragma once

#include "platform/types.h"

// The longest wait for an octet (ms): a read of the port returns after
// it with nothing, and a window without a port pauses this long.
inline constexpr DWORD READTOTALTIMEOUTCONSTANT = 5;
// Octets per second at 57600 baud, 8N1.
inline constexpr double LINE_RATE = 5760.0;

// TRUE once comClose has asked the link threads to stop (as the calling
// link thread sees it).
bool linkStopping();
// A pause of up to ulMilliseconds, cut short by comClose.
void linkPause(DWORD ulMilliseconds);
// Lets the transmit thread go on to its next command while the receive
// thread still hands on what the window brought; once per window.
void linkReleaseTransmit();

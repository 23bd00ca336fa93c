// The replay: without a port, while the audio stream is on, the receive
// windows read a recorded receive stream instead, looping over it, at the
// pace the receiver would deliver it. Receive thread, but for open and
// close.
#pragma once

#include "platform/types.h"

// Opens the replay file (link/replayfile.h); an absent file is no error.
void replayOpen();
// Closes the file, or keeps it for a link thread left behind.
void replayClose(BOOL bRelease);
// TRUE while a replay file is open.
bool replayAvailable();
// The next octet, once it would have crossed the line; after the last the
// file starts over. The count read: 0 without a file.
DWORD replayRead(BYTE* pucOctet);
// TRUE when the file has started over since the last call.
bool replayTakeWrapped();

// The serial port, the two message queues and the two link threads.
#pragma once

#include "link/queue.h"
#include "platform/sync.h"
#include "platform/types.h"

#include <array>

extern QUEUE QueueMessage;  // commands out
extern QUEUE QueueResponse; // complete response lines in
extern std::array<char, MAXRESPONSESIZE> szResponse; // line being assembled by the framer
extern Shared<int> bStreaming; // TRUE while audio frames are expected

DWORD comOpen(LPCSTR szComPort);
void comStart();
void comClose();

// The serial port, the two message queues and the two link threads.
//
// The transmit thread takes the most urgent command from QueueMessage,
// writes it and waits until it has left the port; then the receive
// thread reads one window: octets until one complete line or frame, or
// until the line has been silent for 5 ms. Only then is the next command
// written. Without a port, commands are taken and dropped, and while the
// audio stream is on the windows replay "../wwv.bin".
#pragma once

#include "link/queue.h"
#include "platform/sync.h"
#include "platform/types.h"

#include <array>

extern QUEUE QueueMessage;                           // commands out
extern QUEUE QueueResponse;                          // complete response lines in
extern std::array<char, MAXRESPONSESIZE> szResponse; // line being assembled by the framer
extern Shared<int> bStreaming;                       // TRUE while audio frames are expected

// NO_ERROR, or the error code of the step that failed. The queues and
// events exist in either case; without a port the link runs portless.
DWORD comOpen(LPCSTR szComPort);
void comStart();
// Stops and joins both link threads, then releases the port (restoring
// its settings), the queues, the replay file and the events. Safe when
// never opened, never started, or already closed.
void comClose();

DWORD comThreadTransmit(LPVOID);
DWORD comThreadReceive(LPVOID);
// One octet from the port, or from the replay file; *pulRead is 0 or 1.
BYTE ReadOctet(DWORD* pulRead);

// The receive window, on the receive thread (link/comthread.h).
//
// A window reads octets until one complete line or frame, or until the
// line has been silent for a read time-out; the window after a request
// for a clip waits for its frame until FRAME_SILENCE has passed, and asks
// again, up to MAX_UNANSWERED_REQUESTS times. A window that only babbles
// is cut at WINDOW_OCTET_LIMIT octets or WINDOW_TIME_LIMIT, and the framer
// starts afresh. Complete units go to QueueResponse; an answer that finds
// a stream stopped while audio is on asks for it again (comResumeStream).
#pragma once

#include "platform/types.h"

// A new link (comOpen): no request out, no stream to resume.
void windowReset();
// Transmit thread, for every command taken, before it is written (no
// window is open): a request for a clip makes the next window wait for
// its frame; "*RMC\r" ends the stream for good.
void windowTaken(int kind);
// One window.
void receiveWindow();
// TRUE once a frame has come since the stream was last switched off: a
// stream that stops then is asked for again while audio is on.
BOOL windowStreamWanted();

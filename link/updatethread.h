// The poll thread: queues the status queries ten times a second while
// no audio is streaming.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

// The operator's Lock setting; written by the dialog, read by the poll
// thread, which then leaves out the frequency, mode and step queries.
extern Shared<BOOL> bLock;

// NO_ERROR, or the error code when the thread or its timer cannot be
// created.
DWORD updateOpen();
void updateStart();
// Stops and joins the poll thread. Safe when never opened or started,
// and twice.
void updateClose();

DWORD updateThread(LPVOID);
// Queues one batch of status queries on QueueMessage.
void QueueQueryMessages();

// The poll thread: queues the status queries ten times a second while
// no audio is streaming.
#include "link/updatethread.h"

#include "link/comthread.h"
#include "platform/worker.h"

Shared<BOOL> bLock{FALSE};

namespace {

constexpr DWORD POLL_PERIOD = 100; // ms

HANDLE hUpdateThread = nullptr;
DWORD ulUpdateThreadID = 0;
StopFlag bUpdateThreadDone;
WORKER updateWorker{"poll", updateThread, bUpdateThreadDone, hUpdateThread, ulUpdateThreadID};
// The poll thread's timer. Nothing signals it but updateClose, which
// wakes the thread to end it; it lives as long as the thread.
HANDLE hEventUpdate = nullptr;

} // namespace

DWORD updateOpen() {
    bUpdateThreadDone = 0;
    hEventUpdate = CreateEventA(nullptr, FALSE, FALSE, "update");
    if (hEventUpdate == nullptr)
        return GetLastError(); // without its timer the thread would spin
    if (const DWORD ulError = workerOpen(&updateWorker); ulError != NO_ERROR) {
        CloseHandle(hEventUpdate);
        hEventUpdate = nullptr;
        return ulError;
    }
    return NO_ERROR;
}

void updateStart() {
    workerStart(&updateWorker);
}

void updateClose() {
    if (hUpdateThread == nullptr)
        return;
    bUpdateThreadDone = 1;
    SetEvent(hEventUpdate);
    // A thread left behind may still wait on its timer.
    if (workerJoin(&updateWorker))
        CloseHandle(hEventUpdate);
    else
        workerKeep(hEventUpdate);
    hEventUpdate = nullptr;
}

DWORD updateThread(LPVOID) {
    while (!bUpdateThreadDone) {
        if (!bStreaming)
            QueueQueryMessages();
        WaitForSingleObject(hEventUpdate, POLL_PERIOD);
    }
    return 1;
}

void QueueQueryMessages() {
    if (!bLock) {
        enqueue(&QueueMessage, "?AF\r", MIN_PRIORITY);
        enqueue(&QueueMessage, "?RMM\r", MIN_PRIORITY);
        enqueue(&QueueMessage, "?RMI\r", MIN_PRIORITY);
    }
    enqueue(&QueueMessage, "?AU\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "?S\r", MIN_PRIORITY);
}

// The poll thread: queues the status queries ten times a second while
// no audio is streaming.
#include "link/updatethread.h"

#include "link/comthread.h"

Shared<BOOL> bLock{FALSE};

namespace {

constexpr DWORD POLL_PERIOD = 100; // ms

HANDLE hUpdateThread = nullptr;
DWORD ulUpdateThreadID = 0;
Shared<int> bUpdateThreadDone{0};
// The poll thread's timer. Nothing signals it but updateClose, which
// wakes the thread to end it; it lives as long as the thread's handle.
HANDLE hEventUpdate = nullptr;

} // namespace

DWORD updateOpen() {
    bUpdateThreadDone = 0;
    hEventUpdate = CreateEventA(nullptr, FALSE, FALSE, "update");
    if (hEventUpdate == nullptr)
        return GetLastError(); // without its timer the thread would spin
    hUpdateThread =
        CreateThread(nullptr, 0, updateThread, nullptr, CREATE_SUSPENDED, &ulUpdateThreadID);
    if (hUpdateThread == nullptr) {
        const DWORD ulError = GetLastError();
        CloseHandle(hEventUpdate);
        hEventUpdate = nullptr;
        return ulError;
    }
    SetThreadPriority(hUpdateThread, THREAD_PRIORITY_BELOW_NORMAL);
    return NO_ERROR;
}

void updateStart() {
    if (hUpdateThread != nullptr)
        ResumeThread(hUpdateThread);
}

void updateClose() {
    if (hUpdateThread == nullptr)
        return;
    bUpdateThreadDone = 1;
    SetEvent(hEventUpdate);
    JoinThread(hUpdateThread, "poll");
    CloseHandle(hUpdateThread);
    hUpdateThread = nullptr;
    CloseHandle(hEventUpdate);
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

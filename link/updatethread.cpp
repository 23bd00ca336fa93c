// The poll thread: queues the status queries ten times a second while
// no audio is streaming.
#include "link/updatethread.h"

#include "audio/audio.h"
#include "link/comthread.h"
#include "platform/worker.h"

#include <array>
#include <chrono>

Shared<BOOL> bLock{FALSE};

namespace {

constexpr DWORD POLL_PERIOD = 100; // ms

constexpr std::array<COMMANDKIND, 5> batch{COMMAND_QUERY_FREQUENCY, COMMAND_QUERY_MODE,
                                           COMMAND_QUERY_STEP, COMMAND_QUERY_LOCK,
                                           COMMAND_QUERY_SIGNAL};

// TRUE while a query of the last batch still waits in QueueMessage (a
// scanner's query, below every priority, is not the poll's).
bool batchWaiting() {
    for (const COMMANDKIND kind : batch)
        if (queueHoldsKind(&QueueMessage, kind, MIN_PRIORITY))
            return true;
    return false;
}

void queueQuery(COMMANDKIND kind) {
    enqueuePacket(&QueueMessage, commandQuery(kind), MIN_PRIORITY);
}

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
    // A thread left behind may still wait on its timer.
    workerClose({&updateWorker}, [] { SetEvent(hEventUpdate); }, {hEventUpdate});
}

DWORD updateThread(LPVOID) {
    auto streamSeen = std::chrono::steady_clock::now();
    while (!bUpdateThreadDone) {
        if (!bStreaming) {
            // One batch outstanding: while the link is slow (a babbling
            // line) the batches would otherwise fill QueueMessage and
            // crowd out the operator's commands.
            if (batchWaiting())
                linkCounters.ulPollsSkipped += 1;
            else
                QueueQueryMessages();
        }
        // A stream that stopped while audio is on, and that no answered
        // poll has restarted, is asked for again once a period.
        const auto now = std::chrono::steady_clock::now();
        if (bStreaming || !bAudioOn) {
            streamSeen = now;
        } else if (now - streamSeen >= STREAM_RETRY_PERIOD) {
            comResumeStream();
            streamSeen = now;
        }
        WaitForSingleObject(hEventUpdate, POLL_PERIOD);
    }
    return 1;
}

void QueueQueryMessages() {
    if (!bLock) {
        queueQuery(COMMAND_QUERY_FREQUENCY);
        queueQuery(COMMAND_QUERY_MODE);
        queueQuery(COMMAND_QUERY_STEP);
    }
    queueQuery(COMMAND_QUERY_LOCK);
    queueQuery(COMMAND_QUERY_SIGNAL);
}

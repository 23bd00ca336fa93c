// Serial port and link threads: the two threads in lock-step, the queues
// and the words they share. The port's life is in link/port.cpp, the
// receive window in link/window.cpp, the replay in link/replay.cpp.
#include "link/comthread.h"

#include "audio/audio.h"
#include "link/control.h"
#include "link/lockstep.h"
#include "link/port.h"
#include "link/replay.h"
#include "link/window.h"
#include "platform/worker.h"
#include "protocol/command.h"

#include <string>

QUEUE QueueMessage;
QUEUE QueueResponse;
std::array<char, MAXRESPONSESIZE> szResponse;
Shared<int> bStreaming{0};
LINKCOUNTERS linkCounters;

namespace {

HANDLE hSyncReceive = nullptr;
HANDLE hSyncTransmit = nullptr;
HANDLE hWait = nullptr;
StopFlag bComThreadDone; // stops both link threads
HANDLE hComThreadTransmit = nullptr;
DWORD ulComThreadTransmitID = 0;
HANDLE hComThreadReceive = nullptr;
DWORD ulComThreadReceiveID = 0;
WORKER transmitWorker{"transmit", comThreadTransmit, bComThreadDone, hComThreadTransmit,
                      ulComThreadTransmitID};
WORKER receiveWorker{"receive", comThreadReceive, bComThreadDone, hComThreadReceive,
                     ulComThreadReceiveID};
bool bQueuesOpen = false; // changed only by comOpen and comClose

// TRUE once the current window has let the transmit thread go on; on the
// receive thread.
bool bTransmitReleased = false;

void clearCounters() {
    for (Shared<std::uint64_t>* pCount :
         {&linkCounters.ulFramesAbandoned, &linkCounters.ulRequestsUnanswered,
          &linkCounters.ulRequestsRepeated, &linkCounters.ulStreamsEnded,
          &linkCounters.ulWindowsCut, &linkCounters.ulResyncs, &linkCounters.ulBacklogUnits,
          &linkCounters.ulResponsesDropped, &linkCounters.ulPollsSkipped,
          &linkCounters.ulStreamsResumed})
        *pCount = 0;
}

// Every wait a link thread may be in ends.
void wakeLinkThreads() {
    if (bQueuesOpen)
        ReleaseSemaphore(QueueMessage.hQueue, 1, nullptr);
    if (hSyncReceive != nullptr)
        SetEvent(hSyncReceive);
    if (hSyncTransmit != nullptr)
        SetEvent(hSyncTransmit);
    portAbort();
    if (hWait != nullptr)
        SetEvent(hWait); // a pause inside a frame, or between replay octets
    if (hGetMore != nullptr)
        SetEvent(hGetMore); // a clip hand-off waiting for the audio side
}

void closeQueues(BOOL bRelease) {
    if (!bQueuesOpen)
        return;
    workerRelease(&QueueMessage.hQueue, bRelease);
    workerRelease(&QueueResponse.hQueue, bRelease);
    closeQueue(&QueueMessage);
    closeQueue(&QueueResponse);
    bQueuesOpen = false;
}

} // namespace

bool linkStopping() {
    return bComThreadDone != 0;
}

void linkPause(DWORD ulMilliseconds) {
    WaitForSingleObject(hWait, ulMilliseconds);
}

void linkReleaseTransmit() {
    if (!bTransmitReleased) {
        bTransmitReleased = true;
        SetEvent(hSyncTransmit);
    }
}

DWORD comOpen(LPCSTR szComPort) {
    bComThreadDone = 0;
    clearCounters();
    windowReset();
    // What other threads use exists before anything can fail.
    hSyncTransmit = CreateEventA(nullptr, FALSE, FALSE, "syncTransmit");
    hSyncReceive = CreateEventA(nullptr, FALSE, FALSE, "syncReceive");
    hWait = CreateEventA(nullptr, TRUE, FALSE, "eventWait");
    openQueue(&QueueMessage, "queueMessage");
    openQueue(&QueueResponse, "queueResponse");
    controlForgetAnswers(); // nothing sent before is answered on this link
    bQueuesOpen = true;

    if (const DWORD ulError = workerOpen(&transmitWorker); ulError != NO_ERROR)
        return ulError;
    if (const DWORD ulError = workerOpen(&receiveWorker); ulError != NO_ERROR) {
        // A transmit thread without its partner would stall on its first
        // command: it is stopped before it ever sends.
        workerClose({&transmitWorker}, nullptr);
        return ulError;
    }

    replayOpen();

    if (szComPort == nullptr)
        return ERROR_INVALID_PARAMETER;
    return portOpen(szComPort);
}

DWORD comSwitchPort(LPCSTR szComPort) {
    if (szComPort == nullptr)
        return ERROR_INVALID_PARAMETER;
    const DWORD ulError = portSwitch(szComPort);
    // The transmit thread sends what was kept, or starts waiting for the
    // next attempt; an empty wake-up dequeues nothing.
    if (bQueuesOpen)
        ReleaseSemaphore(QueueMessage.hQueue, 1, nullptr);
    return ulError;
}

void comStart() {
    workerStart(&receiveWorker);
    workerStart(&transmitWorker);
}

void comClose() {
    // Each wait of the link threads gets its wake-up. What they use is
    // released only when no thread is left that could reach it: a link
    // thread left behind reaches the port, the queues, the replay file and
    // the events, an exec or poll thread left behind the queues.
    workerClose({&transmitWorker, &receiveWorker}, wakeLinkThreads,
                {portClose, closeQueues, replayClose, hWait, hSyncTransmit, hSyncReceive},
                WORKER_SHARED);
}

DWORD comThreadTransmit(LPVOID) {
    while (!bComThreadDone) {
        portKeepOpen();
        const DWORD ulWait = WaitForSingleObject(QueueMessage.hQueue, portWaitLimit());
        if (ulWait == WAIT_TIMEOUT)
            continue; // time to try the port again
        if (ulWait != WAIT_OBJECT_0)
            break; // no queue to wait on: nothing to send, ever
        if (bComThreadDone)
            break; // the wake-up of comClose, not a packet
        const char* szPacket = dequeue(&QueueMessage, nullptr);
        if (szPacket == nullptr)
            continue;
        int kind = QueueMessage.kind;
        // Without a port the replay answers every request at once: a retry
        // is a request like any other.
        if (kind == COMMAND_STREAM_RETRY && !portReadable())
            kind = COMMAND_STREAM_ON;
        if (kind == COMMAND_STREAM_ON)
            bStreaming = 1;
        if (kind == COMMAND_STREAM_OFF)
            bStreaming = 0;
        windowTaken(kind);
        controlSent(kind);
        portTransmit(kind, szPacket);
        if (bComThreadDone)
            break; // a close gave up on this thread while it waited for the port
        SetEvent(hSyncReceive);
        WaitForSingleObject(hSyncTransmit, INFINITE);
    }
    return 1;
}

DWORD comThreadReceive(LPVOID) {
    while (!bComThreadDone) {
        if (WaitForSingleObject(hSyncReceive, INFINITE) != WAIT_OBJECT_0)
            break;
        bTransmitReleased = false;
        if (!bComThreadDone)
            receiveWindow();
        linkReleaseTransmit();
    }
    return 1;
}

BYTE ReadOctet(DWORD* pulRead) {
    BYTE ucOctet = 0;
    DWORD ulRead = 0;
    if (!portRead(&ucOctet, &ulRead)) {
        // No port: the replay while the stream is on, a pause otherwise.
        if (bStreaming)
            ulRead = replayRead(&ucOctet);
        else
            linkPause(READTOTALTIMEOUTCONSTANT);
    }
    *pulRead = ulRead;
    return ucOctet;
}

int comResumeStream() {
    if (!bAudioOn || bStreaming || !windowStreamWanted() || !bQueuesOpen)
        return FALSE;
    // A request, or the operator's "*RMC\r", already on its way decides.
    if (queueHoldsKind(&QueueMessage, COMMAND_STREAM_ON, MIN_PRIORITY) ||
        queueHoldsKind(&QueueMessage, COMMAND_STREAM_RETRY, MIN_PRIORITY) ||
        queueHoldsKind(&QueueMessage, COMMAND_STREAM_OFF, MIN_PRIORITY))
        return FALSE;
    // A retry: its window is a command's, so the poll goes on while a
    // receiver that no longer streams is asked. A frame that answers it
    // is read whenever it comes, and the framer then asks for the next.
    if (enqueuePacket(&QueueMessage, commandStreamRetry(), MAX_PRIORITY) != QUEUE_SUCCESS)
        return FALSE;
    linkCounters.ulStreamsResumed += 1;
    return TRUE;
}

std::string linkCountersText() {
    const std::pair<const char*, std::uint64_t> counts[] = {
        {"windows cut (octets without a complete unit)", linkCounters.ulWindowsCut},
        {"framer resynchronised", linkCounters.ulResyncs},
        {"units taken from the backlog", linkCounters.ulBacklogUnits},
        {"responses dropped (QueueResponse full)", linkCounters.ulResponsesDropped},
        {"poll batches skipped (last one still queued)", linkCounters.ulPollsSkipped},
        {"frames abandoned", linkCounters.ulFramesAbandoned},
        {"clip requests unanswered", linkCounters.ulRequestsUnanswered},
        {"clip requests repeated", linkCounters.ulRequestsRepeated},
        {"streams ended by unanswered requests", linkCounters.ulStreamsEnded},
        {"streams asked for again", linkCounters.ulStreamsResumed},
        {"commands kept while QueueMessage was full", QueueMessage.ulKept},
        {"packets dropped (QueueMessage full)", QueueMessage.ulRefused},
    };
    std::string text;
    for (const auto& [szWhat, ulCount] : counts)
        if (ulCount != 0)
            text += std::to_string(ulCount) + " " + szWhat + "\n";
    return text;
}

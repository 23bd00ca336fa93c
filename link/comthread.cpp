// Serial port and link threads.
#include "link/comthread.h"

#include "audio/audio.h"
#include "link/comtransmit.h"
#include "platform/comm.h"
#include "protocol/comreceive.h"
#include "record/record.h"

#include <chrono>
#include <cstdio>
#include <cstring>

QUEUE QueueMessage;
QUEUE QueueResponse;
std::array<char, MAXRESPONSESIZE> szResponse;
Shared<int> bStreaming{0};
LINKCOUNTERS linkCounters;

namespace {

constexpr DWORD READTOTALTIMEOUTCONSTANT = 5;    // ms: longest wait for an octet
constexpr DWORD WRITETOTALTIMEOUTMULTIPLIER = 0; // writes have no time limit
constexpr DWORD WRITETOTALTIMEOUTCONSTANT = 0;
constexpr DWORD SILENT_PAUSE = READTOTALTIMEOUTCONSTANT; // a window without a port
// A frame takes 47 ms on the line: a window after a request for a clip
// that has read octets for this long without one is not getting one.
constexpr auto FRAME_WINDOW_LIMIT = std::chrono::seconds(1);

constexpr std::size_t DEVICE_PATH_SIZE = 64;
constexpr char szDevicePrefix[] = "//./";
constexpr char szReplayFile[] = "../wwv.bin";
constexpr char szStreamOn[] = "?RMC\r";
constexpr char szStreamOff[] = "*RMC\r";

HANDLE hCom = INVALID_HANDLE_VALUE;
HANDLE hAudio = INVALID_HANDLE_VALUE;
COMMTIMEOUTS OldTimeouts;
constexpr COMMTIMEOUTS NewTimeouts{MAXDWORD, MAXDWORD, READTOTALTIMEOUTCONSTANT,
                                   WRITETOTALTIMEOUTMULTIPLIER, WRITETOTALTIMEOUTCONSTANT};
DCB dcbOld;
DCB dcb;

HANDLE hSyncReceive = nullptr;
HANDLE hSyncTransmit = nullptr;
HANDLE hWait = nullptr;
Shared<int> hComThreadDone{0};
// TRUE while the window that follows a request for a clip is open.
Shared<int> bFrameRequested{0};
// Requests in a row whose window brought nothing of a frame. Counted on
// the receive thread; the transmit thread clears it when the stream is
// switched off, while no window is open.
Shared<int> iUnanswered{0};
HANDLE hComThreadTransmit = nullptr;
DWORD ulComThreadTransmitID = 0;
HANDLE hComThreadReceive = nullptr;
DWORD ulComThreadReceiveID = 0;
bool bQueuesOpen = false; // changed only by comOpen and comClose

// Set by ReadOctet when the replay file starts over; read by the window
// on the same thread.
bool bReplayWrapped = false;

void closeAndClear(HANDLE& h) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    h = nullptr;
}

HANDLE createLinkThread(LPTHREAD_START_ROUTINE pStart, DWORD* pulId) {
    return CreateThread(nullptr, 0, pStart, nullptr, CREATE_SUSPENDED, pulId);
}

void configurePort() {
    GetCommTimeouts(hCom, &OldTimeouts);
    COMMTIMEOUTS timeouts = NewTimeouts;
    SetCommTimeouts(hCom, &timeouts);

    GetCommState(hCom, &dcbOld);
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = CBR_57600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = XON;
    dcb.XoffChar = XOFF;
    SetCommState(hCom, &dcb);

    EscapeCommFunction(hCom, SETDTR);
    EscapeCommFunction(hCom, SETRTS);
    PurgeComm(hCom, PURGE_RXCLEAR);
    PurgeComm(hCom, PURGE_TXCLEAR);
    SetCommMask(hCom, EV_TXEMPTY);
}

// One receive window: octets until a complete packet, a silent read, or
// a whole pass of the replay file without a complete packet (a replay
// file that frames nothing must not hold the window open for ever).
void commandWindow() {
    int replayWraps = 0;
    bReplayWrapped = false;
    while (!hComThreadDone) {
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        if (ulRead == 0) {
            // The window ends here even inside a frame, which the next
            // window continues. Should no next window come (nothing
            // queued, and the poll silent because a frame has begun, such
            // as one still on its way after "*RMC\r"), the stream is no
            // longer taken to run, so the poll opens the windows that
            // finish the frame.
            if (comReceiveInFrame())
                bStreaming = FALSE;
            return;
        }
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            if (bWasInFrame)
                iUnanswered = 0;
            enqueue(&QueueResponse, szResponse.data(), MIN_PRIORITY);
            return;
        }
        if (bReplayWrapped) {
            bReplayWrapped = false;
            if (++replayWraps == 2)
                return;
        }
    }
}

// The line stayed silent for FRAME_SILENCE after a request for a clip.
void frameSilence() {
    if (comReceiveInFrame()) {
        // Part of a frame (an octet was lost): the rest will never come,
        // and nothing of it is played.
        comReceiveSync();
        linkCounters.ulFramesAbandoned += 1;
        iUnanswered = 0;
    } else {
        linkCounters.ulRequestsUnanswered += 1;
        iUnanswered += 1;
    }
    if (bAudioOn && iUnanswered < MAX_UNANSWERED_REQUESTS) {
        enqueue(&QueueMessage, szStreamOn, MIN_PRIORITY);
        linkCounters.ulRequestsRepeated += 1;
        return;
    }
    // Audio is off, or the receiver does not stream: the stream is over
    // and the status poll takes over again.
    if (bAudioOn)
        linkCounters.ulStreamsEnded += 1;
    iUnanswered = 0;
    bStreaming = FALSE;
}

// The window after a request for a clip: octets until a frame is complete
// or the line has been silent for FRAME_SILENCE. Silence is measured on
// the clock, since a read may wait longer than its time-out on a busy
// machine. A text line read meanwhile (a late answer to an earlier
// command) is queued, and the window reads on: the request is still
// outstanding, so the poll stays silent. A line that never falls silent
// and never brings a frame ends the window after FRAME_WINDOW_LIMIT, as
// silence would, at the first octet outside a frame.
void frameWindow() {
    const auto opened = std::chrono::steady_clock::now();
    auto lastOctet = opened;
    while (!hComThreadDone) {
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        const auto now = std::chrono::steady_clock::now();
        if (ulRead == 0) {
            if (now - lastOctet < FRAME_SILENCE)
                continue;
            frameSilence();
            return;
        }
        lastOctet = now;
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            if (!bWasInFrame)
                bStreaming = TRUE; // a line ended it, but the request is still out
            enqueue(&QueueResponse, szResponse.data(), MIN_PRIORITY);
            if (bWasInFrame) {
                iUnanswered = 0;
                return; // the frame is complete
            }
        }
        if (now - opened >= FRAME_WINDOW_LIMIT && !comReceiveInFrame()) {
            frameSilence();
            return;
        }
    }
}

void receiveWindow() {
    // Without a port nothing arrives late: the replay file has every
    // octet at once, or there is none.
    if (bFrameRequested && hCom != INVALID_HANDLE_VALUE)
        frameWindow();
    else
        commandWindow();
}

} // namespace

DWORD comOpen(LPCSTR szComPort) {
    hComThreadDone = 0;
    iUnanswered = 0;
    linkCounters.ulFramesAbandoned = 0;
    linkCounters.ulRequestsUnanswered = 0;
    linkCounters.ulRequestsRepeated = 0;
    linkCounters.ulStreamsEnded = 0;
    // What other threads use exists before anything can fail.
    hSyncTransmit = CreateEventA(nullptr, FALSE, FALSE, "syncTransmit");
    hSyncReceive = CreateEventA(nullptr, FALSE, FALSE, "syncReceive");
    hWait = CreateEventA(nullptr, TRUE, FALSE, "eventWait");
    openQueue(&QueueMessage, "queueMessage");
    openQueue(&QueueResponse, "queueResponse");
    bQueuesOpen = true;

    hComThreadTransmit = createLinkThread(comThreadTransmit, &ulComThreadTransmitID);
    if (hComThreadTransmit == nullptr)
        return GetLastError();
    hComThreadReceive = createLinkThread(comThreadReceive, &ulComThreadReceiveID);
    if (hComThreadReceive == nullptr) {
        const DWORD ulError = GetLastError();
        // A transmit thread without its partner would stall on its first
        // command; closing it before it ever ran lets it end unrun.
        closeAndClear(hComThreadTransmit);
        return ulError;
    }
    SetThreadPriority(hComThreadTransmit, THREAD_PRIORITY_BELOW_NORMAL);
    SetThreadPriority(hComThreadReceive, THREAD_PRIORITY_BELOW_NORMAL);

    hAudio = CreateFileA(szReplayFile, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);

    std::array<char, DEVICE_PATH_SIZE> szDevice{};
    if (szComPort == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const int length =
        std::snprintf(szDevice.data(), szDevice.size(), "%s%s", szDevicePrefix, szComPort);
    if (length < 0 || static_cast<std::size_t>(length) >= szDevice.size())
        return ERROR_FILENAME_EXCED_RANGE; // never a truncated name
    hCom = CreateFileA(szDevice.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
    if (hCom == INVALID_HANDLE_VALUE)
        return GetLastError();
    configurePort();
    return NO_ERROR;
}

void comStart() {
    if (hComThreadReceive != nullptr)
        ResumeThread(hComThreadReceive);
    if (hComThreadTransmit != nullptr)
        ResumeThread(hComThreadTransmit);
}

void comClose() {
    // Stop both threads and wait for them before anything they use goes:
    // each of their waits gets its wake-up.
    hComThreadDone = 1;
    if (bQueuesOpen)
        ReleaseSemaphore(QueueMessage.hQueue, 1, nullptr);
    if (hSyncReceive != nullptr)
        SetEvent(hSyncReceive);
    if (hSyncTransmit != nullptr)
        SetEvent(hSyncTransmit);
    if (hCom != INVALID_HANDLE_VALUE)
        PurgeComm(hCom, PURGE_TXABORT | PURGE_RXABORT); // a write stuck on a full line
    if (hGetMore != nullptr)
        SetEvent(hGetMore); // a clip hand-off waiting for the audio side
    JoinThread(hComThreadTransmit, "transmit");
    JoinThread(hComThreadReceive, "receive");

    if (hCom != INVALID_HANDLE_VALUE) {
        EscapeCommFunction(hCom, CLRDTR);
        EscapeCommFunction(hCom, CLRRTS);
        SetCommTimeouts(hCom, &OldTimeouts);
        SetCommState(hCom, &dcbOld);
        PurgeComm(hCom, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        CloseHandle(hCom);
        hCom = INVALID_HANDLE_VALUE;
    }
    if (bQueuesOpen) {
        closeQueue(&QueueMessage);
        closeQueue(&QueueResponse);
        bQueuesOpen = false;
    }
    if (hAudio != INVALID_HANDLE_VALUE) {
        CloseHandle(hAudio);
        hAudio = INVALID_HANDLE_VALUE;
    }
    closeAndClear(hWait);
    closeAndClear(hSyncTransmit);
    closeAndClear(hSyncReceive);
    closeAndClear(hComThreadTransmit);
    closeAndClear(hComThreadReceive);
}

DWORD comThreadTransmit(LPVOID) {
    while (!hComThreadDone) {
        if (WaitForSingleObject(QueueMessage.hQueue, INFINITE) != WAIT_OBJECT_0)
            break; // no queue to wait on: nothing to send, ever
        if (hComThreadDone)
            break; // the wake-up of comClose, not a packet
        const char* szPacket = dequeue(&QueueMessage, nullptr);
        if (szPacket == nullptr)
            continue;
        if (std::strcmp(szPacket, szStreamOn) == 0)
            bStreaming = 1;
        if (std::strcmp(szPacket, szStreamOff) == 0) {
            bStreaming = 0;
            iUnanswered = 0;
        }
        bFrameRequested = std::strcmp(szPacket, szStreamOn) == 0;
        comTransmit(hCom, szPacket);
        comTransmitWait(hCom);
        SetEvent(hSyncReceive);
        WaitForSingleObject(hSyncTransmit, INFINITE);
    }
    return 1;
}

DWORD comThreadReceive(LPVOID) {
    while (!hComThreadDone) {
        if (WaitForSingleObject(hSyncReceive, INFINITE) != WAIT_OBJECT_0)
            break;
        if (!hComThreadDone)
            receiveWindow();
        SetEvent(hSyncTransmit);
    }
    return 1;
}

BYTE ReadOctet(DWORD* pulRead) {
    BYTE ucOctet = 0;
    DWORD ulRead = 0;
    if (hCom != INVALID_HANDLE_VALUE) {
        if (!ReadFile(hCom, &ucOctet, 1, &ulRead, nullptr))
            ulRead = 0;
        if (ulRead == 1)
            recordStreamOctet(ucOctet); // every octet from the port, for a recording
    } else if (bStreaming) {
        if (!ReadFile(hAudio, &ucOctet, 1, &ulRead, nullptr) || ulRead == 0) {
            SetFilePointer(hAudio, 0, nullptr, FILE_BEGIN);
            bReplayWrapped = true;
            if (!ReadFile(hAudio, &ucOctet, 1, &ulRead, nullptr))
                ulRead = 0;
        }
    } else {
        WaitForSingleObject(hWait, SILENT_PAUSE);
    }
    *pulRead = ulRead;
    return ucOctet;
}

// Serial port and link threads.
#include "link/comthread.h"

#include "audio/audio.h"
#include "link/comtransmit.h"
#include "link/control.h"
#include "link/execthread.h"
#include "link/replayfile.h"
#include "platform/serial.h"
#include "platform/worker.h"
#include "protocol/command.h"
#include "protocol/comreceive.h"
#include "record/record.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>

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
// A full QueueResponse is retried this often, this many ms apart.
constexpr int RESPONSE_RETRIES = 50;
constexpr DWORD RESPONSE_RETRY_PAUSE = 1;
// The replay file is read as the receiver would deliver it: at the line
// rate, the octets that have "arrived" at once, and a pause of one read
// time-out when none has. A late wake-up is made up, but time the replay
// was not read at all is not: at most this much of it.
constexpr double LINE_RATE = 5760.0; // octets per second at 57600 baud, 8N1
constexpr auto REPLAY_CATCH_UP = std::chrono::milliseconds(50);

// A port that is gone, or could not be opened, is tried again this often.
constexpr auto REOPEN_PERIOD = std::chrono::seconds(1);

constexpr char szDevicePrefix[] = "//./";

// The port. hCom changes only while portUse is held exclusively (and
// portSwap too); a read or a write holds portUse shared, so the port is
// never closed under it. portSwap orders the opens and closes and guards
// the name and the time of the next attempt.
std::atomic<HANDLE> hCom{INVALID_HANDLE_VALUE};
std::shared_mutex portUse;
std::mutex portSwap;
std::string szPortName;    // the name the link opens, as given
bool bPortWanted = false;  // a name that can be a path: try it until it opens
bool bPortWasOpen = false; // it has been open since it was named
std::chrono::steady_clock::time_point nextAttempt;
// A read or a write failed: the port is gone. Set by the link threads,
// cleared when the port is closed.
Shared<int> bPortLost{0};
Shared<DWORD> ulPortError{NO_ERROR};
// A port has just been opened by comSwitchPort or a reconnect: the
// transmit thread sends what was kept for it.
Shared<int> bPortOpened{0};
// The framer starts afresh at the next window (the octets before belong
// to another line).
Shared<int> bResyncFramer{0};

// The operator's last frequency, mode and lock commands taken while no
// port could carry them; sent when a port opens. Transmit thread only.
struct KeptCommands {
    std::array<PACKET, 3> frequency{}; // a normal tuning, or an extended one's packets
    PACKET mode{};
    PACKET lock{};
    bool bStream = false; // the audio stream was on, or was asked for
};
KeptCommands kept;

HANDLE hAudio = INVALID_HANDLE_VALUE;
COMMTIMEOUTS OldTimeouts;
constexpr COMMTIMEOUTS NewTimeouts{MAXDWORD, MAXDWORD, READTOTALTIMEOUTCONSTANT,
                                   WRITETOTALTIMEOUTMULTIPLIER, WRITETOTALTIMEOUTCONSTANT};
DCB dcbOld;
DCB dcb;

HANDLE hSyncReceive = nullptr;
HANDLE hSyncTransmit = nullptr;
HANDLE hWait = nullptr;
StopFlag bComThreadDone; // stops both link threads
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
WORKER transmitWorker{"transmit", comThreadTransmit, bComThreadDone, hComThreadTransmit,
                      ulComThreadTransmitID};
WORKER receiveWorker{"receive", comThreadReceive, bComThreadDone, hComThreadReceive,
                     ulComThreadReceiveID};
bool bQueuesOpen = false; // changed only by comOpen and comClose

// TRUE once the current window has let the transmit thread go on; on the
// receive thread.
bool bTransmitReleased = false;

// Set by ReadOctet when the replay file starts over; read by the window
// on the same thread.
bool bReplayWrapped = false;
// The replay's line clock, on the receive thread: octets delivered since
// replayStart.
std::chrono::steady_clock::time_point replayStart{};
std::uint64_t ulReplayOctets = 0;

// TRUE from the first frame after a request until "*RMC\r" is sent: a
// stream that flowed and then stopped without the operator's "*RMC\r"
// (the receiver fell silent or restarted) is asked for again while audio
// is on. A receiver that never sent a frame is not asked again.
Shared<int> bStreamWanted{FALSE};
// TRUE once an answer from the receiver has brought a request since the
// last frame: later ones wait for the poll thread's slower retry, so a
// receiver that answers polls but no longer streams is not asked after
// every poll. Both on the receive thread, and cleared by the transmit
// thread while no window is open.
Shared<int> bAskedOnAnswer{FALSE};

void frameCompleted() {
    iUnanswered = 0;
    bStreamWanted = TRUE;
    bAskedOnAnswer = FALSE;
}

// A unit from the receiver while audio is on and the stream has stopped.
void receiverAnswered() {
    if (!bAudioOn || bStreaming || bAskedOnAnswer)
        return;
    if (comResumeStream())
        bAskedOnAnswer = TRUE;
}

// Waits until the next replay octet would have crossed the line.
void paceReplay() {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const auto octetTime = duration<double>(1.0 / LINE_RATE);
    auto due = replayStart + duration_cast<steady_clock::duration>(
                                 octetTime * static_cast<double>(ulReplayOctets));
    if (now - due > REPLAY_CATCH_UP) {
        replayStart = now - REPLAY_CATCH_UP;
        ulReplayOctets = 0;
        due = replayStart;
    }
    if (due > now)
        WaitForSingleObject(hWait, SILENT_PAUSE);
    ++ulReplayOctets;
}

void closeAndClear(HANDLE& h) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    h = nullptr;
}

// Closes the handle, or keeps it for a thread left behind that may still
// use it.
void releaseOrKeep(HANDLE& h, bool bRelease, HANDLE hNone) {
    if (bRelease)
        closeAndClear(h);
    else
        workerKeep(h);
    h = hNone;
}

// Every wait a link thread may be in ends.
void wakeLinkThreads() {
    if (bQueuesOpen)
        ReleaseSemaphore(QueueMessage.hQueue, 1, nullptr);
    if (hSyncReceive != nullptr)
        SetEvent(hSyncReceive);
    if (hSyncTransmit != nullptr)
        SetEvent(hSyncTransmit);
    {
        std::lock_guard swap(portSwap); // hCom stays while it is aborted
        if (hCom != INVALID_HANDLE_VALUE)
            PurgeComm(hCom, PURGE_TXABORT | PURGE_RXABORT); // a write stuck on a full line
    }
    if (hWait != nullptr)
        SetEvent(hWait); // a pause inside a frame, or between replay octets
    if (hGetMore != nullptr)
        SetEvent(hGetMore); // a clip hand-off waiting for the audio side
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

void tellDialog(int bConnected) {
    PostMessageA(hDlgHandle, IDUPDATE, PORT, bConnected);
}

// Opens szPortName and sets it up as comOpen does. portSwap held. Before
// the link threads run (bThreadsRun FALSE) no read or write can be under
// way, but a thread left behind by an earlier close may still hold its
// use of the port it had: then portUse is not waited for.
DWORD openPortLocked(bool bThreadsRun = true) {
    const std::string szDevice = szDevicePrefix + szPortName;
    HANDLE h = CreateFileA(szDevice.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError();
    {
        std::unique_lock use(portUse, std::defer_lock);
        if (bThreadsRun)
            use.lock();
        hCom = h;
        bPortLost = 0;
        configurePort();
    }
    bPortWasOpen = true;
    bPortOpened = 1;
    bResyncFramer = 1;
    return NO_ERROR;
}

// Closes the port; a port that is still there gets back the settings it
// had. Kept open instead when a link thread left behind may still use it.
// portSwap held.
void closePortLocked(bool bRelease = true) {
    HANDLE h = hCom;
    if (h == INVALID_HANDLE_VALUE)
        return;
    if (!bRelease) {
        // A thread left behind may be inside a call on the port, holding
        // its use for good: the port is neither waited for nor touched.
        releaseOrKeep(h, false, INVALID_HANDLE_VALUE);
        hCom = INVALID_HANDLE_VALUE;
        bPortLost = 0;
        return;
    }
    // A write stuck on a full line ends, so its shared hold ends too.
    PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT);
    std::unique_lock use(portUse);
    if (!bPortLost) {
        EscapeCommFunction(hCom, CLRDTR);
        EscapeCommFunction(hCom, CLRRTS);
        SetCommTimeouts(hCom, &OldTimeouts);
        SetCommState(hCom, &dcbOld);
        PurgeComm(hCom, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    CloseHandle(h);
    hCom = INVALID_HANDLE_VALUE;
    bPortLost = 0;
}

// A read or a write on the port failed. Our own aborts (a close or a
// switch) are not failures of the port.
void notePortFailure(DWORD ulError) {
    if (ulError == NO_ERROR || ulError == ERROR_OPERATION_ABORTED)
        return;
    if (bPortLost.exchange(1) == 0)
        ulPortError = ulError;
}

// Between commands, on the transmit thread: closes a port that is gone,
// and tries once a second to open the port again until it opens.
void keepPortOpen() {
    std::lock_guard swap(portSwap);
    const auto now = std::chrono::steady_clock::now();
    if (bPortLost && hCom != INVALID_HANDLE_VALUE) {
        closePortLocked();
        kept.bStream = kept.bStream || bStreaming;
        std::fprintf(stderr,
                     "velkor: serial port \"%s\" lost: %s; trying to open it again every "
                     "second\n",
                     szPortName.c_str(), ErrorText(ulPortError));
        bResyncFramer = 1;
        nextAttempt = now + REOPEN_PERIOD;
        tellDialog(FALSE);
        return;
    }
    if (hCom != INVALID_HANDLE_VALUE || !bPortWanted || now < nextAttempt)
        return;
    nextAttempt = now + REOPEN_PERIOD;
    const bool bWasOpen = bPortWasOpen;
    if (openPortLocked() != NO_ERROR)
        return;
    std::fprintf(stderr, "velkor: serial port \"%s\" %s\n", szPortName.c_str(),
                 bWasOpen ? "is back" : "is open now");
    tellDialog(TRUE);
}

// How long the transmit thread may wait for a command before the port
// needs it: no limit while the port is open or nothing is to be tried.
DWORD transmitWaitLimit() {
    std::lock_guard swap(portSwap);
    if ((hCom != INVALID_HANDLE_VALUE && !bPortLost) || !bPortWanted)
        return INFINITE;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        nextAttempt - std::chrono::steady_clock::now());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 1, 1000));
}

PACKET packetOf(int kind, const char* szText) {
    PACKET packet;
    packet.kind = static_cast<COMMANDKIND>(kind);
    std::snprintf(packet.szText.data(), packet.szText.size(), "%s", szText);
    return packet;
}

// The number of packets of the kept tuning.
std::size_t keptTuningSize() {
    return static_cast<std::size_t>(
        std::count_if(kept.frequency.begin(), kept.frequency.end(),
                      [](const PACKET& p) { return p.kind != COMMAND_NONE; }));
}

// Keeps an operator command that no port carried, the latest of its kind.
void keepCommand(int kind, const char* szPacket) {
    auto& f = kept.frequency;
    switch (kind) {
    case COMMAND_FREQUENCY:
    case COMMAND_DIVIDER_R:
        f = {};
        f[0] = packetOf(kind, szPacket);
        break;
    case COMMAND_DIVIDER_N:
    case COMMAND_DIVIDER_TUNE: {
        // Extended tuning sends "*AR", "*AN" and "*AD" in that order, the
        // first two only when the dividers were found.
        std::size_t used = keptTuningSize();
        const int last = used > 0 ? f[used - 1].kind : COMMAND_NONE;
        const bool bFollows = kind == COMMAND_DIVIDER_N
                                  ? last == COMMAND_DIVIDER_R
                                  : last == COMMAND_DIVIDER_R || last == COMMAND_DIVIDER_N;
        if (!bFollows) {
            f = {};
            used = 0;
        }
        f[used] = packetOf(kind, szPacket);
        break;
    }
    case COMMAND_MODE:
        kept.mode = packetOf(kind, szPacket);
        break;
    case COMMAND_LOCK:
    case COMMAND_UNLOCK:
        kept.lock = packetOf(kind, szPacket);
        break;
    case COMMAND_STREAM_ON:
    case COMMAND_STREAM_OFF:
        kept.bStream = kind == COMMAND_STREAM_ON;
        break;
    default:
        break;
    }
}

// A port has opened: the kept commands go first, and an audio stream that
// was on is asked for again, unless the replay still asks for it.
void resumeOnPort() {
    // The tuning goes whole, as it was queued.
    const auto nTuning = static_cast<int>(keptTuningSize());
    if (nTuning > 0)
        enqueueUnit(&QueueMessage, kept.frequency.data(), nTuning, MIN_PRIORITY, UNIT_KEEP);
    for (const PACKET* packet : {&kept.mode, &kept.lock})
        if (packet->kind != COMMAND_NONE)
            enqueueUnit(&QueueMessage, packet, 1, MIN_PRIORITY, UNIT_KEEP);
    if (kept.bStream && bAudioOn && (hAudio == INVALID_HANDLE_VALUE || !bStreaming))
        enqueuePacket(&QueueMessage, commandStream(TRUE), MAX_PRIORITY);
    else if (!bAudioOn)
        bStreaming = FALSE; // the poll takes over
    kept = {};
}

// Writes one command and waits until it has left; a command that no port
// takes is kept when it is the operator's.
void transmitPacket(int kind, const char* szPacket) {
    std::shared_lock use(portUse);
    const HANDLE h = bPortLost ? INVALID_HANDLE_VALUE : hCom.load();
    comTransmit(h, szPacket);
    const DWORD ulResult = comTransmitWait(h);
    if (h != INVALID_HANDLE_VALUE)
        notePortFailure(ulResult);
    if (h == INVALID_HANDLE_VALUE || (ulResult != NO_ERROR && ulResult != ERROR_OPERATION_ABORTED))
        keepCommand(kind, szPacket);
}

bool portReadable() {
    std::shared_lock use(portUse);
    return hCom != INVALID_HANDLE_VALUE && !bPortLost;
}

// One receive window: octets until a complete packet, a silent read, or
// a whole pass of the replay file without a complete packet (a replay
// file that frames nothing must not hold the window open for ever).

// Queues a complete unit for the exec thread. A full QueueResponse gets
// a moment to drain (the exec thread takes a line in microseconds); a
// unit that still finds no room is lost and counted.
void queueResponse() {
    for (int attempt = 0; attempt < RESPONSE_RETRIES; ++attempt) {
        if (enqueue(&QueueResponse, szResponse.data(), MIN_PRIORITY) == QUEUE_SUCCESS)
            return;
        if (bComThreadDone)
            break;
        WaitForSingleObject(hWait, RESPONSE_RETRY_PAUSE);
    }
    linkCounters.ulResponsesDropped += 1;
}

// Octets received and not yet read: 0 without a port.
DWORD octetsWaiting() {
    COMSTAT stat{};
    std::shared_lock use(portUse);
    if (hCom == INVALID_HANDLE_VALUE || bPortLost || !ClearCommError(hCom, nullptr, &stat))
        return 0;
    return stat.cbInQue;
}

// Lets the transmit thread go on to its next command. Once per window.
void releaseTransmit() {
    if (!bTransmitReleased) {
        bTransmitReleased = true;
        SetEvent(hSyncTransmit);
    }
}

// After a complete unit: the octets already waiting in the port are read
// at once and every unit they complete is queued, so a backlog of answers
// (lines nobody asked for) drains in one window instead of one per
// command. Only what was waiting when the unit completed is read: a line
// that keeps sending cannot hold the window open. A unit left incomplete
// is continued by the next window.
void takeBacklog(DWORD ulWaiting) {
    for (DWORD ulLeft = ulWaiting; ulLeft > 0 && !bComThreadDone; --ulLeft) {
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        if (ulRead == 0)
            return;
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            if (bWasInFrame)
                frameCompleted();
            linkCounters.ulBacklogUnits += 1;
            queueResponse();
            receiverAnswered();
        }
    }
}

// The window read octets up to its limit without a complete unit: what
// is partly framed is noise, and the window ends as silence would.
void cutWindow() {
    linkCounters.ulWindowsCut += 1;
    linkCounters.ulResyncs += 1;
    if (comReceiveInFrame())
        bStreaming = FALSE; // as after silence inside a frame
    comReceiveSync();
}

// One receive window: octets until a complete packet, a silent read, a
// whole pass of the replay file without a complete packet, or the octet
// or time limit of a line that babbles.
void commandWindow() {
    const auto opened = std::chrono::steady_clock::now();
    int replayWraps = 0;
    int octets = 0;
    bReplayWrapped = false;
    while (!bComThreadDone) {
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
                frameCompleted();
            // An answer from the receiver: a stream that stopped while
            // audio is on is asked for again.
            receiverAnswered();
            const DWORD ulWaiting = octetsWaiting();
            // Nothing more has come: the next command goes out while this
            // answer is handed on, so the exec thread's wake-up is not
            // added to every command's turn-around.
            if (ulWaiting == 0)
                releaseTransmit();
            queueResponse();
            takeBacklog(ulWaiting);
            return;
        }
        if (bReplayWrapped) {
            bReplayWrapped = false;
            if (++replayWraps == 2)
                return;
        }
        if (++octets >= WINDOW_OCTET_LIMIT ||
            std::chrono::steady_clock::now() - opened >= WINDOW_TIME_LIMIT) {
            cutWindow();
            return;
        }
    }
}

// Inside an audio frame, an octet that has arrived changes nothing until
// the status record or the clip it belongs to is complete: a line that
// hands over its octets a few at a time (a serial port at the line rate)
// would otherwise wake the receive thread for each few. While more than
// FRAME_PAUSE_MARGIN octets are to come and what was waiting has been
// read, the thread pauses until shortly before the last of them can have
// crossed the line, then reads what came meanwhile, so nothing is handed
// on later than before. A pause that finds nothing (a silent line, or an
// adapter that holds octets back for a while) ends the pausing for the
// window: from then on the reads wait for the octets as before, and
// silence is measured as before.
class FramePacer {
  public:
    void beforeRead() {
        if (ulReady_ > 0 || !bPacing_)
            return;
        const int iToCome = comReceiveFrameToCome();
        if (iToCome <= FRAME_PAUSE_MARGIN || !portReadable())
            return;
        const auto pause = static_cast<DWORD>(1000.0 * (iToCome - FRAME_PAUSE_MARGIN) / LINE_RATE);
        if (pause == 0)
            return;
        WaitForSingleObject(hWait, pause);
        ulReady_ = octetsWaiting();
        bPacing_ = ulReady_ > 0;
    }
    // After each octet read.
    void taken() {
        if (ulReady_ > 0)
            --ulReady_;
    }

  private:
    static constexpr int FRAME_PAUSE_MARGIN = 4;
    DWORD ulReady_ = 0; // octets known to be waiting
    bool bPacing_ = true;
};

// The line stayed silent for FRAME_SILENCE after a request for a clip.
void frameSilence() {
    if (comReceiveInFrame()) {
        // Part of a frame (an octet was lost): the rest will never come,
        // and nothing of it is played.
        comReceiveSync();
        linkCounters.ulFramesAbandoned += 1;
        linkCounters.ulResyncs += 1;
        iUnanswered = 0;
    } else {
        linkCounters.ulRequestsUnanswered += 1;
        iUnanswered += 1;
    }
    if (bAudioOn && iUnanswered < MAX_UNANSWERED_REQUESTS) {
        enqueuePacket(&QueueMessage, commandStream(TRUE), MIN_PRIORITY);
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
    FramePacer pacer;
    while (!bComThreadDone) {
        pacer.beforeRead();
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        const auto now = std::chrono::steady_clock::now();
        if (ulRead == 0) {
            if (bPortLost)
                return; // the port is gone: nothing more comes in this window
            if (now - lastOctet < FRAME_SILENCE)
                continue;
            frameSilence();
            return;
        }
        lastOctet = now;
        pacer.taken();
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            if (!bWasInFrame)
                bStreaming = TRUE; // a line ended it, but the request is still out
            queueResponse();
            if (bWasInFrame) {
                frameCompleted();
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
    if (bResyncFramer.exchange(0))
        comReceiveSync();
    // Without a port nothing arrives late: the replay file has every
    // octet at once, or there is none.
    if (bFrameRequested && portReadable())
        frameWindow();
    else
        commandWindow();
}

} // namespace

DWORD comOpen(LPCSTR szComPort) {
    bComThreadDone = 0;
    iUnanswered = 0;
    linkCounters.ulFramesAbandoned = 0;
    linkCounters.ulRequestsUnanswered = 0;
    linkCounters.ulRequestsRepeated = 0;
    linkCounters.ulStreamsEnded = 0;
    linkCounters.ulWindowsCut = 0;
    linkCounters.ulResyncs = 0;
    linkCounters.ulBacklogUnits = 0;
    linkCounters.ulResponsesDropped = 0;
    linkCounters.ulPollsSkipped = 0;
    linkCounters.ulStreamsResumed = 0;
    bStreamWanted = FALSE;
    bAskedOnAnswer = FALSE;
    // What other threads use exists before anything can fail.
    hSyncTransmit = CreateEventA(nullptr, FALSE, FALSE, "syncTransmit");
    hSyncReceive = CreateEventA(nullptr, FALSE, FALSE, "syncReceive");
    hWait = CreateEventA(nullptr, TRUE, FALSE, "eventWait");
    openQueue(&QueueMessage, "queueMessage");
    openQueue(&QueueResponse, "queueResponse");
    bQueuesOpen = true;

    if (const DWORD ulError = workerOpen(&transmitWorker); ulError != NO_ERROR)
        return ulError;
    if (const DWORD ulError = workerOpen(&receiveWorker); ulError != NO_ERROR) {
        // A transmit thread without its partner would stall on its first
        // command: it is stopped before it ever sends.
        workerClose({&transmitWorker}, nullptr);
        return ulError;
    }

    hAudio = CreateFileA(replayFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);

    if (szComPort == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard swap(portSwap);
    szPortName = szComPort;
    bPortWasOpen = false;
    // Only a name that could not be a path is refused for good.
    bPortWanted = !szPortName.empty() && szPortName.size() <= MAX_PORT_NAME;
    if (!bPortWanted)
        return szPortName.empty() ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE;
    nextAttempt = std::chrono::steady_clock::now() + REOPEN_PERIOD;
    const DWORD ulError = openPortLocked(false);
    bPortOpened = 0; // the first port: nothing was kept for it, nothing to resume
    return ulError;
}

DWORD comSwitchPort(LPCSTR szComPort) {
    if (szComPort == nullptr)
        return ERROR_INVALID_PARAMETER;
    DWORD ulError = NO_ERROR;
    {
        std::lock_guard swap(portSwap);
        closePortLocked();
        szPortName = szComPort;
        bPortWasOpen = false;
        bPortWanted = !szPortName.empty() && szPortName.size() <= MAX_PORT_NAME;
        nextAttempt = std::chrono::steady_clock::now() + REOPEN_PERIOD;
        if (!bPortWanted)
            ulError = szPortName.empty() ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE;
        else
            ulError = openPortLocked();
        bResyncFramer = 1;
    }
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
                {[](BOOL bRelease) {
                     std::lock_guard swap(portSwap);
                     closePortLocked(bRelease);
                     bPortWanted = false;
                     kept = {};
                 },
                 [](BOOL bRelease) {
                     if (!bQueuesOpen)
                         return;
                     releaseOrKeep(QueueMessage.hQueue, bRelease, nullptr);
                     releaseOrKeep(QueueResponse.hQueue, bRelease, nullptr);
                     closeQueue(&QueueMessage);
                     closeQueue(&QueueResponse);
                     bQueuesOpen = false;
                 },
                 {hAudio, INVALID_HANDLE_VALUE},
                 hWait,
                 hSyncTransmit,
                 hSyncReceive},
                WORKER_SHARED);
}

DWORD comThreadTransmit(LPVOID) {
    while (!bComThreadDone) {
        keepPortOpen();
        if (bPortOpened.exchange(0))
            resumeOnPort();
        const DWORD ulWait = WaitForSingleObject(QueueMessage.hQueue, transmitWaitLimit());
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
        if (kind == COMMAND_STREAM_OFF) {
            bStreaming = 0;
            iUnanswered = 0;
            bStreamWanted = FALSE;
            bAskedOnAnswer = FALSE;
        }
        bFrameRequested = kind == COMMAND_STREAM_ON;
        controlSent(kind);
        transmitPacket(kind, szPacket);
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
        releaseTransmit();
    }
    return 1;
}

BYTE ReadOctet(DWORD* pulRead) {
    BYTE ucOctet = 0;
    DWORD ulRead = 0;
    std::shared_lock use(portUse);
    if (hCom != INVALID_HANDLE_VALUE && !bPortLost) {
        if (!ReadFile(hCom, &ucOctet, 1, &ulRead, nullptr)) {
            notePortFailure(GetLastError());
            ulRead = 0;
        }
        if (ulRead == 1)
            recordStreamOctet(ucOctet); // every octet from the port, for a recording
    } else if (bStreaming) {
        use.unlock();
        if (hAudio != INVALID_HANDLE_VALUE)
            paceReplay();
        if (!ReadFile(hAudio, &ucOctet, 1, &ulRead, nullptr) || ulRead == 0) {
            SetFilePointer(hAudio, 0, nullptr, FILE_BEGIN);
            bReplayWrapped = true;
            if (!ReadFile(hAudio, &ucOctet, 1, &ulRead, nullptr))
                ulRead = 0;
        }
    } else {
        use.unlock();
        WaitForSingleObject(hWait, SILENT_PAUSE);
    }
    *pulRead = ulRead;
    return ucOctet;
}

int comResumeStream() {
    if (!bAudioOn || bStreaming || !bStreamWanted || !bQueuesOpen)
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

// The serial port's life: opened and set up for the link, closed with
// its settings put back, noticed when gone and tried again every second,
// switched for another, and the operator's last commands kept while no
// port carries them, to be sent when one opens.
#include "link/port.h"

#include "audio/audio.h"
#include "link/comthread.h"
#include "link/comtransmit.h"
#include "link/execthread.h"
#include "link/lockstep.h"
#include "link/replay.h"
#include "platform/serial.h"
#include "platform/worker.h"
#include "protocol/command.h"
#include "record/record.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <shared_mutex>
#include <string>

namespace {

constexpr DWORD WRITETOTALTIMEOUTMULTIPLIER = 0; // writes have no time limit
constexpr DWORD WRITETOTALTIMEOUTCONSTANT = 0;

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

COMMTIMEOUTS OldTimeouts;
constexpr COMMTIMEOUTS NewTimeouts{MAXDWORD, MAXDWORD, READTOTALTIMEOUTCONSTANT,
                                   WRITETOTALTIMEOUTMULTIPLIER, WRITETOTALTIMEOUTCONSTANT};
DCB dcbOld;
DCB dcb;

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

// Opens szPortName and sets it up for the link. portSwap held. Before
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
        workerKeep(h);
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
    if (kept.bStream && bAudioOn && (!replayAvailable() || !bStreaming))
        enqueuePacket(&QueueMessage, commandStream(TRUE), MAX_PRIORITY);
    else if (!bAudioOn)
        bStreaming = FALSE; // the poll takes over
    kept = {};
}

// Names the port: a name that can be a path is tried until it opens.
// portSwap held. NO_ERROR, or why the name can never be opened.
DWORD nameLocked(LPCSTR szName) {
    szPortName = szName;
    bPortWasOpen = false;
    bPortWanted = !szPortName.empty() && szPortName.size() <= MAX_PORT_NAME;
    nextAttempt = std::chrono::steady_clock::now() + REOPEN_PERIOD;
    if (!bPortWanted)
        return szPortName.empty() ? ERROR_FILE_NOT_FOUND : ERROR_FILENAME_EXCED_RANGE;
    return NO_ERROR;
}

} // namespace

DWORD portOpen(LPCSTR szName) {
    std::lock_guard swap(portSwap);
    if (const DWORD ulError = nameLocked(szName); ulError != NO_ERROR)
        return ulError;
    const DWORD ulError = openPortLocked(false);
    bPortOpened = 0; // the first port: nothing was kept for it, nothing to resume
    return ulError;
}

DWORD portSwitch(LPCSTR szName) {
    std::lock_guard swap(portSwap);
    closePortLocked();
    DWORD ulError = nameLocked(szName);
    if (ulError == NO_ERROR)
        ulError = openPortLocked();
    bResyncFramer = 1;
    return ulError;
}

void portAbort() {
    std::lock_guard swap(portSwap); // hCom stays while it is aborted
    if (hCom != INVALID_HANDLE_VALUE)
        PurgeComm(hCom, PURGE_TXABORT | PURGE_RXABORT); // a write stuck on a full line
}

void portClose(BOOL bRelease) {
    {
        std::lock_guard swap(portSwap);
        closePortLocked(bRelease);
        bPortWanted = false;
    }
    kept = {};
}

void portKeepOpen() {
    keepPortOpen();
    if (bPortOpened.exchange(0))
        resumeOnPort();
}

DWORD portWaitLimit() {
    std::lock_guard swap(portSwap);
    if ((hCom != INVALID_HANDLE_VALUE && !bPortLost) || !bPortWanted)
        return INFINITE;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        nextAttempt - std::chrono::steady_clock::now());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 1, 1000));
}

// Writes one command and waits until it has left; a command that no port
// takes is kept when it is the operator's.
void portTransmit(int kind, LPCSTR szPacket) {
    std::shared_lock use(portUse);
    const HANDLE h = bPortLost ? INVALID_HANDLE_VALUE : hCom.load();
    comTransmit(h, szPacket);
    const DWORD ulResult = comTransmitWait(h);
    if (h != INVALID_HANDLE_VALUE)
        notePortFailure(ulResult);
    if (h == INVALID_HANDLE_VALUE || (ulResult != NO_ERROR && ulResult != ERROR_OPERATION_ABORTED))
        keepCommand(kind, szPacket);
}

bool portRead(BYTE* pucOctet, DWORD* pulRead) {
    std::shared_lock use(portUse);
    if (hCom == INVALID_HANDLE_VALUE || bPortLost)
        return false;
    if (!ReadFile(hCom, pucOctet, 1, pulRead, nullptr)) {
        notePortFailure(GetLastError());
        *pulRead = 0;
    }
    if (*pulRead == 1)
        recordStreamOctet(*pucOctet); // every octet from the port, for a recording
    return true;
}

bool portReadable() {
    std::shared_lock use(portUse);
    return hCom != INVALID_HANDLE_VALUE && !bPortLost;
}

bool portLost() {
    return bPortLost != 0;
}

DWORD portOctetsWaiting() {
    COMSTAT stat{};
    std::shared_lock use(portUse);
    if (hCom == INVALID_HANDLE_VALUE || bPortLost || !ClearCommError(hCom, nullptr, &stat))
        return 0;
    return stat.cbInQue;
}

bool portTakeResync() {
    return bResyncFramer.exchange(0) != 0;
}

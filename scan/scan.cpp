// The scanner: range and list scans, and the band scope's sweeps.
#include "scan/scan.h"

#include "link/control.h"
#include "link/updatethread.h"
#include "platform/worker.h"
#include "protocol/comexecute.h"
#include "protocol/command.h"
#include "record/record.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The line carries 5760 octets a second: a tuning has crossed it this
// long after it left.
constexpr double LINE_OCTETS_PER_SECOND = 5760.0;
// While it waits for an answer the scanner looks this often.
constexpr auto ANSWER_LOOK = 200us;
// A refused command is asked again after this long.
constexpr auto REFUSED_RETRY = 1ms;
// An S-meter query not answered this soon is asked again.
constexpr auto ASK_AGAIN = 50ms;
// While listening, one fresh reading this often.
constexpr auto LISTEN_PERIOD = 100ms;
// A step whose receiver fell behind is read again after a new dwell at
// most this often; then its reading stands.
constexpr int BEHIND_READINGS = 3;

enum class JobKind { None, Range, List, Sweep };

struct Job {
    JobKind kind = JobKind::None;
    SCANRANGE range;
    std::vector<SCANCHANNEL> channels;
    SCANPARAMS params;
    BOOL bRepeat = FALSE;
};

// Guarded by scanMutex.
std::mutex scanMutex;
std::condition_variable scanWake;
Job job;
std::vector<SCANPOINT> points;
std::vector<SCANHIT> hits;
std::vector<DWORD> lockouts;
SCANCOUNTERS counters;
std::optional<std::pair<SCANRANGE, SCANPARAMS>> lastRange;
SCANNAMER pNamer = nullptr;
SCANMEMORIES pMemories = nullptr;
DWORD ulSweepOrigin = 0; // where a sweep returns the receiver; 0: nowhere

// Read without the lock.
Shared<std::uint64_t> ulGeneration{0}; // a new job or a stop gives up the running one
Shared<int> iState{SCAN_IDLE};
Shared<int> iLastEnd{SCAN_END_NONE};
Shared<DWORD> ulHit{0};
Shared<BOOL> bPortGone{FALSE};

HANDLE hScanThread = nullptr;
DWORD ulScanThreadID = 0;
StopFlag bScanThreadDone;
DWORD scanThread(LPVOID);
WORKER scanWorker{"scan", scanThread, bScanThreadDone, hScanThread, ulScanThreadID};

bool givenUp(std::uint64_t gen) {
    return bScanThreadDone || ulGeneration != gen;
}

bool locked() {
    return bLock || radio.bLock;
}

void setState(SCANSTATE state) {
    iState = state;
}

// Ends the job the caller gave up; with scanMutex held.
void giveUp(SCANEND end) {
    ulGeneration += 1;
    job = Job{};
    iLastEnd = end;
    controlWithdrawScan();
    scanWake.notify_all();
}

// Waits until pDone() or the deadline. FALSE when the job was given up.
template <typename Done> bool waitUntil(std::uint64_t gen, Clock::time_point until, Done pDone) {
    std::unique_lock hold(scanMutex);
    for (;;) {
        if (givenUp(gen))
            return false;
        if (pDone() || Clock::now() >= until)
            return true;
        scanWake.wait_for(hold, ANSWER_LOOK);
    }
}

bool sleepFor(std::uint64_t gen, Clock::duration wait) {
    return waitUntil(gen, Clock::now() + wait, [] { return false; });
}

// Queues one scanner command, asking again while the queue is full. The
// job is checked under the lock a stop takes, so nothing enters after a
// stop has withdrawn the scanner's commands.
template <typename Send> bool queueScan(std::uint64_t gen, Send send) {
    for (;;) {
        {
            std::lock_guard hold(scanMutex);
            if (givenUp(gen))
                return false;
            if (send())
                return true;
            counters.ulRefused += 1;
        }
        if (!sleepFor(gen, REFUSED_RETRY))
            return false;
    }
}

std::uint64_t tuningsSent() {
    return controlSentCount(COMMAND_FREQUENCY) + controlSentCount(COMMAND_DIVIDER_TUNE) +
           controlSentCount(COMMAND_MEMORY_READ);
}

// Time the commands that tune to ulFrequency take on the line.
Clock::duration lineTime(DWORD ulFrequency) {
    const TUNINGUNIT unit = commandTuning(ulFrequency, bTune);
    std::size_t octets = 0;
    for (int i = 0; i < unit.count; ++i)
        octets += std::strlen(unit.packets[static_cast<std::size_t>(i)].szText.data());
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(octets) / LINE_OCTETS_PER_SECOND));
}

enum class Step { Read, GivenUp, NoAnswer };

// A reading taken after the last moment: asked for now, answered later.
// An answer that misses its receive window (a receiver late by more than
// the window) is read in the window of the next command: when no answer
// comes soon, the scanner asks again rather than wait for the poll.
Step freshReading(std::uint64_t gen, DWORD* pSUnits) {
    const std::uint64_t ulAsked = controlSignalQueries();
    const auto until = Clock::now() + std::chrono::milliseconds(SCAN_ANSWER_TIMEOUT_MS);
    bool bAnswered = false;
    while (!bAnswered && Clock::now() < until) {
        if (!queueScan(gen, [] { return controlQuerySignal(REQUEST_SCAN); }))
            return Step::GivenUp;
        const auto again = std::min(until, Clock::now() + ASK_AGAIN);
        if (!waitUntil(gen, again, [&] { return bAnswered = controlSignalStamp() > ulAsked; }))
            return Step::GivenUp;
    }
    if (!bAnswered)
        return Step::NoAnswer;
    *pSUnits = radio.uSUnits;
    return Step::Read;
}

// Tunes to the channel, waits for the tuning to leave and the dwell to
// pass, and reads the S-meter. *pFrequency: where the receiver is.
Step measure(std::uint64_t gen, const SCANCHANNEL& channel, DWORD ulDwellMs, DWORD* pFrequency,
             DWORD* pSUnits) {
    if (channel.uMode != 0 && channel.uMemory == 0 && channel.uMode != radio.uMode &&
        !queueScan(gen, [&] { return controlMode(channel.uMode, REQUEST_SCAN); }))
        return Step::GivenUp;
    const std::uint64_t ulSentBefore = tuningsSent();
    const std::uint64_t ulFrequencyAsked = controlFrequencyQueries();
    std::uint64_t ulLate = controlLateAnswers();
    const bool bMemory = channel.uMemory != 0;
    if (!queueScan(gen, [&] {
            return bMemory ? controlMemoryRead(channel.uMemory, REQUEST_SCAN)
                           : controlTune(channel.ulFrequency, REQUEST_SCAN);
        }))
        return Step::GivenUp;
    bool bLeft = false;
    auto until = Clock::now() + std::chrono::milliseconds(SCAN_ANSWER_TIMEOUT_MS);
    if (!waitUntil(gen, until, [&] { return bLeft = tuningsSent() > ulSentBefore; }))
        return Step::GivenUp;
    if (!bLeft)
        return Step::NoAnswer;
    *pFrequency = channel.ulFrequency;
    if (bMemory) {
        // The recall brings its frequency query with it.
        bool bKnown = false;
        until = Clock::now() + std::chrono::milliseconds(SCAN_ANSWER_TIMEOUT_MS);
        if (!waitUntil(gen, until,
                       [&] { return bKnown = controlFrequencyStamp() > ulFrequencyAsked; }))
            return Step::GivenUp;
        if (!bKnown)
            return Step::NoAnswer;
        *pFrequency = radio.ulFrequency;
    }
    const auto dwell = std::chrono::milliseconds(ulDwellMs) + lineTime(*pFrequency);
    if (!sleepFor(gen, dwell))
        return Step::GivenUp;
    Step step = freshReading(gen, pSUnits);
    // An answer came late since the tuning left: the receiver was behind
    // and may have taken the tuning later than it was sent, so its meter
    // may not have settled yet. The dwell begins again from now.
    for (int i = 1; i < BEHIND_READINGS && step == Step::Read && controlLateAnswers() != ulLate;
         ++i) {
        ulLate = controlLateAnswers();
        {
            std::lock_guard hold(scanMutex);
            counters.ulBehind += 1;
        }
        if (!sleepFor(gen, std::chrono::milliseconds(ulDwellMs)))
            return Step::GivenUp;
        step = freshReading(gen, pSUnits);
    }
    return step;
}

bool isLockedOut(DWORD ulFrequency, DWORD ulStep) {
    std::lock_guard hold(scanMutex);
    for (const DWORD ulLockout : lockouts) {
        const DWORD ulDistance =
            ulFrequency > ulLockout ? ulFrequency - ulLockout : ulLockout - ulFrequency;
        if (ulDistance == 0 || std::uint64_t{ulDistance} * 2 < ulStep)
            return true;
    }
    return false;
}

// Waits while the port is gone. FALSE when the job was given up.
bool waitForPort(std::uint64_t gen, SCANSTATE resumeState) {
    while (bPortGone) {
        setState(SCAN_PAUSED);
        if (!sleepFor(gen, 10ms))
            return false;
    }
    setState(resumeState);
    return true;
}

// Ends the job from its own thread unless a stop already did.
void finish(std::uint64_t gen, SCANEND end) {
    std::lock_guard hold(scanMutex);
    if (ulGeneration == gen)
        giveUp(end);
}

std::string stationName(DWORD ulFrequency) {
    SCANNAMER pName = nullptr;
    {
        std::lock_guard hold(scanMutex);
        pName = pNamer;
    }
    return pName != nullptr ? pName(ulFrequency) : std::string();
}

// Stays on a signal until it has been below the threshold for the hang
// time (or for good). FALSE when the job ended meanwhile.
bool listen(std::uint64_t gen, const SCANPARAMS& params, DWORD ulFrequency, DWORD uSUnits) {
    const std::string szName = stationName(ulFrequency);
    // Listening before the hit is told: whoever sees the hit sees the state.
    ulHit = ulFrequency;
    setState(SCAN_LISTENING);
    {
        std::lock_guard hold(scanMutex);
        hits.push_back({ulFrequency, uSUnits, counters.ulSteps, szName});
    }
    bool bRecording = false;
    if (params.bRecord)
        bRecording = recordAudioStart(ulFrequency, radio.uMode,
                                      szName.empty() ? nullptr : szName.c_str()) != FALSE;
    // When the signal went below the threshold; none while it is above.
    bool bBelow = false;
    Clock::time_point below{};
    bool bGoOn = true;
    for (;;) {
        if (locked()) {
            finish(gen, SCAN_END_LOCK);
            bGoOn = false;
            break;
        }
        if (!waitForPort(gen, SCAN_LISTENING) || !sleepFor(gen, LISTEN_PERIOD)) {
            bGoOn = false;
            break;
        }
        if (!params.bResume)
            continue;
        DWORD uNow = 0;
        const Step step = freshReading(gen, &uNow);
        if (step == Step::GivenUp) {
            bGoOn = false;
            break;
        }
        if (step == Step::NoAnswer)
            continue;
        const auto now = Clock::now();
        if (uNow >= params.uThreshold) {
            bBelow = false;
        } else if (!bBelow) {
            bBelow = true;
            below = now;
        }
        if (bBelow && now - below >= std::chrono::milliseconds(params.ulHangMs))
            break;
    }
    if (bRecording)
        recordAudioStop();
    ulHit = 0;
    if (bGoOn)
        setState(SCAN_SEARCHING);
    return bGoOn;
}

SCANCHANNEL channelAt(const Job& j, std::size_t i) {
    if (j.kind == JobKind::List)
        return j.channels[i];
    return {j.range.ulStart + static_cast<DWORD>(i) * j.range.ulStep, 0, 0};
}

std::size_t channelCount(const Job& j) {
    return j.kind == JobKind::List ? j.channels.size()
                                   : static_cast<std::size_t>(scanPointCount(j.range));
}

void runScan(const Job& j, std::uint64_t gen) {
    setState(SCAN_SEARCHING);
    const std::size_t n = channelCount(j);
    const DWORD ulStep = j.kind == JobKind::Range ? j.range.ulStep : 1;
    std::size_t skipped = 0;
    for (std::size_t i = 0; !givenUp(gen);) {
        if (locked()) {
            finish(gen, SCAN_END_LOCK);
            return;
        }
        if (!waitForPort(gen, SCAN_SEARCHING))
            return;
        const SCANCHANNEL channel = channelAt(j, i);
        if (channel.uMemory == 0 && isLockedOut(channel.ulFrequency, ulStep)) {
            if (++skipped >= n) {
                finish(gen, SCAN_END_DONE); // everything is locked out
                return;
            }
            i = (i + 1) % n;
            continue;
        }
        skipped = 0;
        DWORD ulFrequency = 0;
        DWORD uSUnits = 0;
        const Step step = measure(gen, channel, j.params.ulDwellMs, &ulFrequency, &uSUnits);
        if (step == Step::GivenUp)
            return;
        if (step == Step::NoAnswer) {
            std::lock_guard hold(scanMutex);
            counters.ulTimeouts += 1;
            continue; // the same step again, once the port is back
        }
        {
            std::lock_guard hold(scanMutex);
            counters.ulSteps += 1;
        }
        const bool bLockedOut = channel.uMemory != 0 && isLockedOut(ulFrequency, 1);
        if (uSUnits >= j.params.uThreshold && !bLockedOut &&
            !listen(gen, j.params, ulFrequency, uSUnits))
            return;
        i = (i + 1) % n;
    }
}

// Back to where the sweep began; the scanner asks until the queue takes it.
void returnFromSweep(REQUESTER who) {
    DWORD ulOrigin = 0;
    {
        std::lock_guard hold(scanMutex);
        ulOrigin = ulSweepOrigin;
        ulSweepOrigin = 0;
    }
    if (ulOrigin == 0)
        return;
    for (int i = 0; i < 1000 && !controlTune(ulOrigin, who); ++i)
        std::this_thread::sleep_for(REFUSED_RETRY);
}

void runSweep(const Job& j, std::uint64_t gen) {
    setState(SCAN_SWEEPING);
    const std::size_t n = channelCount(j);
    do {
        for (std::size_t i = 0; i < n;) {
            if (locked()) {
                finish(gen, SCAN_END_LOCK);
                return;
            }
            if (!waitForPort(gen, SCAN_SWEEPING))
                return;
            DWORD ulFrequency = 0;
            DWORD uSUnits = 0;
            const Step step =
                measure(gen, channelAt(j, i), j.params.ulDwellMs, &ulFrequency, &uSUnits);
            if (step == Step::GivenUp)
                return;
            std::lock_guard hold(scanMutex);
            if (step == Step::NoAnswer) {
                counters.ulTimeouts += 1;
                continue;
            }
            counters.ulSteps += 1;
            points.push_back({ulFrequency, scanStrengthDb(uSUnits)});
            ++i;
        }
        std::lock_guard hold(scanMutex);
        counters.ulSweeps += 1;
    } while (j.bRepeat && !givenUp(gen));
    finish(gen, SCAN_END_DONE);
    returnFromSweep(REQUEST_SCAN);
}

DWORD scanThread(LPVOID) {
    std::unique_lock hold(scanMutex);
    while (!bScanThreadDone) {
        if (job.kind == JobKind::None) {
            setState(SCAN_IDLE);
            scanWake.wait(hold, [] { return bScanThreadDone || job.kind != JobKind::None; });
            continue;
        }
        const Job running = job;
        const std::uint64_t gen = ulGeneration;
        hold.unlock();
        if (running.kind == JobKind::Sweep)
            runSweep(running, gen);
        else
            runScan(running, gen);
        hold.lock();
        if (ulGeneration == gen)
            giveUp(SCAN_END_DONE);
    }
    return 1;
}

// Starts j in place of what runs; with scanMutex held.
void begin(Job j) {
    if (job.kind == JobKind::Sweep && j.kind != JobKind::Sweep)
        ulSweepOrigin = 0;
    giveUp(SCAN_END_STOPPED);
    iLastEnd = SCAN_END_NONE;
    hits.clear();
    counters = SCANCOUNTERS{};
    job = std::move(j);
    setState(job.kind == JobKind::Sweep ? SCAN_SWEEPING : SCAN_SEARCHING);
    scanWake.notify_all();
}

void stopWith(SCANEND end) {
    bool bReturn = false;
    {
        std::lock_guard hold(scanMutex);
        if (job.kind == JobKind::None)
            return;
        bReturn = job.kind == JobKind::Sweep && end == SCAN_END_STOPPED;
        if (!bReturn)
            ulSweepOrigin = 0;
        giveUp(end);
        setState(SCAN_IDLE);
    }
    if (bReturn)
        returnFromSweep(REQUEST_OPERATOR); // a person's Stop
}

} // namespace

std::string scanCheckRange(const SCANRANGE& range) {
    if (range.ulStart < MIN_FREQUENCY || range.ulStop > MAX_FREQUENCY ||
        range.ulStart > MAX_FREQUENCY || range.ulStop < MIN_FREQUENCY)
        return "The range must lie within 100 kHz and 30 MHz.";
    if (range.ulStart >= range.ulStop)
        return "The start must lie below the stop.";
    if (range.ulStep == 0)
        return "The step must be at least 1 Hz.";
    if (range.ulStep > range.ulStop - range.ulStart)
        return "The step must not be larger than the range.";
    return "";
}

std::string scanCheckParams(const SCANPARAMS& params) {
    if (params.ulDwellMs == 0 || params.ulDwellMs > SCAN_MAX_DWELL_MS)
        return "The dwell must be 1 to 10000 ms.";
    if (params.uThreshold < SCAN_MIN_THRESHOLD || params.uThreshold > SCAN_MAX_THRESHOLD)
        return "The threshold must be S1 to S9+36 (1 to 15 S-units).";
    if (params.ulHangMs > SCAN_MAX_HANG_MS)
        return "The hang time must be at most 600 s.";
    return "";
}

std::uint64_t scanPointCount(const SCANRANGE& range) {
    if (range.ulStep == 0 || range.ulStop < range.ulStart)
        return 0;
    return (std::uint64_t{range.ulStop} - range.ulStart) / range.ulStep + 1;
}

BOOL scanReadKilohertz(const std::string& szText, DWORD* pHertz, std::string* pszWhy) {
    // Whole kilohertz and up to three decimals: anything finer is not a
    // whole number of hertz.
    std::string_view text(szText);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || whole.size() > 6 || !digits(whole) || !digits(fraction)) {
        *pszWhy = "\"" + szText + "\" is not a frequency in kHz.";
        return FALSE;
    }
    std::string_view significant = fraction;
    while (!significant.empty() && significant.back() == '0')
        significant.remove_suffix(1);
    if (significant.size() > 3) {
        *pszWhy = "\"" + szText + "\" is not a whole number of hertz.";
        return FALSE;
    }
    DWORD ulKilohertz = 0;
    std::from_chars(whole.data(), whole.data() + whole.size(), ulKilohertz);
    std::string szHertz(significant);
    szHertz.resize(3, '0');
    DWORD ulHertz = 0;
    std::from_chars(szHertz.data(), szHertz.data() + 3, ulHertz);
    *pHertz = ulKilohertz * 1000 + ulHertz;
    return TRUE;
}

DWORD scanOpen() {
    bScanThreadDone = 0;
    bPortGone = FALSE;
    return workerOpen(&scanWorker);
}

void scanStart() {
    workerStart(&scanWorker);
}

void scanClose() {
    if (hScanThread == nullptr)
        return;
    {
        std::lock_guard hold(scanMutex);
        bScanThreadDone = 1;
        giveUp(SCAN_END_STOPPED);
        ulSweepOrigin = 0;
    }
    scanWake.notify_all();
    // What the thread uses is file-static: nothing to keep if it is left behind.
    workerJoin(&scanWorker);
    setState(SCAN_IDLE);
}

namespace {

// Passes the reason a start is refused to the caller; true when there is
// none.
bool accepted(const std::string& szWhy, std::string* pszWhy) {
    if (szWhy.empty())
        return true;
    if (pszWhy != nullptr)
        *pszWhy = szWhy;
    return false;
}

} // namespace

BOOL scanStartRange(const SCANRANGE& range, const SCANPARAMS& params, std::string* pszWhy) {
    std::string szWhy = scanCheckRange(range);
    if (szWhy.empty())
        szWhy = scanCheckParams(params);
    if (!accepted(szWhy, pszWhy))
        return FALSE;
    std::lock_guard hold(scanMutex);
    lastRange = std::pair{range, params};
    begin(Job{JobKind::Range, range, {}, params, FALSE});
    return TRUE;
}

BOOL scanStartList(const std::vector<SCANCHANNEL>& channels, const SCANPARAMS& params,
                   std::string* pszWhy) {
    std::string szWhy = scanCheckParams(params);
    if (szWhy.empty() && channels.empty())
        szWhy = "The list is empty.";
    for (const SCANCHANNEL& channel : channels) {
        const bool bGood =
            channel.uMemory != 0
                ? channel.uMemory >= MIN_MEMORY && channel.uMemory <= MAX_MEMORY
                : channel.ulFrequency >= MIN_FREQUENCY && channel.ulFrequency <= MAX_FREQUENCY;
        if (szWhy.empty() && !bGood)
            szWhy = "The list holds a frequency outside 100 kHz to 30 MHz or a channel outside "
                    "1 to 128.";
    }
    if (!accepted(szWhy, pszWhy))
        return FALSE;
    std::lock_guard hold(scanMutex);
    begin(Job{JobKind::List, {}, channels, params, FALSE});
    return TRUE;
}

BOOL scanStartSweep(const SCANRANGE& range, DWORD ulDwellMs, BOOL bRepeat, std::string* pszWhy) {
    SCANPARAMS params;
    params.ulDwellMs = ulDwellMs;
    std::string szWhy = scanCheckRange(range);
    if (szWhy.empty())
        szWhy = scanCheckParams(params);
    if (!accepted(szWhy, pszWhy))
        return FALSE;
    std::lock_guard hold(scanMutex);
    const DWORD ulOrigin = ulSweepOrigin != 0 ? ulSweepOrigin : radio.ulFrequency.load();
    begin(Job{JobKind::Sweep, range, {}, params, bRepeat});
    ulSweepOrigin = ulOrigin;
    points.clear();
    return TRUE;
}

void scanStop() {
    stopWith(SCAN_END_STOPPED);
}

void scanOperatorActed() {
    stopWith(SCAN_END_OPERATOR);
}

void scanPortChanged(BOOL bConnected) {
    bPortGone = bConnected ? FALSE : TRUE;
}

SCANSTATE scanState() {
    return static_cast<SCANSTATE>(iState.load());
}

SCANEND scanLastEnd() {
    return static_cast<SCANEND>(iLastEnd.load());
}

DWORD scanHitFrequency() {
    return ulHit;
}

std::vector<SCANHIT> scanHits() {
    std::lock_guard hold(scanMutex);
    return hits;
}

SCANCOUNTERS scanCounters() {
    std::lock_guard hold(scanMutex);
    return counters;
}

std::vector<SCANPOINT> scanTakePoints() {
    std::lock_guard hold(scanMutex);
    std::vector<SCANPOINT> taken;
    taken.swap(points);
    return taken;
}

BOOL scanLastRange(SCANRANGE* pRange, SCANPARAMS* pParams) {
    std::lock_guard hold(scanMutex);
    if (!lastRange)
        return FALSE;
    *pRange = lastRange->first;
    *pParams = lastRange->second;
    return TRUE;
}

void scanSetLastRange(const SCANRANGE& range, const SCANPARAMS& params) {
    std::lock_guard hold(scanMutex);
    lastRange = std::pair{range, params};
}

std::vector<DWORD> scanLockouts() {
    std::lock_guard hold(scanMutex);
    return lockouts;
}

void scanSetLockouts(const std::vector<DWORD>& list) {
    std::lock_guard hold(scanMutex);
    lockouts = list;
}

void scanLockout(DWORD ulFrequency, BOOL bLockedOut) {
    std::lock_guard hold(scanMutex);
    std::erase(lockouts, ulFrequency);
    if (bLockedOut)
        lockouts.push_back(ulFrequency);
}

void scanSetNamer(SCANNAMER pName) {
    std::lock_guard hold(scanMutex);
    pNamer = pName;
}

void scanSetMemories(SCANMEMORIES pKnown) {
    std::lock_guard hold(scanMutex);
    pMemories = pKnown;
}

std::vector<SCANCHANNEL> scanMemoryList() {
    SCANMEMORIES pKnown = nullptr;
    {
        std::lock_guard hold(scanMutex);
        pKnown = pMemories;
    }
    std::vector<SCANCHANNEL> channels;
    if (pKnown == nullptr)
        return channels;
    for (const DWORD uMemory : pKnown())
        if (uMemory >= MIN_MEMORY && uMemory <= MAX_MEMORY)
            channels.push_back({0, 0, uMemory});
    return channels;
}

// The control service: every request for a change, queued whole.
#include "link/control.h"

#include "link/comthread.h"
#include "link/queue.h"
#include "link/updatethread.h"
#include "protocol/command.h"
#include "protocol/radiostate.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>

Shared<BOOL> bTune{FALSE};

namespace {

// One request is queued whole before the next, and the dividers change
// with the tuning that found them.
std::mutex controlLockout;
int iDividerR = 0;
int iDividerN = 0;

// Enough for every COMMANDKIND.
constexpr std::size_t KINDS = 32;
std::array<Shared<std::uint64_t>, KINDS> ulSent{};
Shared<std::uint64_t> ulSignalStamp{0};
Shared<std::uint64_t> ulFrequencyStamp{0};

using Clock = std::chrono::steady_clock;
// Answers missing all this time, with never a moment when they were all
// in, are not coming: they were lost (garbage on the line, a restart).
constexpr auto ANSWER_LOST = std::chrono::seconds(1);
// Queries kept for telling which window an answer came in.
constexpr std::size_t SENT_KEPT = 256;
constexpr std::uint64_t NONE_MISSING_YET = std::numeric_limits<std::uint64_t>::max();

// The commands whose answer brings an S-meter reading.
constexpr std::array SIGNAL_KINDS{COMMAND_QUERY_SIGNAL, COMMAND_STREAM_ON, COMMAND_STREAM_RETRY};

// Commands sent so far, of every kind: which window is open.
std::uint64_t ulCommands = 0;
// Answers that came after a later command had left.
Shared<std::uint64_t> ulLate{0};

// Matches the answers of one kind of query to the queries, in order. An
// answer answers the oldest query not yet answered: a late answer read
// in a later query's window is that earlier query's, not the later one's.
// Answers that stay missing for ANSWER_LOST are given up, so a lost
// answer does not make every later one look older than it is; and no
// answer is taken for a query not yet sent.
struct AnswerMatch {
    std::array<std::uint64_t, SENT_KEPT> sentAs{}; // by query number: its number among all commands
    std::uint64_t ulSent = 0;                      // queries sent
    std::uint64_t ulAnswered = 0;                  // the query the last answer answered
    // The fewest answers missing, as each answer came, since `since`.
    std::uint64_t ulFewestMissing = NONE_MISSING_YET;
    Clock::time_point since{};
    std::deque<std::uint64_t> taken; // queries of the answers on their way to the exec thread

    void left() {
        ulSent += 1;
        sentAs[ulSent % SENT_KEPT] = ulCommands;
    }
    // The query an answer arriving now answers; an answer outside its
    // query's window (another command has left since) is counted late.
    std::uint64_t answered(Clock::time_point now) {
        const std::uint64_t ulQuery = std::min(ulAnswered + 1, ulSent);
        ulAnswered = std::max(ulAnswered, ulQuery);
        if (ulQuery == 0 || ulSent - ulQuery >= SENT_KEPT ||
            sentAs[ulQuery % SENT_KEPT] != ulCommands)
            ulLate += 1;
        // Late answers catch up, and then none is missing; lost ones
        // leave the same number missing for good.
        ulFewestMissing = std::min(ulFewestMissing, ulSent - ulAnswered);
        if (now - since >= ANSWER_LOST) {
            if (ulFewestMissing != NONE_MISSING_YET)
                ulAnswered += ulFewestMissing;
            ulFewestMissing = NONE_MISSING_YET;
            since = now;
        }
        return ulQuery;
    }
    // A new link: nothing sent before is answered on it.
    void forget(Clock::time_point now) {
        taken.clear();
        ulAnswered = ulSent;
        ulFewestMissing = NONE_MISSING_YET;
        since = now;
    }
};

// Taken by the transmit thread as a query leaves, the receive thread as
// an answer arrives and the exec thread as it reads one.
std::mutex matchLock;
AnswerMatch signalMatch;
AnswerMatch frequencyMatch;

bool bringsSignal(const char* szLine) {
    return szLine[0] == cPreamble && (szLine[1] == 'S' || std::strncmp(szLine + 1, "RMC", 3) == 0 ||
                                      std::strncmp(szLine + 1, "RSC", 3) == 0);
}

bool bringsFrequency(const char* szLine) {
    return szLine[0] == cPreamble && std::strncmp(szLine + 1, "AF", 2) == 0;
}

AnswerMatch* matchOf(const char* szLine) {
    if (szLine == nullptr)
        return nullptr;
    if (bringsSignal(szLine))
        return &signalMatch;
    if (bringsFrequency(szLine))
        return &frequencyMatch;
    return nullptr;
}

std::size_t kindIndex(int kind) {
    return kind >= 0 && static_cast<std::size_t>(kind) < KINDS ? static_cast<std::size_t>(kind) : 0;
}

// A person's request is never lost; the scanner's ask again.
int priorityOf(REQUESTER who) {
    return who == REQUEST_SCAN ? SCAN_PRIORITY : MIN_PRIORITY;
}

UNITPOLICY policyOf(REQUESTER who, bool bLatestWins) {
    if (who == REQUEST_SCAN)
        return UNIT_DROP;
    return bLatestWins ? UNIT_KEEP_LATEST : UNIT_KEEP;
}

BOOL queueUnit(const PACKET* pPackets, int nPackets, REQUESTER who, bool bLatestWins,
               int priority) {
    return enqueueUnit(&QueueMessage, pPackets, nPackets, priority, policyOf(who, bLatestWins)) !=
           QUEUE_ERROR;
}

BOOL queueOne(const PACKET& packet, REQUESTER who, bool bLatestWins) {
    std::lock_guard hold(controlLockout);
    return queueUnit(&packet, 1, who, bLatestWins, priorityOf(who));
}

// Queues one tuning whole; *pUnit is what it was made of.
BOOL tuneWith(DWORD ulFrequency, REQUESTER who, TUNINGUNIT* pUnit) {
    std::lock_guard hold(controlLockout);
    *pUnit = commandTuning(ulFrequency, bTune);
    const BOOL bQueued = queueUnit(pUnit->packets.data(), pUnit->count, who, true, priorityOf(who));
    if (bQueued && pUnit->count == 3) {
        iDividerR = pUnit->R;
        iDividerN = pUnit->N;
    }
    return bQueued;
}

} // namespace

BOOL controlTune(DWORD ulFrequency, REQUESTER who) {
    TUNINGUNIT unit;
    return tuneWith(ulFrequency, who, &unit);
}

BOOL controlMode(DWORD uMode, REQUESTER who) {
    return queueOne(commandMode(uMode), who, false);
}

BOOL controlStep(DWORD uSpeed, REQUESTER who) {
    return queueOne(commandStep(uSpeed), who, false);
}

BOOL controlLock(BOOL bLockOn) {
    bLock = bLockOn ? TRUE : FALSE;
    return queueOne(commandLock(bLockOn), REQUEST_OPERATOR, false);
}

BOOL controlMemoryRead(DWORD uMemory, REQUESTER who) {
    if (uMemory < MIN_MEMORY || uMemory > MAX_MEMORY)
        return FALSE;
    const std::array<PACKET, 2> unit{commandMemoryRead(uMemory),
                                     commandQuery(COMMAND_QUERY_FREQUENCY)};
    std::lock_guard hold(controlLockout);
    return queueUnit(unit.data(), static_cast<int>(unit.size()), who, false, priorityOf(who));
}

BOOL controlMemoryWrite(DWORD uMemory, REQUESTER who) {
    if (uMemory < MIN_MEMORY || uMemory > MAX_MEMORY)
        return FALSE;
    return queueOne(commandMemoryWrite(uMemory), who, false);
}

BOOL controlStream(BOOL bOn) {
    const PACKET packet = commandStream(bOn);
    std::lock_guard hold(controlLockout);
    return queueUnit(&packet, 1, REQUEST_OPERATOR, false, MAX_PRIORITY);
}

BOOL controlRestart() {
    return queueOne(commandRestart(), REQUEST_OPERATOR, false);
}

BOOL controlQuerySignal(REQUESTER who) {
    return queueOne(commandQuery(COMMAND_QUERY_SIGNAL), who, false);
}

void controlWithdrawScan() {
    std::lock_guard hold(controlLockout);
    queueWithdraw(&QueueMessage, MIN_PRIORITY);
}

void controlDividers(int* pR, int* pN) {
    std::lock_guard hold(controlLockout);
    *pR = iDividerR;
    *pN = iDividerN;
}

void queueTuning(DWORD ulValue, int* pR, int* pN) {
    TUNINGUNIT unit;
    tuneWith(ulValue, REQUEST_OPERATOR, &unit);
    if (unit.count == 3) {
        *pR = unit.R;
        *pN = unit.N;
    }
}

void controlSent(int kind) {
    const bool bSignal =
        std::find(SIGNAL_KINDS.begin(), SIGNAL_KINDS.end(), kind) != SIGNAL_KINDS.end();
    {
        std::lock_guard hold(matchLock);
        ulCommands += 1;
        if (bSignal || kind == COMMAND_QUERY_FREQUENCY)
            (bSignal ? signalMatch : frequencyMatch).left();
    }
    ulSent[kindIndex(kind)] += 1;
}

void controlReceived(const char* szLine) {
    std::lock_guard hold(matchLock);
    if (AnswerMatch* pMatch = matchOf(szLine); pMatch != nullptr)
        pMatch->taken.push_back(pMatch->answered(Clock::now()));
}

void controlReceiveDropped(const char* szLine) {
    std::lock_guard hold(matchLock);
    if (AnswerMatch* pMatch = matchOf(szLine); pMatch != nullptr && !pMatch->taken.empty())
        pMatch->taken.pop_back();
}

void controlForgetAnswers() {
    std::lock_guard hold(matchLock);
    signalMatch.forget(Clock::now());
    frequencyMatch.forget(Clock::now());
}

void controlAnswered(const char* szLine) {
    std::uint64_t ulQuery = 0;
    AnswerMatch* pMatch = nullptr;
    {
        std::lock_guard hold(matchLock);
        pMatch = matchOf(szLine);
        if (pMatch == nullptr || pMatch->taken.empty())
            return;
        ulQuery = pMatch->taken.front();
        pMatch->taken.pop_front();
    }
    Shared<std::uint64_t>& stamp = pMatch == &signalMatch ? ulSignalStamp : ulFrequencyStamp;
    if (ulQuery > stamp)
        stamp = ulQuery;
}

std::uint64_t controlSignalQueries() {
    std::uint64_t ulQueries = 0;
    for (const int kind : SIGNAL_KINDS)
        ulQueries += ulSent[kindIndex(kind)];
    return ulQueries;
}

std::uint64_t controlFrequencyQueries() {
    return ulSent[COMMAND_QUERY_FREQUENCY];
}

std::uint64_t controlSentCount(int kind) {
    return ulSent[kindIndex(kind)];
}

std::uint64_t controlSignalStamp() {
    return ulSignalStamp;
}

std::uint64_t controlFrequencyStamp() {
    return ulFrequencyStamp;
}

std::uint64_t controlLateAnswers() {
    return ulLate;
}

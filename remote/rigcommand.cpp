// The network rig-control protocol's commands for this receiver.
#include "remote/rigcommand.h"

#include "link/comthread.h"
#include "link/control.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "protocol/comexecute.h"
#include "protocol/steps.h"
#include "record/record.h"
#include "scan/scan.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// Error codes of the protocol.
constexpr int RIG_OK = 0;
constexpr int RIG_EINVAL = -1;
constexpr int RIG_ENIMPL = -4;
constexpr int RIG_EIO = -6;
constexpr int RIG_EPROTO = -8;
constexpr int RIG_ERJCTED = -9;
constexpr int RIG_ENAVAIL = -11;
constexpr int RIG_EVFO = -16;

// Mode bits of the capability block.
constexpr unsigned MODE_BIT_AM = 0x1;
constexpr unsigned MODE_BIT_CW = 0x2;
constexpr unsigned MODE_BIT_USB = 0x4;
constexpr unsigned MODE_BIT_LSB = 0x8;
constexpr unsigned MODE_BITS = MODE_BIT_AM | MODE_BIT_CW | MODE_BIT_USB | MODE_BIT_LSB;
constexpr unsigned LEVEL_BIT_STRENGTH = 0x40000000;

constexpr const char* szRigInfo = "Velkor QX-4470";
constexpr const char* szModeList = "AM CW USB LSB";
constexpr const char* szVfo = "VFOA";
constexpr const char* szStrength = "STRENGTH";

// S9 is 0 dB; one S-unit is 6 dB.
constexpr int S9 = 9;
constexpr int DB_PER_S_UNIT = 6;

using Values = std::vector<std::pair<const char*, std::string>>;

struct Reply {
    int code = RIG_OK;
    Values values; // a get's values, each with its name for extended answers
    bool bClose = false;
    bool bRawLines = false; // values are whole lines (the capability block)
};

using Args = std::vector<std::string_view>;
using Handler = Reply (*)(const Args& args, std::uint64_t ulNow);

Reply failure(int code) {
    return Reply{code, {}, false, false};
}

Reply value(const char* szName, std::string szValue) {
    return Reply{RIG_OK, {{szName, std::move(szValue)}}, false, false};
}

// ---- what was commanded -----------------------------------------------------

// A value set from here that the receiver has not reported yet.
struct Held {
    bool bHeld = false;
    DWORD ulValue = 0;
    DWORD ulReported = 0; // what the receiver reported when it was set
    std::uint64_t ulSince = 0;
};

// A set waiting for its turn at the link.
struct Pending {
    bool bWaiting = false;
    DWORD ulValue = 0;
    bool bSent = false; // one was sent (ulSentAt is meaningful)
    std::uint64_t ulSentAt = 0;
};

Held heldFrequency;
Held heldMode;
Pending pendingFrequency;
Pending pendingMode;
bool bLowerSideband = false; // SSB was last set as LSB

// The mode lock of the protocol: a client that sets it keeps the mode to
// itself, and mode sets from every other client are refused until it
// clears it or goes.
constexpr int NO_CLIENT = -1;
int iModeLockedBy = NO_CLIENT;
int iAsking = 0; // the client whose line is being answered

DWORD current(Held& held, DWORD ulReported, std::uint64_t ulNow) {
    if (held.bHeld && ulReported == held.ulReported && ulNow - held.ulSince < REMOTE_HOLD_MS)
        return held.ulValue;
    held.bHeld = false;
    return ulReported;
}

void hold(Held& held, DWORD ulValue, DWORD ulReported, std::uint64_t ulNow) {
    held = Held{true, ulValue, ulReported, ulNow};
}

void sendFrequency(DWORD ulFrequency) {
    controlTune(ulFrequency, REQUEST_REMOTE);
    PostMessageA(hDlgHandle, IDREMOTE, REMOTE_FREQUENCY, static_cast<LPARAM>(ulFrequency));
}

void sendMode(DWORD uMode) {
    controlMode(uMode, REQUEST_REMOTE);
    PostMessageA(hDlgHandle, IDREMOTE, REMOTE_MODE, static_cast<LPARAM>(uMode));
}

bool due(const Pending& pending, std::uint64_t ulNow) {
    return !pending.bSent || ulNow - pending.ulSentAt >= REMOTE_SET_SPACING_MS;
}

void set(Pending& pending, void (*send)(DWORD), DWORD ulValue, std::uint64_t ulNow) {
    pending.ulValue = ulValue;
    pending.bWaiting = true;
    if (due(pending, ulNow)) {
        pending.bWaiting = false;
        pending.bSent = true;
        pending.ulSentAt = ulNow;
        send(ulValue);
    }
}

// The receiver ignores tuning and mode sets while it is locked, by the
// panel's Lock or its own front panel.
bool locked() {
    return bLock || radio.bLock;
}

// ---- argument reading -------------------------------------------------------

// A whole token as a frequency in hertz: an integer or a decimal such as
// "14074000.000000", to the nearest hertz.
bool readFrequency(std::string_view token, DWORD* pValue) {
    double d = 0.0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), d);
    if (ec != std::errc() || end != token.data() + token.size() || !std::isfinite(d))
        return false;
    const double rounded = std::floor(d + 0.5);
    if (rounded < MIN_FREQUENCY || rounded > MAX_FREQUENCY)
        return false;
    *pValue = static_cast<DWORD>(rounded);
    return true;
}

bool readInteger(std::string_view token, long* pValue) {
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), *pValue);
    return ec == std::errc() && end == token.data() + token.size();
}

// The receiver's mode for a mode name; 0 for a name it cannot take.
DWORD modeOf(std::string_view name) {
    if (name == "AM")
        return MODE_AM;
    if (name == "CW")
        return MODE_CW;
    if (name == "USB" || name == "LSB")
        return MODE_SSB;
    return 0;
}

const char* modeName(DWORD uMode) {
    switch (uMode) {
    case MODE_AM:
        return "AM";
    case MODE_CW:
        return "CW";
    case MODE_SSB:
        return bLowerSideband ? "LSB" : "USB";
    default:
        return nullptr;
    }
}

// ---- the commands -------------------------------------------------------------

Reply getFrequency(const Args&, std::uint64_t ulNow) {
    return value("Frequency", std::to_string(current(heldFrequency, radio.ulFrequency, ulNow)));
}

Reply setFrequency(const Args& args, std::uint64_t ulNow) {
    DWORD ulFrequency = 0;
    if (args.size() != 1 || !readFrequency(args[0], &ulFrequency))
        return failure(RIG_EINVAL);
    if (locked())
        return failure(RIG_ERJCTED);
    hold(heldFrequency, ulFrequency, radio.ulFrequency, ulNow);
    set(pendingFrequency, sendFrequency, ulFrequency, ulNow);
    return failure(RIG_OK);
}

Reply getMode(const Args&, std::uint64_t ulNow) {
    const char* szMode = modeName(current(heldMode, radio.uMode, ulNow));
    if (szMode == nullptr)
        return failure(RIG_EIO); // the receiver has reported no mode it has
    return Reply{RIG_OK, {{"Mode", szMode}, {"Passband", "0"}}, false, false};
}

Reply setMode(const Args& args, std::uint64_t ulNow) {
    if (args.size() == 1 && args[0] == "?")
        return value("Modes", szModeList);
    long lPassband = 0;
    if (args.empty() || args.size() > 2 || (args.size() == 2 && !readInteger(args[1], &lPassband)))
        return failure(RIG_EINVAL);
    const DWORD uMode = modeOf(args[0]);
    if (uMode == 0)
        return failure(RIG_EINVAL);
    if (locked() || (iModeLockedBy != NO_CLIENT && iModeLockedBy != iAsking))
        return failure(RIG_ERJCTED);
    bLowerSideband = args[0] == "LSB" ? true : args[0] == "USB" ? false : bLowerSideband;
    hold(heldMode, uMode, radio.uMode, ulNow);
    set(pendingMode, sendMode, uMode, ulNow);
    return failure(RIG_OK);
}

Reply getLockMode(const Args&, std::uint64_t) {
    return value("Locked", iModeLockedBy == NO_CLIENT ? "0" : "1");
}

Reply setLockMode(const Args& args, std::uint64_t) {
    if (args.size() != 1 || (args[0] != "0" && args[0] != "1"))
        return failure(RIG_EINVAL);
    if (iModeLockedBy != NO_CLIENT && iModeLockedBy != iAsking)
        return failure(RIG_ERJCTED); // another client's lock
    iModeLockedBy = args[0] == "1" ? iAsking : NO_CLIENT;
    return failure(RIG_OK);
}

Reply getVfo(const Args&, std::uint64_t) {
    return value("VFO", szVfo);
}

Reply setVfo(const Args& args, std::uint64_t) {
    if (args.size() != 1)
        return failure(RIG_EINVAL);
    if (args[0] == "?")
        return value("VFOs", szVfo);
    return failure(args[0] == szVfo ? RIG_OK : RIG_EVFO);
}

Reply getPtt(const Args&, std::uint64_t) {
    return value("PTT", "0");
}

Reply getSplit(const Args&, std::uint64_t) {
    return Reply{RIG_OK, {{"Split", "0"}, {"TX VFO", szVfo}}, false, false};
}

Reply notAvailable(const Args&, std::uint64_t) {
    return failure(RIG_ENAVAIL);
}

Reply getLevel(const Args& args, std::uint64_t) {
    if (args.size() != 1)
        return failure(RIG_EINVAL);
    if (args[0] == "?")
        return value("Levels", szStrength);
    if (args[0] != szStrength)
        return failure(RIG_ENAVAIL);
    const auto sUnits = static_cast<long long>(radio.uSUnits.load());
    return value(szStrength, std::to_string((sUnits - S9) * DB_PER_S_UNIT));
}

Reply getInfo(const Args&, std::uint64_t) {
    return value("Info", szRigInfo);
}

Reply checkVfo(const Args&, std::uint64_t) {
    return value("ChkVFO", "0");
}

Reply getPowerStatus(const Args&, std::uint64_t) {
    return value("Power Status", "1");
}

// The functions: RECORD, the audio recording of the panel, and SCAN.
constexpr std::string_view szRecord = "RECORD";
constexpr std::string_view szScan = "SCAN";
constexpr std::string_view szFunctions = "RECORD SCAN";

Reply setScanFunction(const Args& args, std::uint64_t ulNow);
Reply getScanFunction();

Reply setFunction(const Args& args, std::uint64_t ulNow) {
    if (args.size() == 1 && args[0] == "?")
        return value("Funcs", std::string(szFunctions));
    if (!args.empty() && args[0] == szScan)
        return setScanFunction(args, ulNow);
    if (args.size() != 2 || (args[1] != "0" && args[1] != "1"))
        return failure(RIG_EINVAL);
    if (args[0] != szRecord)
        return failure(RIG_ENAVAIL);
    if (args[1] == "0") {
        recordAudioStop();
        return failure(RIG_OK);
    }
    const BOOL bStarted = recordAudioStart(radio.ulFrequency, radio.uMode);
    return failure(bStarted ? RIG_OK : RIG_EIO);
}

Reply getFunction(const Args& args, std::uint64_t) {
    if (args.size() != 1)
        return failure(RIG_EINVAL);
    if (args[0] == "?")
        return value("Funcs", std::string(szFunctions));
    if (args[0] == szScan)
        return getScanFunction();
    if (args[0] != szRecord)
        return failure(RIG_ENAVAIL);
    return value("Func Status", recordAudioIsRecording() ? "1" : "0");
}

// A satellite tracker's pass events: acquisition of signal starts the
// audio recording, loss of signal stops it.
Reply acquisitionOfSignal(const Args&, std::uint64_t ulNow) {
    return setFunction({szRecord, "1"}, ulNow);
}

Reply lossOfSignal(const Args&, std::uint64_t ulNow) {
    return setFunction({szRecord, "0"}, ulNow);
}

// ---- scanning ------------------------------------------------------------------

// "g STOP 0" ends a scan; "g VFO 0" scans the range as last set, "g MEM
// 0" the memory channels known to hold a frequency (with the parameters
// last set; none known is an invalid parameter). A range or
// parameter the scanner refuses, or none set yet, is an invalid parameter.
Reply scan(const Args& args, std::uint64_t) {
    if (args.size() != 2)
        return failure(RIG_EINVAL);
    long lChannel = 0;
    if (!readInteger(args[1], &lChannel))
        return failure(RIG_EINVAL);
    if (args[0] == "STOP") {
        scanStop();
        return failure(RIG_OK);
    }
    if (args[0] != "VFO" && args[0] != "MEM")
        return failure(args[0] == "?" || args[0].empty() ? RIG_EINVAL : RIG_ENAVAIL);
    if (locked())
        return failure(RIG_ERJCTED);
    SCANRANGE range;
    SCANPARAMS params;
    const bool bSet = scanLastRange(&range, &params) != FALSE;
    if (args[0] == "VFO")
        return failure(bSet && scanStartRange(range, params, nullptr) ? RIG_OK : RIG_EINVAL);
    return failure(scanStartList(scanMemoryList(), params, nullptr) ? RIG_OK : RIG_EINVAL);
}

// "U SCAN 1" scans the range as last set, "U SCAN 0" stops.
Reply setScanFunction(const Args& args, std::uint64_t ulNow) {
    if (args.size() != 2 || (args[1] != "0" && args[1] != "1"))
        return failure(RIG_EINVAL);
    if (args[1] == "0")
        return scan({"STOP", "0"}, ulNow);
    return scan({"VFO", "0"}, ulNow);
}

// 1 while a scan steps or listens (or waits for the port), 0 otherwise.
Reply getScanFunction() {
    const SCANSTATE state = scanState();
    const bool bScanning =
        state == SCAN_SEARCHING || state == SCAN_LISTENING || state == SCAN_PAUSED;
    return value("Func Status", bScanning ? "1" : "0");
}

Reply quit(const Args&, std::uint64_t) {
    Reply reply;
    reply.bClose = true;
    return reply;
}

std::string hex(unsigned bits) {
    std::array<char, 16> sz{};
    std::snprintf(sz.data(), sz.size(), "0x%x", bits);
    return sz.data();
}

// The capability block, protocol version 0: a receiver of three modes
// over the whole range, tuning steps of the speed table, no transmit
// ranges, the signal strength as its only level.
Reply dumpState(const Args&, std::uint64_t) {
    Reply reply;
    reply.bRawLines = true;
    auto line = [&](std::string sz) { reply.values.emplace_back("", std::move(sz)); };
    line("0"); // protocol version
    line("2"); // the network rig
    line("1"); // ITU region
    line(std::to_string(MIN_FREQUENCY) + ".000000 " + std::to_string(MAX_FREQUENCY) + ".000000 " +
         hex(MODE_BITS) + " -1 -1 0x1 0x0");
    line("0 0 0 0 0 0 0"); // end of the receive ranges
    line("0 0 0 0 0 0 0"); // no transmit ranges
    for (const DWORD uStep : uaSpeed)
        line(hex(MODE_BITS) + " " + std::to_string(uStep));
    line("0 0"); // end of the tuning steps
    line("0 0"); // no filters: every mode at the receiver's own passband
    line("0");   // max RIT
    line("0");   // max XIT
    line("0");   // max IF shift
    line("0");   // announces
    line("0");   // preamps
    line("0");   // attenuators
    line("0x0"); // get functions
    line("0x0"); // set functions
    line(hex(LEVEL_BIT_STRENGTH));
    line("0x0"); // set levels
    line("0x0"); // get parms
    line("0x0"); // set parms
    return reply;
}

struct Command {
    char cShort; // 0: only the long form
    std::string_view szLong;
    Handler handler;
    bool bBare = false; // a bare word, without the backslash (a tracker's pass events)
};

constexpr std::array<Command, 26> commands{{
    {'f', "get_freq", getFrequency},
    {'F', "set_freq", setFrequency},
    {'m', "get_mode", getMode},
    {'M', "set_mode", setMode},
    {'v', "get_vfo", getVfo},
    {'V', "set_vfo", setVfo},
    {'t', "get_ptt", getPtt},
    {'T', "set_ptt", notAvailable},
    {'s', "get_split_vfo", getSplit},
    {'S', "set_split_vfo", notAvailable},
    {'l', "get_level", getLevel},
    {'L', "set_level", notAvailable},
    {'_', "get_info", getInfo},
    {0, "chk_vfo", checkVfo},
    {0, "dump_state", dumpState},
    {0, "get_powerstat", getPowerStatus},
    {'q', "quit", quit},
    {'Q', "exit", quit},
    {0, "set_powerstat", notAvailable},
    {'U', "set_func", setFunction},
    {'u', "get_func", getFunction},
    {0, "get_lock_mode", getLockMode},
    {0, "set_lock_mode", setLockMode},
    {0, "AOS", acquisitionOfSignal, true},
    {0, "LOS", lossOfSignal, true},
    {'g', "scan", scan},
}};

const Command* findCommand(std::string_view word) {
    for (const Command& command : commands) {
        if (word.size() == 1 && command.cShort != 0 && word[0] == command.cShort)
            return &command;
        if (word.size() > 1 && word[0] == '\\' && word.substr(1) == command.szLong)
            return &command;
        if (command.bBare && word == command.szLong)
            return &command;
    }
    return nullptr;
}

bool isText(std::string_view line) {
    for (const char c : line)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') ||
            static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

Args split(std::string_view line) {
    Args words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

void appendPlain(const Reply& reply, std::string* pszAnswer) {
    if (reply.code != RIG_OK || reply.values.empty()) {
        *pszAnswer += "RPRT " + std::to_string(reply.code) + "\n";
        return;
    }
    for (const auto& [szName, szValue] : reply.values)
        *pszAnswer += szValue + "\n";
}

// The extended answer: the command's name (and a set's arguments), each
// value with its name, and the result code; on one line with cSeparator
// when it is not LF.
void appendExtended(const Command& command, const Args& args, const Reply& reply, char cSeparator,
                    std::string* pszAnswer) {
    std::string szHeader(command.szLong);
    szHeader += ":";
    for (const std::string_view arg : args) {
        szHeader += ' ';
        szHeader += arg;
    }
    *pszAnswer += szHeader + cSeparator;
    for (const auto& [szName, szValue] : reply.values) {
        if (reply.bRawLines)
            *pszAnswer += szValue + cSeparator;
        else
            *pszAnswer += std::string(szName) + ": " + szValue + cSeparator;
    }
    *pszAnswer += "RPRT " + std::to_string(reply.code) + "\n";
}

} // namespace

BOOL rigCommand(std::string_view line, std::uint64_t ulNow, std::string* pszAnswer, int iClient) {
    iAsking = iClient;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (!isText(line)) {
        *pszAnswer += "RPRT " + std::to_string(RIG_EPROTO) + "\n";
        return FALSE;
    }
    char cExtended = 0;
    if (!line.empty() && (line[0] == '+' || line[0] == ';' || line[0] == '|' || line[0] == ',')) {
        cExtended = line[0] == '+' ? '\n' : line[0];
        line.remove_prefix(1);
    }
    Args words = split(line);
    if (words.empty())
        return TRUE; // a blank line asks nothing
    const Command* pCommand = findCommand(words[0]);
    if (pCommand == nullptr) {
        *pszAnswer += "RPRT " + std::to_string(RIG_ENIMPL) + "\n";
        return TRUE;
    }
    words.erase(words.begin());
    const Reply reply = pCommand->handler(words, ulNow);
    if (reply.bClose)
        return FALSE;
    if (cExtended != 0)
        appendExtended(*pCommand, words, reply, cExtended, pszAnswer);
    else
        appendPlain(reply, pszAnswer);
    return TRUE;
}

std::uint64_t rigFlush(std::uint64_t ulNow) {
    std::uint64_t ulNext = 0;
    auto flush = [&](Pending& pending, void (*send)(DWORD)) {
        if (!pending.bWaiting)
            return;
        if (due(pending, ulNow)) {
            set(pending, send, pending.ulValue, ulNow);
            return;
        }
        const std::uint64_t ulDue = pending.ulSentAt + REMOTE_SET_SPACING_MS;
        ulNext = ulNext == 0 ? ulDue : std::min(ulNext, ulDue);
    };
    flush(pendingFrequency, sendFrequency);
    flush(pendingMode, sendMode);
    return ulNext;
}

void rigClientClosed(int iClient) {
    if (iModeLockedBy == iClient)
        iModeLockedBy = NO_CLIENT;
}

void rigReset() {
    iModeLockedBy = NO_CLIENT;
    heldFrequency = Held{};
    heldMode = Held{};
    pendingFrequency = Pending{};
    pendingMode = Pending{};
    bLowerSideband = false;
}

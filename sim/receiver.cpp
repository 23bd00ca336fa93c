// The emulated receiver's controller.
#include "sim/receiver.h"

#include "protocol/radiostate.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr DWORD MIN_DIVIDER_R = 1432;
constexpr DWORD MAX_DIVIDER_R = 32767;
constexpr DWORD MIN_DIVIDER_N = 40;
constexpr DWORD MAX_DIVIDER_N = 65535;
constexpr BYTE FLAG_LOCKED = 0x20;
constexpr std::size_t MAX_DIGITS = 9; // keeps every number inside 32 bits

// Tuning steps and their codes in the status record. The codes 0..7 are
// the receiver's jog steps; 9000 Hz (the medium-wave raster) is code 8.
struct Step {
    DWORD uSpeed;
    BYTE ucJog;
};
constexpr std::array<Step, 9> STEPS = {{{10, 0},
                                        {100, 1},
                                        {1000, 2},
                                        {1250, 3},
                                        {2500, 4},
                                        {5000, 5},
                                        {10000, 6},
                                        {100000, 7},
                                        {9000, 8}}};

// A plain decimal number: digits only, at least one, at most MAX_DIGITS
// after any leading zeros.
std::optional<DWORD> parseNumber(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    while (text.size() > 1 && text.front() == '0')
        text.remove_prefix(1);
    if (text.size() > MAX_DIGITS)
        return std::nullopt;
    DWORD value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool inRange(DWORD value, DWORD low, DWORD high) {
    return value >= low && value <= high;
}

// Mode code of "*RMM" and "@RMM": 0 SSB, 2 CW, 4 AM (1 and 3 read as 0 and 2).
std::optional<DWORD> modeFromDigit(std::string_view text) {
    if (text.size() != 1)
        return std::nullopt;
    switch (text[0]) {
    case '0':
    case '1':
        return MODE_SSB;
    case '2':
    case '3':
        return MODE_CW;
    case '4':
        return MODE_AM;
    default:
        return std::nullopt;
    }
}

char digitOfMode(DWORD uMode) {
    switch (uMode) {
    case MODE_SSB:
        return '0';
    case MODE_CW:
        return '2';
    default:
        return '4';
    }
}

BYTE jogOf(DWORD uSpeed) {
    for (const Step& step : STEPS)
        if (step.uSpeed == uSpeed)
            return step.ucJog;
    return 4;
}

void putBigEndian(BYTE* p, DWORD value) {
    p[0] = static_cast<BYTE>(value >> 24);
    p[1] = static_cast<BYTE>(value >> 16);
    p[2] = static_cast<BYTE>(value >> 8);
    p[3] = static_cast<BYTE>(value);
}

bool startsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

} // namespace

Receiver::Receiver() {
    const std::array<DWORD, 5> timeSignals = {2500000, 5000000, 10000000, 15000000, 20000000};
    for (std::size_t i = 0; i < timeSignals.size(); ++i)
        memory_[i] = {timeSignals[i], MODE_AM};
    powerOn();
}

void Receiver::powerOn() {
    ulFrequency_ = POWER_ON_FREQUENCY;
    uMode_ = MODE_AM;
    uSpeed_ = POWER_ON_SPEED;
    bLock_ = false;
    uMemory_ = 1;
    fixedSUnits_.reset();
    dTunedAt_ = -1.0e9;
    lDividerR_ = 0;
    lDividerN_ = 0;
}

bool Receiver::setFrequency(DWORD ulFrequency, double dSeconds) {
    if (!inRange(ulFrequency, MIN_FREQUENCY, MAX_FREQUENCY))
        return false;
    if (ulFrequency != ulFrequency_ && dSettle_ > 0.0) {
        dFromSUnits_ = meter(dSeconds);
        dTunedAt_ = dSeconds;
    }
    ulFrequency_ = ulFrequency;
    return true;
}

bool Receiver::setMode(DWORD uMode) {
    if (uMode != MODE_SSB && uMode != MODE_CW && uMode != MODE_AM)
        return false;
    uMode_ = uMode;
    return true;
}

bool Receiver::setSpeed(DWORD uSpeed) {
    const bool bKnown = std::any_of(STEPS.begin(), STEPS.end(),
                                    [uSpeed](const Step& step) { return step.uSpeed == uSpeed; });
    if (bKnown)
        uSpeed_ = uSpeed;
    return bKnown;
}

double Receiver::meter(double dSeconds) {
    if (fixedSUnits_)
        return *fixedSUnits_;
    const double target = signal_.sUnits(ulFrequency_, dSeconds);
    const double elapsed = dSeconds - dTunedAt_;
    if (dSettle_ <= 0.0 || elapsed >= dSettle_)
        return target;
    const double fraction = std::max(elapsed, 0.0) / dSettle_;
    return dFromSUnits_ + (target - dFromSUnits_) * fraction;
}

unsigned Receiver::sUnitsSettled(double dSeconds) {
    return fixedSUnits_ ? *fixedSUnits_ : signal_.sUnits(ulFrequency_, dSeconds);
}

unsigned Receiver::sUnits(double dSeconds) {
    return static_cast<unsigned>(std::lround(std::max(meter(dSeconds), 0.0)));
}

std::string Receiver::signalLine(double dSeconds) {
    return "@S  " + std::to_string(sUnits(dSeconds)) + "\r";
}

Receiver::Result Receiver::command(std::string_view line, double dSeconds) {
    using enum Kind;
    if (line == "?AF")
        return {Query, "@AF" + std::to_string(ulFrequency_) + "\r"};
    if (line == "?RMM")
        return {Query, std::string("@RMM") + digitOfMode(uMode_) + "\r"};
    if (line == "?RMI")
        return {Query, "@RMI" + std::to_string(uSpeed_) + "\r"};
    if (line == "?AU")
        return {Query, bLock_ ? "@AL\r" : "@AU\r"};
    if (line == "?S")
        return {Query, signalLine(dSeconds)};
    if (line == "?RMC")
        return {Frame, {}};
    if (line == "*RMC")
        return {Set, {}};
    if (line == "XX")
        return {Restart, {}};
    if (line == "*AL" || line == "*AU") {
        bLock_ = line == "*AL";
        return {Set, {}};
    }

    if (startsWith(line, "*RMM")) {
        const auto uMode = modeFromDigit(line.substr(4));
        if (!uMode)
            return {};
        uMode_ = *uMode;
        return {Set, {}};
    }

    // The remaining commands carry a number after a prefix of three or
    // four characters.
    const bool bLongPrefix =
        startsWith(line, "*RMI") || startsWith(line, "*KRA") || startsWith(line, "*KWA");
    const std::size_t prefixLength = bLongPrefix ? 4 : 3;
    if (line.size() <= prefixLength)
        return {};
    const auto value = parseNumber(line.substr(prefixLength));
    if (!value)
        return {};

    if (startsWith(line, "*AF")) {
        lDividerR_ = 0;
        lDividerN_ = 0;
        return setFrequency(*value, dSeconds) ? Result{Set, {}} : Result{};
    }
    if (startsWith(line, "*AR")) {
        if (!inRange(*value, MIN_DIVIDER_R, MAX_DIVIDER_R))
            return {};
        lDividerR_ = static_cast<long>(*value);
        return {Set, {}};
    }
    if (startsWith(line, "*AN")) {
        if (!inRange(*value, MIN_DIVIDER_N, MAX_DIVIDER_N))
            return {};
        lDividerN_ = static_cast<long>(*value);
        return {Set, {}};
    }
    if (startsWith(line, "*AD")) {
        // With a divider pair the synthesizer decides the frequency; a
        // frequency without one is taken as it stands.
        DWORD ulTarget = *value;
        if (lDividerR_ != 0 && lDividerN_ != 0) {
            const long long vco =
                (static_cast<long long>(lDividerN_) * XTAL + lDividerR_ / 2) / lDividerR_;
            ulTarget = vco > MIXER ? static_cast<DWORD>(vco - MIXER) : 0;
        }
        lDividerR_ = 0;
        lDividerN_ = 0;
        return setFrequency(ulTarget, dSeconds) ? Result{Set, {}} : Result{};
    }
    if (startsWith(line, "*RMI"))
        return setSpeed(*value) ? Result{Set, {}} : Result{};
    if (startsWith(line, "*KRA") || startsWith(line, "*KWA")) {
        if (!inRange(*value, MIN_MEMORY, MAX_MEMORY))
            return {};
        MemoryChannel& channel = memory_[*value - 1];
        if (line[1] == 'K' && line[2] == 'W') {
            channel = {ulFrequency_, uMode_};
        } else {
            if (channel.ulFrequency == 0)
                return {}; // an empty channel recalls nothing
            setFrequency(channel.ulFrequency, dSeconds);
            uMode_ = channel.uMode;
        }
        uMemory_ = *value;
        return {Set, {}};
    }
    return {};
}

std::array<BYTE, FRAME_SIZE> Receiver::frame(double dSeconds) {
    std::array<BYTE, FRAME_SIZE> octets{};
    BYTE* p = octets.data();
    std::copy_n("@RMC", 4, p);
    BYTE* status = p + 4;
    const MemoryChannel& channel = memory_[uMemory_ - 1];
    putBigEndian(status + 0, ulFrequency_);
    putBigEndian(status + 4, channel.ulFrequency);
    status[8] = static_cast<BYTE>(uMode_);
    status[9] = static_cast<BYTE>(channel.uMode);
    status[10] = static_cast<BYTE>(uMemory_);
    status[11] = jogOf(uSpeed_);
    status[12] = bLock_ ? FLAG_LOCKED : 0;
    status[13] = 0;
    status[14] = RECEIVER_VERSION;
    status[15] = static_cast<BYTE>(std::min(sUnits(dSeconds), 255u));

    std::array<std::int16_t, FRAME_SAMPLES> samples{};
    signal_.audio(ulFrequency_, uMode_, samples);
    adpcmEncodeBlock(encoder_, samples, std::span<BYTE>(p + 20, FRAME_SIZE - 20));
    return octets;
}

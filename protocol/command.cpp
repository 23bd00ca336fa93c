// The receiver's command texts.
#include "protocol/command.h"

#include "protocol/factor.h"
#include "protocol/radiostate.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename... Args> PACKET format(COMMANDKIND kind, const char* szFormat, Args... args) {
    PACKET packet;
    packet.kind = kind;
    std::snprintf(packet.szText.data(), packet.szText.size(), szFormat, args...);
    return packet;
}

PACKET fixed(COMMANDKIND kind, const char* szText) {
    return format(kind, "%s", szText);
}

} // namespace

PACKET commandFrequency(DWORD ulFrequency) {
    return format(COMMAND_FREQUENCY, "*AF%u\r", ulFrequency);
}

TUNINGUNIT commandTuning(DWORD ulFrequency, BOOL bExtended) {
    TUNINGUNIT unit;
    if (!bExtended) {
        unit.packets[0] = commandFrequency(ulFrequency);
        unit.count = 1;
        return unit;
    }
    if (factor(static_cast<int>(ulFrequency), &unit.R, &unit.N)) {
        unit.packets[unit.count++] = format(COMMAND_DIVIDER_R, "*AR%d\r", unit.R);
        unit.packets[unit.count++] = format(COMMAND_DIVIDER_N, "*AN%d\r", unit.N);
    }
    unit.packets[unit.count++] = format(COMMAND_DIVIDER_TUNE, "*AD%u\r", ulFrequency);
    return unit;
}

PACKET commandMode(DWORD uMode) {
    // The receiver's mode digits: 4 AM, 2 CW, 0 SSB.
    const char* szText = uMode == MODE_AM ? "*RMM4\r" : uMode == MODE_CW ? "*RMM2\r" : "*RMM0\r";
    return fixed(COMMAND_MODE, szText);
}

PACKET commandStep(DWORD uSpeed) {
    return format(COMMAND_STEP, "*RMI%u\r", uSpeed);
}

PACKET commandLock(BOOL bLock) {
    return bLock ? fixed(COMMAND_LOCK, "*AL\r") : fixed(COMMAND_UNLOCK, "*AU\r");
}

PACKET commandMemoryRead(DWORD uMemory) {
    return format(COMMAND_MEMORY_READ, "*KRA%u\r", uMemory);
}

PACKET commandMemoryWrite(DWORD uMemory) {
    return format(COMMAND_MEMORY_WRITE, "*KWA%u\r", uMemory);
}

PACKET commandStream(BOOL bOn) {
    return bOn ? fixed(COMMAND_STREAM_ON, "?RMC\r") : fixed(COMMAND_STREAM_OFF, "*RMC\r");
}

PACKET commandStreamRetry() {
    return fixed(COMMAND_STREAM_RETRY, "?RMC\r");
}

PACKET commandRestart() {
    return fixed(COMMAND_RESTART, "XX\r");
}

PACKET commandQuery(COMMANDKIND kind) {
    switch (kind) {
    case COMMAND_QUERY_FREQUENCY:
        return fixed(kind, "?AF\r");
    case COMMAND_QUERY_MODE:
        return fixed(kind, "?RMM\r");
    case COMMAND_QUERY_STEP:
        return fixed(kind, "?RMI\r");
    case COMMAND_QUERY_LOCK:
        return fixed(kind, "?AU\r");
    case COMMAND_QUERY_SIGNAL:
        return fixed(kind, "?S\r");
    default:
        return PACKET{};
    }
}

COMMANDKIND commandKindOf(const char* szText) {
    struct Prefix {
        const char* szText;
        COMMANDKIND kind;
        bool bWhole; // the text is exactly this, not a prefix with a number
    };
    // Longer prefixes first where one begins another.
    static constexpr std::array<Prefix, 18> prefixes{{
        {"*AF", COMMAND_FREQUENCY, false},
        {"*AR", COMMAND_DIVIDER_R, false},
        {"*AN", COMMAND_DIVIDER_N, false},
        {"*AD", COMMAND_DIVIDER_TUNE, false},
        {"*AL\r", COMMAND_LOCK, true},
        {"*AU\r", COMMAND_UNLOCK, true},
        {"*RMM", COMMAND_MODE, false},
        {"*RMI", COMMAND_STEP, false},
        {"*KRA", COMMAND_MEMORY_READ, false},
        {"*KWA", COMMAND_MEMORY_WRITE, false},
        {"?RMC\r", COMMAND_STREAM_ON, true},
        {"*RMC\r", COMMAND_STREAM_OFF, true},
        {"XX\r", COMMAND_RESTART, true},
        {"?AF\r", COMMAND_QUERY_FREQUENCY, true},
        {"?RMM\r", COMMAND_QUERY_MODE, true},
        {"?RMI\r", COMMAND_QUERY_STEP, true},
        {"?AU\r", COMMAND_QUERY_LOCK, true},
        {"?S\r", COMMAND_QUERY_SIGNAL, true},
    }};
    if (szText == nullptr)
        return COMMAND_NONE;
    for (const auto& prefix : prefixes) {
        const std::size_t length = std::strlen(prefix.szText);
        if (prefix.bWhole ? std::strcmp(szText, prefix.szText) == 0
                          : std::strncmp(szText, prefix.szText, length) == 0)
            return prefix.kind;
    }
    return COMMAND_NONE;
}

// The replay of a recorded receive stream, paced at the line rate.
#include "link/replay.h"

#include "link/lockstep.h"
#include "link/replayfile.h"
#include "platform/file.h"
#include "platform/worker.h"

#include <chrono>
#include <cstdint>

namespace {

// A late wake-up is made up, but time the replay was not read at all is
// not: at most this much of it.
constexpr auto REPLAY_CATCH_UP = std::chrono::milliseconds(50);

HANDLE hAudio = INVALID_HANDLE_VALUE; // the replay file
// Set when the file starts over; taken by the window.
bool bReplayWrapped = false;
// The replay's line clock: octets delivered since replayStart.
std::chrono::steady_clock::time_point replayStart{};
std::uint64_t ulReplayOctets = 0;

// Waits until the next octet would have crossed the line: the octets that
// have "arrived" come at once, and a pause of one read time-out when none
// has.
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
        linkPause(READTOTALTIMEOUTCONSTANT);
    ++ulReplayOctets;
}

} // namespace

void replayOpen() {
    hAudio = CreateFileA(replayFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

void replayClose(BOOL bRelease) {
    workerRelease(&hAudio, bRelease, INVALID_HANDLE_VALUE);
}

bool replayAvailable() {
    return hAudio != INVALID_HANDLE_VALUE;
}

DWORD replayRead(BYTE* pucOctet) {
    DWORD ulRead = 0;
    if (hAudio != INVALID_HANDLE_VALUE)
        paceReplay();
    if (!ReadFile(hAudio, pucOctet, 1, &ulRead, nullptr) || ulRead == 0) {
        SetFilePointer(hAudio, 0, nullptr, FILE_BEGIN);
        bReplayWrapped = true;
        if (!ReadFile(hAudio, pucOctet, 1, &ulRead, nullptr))
            ulRead = 0;
    }
    return ulRead;
}

bool replayTakeWrapped() {
    const bool bWrapped = bReplayWrapped;
    bReplayWrapped = false;
    return bWrapped;
}

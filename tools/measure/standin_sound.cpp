// The stand-in sound device.
#include "tools/measure/standin_sound.h"

#include "platform/sound.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr auto CALLBACK_PERIOD = std::chrono::microseconds(static_cast<long long>(
    1e6 * static_cast<double>(SOUND_FRAMES_PER_BUFFER) / SOUND_FRAMES_PER_SECOND)); // 32 ms

std::atomic<STANDIN> pace{STANDIN::CLOCK};

// The one stand-in output. The callback and its data are set by the open
// and read only while the output runs.
SOUNDCALLBACK pCallback = nullptr;
LPVOID pUserData = nullptr;
std::atomic<bool> bOpen{false};
std::atomic<bool> bRunning{false};
std::thread clockThread;
std::mutex clockLock;
std::condition_variable clockWake;
bool bClockDone = false; // guarded by clockLock

// Plays the sound device's part at its pace while the output runs.
void soundClock() {
    std::vector<float> out(SOUND_FRAMES_PER_BUFFER);
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(clockLock);
    for (;;) {
        next += CALLBACK_PERIOD;
        if (clockWake.wait_until(lock, next, [] { return bClockDone; }))
            return;
        pCallback(nullptr, out.data(), SOUND_FRAMES_PER_BUFFER, 0.0, pUserData);
    }
}

DWORD openStream(SOUNDCALLBACK pNewCallback, LPVOID pNewUserData, LPVOID* ppStream) {
    if (bOpen.exchange(true))
        return ERROR_SHARING_VIOLATION;
    pCallback = pNewCallback;
    pUserData = pNewUserData;
    *ppStream = &bOpen;
    return NO_ERROR;
}

DWORD startStream(LPVOID) {
    if (bRunning)
        return ERROR_SERVICE_ALREADY_RUNNING;
    bRunning = true;
    if (pace == STANDIN::CLOCK) {
        bClockDone = false;
        clockThread = std::thread(soundClock);
    }
    return NO_ERROR;
}

DWORD stopStream(LPVOID) {
    if (!bRunning)
        return ERROR_SERVICE_NOT_ACTIVE;
    if (clockThread.joinable()) {
        {
            const std::lock_guard lock(clockLock);
            bClockDone = true;
        }
        clockWake.notify_all();
        clockThread.join();
    }
    bRunning = false;
    return NO_ERROR;
}

DWORD closeStream(LPVOID pStream) {
    if (bRunning)
        stopStream(pStream);
    bOpen = false;
    return NO_ERROR;
}

const SOUNDDEVICE standIn = {openStream, startStream, stopStream, closeStream};

} // namespace

void UseStandInSound(STANDIN newPace) {
    pace = newPace;
    SetSoundDevice(&standIn);
}

void UseDefaultSound() {
    SetSoundDevice(nullptr);
}

int StandInPlay(float* pOutput) {
    if (!bRunning)
        return -1;
    return pCallback(nullptr, pOutput, SOUND_FRAMES_PER_BUFFER, 0.0, pUserData);
}

// The sound output: a handle on whichever sound device is current.
#include "platform/sound.h"

#include "platform/kernel_object.h"
#include "platform/sound_portaudio.h"
#include "platform/sync.h"

#include <atomic>
#include <ctime>
#include <memory>

namespace {

std::atomic<const SOUNDDEVICE*> pCurrentDevice{nullptr};

struct SoundOutput : KernelObject {
    SoundOutput(const SOUNDDEVICE* pDevice, LPVOID pStream)
        : KernelObject("sound output"), pDevice(pDevice), pStream(pStream) {}
    // A handle released by CloseHandle still closes its stream.
    ~SoundOutput() override {
        if (pStream != nullptr)
            pDevice->pfnClose(pStream);
    }
    const SOUNDDEVICE* const pDevice;
    LPVOID pStream;
};

BOOL succeeded(DWORD dwError) {
    if (dwError == NO_ERROR)
        return TRUE;
    SetLastError(dwError);
    return FALSE;
}

} // namespace

const SOUNDDEVICE* SetSoundDevice(const SOUNDDEVICE* pDevice) {
    const SOUNDDEVICE* pPrevious = pCurrentDevice.exchange(pDevice);
    return pPrevious != nullptr ? pPrevious : &PortAudioSound;
}

HANDLE OpenSoundOutput(SOUNDCALLBACK pCallback, LPVOID pUserData) {
    if (pCallback == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const SOUNDDEVICE* pDevice = pCurrentDevice.load();
    if (pDevice == nullptr)
        pDevice = &PortAudioSound;
    LPVOID pStream = nullptr;
    if (const DWORD dwError = pDevice->pfnOpen(pCallback, pUserData, &pStream);
        dwError != NO_ERROR) {
        SetLastError(dwError);
        return nullptr;
    }
    return adoptHandle(std::make_unique<SoundOutput>(pDevice, pStream));
}

BOOL StartSoundOutput(HANDLE hOutput) {
    auto* output = objectOf<SoundOutput>(hOutput);
    if (output == nullptr)
        return succeeded(ERROR_INVALID_HANDLE);
    return succeeded(output->pDevice->pfnStart(output->pStream));
}

BOOL StopSoundOutput(HANDLE hOutput) {
    auto* output = objectOf<SoundOutput>(hOutput);
    if (output == nullptr)
        return succeeded(ERROR_INVALID_HANDLE);
    return succeeded(output->pDevice->pfnStop(output->pStream));
}

BOOL CloseSoundOutput(HANDLE hOutput) {
    auto* output = objectOf<SoundOutput>(hOutput);
    if (output == nullptr)
        return succeeded(ERROR_INVALID_HANDLE);
    const DWORD dwError = output->pDevice->pfnClose(output->pStream);
    output->pStream = nullptr;
    CloseHandle(hOutput);
    return succeeded(dwError);
}

BOOL GetSoundOutputLatency(HANDLE hOutput, double* pSeconds) {
    auto* output = objectOf<SoundOutput>(hOutput);
    if (output == nullptr || pSeconds == nullptr)
        return succeeded(output == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    if (output->pDevice->pfnLatency == nullptr)
        return succeeded(ERROR_NOT_SUPPORTED);
    return succeeded(output->pDevice->pfnLatency(output->pStream, pSeconds));
}

std::uint64_t GetCurrentThreadCpuMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

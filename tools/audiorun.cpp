#include "tools/audiorun.h"

#include "audio/audio.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"

#include <array>
#include <string>

namespace {

constexpr auto CALLBACK_PERIOD = std::chrono::microseconds(32000); // 256 frames at 8000/s

} // namespace

AudioLinkRun::AudioLinkRun(bool bRealSound, DWORD ulFrequency, const EmulatorOptions& options)
    : bRealSound_(bRealSound), emulator_(std::make_unique<Emulator>(options)) {
    emulator_->frontPanel("tune " + std::to_string(ulFrequency));
}

AudioLinkRun::~AudioLinkRun() {
    close();
}

DWORD AudioLinkRun::open() {
    bOpen_ = true;
    const DWORD dwAudio = bRealSound_ ? audioOpen() : audioOpenWithoutStream();
    if (dwAudio != NO_ERROR)
        return dwAudio;
    if (!bRealSound_)
        clock_ = std::thread([this] { soundClock(); });
    if (const DWORD dwError = comOpen(emulator_->slavePath().c_str()); dwError != NO_ERROR)
        return dwError;
    if (const DWORD dwError = execOpen(); dwError != NO_ERROR)
        return dwError;
    if (const DWORD dwError = updateOpen(); dwError != NO_ERROR)
        return dwError;
    comStart();
    execStart();
    updateStart();
    return NO_ERROR;
}

void AudioLinkRun::enable() {
    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    audioStart();
}

void AudioLinkRun::disable() {
    enqueue(&QueueMessage, "*RMC\r", MAX_PRIORITY);
    audioStop();
}

void AudioLinkRun::close() {
    if (!bOpen_)
        return;
    bOpen_ = false;
    // The stand-in device stops first, as a closing stream does.
    bClockDone_ = true;
    if (clock_.joinable())
        clock_.join();
    audioClose();
    execClose();
    updateClose();
    comClose();
    emulator_->stop();
}

bool AudioLinkRun::polledSince(std::chrono::steady_clock::time_point since) const {
    for (const CommandRecord& record : emulator_->log())
        if (record.received > since &&
            (record.szCommand == "?AF" || record.szCommand == "?RMM" ||
             record.szCommand == "?RMI" || record.szCommand == "?AU" || record.szCommand == "?S"))
            return true;
    return false;
}

// Plays the sound device's part at its pace while audio is on.
void AudioLinkRun::soundClock() {
    std::array<float, FRAMES_PER_BLOCK> out{};
    auto next = std::chrono::steady_clock::now();
    while (!bClockDone_) {
        next += CALLBACK_PERIOD;
        std::this_thread::sleep_until(next);
        if (bAudioOn)
            paCallback(nullptr, out.data(), FRAMES_PER_BLOCK, 0.0, audioCallbackData());
    }
}

#include "tools/measure/audiorun.h"

#include "audio/audio.h"
#include "link/comthread.h"
#include "link/control.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "tools/measure/standin_sound.h"

#include <string>

AudioLinkRun::AudioLinkRun(bool bRealSound, DWORD ulFrequency, const EmulatorOptions& options,
                           bool bByHand)
    : bRealSound_(bRealSound), bByHand_(bByHand), emulator_(std::make_unique<Emulator>(options)) {
    emulator_->frontPanel("tune " + std::to_string(ulFrequency));
}

AudioLinkRun::~AudioLinkRun() {
    close();
}

DWORD AudioLinkRun::open(const char* szPort) {
    bOpen_ = true;
    if (bRealSound_)
        UseDefaultSound();
    else
        UseStandInSound(bByHand_ ? STANDIN::HAND : STANDIN::CLOCK);
    if (const DWORD dwError = audioOpen(); dwError != NO_ERROR)
        return dwError;
    if (szPort != nullptr)
        comOpen(szPort);
    else if (const DWORD dwError = comOpen(emulator_->slavePath().c_str()); dwError != NO_ERROR)
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
    controlStream(TRUE);
    audioStart();
}

void AudioLinkRun::disable() {
    controlStream(FALSE);
    audioStop();
}

void AudioLinkRun::close() {
    if (!bOpen_)
        return;
    bOpen_ = false;
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

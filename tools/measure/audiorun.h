// The whole receive path on the emulated receiver: the emulator at the
// real line rate, the link threads, the exec and poll threads and the
// audio pipeline, opened and closed in the program's order. Used by the
// sound tests and the audio measurement.
#pragma once

#include "platform/types.h"
#include "sim/emulator.h"

#include <chrono>
#include <memory>

class AudioLinkRun {
  public:
    // bRealSound: play through the default sound output; otherwise a
    // stand-in sound clock calls the callback 31.25 times a second while
    // audio is on, or, with bByHand, the caller calls it (StandInPlay).
    // options: the emulator's (for instance a record of every octet it
    // sends).
    explicit AudioLinkRun(bool bRealSound, DWORD ulFrequency, const EmulatorOptions& options = {},
                          bool bByHand = false);
    ~AudioLinkRun();
    AudioLinkRun(const AudioLinkRun&) = delete;
    AudioLinkRun& operator=(const AudioLinkRun&) = delete;

    // Opens audio, link, exec and poll threads and starts them. Returns
    // the first open's error, or NO_ERROR. szPort in place of the
    // emulator's: a port that cannot be opened leaves the link running
    // on the replay recording, as the panel does (its error is not
    // returned).
    DWORD open(const char* szPort = nullptr);
    // What ticking and clearing "Enable" does.
    void enable();
    void disable();
    // Closes in the program's order: audio, exec, poll, link. Idempotent.
    void close();

    Emulator& emulator() { return *emulator_; }
    // TRUE when a status query reached the receiver after since.
    bool polledSince(std::chrono::steady_clock::time_point since) const;

  private:
    bool bRealSound_;
    bool bByHand_;
    bool bOpen_ = false;
    std::unique_ptr<Emulator> emulator_;
};

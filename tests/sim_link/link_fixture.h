// The real link, exec and poll threads against the emulated receiver: the
// fixture every test of this area starts from.
#pragma once

#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"
#include "sim/emulator.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace simlink {

using namespace std::chrono_literals;

inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = 3s) {
    const auto until = Clock::now() + timeout;
    while (Clock::now() < until) {
        if (condition())
            return true;
        std::this_thread::sleep_for(2ms);
    }
    return condition();
}

class LinkOnEmulator : public testing::Test {
  protected:
    void SetUp() override {
        bStreaming = 0;
        bLock = FALSE;
        bSignal = FALSE;
        bStart = 0;
        comReceiveSync();
        // A picture the receiver does not have, so every update shows.
        radio.ulFrequency = 0;
        radio.uSpeed = 0;
        radio.uSUnits = 0;
        radio.uMode = 0;
        radio.bLock = FALSE;
        hDlgHandle = &window;
    }
    void TearDown() override {
        // End any audio stream: a silent receiver lets the framer's last
        // request go unanswered.
        emulator.frontPanel("silent on");
        std::this_thread::sleep_for(100ms);
        execClose();
        updateClose();
        comClose();
        hDlgHandle = nullptr;
    }

    void start(bool bPoll = true) {
        ASSERT_EQ(comOpen(emulator.slavePath().c_str()), NO_ERROR);
        ASSERT_EQ(execOpen(), NO_ERROR);
        if (bPoll) {
            ASSERT_EQ(updateOpen(), NO_ERROR);
        }
        comStart();
        execStart();
        if (bPoll)
            updateStart();
    }

    bool logHas(const std::string& command) const {
        for (const CommandRecord& record : emulator.log())
            if (record.szCommand == command)
                return true;
        return false;
    }

    static EmulatorOptions paced(bool bPaced) {
        EmulatorOptions options;
        options.bPaced = bPaced;
        return options;
    }

    explicit LinkOnEmulator(bool bPaced = true) : emulator(paced(bPaced)) {}

    simlink::AudioStandIn audio;
    simlink::PostRecorder window;
    Emulator emulator;
};

} // namespace simlink

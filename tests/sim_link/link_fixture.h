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
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <stdlib.h>

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

    // Opens the link on szPort (the emulator's slave path when null).
    void start(bool bPoll = true, const char* szPort = nullptr) {
        ASSERT_EQ(comOpen(szPort ? szPort : emulator.slavePath().c_str()), NO_ERROR);
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

    // The first "?AF" the emulator logs at or after `since`.
    std::optional<CommandRecord> pollAfter(Clock::time_point since,
                                           std::chrono::milliseconds timeout = 3s) {
        return emulator.waitForCommand("?AF", since, timeout);
    }
    std::size_t portPosts(BOOL bConnected) const {
        return window.count(IDUPDATE, PORT, bConnected);
    }

    static EmulatorOptions paced(bool bPaced) {
        EmulatorOptions options;
        options.bPaced = bPaced;
        return options;
    }
    // Paced or not, with a symlink at linkPath.
    EmulatorOptions options(bool bPaced) const {
        EmulatorOptions o = paced(bPaced);
        o.szLinkPath = linkPath;
        return o;
    }

    explicit LinkOnEmulator(bool bPaced = true) : emulator(options(bPaced)) {}
    // A band of one's own (and any other option): the symlink is added.
    explicit LinkOnEmulator(EmulatorOptions o) : emulator((o.szLinkPath = linkPath, o)) {}

    simlink::AudioStandIn audio;
    simlink::PostRecorder window;
    TempDir dir;
    // The adapter's stable name, as udev makes it: it follows a replug.
    const std::string linkPath = (dir.path / "usb-FTDI_FT232R_USB_UART_A50285BI-if00").string();
    Emulator emulator;
};

} // namespace simlink

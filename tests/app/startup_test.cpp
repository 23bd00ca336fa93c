// Start-up and shutdown through the program's own entry, with the real
// audio pipeline (on a private null sound sink) and the real link.
#include "panel_harness.h"

#include "app/resource.h"
#include "app/velkor.h"
#include "remote/remote.h"
#include "remote/rig_client.h"
#include "sim/emulator.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <unistd.h>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The program as main() runs it: WinMain, with `script` acting on the
// panel once it is on screen. Returns the exit status.
int runProgram(const std::function<void(HWND)>& script) {
    preparePanel();
    dialogtest::ScriptNextDialog(script);
#ifdef __SANITIZE_ADDRESS__
    // The sound stack (ALSA's PulseAudio plugin) keeps blocks that it
    // unloads at exit, so the leak checker cannot tell whose they are.
    // The panel's own code is leak-checked by the panel tests.
    __lsan_disable();
#endif
    const int status = WinMain(nullptr, nullptr, nullptr, 0);
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
    return status;
}

class StartUp : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char szDir[] = "/tmp/velkor-startup-test.XXXXXX";
        if (mkdtemp(szDir) == nullptr) {
            return;
        }
        szSinkDir = szDir;
        const std::string szCommand = std::string(NULL_SINK_SCRIPT) + " start " + szSinkDir;
        if (FILE* pipe = popen(szCommand.c_str(), "r")) {
            if (std::fscanf(pipe, "%d", &sinkPid) != 1) {
                sinkPid = 0;
            }
            pclose(pipe);
        }
        if (sinkPid > 0) {
            setenv("PULSE_SERVER", ("unix:" + szSinkDir + "/pulse.sock").c_str(), 1);
        }
    }
    static void TearDownTestSuite() {
        if (sinkPid > 0) {
            kill(sinkPid, SIGTERM);
        }
        unsetenv("PULSE_SERVER");
    }
    void SetUp() override {
        if (sinkPid <= 0) {
            GTEST_SKIP() << "no private sound server (pulseaudio)";
        }
        dialogtest::ClearMessageBoxesSeen();
        dialogtest::SetMessageBoxResponder(nullptr); // every box answered OK
        // Settings of its own: none kept from earlier runs or other tests.
        char szDir[] = "/tmp/velkor-config.XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        szConfig = szDir;
        setenv("XDG_CONFIG_HOME", szConfig.c_str(), 1);
        setenv("VELKOR_STATIONS", (szConfig + "/stations.db").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("VELKOR");
        unsetenv(szRemoteEnv);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("VELKOR_STATIONS");
        if (!szConfig.empty()) {
            std::filesystem::remove_all(szConfig);
        }
    }

    std::string szConfig;

    static inline std::string szSinkDir;
    static inline pid_t sinkPid = 0;
};

const char* szMissing = "/dev/velkor-no-such-port";

TEST_F(StartUp, MissingDeviceIsNamedInTheWarningAndOnStderr) {
    setenv("VELKOR", szMissing, 1);
    testing::internal::CaptureStderr();
    const int beeps = dialogtest::BeepCount();
    bool bShown = false;
    const int status = runProgram([&](HWND hDlg) {
        bShown = true;
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), szMissing);
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_FREQ), "15.000.000");
        EXPECT_EQ(dialogtest::FocusId(hDlg), IDC_DIRECT);
        EXPECT_TRUE(dialogtest::Enabled(hDlg, IDC_AUDIO));
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressKey(hDlg, dialogtest::Key::Escape);
    });
    const std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(bShown);
    EXPECT_EQ(status, 0);
    const auto& boxes = dialogtest::MessageBoxesSeen();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Device Unavailable");
    EXPECT_EQ(boxes[0].text, szMissing);
    EXPECT_EQ(boxes[0].icon, MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[0].buttons, MB_OK);
    EXPECT_GE(dialogtest::BeepCount(), beeps + 1);
    EXPECT_NE(szErr.find("velkor: cannot open serial port \"/dev/velkor-no-such-port\": "),
              std::string::npos)
        << szErr;
}

TEST_F(StartUp, VelkorRemoteStartsTheServerAndABadOneIsNamed) {
    setenv("VELKOR", szMissing, 1);
    setenv(szRemoteEnv, "127.0.0.1:0", 1);
    std::unique_ptr<RigClient> rig;
    runProgram([&](HWND hDlg) {
        ASSERT_TRUE(remoteRunning());
        rig = std::make_unique<RigClient>(remotePort());
        EXPECT_EQ(rig->ask1("f"), "15000000");
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressKey(hDlg, dialogtest::Key::Escape);
    });
    EXPECT_FALSE(remoteRunning());
    EXPECT_TRUE(rig->closedByServer());

    setenv(szRemoteEnv, "localhost:4532", 1);
    dialogtest::ClearMessageBoxesSeen();
    testing::internal::CaptureStderr();
    bool bShown = false;
    const int status = runProgram([&](HWND hDlg) {
        bShown = true;
        EXPECT_FALSE(remoteRunning());
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressKey(hDlg, dialogtest::Key::Escape);
    });
    const std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(bShown);
    EXPECT_EQ(status, 0);
    EXPECT_NE(szErr.find("velkor: remote control on \"localhost:4532\": "), std::string::npos)
        << szErr;
    const auto& boxes = dialogtest::MessageBoxesSeen();
    ASSERT_EQ(boxes.size(), 2u); // the missing port, then the server
    EXPECT_EQ(boxes[1].caption, "Remote Control");
}

TEST_F(StartUp, EmptyPortNameIsUsedUnchanged) {
    setenv("VELKOR", "", 1);
    const int status = runProgram([](HWND hDlg) {
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), "");
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressKey(hDlg, dialogtest::Key::AltF4);
    });
    EXPECT_EQ(status, 0);
    const auto& boxes = dialogtest::MessageBoxesSeen();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Device Unavailable");
    EXPECT_EQ(boxes[0].text, "");
}

TEST_F(StartUp, WithoutVelkorThePortIsCom1) {
    if (access("/dev/ttyS0", F_OK) == 0) {
        // COM1 is this machine's first serial port, which a test must not
        // write to (it is often the console).
        GTEST_SKIP() << "this machine has /dev/ttyS0";
    }
    unsetenv("VELKOR");
    const int status = runProgram([](HWND hDlg) {
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), "COM1");
        dialogtest::Click(hDlg, IDOK);
    });
    EXPECT_EQ(status, 1);
    const auto& boxes = dialogtest::MessageBoxesSeen();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Device Unavailable");
    EXPECT_EQ(boxes[0].text, "COM1");
}

TEST_F(StartUp, EveryWayOfClosingGivesItsExitStatus) {
    setenv("VELKOR", szMissing, 1);
    EXPECT_EQ(runProgram([](HWND hDlg) { dialogtest::Click(hDlg, IDOK); }), 1);
    EXPECT_EQ(runProgram([](HWND hDlg) {
                  dialogtest::FocusControl(hDlg, IDC_DIRECT);
                  dialogtest::PressKey(hDlg, dialogtest::Key::Escape);
              }),
              0);
    EXPECT_EQ(runProgram([](HWND hDlg) { dialogtest::PressCloseBox(hDlg); }), 0);
    EXPECT_EQ(runProgram([](HWND hDlg) {
                  dialogtest::FocusControl(hDlg, IDC_DIRECT);
                  dialogtest::PressKey(hDlg, dialogtest::Key::AltF4);
              }),
              0);
    // The system menu's Close.
    EXPECT_EQ(runProgram([](HWND hDlg) {
                  dialogtest::SetMenuResponder(
                      [](const std::vector<std::string>&) { return std::string("Close"); });
                  dialogtest::RightClick(hDlg, 395, 545);
                  dialogtest::SetMenuResponder(nullptr);
              }),
              0);
}

TEST_F(StartUp, WithoutSoundNothingStaysOnScreenAndTheFailureIsNamed) {
    const std::string szServer = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", ("unix:" + szSinkDir + "/none.sock").c_str(), 1);
    testing::internal::CaptureStderr();
    bool bShown = false;
    const int status = runProgram([&](HWND) { bShown = true; });
    const std::string szErr = testing::internal::GetCapturedStderr();
    setenv("PULSE_SERVER", szServer.c_str(), 1);
    EXPECT_FALSE(bShown);
    EXPECT_EQ(status, END_FAILED);
    EXPECT_TRUE(dialogtest::MessageBoxesSeen().empty());
    EXPECT_NE(szErr.find("velkor: cannot open the audio output: device unavailable"),
              std::string::npos)
        << szErr;
}

// The port chosen in the panel is opened at once and kept: the next run
// starts on it when VELKOR is not set, and VELKOR still wins when it is.
TEST_F(StartUp, AChosenPortIsOpenedAtOnceAndKeptForTheNextRun) {
    using namespace std::chrono_literals;
    Emulator receiver;
    const std::string szPort = receiver.slavePath();

    setenv("VELKOR", szMissing, 1);
    EXPECT_EQ(runProgram([&](HWND hDlg) {
                  whenPortChooserOpens([&](QDialog& chooser) {
                      chooser.findChild<QLineEdit*>("name")->setText(
                          QString::fromStdString(szPort));
                      chooser.accept();
                  });
                  const auto chosen = std::chrono::steady_clock::now();
                  systemMenu(hDlg, IDC_PORT);
                  EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), szPort);
                  EXPECT_TRUE(receiver.waitForCommand("?AF", chosen, 2s)); // polled at once
                  EXPECT_EQ(dialogtest::WindowTitle(hDlg), "Velkor QX-4470 Control Program");
                  dialogtest::Click(hDlg, IDOK);
              }),
              1);
    EXPECT_EQ(dialogtest::MessageBoxesSeen().size(), 1u); // the warning about szMissing only

    unsetenv("VELKOR");
    dialogtest::ClearMessageBoxesSeen();
    EXPECT_EQ(runProgram([&](HWND hDlg) {
                  EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), szPort);
                  EXPECT_TRUE(receiver.waitForCommand("?AF", std::chrono::steady_clock::now(), 2s));
                  dialogtest::Click(hDlg, IDOK);
              }),
              1);
    EXPECT_TRUE(dialogtest::MessageBoxesSeen().empty());

    setenv("VELKOR", szMissing, 1);
    EXPECT_EQ(runProgram([&](HWND hDlg) {
                  EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), szMissing);
                  dialogtest::Click(hDlg, IDOK);
              }),
              1);
}

} // namespace

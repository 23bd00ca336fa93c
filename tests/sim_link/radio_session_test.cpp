// The real link, exec and poll threads against the emulated receiver.
#include "audio/adpcm.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"
#include "sim/emulator.h"
#include "sim/signalmodel.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <string>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using simlink::Clock;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 3s) {
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

    // A scratch directory, removed at the end.
    struct TempDir {
        TempDir() {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "velkor-XXXXXX").string();
            path = ::mkdtemp(pattern.data());
        }
        ~TempDir() { std::filesystem::remove_all(path); }
        std::filesystem::path path;
    };

    EmulatorOptions options(bool bPaced) const {
        EmulatorOptions o;
        o.bPaced = bPaced;
        o.szLinkPath = linkPath;
        return o;
    }

    explicit LinkOnEmulator(bool bPaced = true) : emulator(options(bPaced)) {}

    simlink::AudioStandIn audio;
    simlink::PostRecorder window;
    TempDir dir;
    // The adapter's stable name, as udev makes it: it follows a replug.
    const std::string linkPath = (dir.path / "usb-FTDI_FT232R_USB_UART_A50285BI-if00").string();
    Emulator emulator;
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Frames sent whole at once: a receive window never sees a pause inside
// one, however late the emulator's thread is woken on a loaded machine
// (a pause of more than 5 ms inside a frame stalls the stream, which is a
// matter of its own).
class AudioOnEmulator : public LinkOnEmulator {
  protected:
    AudioOnEmulator() : LinkOnEmulator(false) {}
};

TEST_F(LinkOnEmulator, PollingKeepsTheReceiverPictureCurrent) {
    emulator.frontPanel("tune 7050000");
    emulator.frontPanel("mode cw");
    emulator.frontPanel("step 100");
    emulator.frontPanel("signal 6");
    emulator.frontPanel("lock on");
    start();
    EXPECT_TRUE(waitUntil([] {
        return radio.ulFrequency == 7050000 && radio.uMode == MODE_CW && radio.uSpeed == 100 &&
               radio.uSUnits == 6 && radio.bLock == TRUE;
    }));
    EXPECT_GE(window.count(IDUPDATE, RADIO), 1u);

    // A change at the receiver shows within a poll period or two.
    emulator.frontPanel("tune 9000000");
    emulator.frontPanel("signal 2");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 9000000 && radio.uSUnits == 2; }, 1s));

    const auto log = emulator.log();
    ASSERT_GE(log.size(), 10u);
    const std::vector<std::string> batch = {"?AF", "?RMM", "?RMI", "?AU", "?S"};
    for (std::size_t i = 0; i < batch.size(); ++i)
        EXPECT_EQ(log[i].szCommand, batch[i]);
}

TEST_F(LinkOnEmulator, PollingFollowsThroughAUsbAdapterAndGarbage) {
    // Answers come in adapter packets 16 ms late, after some line noise:
    // they miss their own window and are read in later ones, but every
    // one still reaches the receiver picture.
    emulator.frontPanel("usb on");
    emulator.frontPanel("garbage 3");
    emulator.frontPanel("tune 3330000");
    emulator.frontPanel("mode ssb");
    emulator.frontPanel("signal 4");
    start();
    EXPECT_TRUE(waitUntil([] {
        return radio.ulFrequency == 3330000 && radio.uMode == MODE_SSB && radio.uSUnits == 4 &&
               radio.uSpeed == 2500;
    }));
    emulator.frontPanel("lock on");
    EXPECT_TRUE(waitUntil([] { return radio.bLock == TRUE; }));
}

TEST_F(LinkOnEmulator, OperatorCommandsReachTheReceiver) {
    start();
    enqueue(&QueueMessage, "*AF9876543\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([&] { return logHas("*AF9876543"); }));
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 9876543; }));

    // Synthesizer tuning with a wrong pair shows up as a wrong frequency.
    enqueue(&QueueMessage, "*AR1432\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*AN24001\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*AD15000000\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 15002500; }));

    enqueue(&QueueMessage, "*RMM2\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*KRA3\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "?AF\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 10000000 && radio.uMode == MODE_AM; }));
}

TEST_F(AudioOnEmulator, FramesFlowAndCarryTheTestTone) {
    emulator.frontPanel("tune 14200000");
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == TEST_TONE_FREQUENCY; }));
    radio.ulFrequency = 0;
    radio.uSUnits = 0;

    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    EXPECT_TRUE(waitUntil([&] { return audio.clips() >= 20; }, 5s));
    EXPECT_EQ(bStreaming, 1);
    // The status records keep the picture current while polling rests.
    EXPECT_EQ(radio.ulFrequency, TEST_TONE_FREQUENCY);
    EXPECT_EQ(radio.uSUnits, 7u);
    const auto log = emulator.log();
    ASSERT_GE(log.size(), 10u);
    for (std::size_t i = log.size() - 8; i < log.size(); ++i)
        EXPECT_EQ(log[i].szCommand, "?RMC") << i;

    // The clips, decoded in order by the program's decoder, hold the tone
    // the emulator encoded: 1000 Hz at its known level.
    ADPCMDecoderInit();
    std::vector<double> samples;
    for (const auto& clip : audio.clipsCopy())
        for (BYTE octet : clip) {
            samples.push_back(ADPCMDecoder(octet & 0x0F));
            samples.push_back(ADPCMDecoder(static_cast<BYTE>(octet >> 4)));
        }
    ASSERT_GE(samples.size(), 10000u);
    const double w = 2 * std::numbers::pi * TEST_TONE_HZ / AUDIO_RATE;
    for (std::size_t first = 500; first + 1000 <= samples.size(); first += 1000) {
        double s1 = 0, s2 = 0;
        for (std::size_t n = first; n < first + 1000; ++n) {
            const double s0 = samples[n] + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double peak = 2 * std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / 1000;
        EXPECT_NEAR(peak, TEST_TONE_PEAK, TEST_TONE_PEAK * 0.05) << first;
    }
}

TEST_F(LinkOnEmulator, RestartIsAnnounced) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    enqueue(&QueueMessage, "XX\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([&] { return window.count(IDUPDATE, START) >= 1; }, 3s));
    // Polling goes on after the restart.
    emulator.frontPanel("tune 5000000");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 5000000; }, 2s));
}

// The adapter is pulled while polling and plugged back later: the link
// says so once each way, tells the dialog, idles meanwhile, and polls the
// new terminal behind the same name, sending the operator's last tuning.
TEST_F(LinkOnEmulator, PollingComesBackAfterTheAdapterIsReplugged) {
    testing::internal::CaptureStderr();
    start(true, linkPath.c_str());
    ASSERT_TRUE(pollAfter(Clock::now() - 1s));
    emulator.frontPanel("unplug");
    EXPECT_TRUE(waitUntil([&] { return portPosts(FALSE) == 1; }));

    // Commands given while unplugged: only the last of each kind counts.
    enqueue(&QueueMessage, "*AF7000000\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*RMM2\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*AF9000000\r", MIN_PRIORITY);
    const double cpuStart = cpuSeconds();
    const auto idleStart = Clock::now();
    std::this_thread::sleep_for(1500ms);
    const double cpuShare = (cpuSeconds() - cpuStart) * 1000.0 / msBetween(idleStart, Clock::now());
    EXPECT_LT(cpuShare, 0.1); // waiting, not spinning (well below this when the machine is idle)

    const auto replugged = Clock::now();
    emulator.frontPanel("replug");
    const auto poll = pollAfter(replugged);
    ASSERT_TRUE(poll);
    std::printf("[ measured ] polling resumed %.0f ms after the replug; CPU %.2f %% while "
                "unplugged\n",
                msBetween(replugged, poll->received), cpuShare * 100.0);
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 9000000 && radio.uMode == MODE_CW; }));
    EXPECT_TRUE(logHas("*AF9000000"));
    EXPECT_FALSE(logHas("*AF7000000"));
    EXPECT_EQ(portPosts(TRUE), 1u);

    // A second pull is handled as the first.
    emulator.frontPanel("replug");
    EXPECT_TRUE(waitUntil([&] { return portPosts(TRUE) == 2; }));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("serial port \"" + linkPath + "\" lost: "), std::string::npos) << said;
    EXPECT_NE(said.find("serial port \"" + linkPath + "\" is back"), std::string::npos) << said;
    EXPECT_EQ(portPosts(FALSE), 2u);
}

TEST_F(AudioOnEmulator, TheStreamComesBackAfterTheAdapterIsReplugged) {
    start(true, linkPath.c_str());
    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(waitUntil([&] { return audio.clips() >= 10; }, 5s));
    emulator.frontPanel("unplug");
    ASSERT_TRUE(waitUntil([&] { return portPosts(FALSE) == 1; }));
    std::this_thread::sleep_for(300ms);
    const std::size_t before = audio.clips();

    const auto replugged = Clock::now();
    emulator.frontPanel("replug");
    ASSERT_TRUE(waitUntil([&] { return audio.clips() >= before + 10; }, 5s));
    std::printf("[ measured ] ten clips %.0f ms after the replug\n",
                msBetween(replugged, Clock::now()));
    EXPECT_EQ(bStreaming, 1);
}

// A port that is not there at start-up is tried every second and taken
// as soon as it appears.
TEST(LinkWithoutReceiver, APortThatAppearsLaterIsTaken) {
    simlink::PostRecorder window;
    hDlgHandle = &window;
    const auto dir =
        std::filesystem::temp_directory_path() / ("velkor-later-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string later = (dir / "qx4470").string();
    bStreaming = 0;
    EXPECT_NE(comOpen(later.c_str()), NO_ERROR);
    ASSERT_EQ(updateOpen(), NO_ERROR);
    comStart();
    updateStart();
    std::this_thread::sleep_for(1200ms); // an attempt or two find nothing
    {
        EmulatorOptions options;
        options.szLinkPath = later;
        Emulator emulator(options);
        EXPECT_TRUE(emulator.waitForCommand("?AF", Clock::now() - 1s, 3s));
        EXPECT_EQ(window.count(IDUPDATE, PORT, TRUE), 1u);
        updateClose();
        comClose();
    }
    hDlgHandle = nullptr;
    std::filesystem::remove_all(dir);
}

// Names as long as the system allows: a 200-character path, through a
// chain of symlinks, to the receiver.
TEST_F(LinkOnEmulator, ALongPortPathOpensAndWorks) {
    std::filesystem::path deep = dir.path;
    while (deep.string().size() < 150)
        deep /= std::string(40, 'd');
    std::filesystem::create_directories(deep);
    std::filesystem::create_symlink(emulator.slavePath(), deep / "first");
    std::string name = (deep / "second-").string();
    name += std::string(200 - name.size(), 'n');
    ASSERT_EQ(name.size(), 200u);
    std::filesystem::create_symlink(deep / "first", name);
    emulator.frontPanel("tune 7050000");
    start(true, name.c_str());
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 7050000; }));
}

// The operator picks another port: the link leaves the first receiver and
// polls the second, without restarting.
TEST_F(LinkOnEmulator, SwitchingPortsMovesThePollToTheNewPort) {
    Emulator second(options(true)); // now behind linkPath
    second.frontPanel("tune 5000000");
    start(true, emulator.slavePath().c_str());
    ASSERT_TRUE(pollAfter(Clock::now() - 1s));
    EXPECT_NE(comSwitchPort("velkor-no-such-port"), NO_ERROR);
    std::this_thread::sleep_for(100ms);
    const auto switched = Clock::now();
    EXPECT_EQ(comSwitchPort(linkPath.c_str()), NO_ERROR);
    EXPECT_TRUE(second.waitForCommand("?AF", switched, 2s));
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 5000000; }));
    EXPECT_FALSE(emulator.waitForCommand("?AF", switched + 50ms, 200ms));
}

} // namespace

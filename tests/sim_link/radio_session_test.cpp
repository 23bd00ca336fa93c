// The real link, exec and poll threads against the emulated receiver.
#include "audio/adpcm.h"
#include "link/comthread.h"
#include "link/control.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "link_fixture.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"
#include "sim/emulator.h"
#include "sim/signalmodel.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <string>

#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using simlink::Clock;
using simlink::LinkOnEmulator;
using simlink::waitUntil;

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

namespace {

// Operator commands given while the receiver floods the line, each once;
// every one reaches the receiver once the line is quiet, and the poll
// takes up again.
TEST_F(LinkOnEmulator, AFloodedLineLosesNoOperatorCommand) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    struct Flood {
        const char* szKind;
        std::chrono::milliseconds length;
    };
    int iClick = 0;
    std::vector<std::string> clicks;
    for (const Flood flood : {Flood{"@", 4000ms}, Flood{"noise", 2000ms}}) {
        const auto began = Clock::now();
        ASSERT_EQ(emulator.frontPanel("flood " + std::to_string(flood.length.count()) + " " +
                                      flood.szKind),
                  "ok");
        // Clicks early, in the middle and late in the flood.
        for (const auto at : {flood.length / 8, flood.length / 2, flood.length * 7 / 8}) {
            std::this_thread::sleep_until(began + at);
            clicks.push_back("*KWA" + std::to_string(++iClick));
            enqueueCommand(&QueueMessage, (clicks.back() + "\r").c_str(), MIN_PRIORITY);
        }
        std::this_thread::sleep_until(began + flood.length);
        // Polling resumes: the picture follows the receiver again.
        emulator.frontPanel("tune " + std::to_string(5000000 + iClick));
        const DWORD ulWanted = 5000000 + static_cast<DWORD>(iClick);
        EXPECT_TRUE(waitUntil([&] { return radio.ulFrequency == ulWanted; }, 3s)) << flood.szKind;
    }
    const auto log = emulator.log();
    for (const std::string& click : clicks)
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [&](const CommandRecord& r) { return r.szCommand == click; }),
                  1)
            << click;
    EXPECT_GT(linkCounters.ulWindowsCut, 0u);
    EXPECT_EQ(QueueMessage.ulRefused, 0u);
}

// A stalled line fills QueueMessage; every change asked of the control
// service meanwhile still reaches the receiver, in order, the tunings as
// whole units with the last one winning, and the receiver ends where the
// operator left it.
TEST_F(LinkOnEmulator, ChangesAskedOfAFullQueueAllReachTheReceiver) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    emulator.frontPanel("latency 20"); // every answer late: the queue stays full a while
    while (enqueue(&QueueMessage, "?AU\r", MIN_PRIORITY) == QUEUE_SUCCESS) {
    }
    const std::uint64_t ulRefused = QueueMessage.ulRefused;
    const auto since = Clock::now();
    EXPECT_TRUE(controlTune(9650000, REQUEST_OPERATOR));
    EXPECT_TRUE(controlMode(MODE_CW, REQUEST_REMOTE));
    EXPECT_TRUE(controlMemoryWrite(7));
    EXPECT_TRUE(controlTune(11000000, REQUEST_REMOTE));
    bTune = TRUE;
    EXPECT_TRUE(controlTune(7000000, REQUEST_OPERATOR));
    bTune = FALSE;
    EXPECT_GT(QueueMessage.ulKept, 0u); // they did find it full
    EXPECT_TRUE(emulator.waitForCommand("*AD7000000", since, 10s).has_value());
    emulator.frontPanel("latency 0");

    std::vector<std::string> sent;
    for (const CommandRecord& record : emulator.log())
        if (record.received >= since && record.szCommand[0] == '*')
            sent.push_back(record.szCommand);
    EXPECT_EQ(sent, (std::vector<std::string>{"*AF9650000", "*RMM2", "*KWA7", "*AR1432", "*AN20800",
                                              "*AD7000000"}));
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 7000000; }));
    EXPECT_EQ(QueueMessage.ulRefused, ulRefused);
}

// Lines nobody asked for leave the answers behind the questions only
// until they are read: the picture follows a retune within two poll
// periods (allowed ten, for a loaded machine), not one poll per line
// later.
TEST_F(LinkOnEmulator, UnsolicitedLinesDoNotLeaveThePictureLate) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    for (int i = 0; i < 300; ++i)
        emulator.frontPanel("send @AF15000000");
    for (int i = 0; i < 20; ++i) {
        emulator.frontPanel("burst");
        std::this_thread::sleep_for(10ms);
    }
    // Until they have all crossed the line (300 lines of 10 octets and
    // the bursts' signal lines at 5760 octets/s).
    std::this_thread::sleep_for(700ms);
    const auto retuned = Clock::now();
    emulator.frontPanel("tune 7123000");
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 7123000; }, 10s));
    const double followed =
        std::chrono::duration<double, std::milli>(Clock::now() - retuned).count();
    std::printf("the picture followed the retune after %.0f ms\n", followed);
    EXPECT_LT(followed, 1000.0);
    EXPECT_GT(linkCounters.ulBacklogUnits, 0u);
}

// The stream that stopped because the receiver fell silent, or restarted,
// comes back by itself while audio stays on; switching audio off still
// ends it.
TEST_F(AudioOnEmulator, TheStreamComesBackAfterSilenceAndRestart) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(waitUntil([&] { return audio.clips() >= 5; }, 3s));

    // Clips again soon after the receiver's first answer: an answered poll
    // after the silence, the start announcement after the restart.
    const auto clipsAgain = [&](Clock::time_point answered) {
        const std::size_t clips = audio.clips();
        EXPECT_TRUE(waitUntil([&] { return audio.clips() > clips + 2; }, 3s));
        std::printf("clips again %.0f ms after the receiver's first answer\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - answered).count());
        EXPECT_EQ(bStreaming, 1);
    };
    const auto firstAnsweredPoll = [&](Clock::time_point since) {
        std::optional<Clock::time_point> answered;
        EXPECT_TRUE(waitUntil(
            [&] {
                for (const CommandRecord& r : emulator.log())
                    if (r.received >= since && r.szCommand != "?RMC" && r.answerEnd) {
                        answered = r.answerEnd;
                        return true;
                    }
                return false;
            },
            5s));
        return answered.value_or(Clock::now());
    };

    emulator.frontPanel("silent on");
    ASSERT_TRUE(waitUntil([] { return bStreaming == 0; }, 3s));
    std::this_thread::sleep_for(2s);
    const auto live = Clock::now();
    emulator.frontPanel("silent off");
    clipsAgain(firstAnsweredPoll(live));

    enqueue(&QueueMessage, "XX\r", MIN_PRIORITY);
    ASSERT_TRUE(waitUntil([&] { return window.count(IDUPDATE, START) >= 1; }, 3s));
    const auto posts = window.posts();
    clipsAgain(std::find_if(posts.rbegin(), posts.rend(), [](const auto& p) {
                   return p.uMsg == IDUPDATE && p.wParam == START;
               })->when);
    EXPECT_GE(linkCounters.ulStreamsResumed, 2u);

    // Audio switched off: the stream ends and is not asked for again.
    bAudioOn = FALSE;
    enqueue(&QueueMessage, "*RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(waitUntil([] { return bStreaming == 0; }, 2s));
    const auto off = Clock::now() + 200ms;
    std::this_thread::sleep_for(1500ms);
    for (const CommandRecord& r : emulator.log())
        EXPECT_FALSE(r.received > off && r.szCommand == "?RMC");
    EXPECT_EQ(bStreaming, 0);
    bAudioOn = TRUE;
}

// A receiver that answers the poll but no longer streams is asked for the
// stream again now and then, and the poll keeps its cadence meanwhile, so
// the S-meter does not stutter. Once it streams again, clips flow again.
TEST_F(AudioOnEmulator, AStoppedStreamIsAskedForAgainWithoutHoldingUpThePoll) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(waitUntil([&] { return audio.clips() >= 5; }, 3s));

    emulator.frontPanel("frames off");
    ASSERT_TRUE(waitUntil([] { return bStreaming == 0; }, 3s));
    std::this_thread::sleep_for(300ms);
    const auto from = Clock::now();
    std::this_thread::sleep_for(3s);
    const auto to = Clock::now();

    int polls = 0;
    int asked = 0;
    int askedInARow = 0;
    std::string last;
    for (const CommandRecord& r : emulator.log()) {
        if (r.received < from || r.received >= to)
            continue;
        polls += r.szCommand == "?S";
        asked += r.szCommand == "?RMC";
        askedInARow += r.szCommand == "?RMC" && last == "?RMC";
        last = r.szCommand;
    }
    std::printf("over %.0f ms: %d poll batches, %d requests for the stream\n", msBetween(from, to),
                polls, asked);
    // About once a second, and never a request after a request: each is
    // followed by the poll, not by a wait for the frame.
    EXPECT_GE(asked, 2);
    EXPECT_EQ(askedInARow, 0);
    // Ten batches a second would be 30; a poll held up a third of every
    // second makes about 22.
    EXPECT_GE(polls, 26);

    const std::size_t clips = audio.clips();
    emulator.frontPanel("frames on");
    EXPECT_TRUE(waitUntil([&] { return audio.clips() > clips + 2; }, 3s));
}

} // namespace

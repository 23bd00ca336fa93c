// The emulator on its pseudo-terminal: answers, pacing, restart, faults,
// USB packets, the command log, unplugging.
#include "client.h"
#include "sim/emulator.h"
#include "sim/receiver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

EmulatorOptions fast() {
    EmulatorOptions options;
    options.bPaced = false;
    return options;
}

// Reads exactly the expected octets (within a second).
void expectRead(Client& client, const std::string& expected) {
    EXPECT_EQ(client.read(expected.size(), std::chrono::seconds(1)), expected);
}

// Waits until the log holds n commands (answered ones with their answer's end).
std::vector<CommandRecord> waitForLog(const Emulator& emulator, std::size_t n) {
    const auto until = Clock::now() + 2s;
    for (;;) {
        auto log = emulator.log();
        if (log.size() >= n || Clock::now() > until)
            return log;
        std::this_thread::sleep_for(1ms);
    }
}

TEST(Emulator, AnswersEveryQueryOnThePseudoTerminal) {
    Emulator emulator(fast());
    Client client(emulator.slavePath());
    ASSERT_TRUE(client.isOpen());
    client.send("?AF\r");
    EXPECT_EQ(client.readLine(1s), "@AF15000000\r");
    client.send("?RMM\r?RMI\r?AU\r");
    EXPECT_EQ(client.readLine(1s), "@RMM4\r");
    EXPECT_EQ(client.readLine(1s), "@RMI2500\r");
    EXPECT_EQ(client.readLine(1s), "@AU\r");
    client.send("?S\r");
    EXPECT_EQ(client.readLine(1s).substr(0, 4), "@S  ");

    client.send("?RMC\r");
    const std::string frame = client.read(FRAME_SIZE, 1s);
    ASSERT_EQ(frame.size(), FRAME_SIZE);
    EXPECT_EQ(frame.substr(0, 4), "@RMC");
    EXPECT_EQ(static_cast<BYTE>(frame[4]), 0x00); // 15000000 = 0x00E4E1C0
    EXPECT_EQ(static_cast<BYTE>(frame[5]), 0xE4);
    EXPECT_EQ(static_cast<BYTE>(frame[6]), 0xE1);
    EXPECT_EQ(static_cast<BYTE>(frame[7]), 0xC0);

    // Set commands, then the state they made; set commands send nothing.
    client.send("*AF7050000\r*RMM0\r*RMI10\r*AL\r");
    EXPECT_EQ(client.readFor(50ms), "");
    client.send("?AF\r?RMM\r?RMI\r?AU\r");
    expectRead(client, "@AF7050000\r@RMM0\r@RMI10\r@AL\r");
}

TEST(Emulator, IgnoresMalformedInputAndKeepsGoing) {
    Emulator emulator(fast());
    Client client(emulator.slavePath());
    std::string junk = "\x00\xff@@@\r*AF12\r?AF?AF?AF?AF?AF?AF\r*AF7000000 and much more\r\n\r";
    junk += std::string(5000, 'Z') + "\r";
    for (int c = 0; c < 256; ++c)
        junk += static_cast<char>(c == '\r' ? 'x' : c);
    junk += "\r";
    client.send(junk);
    EXPECT_EQ(client.readFor(100ms), "");
    client.send("?AF\r");
    EXPECT_EQ(client.readLine(1s), "@AF15000000\r");
    // A command of 14 characters is the longest one taken.
    client.send("*AF00000007050000\r?AF\r");
    EXPECT_EQ(client.readLine(1s), "@AF15000000\r");
    client.send("*AF00007050000\r?AF\r");
    EXPECT_EQ(client.readLine(1s), "@AF7050000\r");
}

TEST(Emulator, LogsCommandsWithTimesAndWritesTheLogFile) {
    const std::string logPath = tempPath("velkor-sim-log.txt");
    EmulatorOptions options = fast();
    options.szLogPath = logPath;
    Emulator emulator(options);
    Client client(emulator.slavePath());
    const auto before = Clock::now();
    client.send("*AL\r");
    client.send("?AU\r");
    EXPECT_EQ(client.readLine(1s), "@AL\r");
    const auto log = waitForLog(emulator, 2);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].szCommand, "*AL");
    EXPECT_FALSE(log[0].answerStart);
    EXPECT_EQ(log[1].szCommand, "?AU");
    EXPECT_GE(log[0].received, before);
    EXPECT_LE(log[0].received, log[1].received);
    ASSERT_TRUE(log[1].answerStart && log[1].answerEnd);
    EXPECT_LE(log[1].received, *log[1].answerStart);
    EXPECT_LE(*log[1].answerStart, *log[1].answerEnd);

    std::ifstream file(logPath);
    std::string line1, line2;
    std::getline(file, line1);
    std::getline(file, line2);
    double t1 = -1, t2 = -1;
    std::string c1, c2;
    std::istringstream(line1) >> t1 >> c1;
    std::istringstream(line2) >> t2 >> c2;
    EXPECT_EQ(c1, "*AL");
    EXPECT_EQ(c2, "?AU");
    EXPECT_LE(t1, t2);

    // Waiting for a command: found at once when it is already there, or
    // when it arrives; nothing after the time-out.
    EXPECT_EQ(emulator.waitForCommand("?AU", before, 0ms).value().received, log[1].received);
    EXPECT_FALSE(emulator.waitForCommand("?AU", log[1].received + 1ns, 20ms));
    std::thread later([&] {
        std::this_thread::sleep_for(30ms);
        client.send("*AU\r");
    });
    const auto waited = emulator.waitForCommand("*AU", before, 2s);
    later.join();
    ASSERT_TRUE(waited);
    EXPECT_GE(waited->received, log[1].received);
    EXPECT_GE(t1, 0.0);
    std::filesystem::remove(logPath);
}

TEST(Emulator, PacesAtTheLineRate) {
    Emulator emulator; // paced
    Client client(emulator.slavePath());
    const auto start = Clock::now();
    client.send("?RMC\r");
    const std::string frame = client.read(FRAME_SIZE, 2s);
    const auto elapsed = Clock::now() - start;
    ASSERT_EQ(frame.size(), FRAME_SIZE);
    // 270 octets at 5760/s take 46.9 ms; a generous functional bound.
    EXPECT_GT(elapsed, 40ms);
    EXPECT_LT(elapsed, 500ms);

    const auto log = waitForLog(emulator, 1);
    ASSERT_TRUE(log[0].answerStart && log[0].answerEnd);
    EXPECT_GT(*log[0].answerEnd - *log[0].answerStart, 38ms);
    // The command itself took its time on the line: 5 octets, 0.87 ms.
    EXPECT_GE(log[0].received - start, 860us);
}

TEST(Emulator, RestartIsSilentThenAnnouncesItself) {
    Emulator emulator(fast());
    Client client(emulator.slavePath());
    client.send("*AF7050000\r*RMM2\r*AL\r*KWA9\r");
    client.send("XX\r");
    const auto start = Clock::now();
    client.send("?AF\r"); // during the silence: not carried out
    std::string announcement = client.readLine(2s);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(announcement, START_ANNOUNCEMENT);
    EXPECT_NE(announcement[0], '@');
    EXPECT_NE(announcement.find("START"), std::string::npos);
    EXPECT_GT(elapsed, 400ms);
    EXPECT_LT(elapsed, 1500ms);
    // Back to power-on, memory kept.
    client.send("?AF\r?RMM\r?RMI\r?AU\r");
    expectRead(client, "@AF15000000\r@RMM4\r@RMI2500\r@AU\r");
    client.send("*KRA9\r?AF\r");
    EXPECT_EQ(client.readLine(1s), "@AF7050000\r");

    // The front panel's restart does the same.
    emulator.frontPanel("restart");
    EXPECT_EQ(client.readLine(2s), START_ANNOUNCEMENT);
}

TEST(Emulator, FrontPanelChangesStateAndRefusesNonsense) {
    Emulator emulator(fast());
    Client client(emulator.slavePath());
    EXPECT_EQ(emulator.frontPanel("tune 10000000"), "ok");
    EXPECT_EQ(emulator.frontPanel("mode ssb"), "ok");
    EXPECT_EQ(emulator.frontPanel("step 9000"), "ok");
    EXPECT_EQ(emulator.frontPanel("lock on"), "ok");
    EXPECT_EQ(emulator.frontPanel("signal 3"), "ok");
    EXPECT_EQ(emulator.frontPanel("status"), "freq 10000000 mode ssb step 9000 lock on signal 3");
    client.send("?AF\r?RMM\r?RMI\r?AU\r?S\r");
    expectRead(client, "@AF10000000\r@RMM0\r@RMI9000\r@AL\r@S  3\r");
    for (const char* nonsense :
         {"tune", "tune 50", "tune 30000001", "tune 7e6", "mode fm", "step 7", "lock maybe",
          "signal -1", "latency x", "frobnicate", "drop 270", "usb", "restart now"})
        EXPECT_EQ(emulator.frontPanel(nonsense).rfind("error:", 0), 0u) << nonsense;
    EXPECT_EQ(emulator.frontPanel(""), "");
    EXPECT_EQ(emulator.frontPanel("# a comment"), "");
    EXPECT_EQ(emulator.frontPanel("status"), "freq 10000000 mode ssb step 9000 lock on signal 3");
}

TEST(Emulator, InjectsLatencySilenceGarbageAndUnaskedLines) {
    Emulator emulator(fast());
    Client client(emulator.slavePath());

    emulator.frontPanel("latency 30");
    const auto start = Clock::now();
    client.send("?AU\r");
    EXPECT_EQ(client.readLine(1s), "@AU\r");
    EXPECT_GE(Clock::now() - start, 30ms);
    emulator.frontPanel("latency 0");

    emulator.frontPanel("silent on");
    client.send("?AF\r?RMC\r*AL\r");
    EXPECT_EQ(client.readFor(100ms), "");
    emulator.frontPanel("silent off");
    client.send("?AU\r"); // set commands were still carried out
    EXPECT_EQ(client.readLine(1s), "@AL\r");

    emulator.frontPanel("garbage 20");
    client.send("?AU\r");
    const std::string withGarbage = client.read(24, 1s);
    ASSERT_EQ(withGarbage.size(), 24u);
    EXPECT_EQ(withGarbage.find('@'), 20u);
    EXPECT_EQ(withGarbage.substr(20), "@AL\r");
    emulator.frontPanel("garbage 0");

    emulator.frontPanel("send hello");
    EXPECT_EQ(client.readLine(1s), "hello\r");
}

TEST(Emulator, PausesInsideALineAndSendsTwoLinesInOneBurst) {
    Emulator emulator; // paced, so the burst is really back to back
    Client client(emulator.slavePath());

    emulator.frontPanel("pause 40");
    client.send("?AF\r");
    const std::string first = client.read(3, 1s);
    const auto split = Clock::now();
    const std::string rest = client.readLine(1s);
    EXPECT_EQ(first + rest, "@AF15000000\r");
    EXPECT_GT(Clock::now() - split, 30ms);

    emulator.frontPanel("burst");
    client.send("?AU\r");
    const std::string both = client.readFor(150ms);
    ASSERT_GE(both.size(), 10u);
    EXPECT_EQ(both.substr(0, 4), "@AU\r");
    EXPECT_EQ(both.substr(4, 4), "@S  ");
    const auto log = waitForLog(emulator, 2);
    ASSERT_TRUE(log[1].answerStart && log[1].answerEnd);
    // 10 or 11 octets at 5760/s: no gap between the lines.
    EXPECT_LT(*log[1].answerEnd - *log[1].answerStart, 40ms);
}

TEST(Emulator, DropsOneOctetOfTheNextFrameOnly) {
    Emulator emulator(fast());
    Client client(emulator.slavePath());
    emulator.frontPanel("signal 5");
    emulator.frontPanel("drop 10");
    client.send("?RMC\r");
    const std::string shortFrame = client.readFor(100ms);
    ASSERT_EQ(shortFrame.size(), FRAME_SIZE - 1);
    EXPECT_EQ(shortFrame.substr(0, 4), "@RMC");
    client.send("?RMC\r");
    const std::string fullFrame = client.readFor(100ms);
    ASSERT_EQ(fullFrame.size(), FRAME_SIZE);
    // Octet 10 (status octet 6) was left out: what followed moved up.
    EXPECT_EQ(shortFrame.substr(0, 10), fullFrame.substr(0, 10));
    EXPECT_EQ(shortFrame[10 + 8], static_cast<char>(5)); // ucSignal moved up one
}

TEST(Emulator, DeliversInUsbPackets) {
    EmulatorOptions options;
    options.bUsbPackets = true; // paced
    Emulator emulator(options);
    Client client(emulator.slavePath());

    // A short answer waits for the adapter's latency timer.
    const auto asked = Clock::now();
    client.send("?AU\r");
    EXPECT_EQ(client.readLine(1s), "@AU\r");
    EXPECT_GT(Clock::now() - asked, 14ms);

    // A frame comes whole, however it was cut (the cutting itself is
    // tested on a made-up clock).
    client.send("?RMC\r");
    const std::string frame = client.read(FRAME_SIZE, 2s);
    ASSERT_EQ(frame.size(), FRAME_SIZE);
    EXPECT_EQ(frame.substr(0, 4), "@RMC");

    emulator.frontPanel("usb off");
    client.send("?AU\r");
    EXPECT_EQ(client.readLine(1s), "@AU\r");
}

TEST(Emulator, UnplugClosesThePseudoTerminalAndReplugOpensANewOne) {
    const std::string linkPath = tempPath("velkor-sim-link");
    EmulatorOptions options = fast();
    options.szLinkPath = linkPath;
    Emulator emulator(options);
    EXPECT_EQ(std::filesystem::read_symlink(linkPath), emulator.slavePath());
    Client client(linkPath);
    ASSERT_TRUE(client.isOpen());
    client.send("?AU\r");
    EXPECT_EQ(client.readLine(1s), "@AU\r");

    EXPECT_EQ(emulator.frontPanel("unplug"), "ok");
    EXPECT_TRUE(emulator.unplugged());
    // The client sees the end of the line at once: no octet, no wait.
    const auto start = Clock::now();
    EXPECT_EQ(client.readFor(50ms), "");
    EXPECT_LT(Clock::now() - start, 45ms);
    EXPECT_FALSE(std::filesystem::exists(emulator.slavePath()));
    EXPECT_FALSE(std::filesystem::is_symlink(linkPath));
    EXPECT_EQ(emulator.frontPanel("tune 7000000").rfind("error:", 0), 0u);

    // Plugged back: a new terminal behind the same name, the receiver as it was.
    const std::string newSlave = emulator.frontPanel("replug");
    EXPECT_FALSE(emulator.unplugged());
    EXPECT_EQ(newSlave, emulator.slavePath());
    EXPECT_EQ(std::filesystem::read_symlink(linkPath), newSlave);
    EXPECT_EQ(emulator.frontPanel("tune 7000000"), "ok");
    Client again(linkPath);
    ASSERT_TRUE(again.isOpen());
    again.send("?AF\r");
    EXPECT_EQ(again.readLine(1s), "@AF7000000\r");
    // A replug while plugged in pulls the line from under its client too.
    EXPECT_NE(emulator.frontPanel("replug").rfind("error:", 0), 0u);
    EXPECT_EQ(again.readFor(50ms), "");
    Client third(linkPath);
    third.send("?AU\r");
    EXPECT_EQ(third.readLine(1s), "@AU\r");
    emulator.stop();
    emulator.stop();
    EXPECT_FALSE(std::filesystem::is_symlink(linkPath));
}

TEST(Emulator, RecordsEverythingItSends) {
    const std::string recordPath = tempPath("velkor-sim-record.bin");
    {
        EmulatorOptions options = fast();
        options.szRecordPath = recordPath;
        Emulator emulator(options);
        Client client(emulator.slavePath());
        emulator.frontPanel("tune 10000000");
        client.send("?AU\r?RMC\r?RMC\r");
        EXPECT_EQ(client.read(4 + 2 * FRAME_SIZE, 1s).size(), 4 + 2 * FRAME_SIZE);
        EXPECT_EQ(emulator.octetsSent(), 4 + 2 * FRAME_SIZE);
    }
    std::ifstream file(recordPath, std::ios::binary);
    const std::string recorded((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(recorded.size(), 4 + 2 * FRAME_SIZE);
    EXPECT_EQ(recorded.substr(0, 8), "@AU\r@RMC");
    EXPECT_EQ(recorded.substr(4 + FRAME_SIZE, 4), "@RMC");
    std::filesystem::remove(recordPath);
}

TEST(Emulator, RefusesAFileInPlaceOfTheSymlink) {
    const std::string path = tempPath("velkor-sim-not-a-link");
    std::ofstream(path) << "keep me";
    EmulatorOptions options = fast();
    options.szLinkPath = path;
    EXPECT_THROW(Emulator emulator(options), std::system_error);
    std::ifstream file(path);
    std::string content;
    std::getline(file, content);
    EXPECT_EQ(content, "keep me");
    std::filesystem::remove(path);
}

} // namespace

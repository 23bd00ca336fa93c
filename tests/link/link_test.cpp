// The link threads against a scripted receiver on a pseudo-terminal:
// lock-step, receive windows, streaming flag, priorities, a missing port,
// replay and unplugging.
#include "link_fixture.h"
#include "platform/comm.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using namespace linktest;
using peer::Answer;
using peer::Chunk;

Answer now(std::string octets) {
    return {{0ms, std::move(octets)}};
}

TEST_F(Link, WritesNoCommandBeforeThePreviousWindowHasEnded) {
    // A silent receiver: every window lasts its 5 ms time-out, so no
    // command may follow the one before it sooner (allowing the peer
    // some lateness in reading).
    peer::Peer line;
    ASSERT_EQ(comOpen(line.slavePath().c_str()), NO_ERROR);
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        queue("?AF\r");
        queue("?S\r");
        expected += "?AF\r?S\r";
    }
    comStart();
    ASSERT_TRUE(line.waitForCommands(10, 5s));
    EXPECT_EQ(line.received(), expected);
    const auto arrivals = line.arrivals();
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        EXPECT_GE(ms(arrivals[i].first - arrivals[i - 1].last), 2.5) << "command " << i;
}

TEST_F(Link, AOneLineAnswerEndsItsWindowAtOnce) {
    peer::Peer line([](const std::string&) { return now("@AF7050000\r"); });
    ASSERT_EQ(comOpen(line.slavePath().c_str()), NO_ERROR);
    constexpr int count = 21;
    for (int i = 0; i < count; ++i)
        queue("?AF\r");
    comStart();
    ASSERT_TRUE(line.waitForCommands(count, 5s));
    const auto arrivals = line.arrivals();
    std::vector<double> gaps;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        gaps.push_back(ms(arrivals[i].first - arrivals[i - 1].answered));
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    // Waiting for the time-out would put every gap above 5 ms.
    EXPECT_LT(gaps[gaps.size() / 2], 4.0);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(nextResponse(), "@AF7050000\r");
}

TEST_F(Link, ATwoLineBurstGoesOnTheQueueOverTwoWindows) {
    peer::Peer line(
        [](const std::string& c) { return c == "?AF\r" ? now("@AF1000\r@RMM4\r") : Answer{}; });
    startOn(line);
    queue("?AF\r");
    EXPECT_EQ(nextResponse(), "@AF1000\r");
    EXPECT_EQ(nextResponse(200ms), ""); // the second line waits in the port
    queue("?S\r");
    EXPECT_EQ(nextResponse(), "@RMM4\r");
    ASSERT_TRUE(line.waitForCommands(2, 1s));
}

TEST_F(Link, ALineSplitByAPauseIsCompletedInALaterWindow) {
    peer::Peer line([](const std::string& c) {
        return c == "?AF\r" ? Answer{{0ms, "@AF70"}, {40ms, "50000\r"}} : Answer{};
    });
    startOn(line);
    queue("?AF\r");
    EXPECT_EQ(nextResponse(250ms), "");
    queue("?S\r");
    EXPECT_EQ(nextResponse(), "@AF7050000\r");
}

TEST_F(Link, ALateAnswerIsReadInTheNextWindow) {
    peer::Peer line([](const std::string& c) {
        return c == "?AF\r" ? Answer{{40ms, "@AF5\r"}} : Answer{};
    });
    startOn(line);
    queue("?AF\r");
    EXPECT_EQ(nextResponse(250ms), "");
    queue("?S\r");
    EXPECT_EQ(nextResponse(), "@AF5\r");
}

TEST_F(Link, OctetsBetweenWindowsWaitForTheNextWindow) {
    peer::Peer line;
    startOn(line);
    line.send("noise@S9\r");
    EXPECT_EQ(nextResponse(150ms), "");
    queue("?RMI\r");
    EXPECT_EQ(nextResponse(), "@S9\r");
    // The answer was waiting already; the peer may read the command later.
    ASSERT_TRUE(line.waitForCommands(1, 1s));
    EXPECT_EQ(line.received(), "?RMI\r"); // exactly the command's characters
}

TEST_F(Link, TakingTheStreamCommandsSetsAndClearsStreamingBeforeTheyAreWritten) {
    std::vector<std::pair<std::string, int>> seen;
    std::mutex seenMutex;
    peer::Peer line([&](const std::string& c) {
        std::lock_guard lock(seenMutex);
        seen.emplace_back(c, bStreaming.load());
        return Answer{};
    });
    startOn(line);
    queue("?RMC\r");
    queue("*RMC\r");
    queue("x?RMC\r"); // contains the command, is not it
    queue("?RMC\r");
    queue("?RMC\r ");
    ASSERT_TRUE(line.waitForCommands(4, 3s));
    std::this_thread::sleep_for(50ms);
    std::lock_guard lock(seenMutex);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], std::make_pair(std::string("?RMC\r"), 1));
    EXPECT_EQ(seen[1], std::make_pair(std::string("*RMC\r"), 0));
    EXPECT_EQ(seen[2], std::make_pair(std::string("x?RMC\r"), 0));
    EXPECT_EQ(seen[3], std::make_pair(std::string("?RMC\r"), 1));
    EXPECT_TRUE(waitForStreaming(1));
}

TEST_F(Link, AMostUrgentCommandOvertakesAQueuedPollBatch) {
    peer::Peer line;
    ASSERT_EQ(comOpen(line.slavePath().c_str()), NO_ERROR);
    QueueQueryMessages();
    queue("*RMC\r", MAX_PRIORITY);
    comStart();
    ASSERT_TRUE(line.waitForCommands(6, 3s));
    EXPECT_EQ(line.received(), "*RMC\r?AF\r?RMM\r?RMI\r?AU\r?S\r");
}

TEST_F(Link, WithoutAPortEveryPacketIsTakenInAboutFiveMilliseconds) {
    EXPECT_EQ(comOpen("velkor-no-such-port"), ERROR_FILE_NOT_FOUND);
    comStart();
    constexpr int count = 20;
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    for (int i = 0; i < count; ++i)
        queue("?AF\r");
    queue("?RMC\r"); // taken last: shows when the rest are gone
    ASSERT_TRUE(waitForStreaming(1, 10s));
    const double wall = ms(Clock::now() - start);
    EXPECT_GE(wall, count * 4.9);
    EXPECT_LT((cpuSeconds() - cpuStart) * 1000.0, wall * 0.5);
    EXPECT_EQ(nextResponse(50ms), ""); // no replay file here: nothing comes in
}

TEST_F(Link, ABadPortNameLeavesTheLinkRunningWithoutAPort) {
    const std::string longest(59, 'p');
    EXPECT_EQ(comOpen(longest.c_str()), ERROR_FILE_NOT_FOUND);
    comClose();
    const std::string tooLong(60, 'p');
    EXPECT_EQ(comOpen(tooLong.c_str()), ERROR_FILENAME_EXCED_RANGE);
    comClose();
    EXPECT_EQ(comOpen("null"), ERROR_BAD_DEVICE); // /dev/null: not a terminal
    comStart();
    queue("?RMC\r");
    EXPECT_TRUE(waitForStreaming(1));
}

TEST_F(Link, TheSecondOpenOfAPortFailsAndItsPortNameOpensDevices) {
    peer::Peer line;
    const std::string underDev = line.slavePath().substr(std::string("/dev/").size());
    ASSERT_EQ(comOpen(underDev.c_str()), NO_ERROR); // pts/N is /dev/pts/N
    const std::string device = line.device();
    EXPECT_EQ(CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    comClose();
    HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE); // released by the close
    CloseHandle(h);
}

TEST_F(Link, ReplayReadsTheFileInOrderAndStartsOverAtItsEnd) {
    const std::string content = "ab";
    ReplayDir dir(&content);
    EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR);
    bStreaming = 1;
    std::string got;
    for (int i = 0; i < 5; ++i) {
        DWORD count = 0;
        const BYTE octet = ReadOctet(&count);
        EXPECT_EQ(count, 1u);
        got += static_cast<char>(octet);
    }
    EXPECT_EQ(got, "ababa");
    bStreaming = 0;
    DWORD count = 9;
    const auto start = Clock::now();
    ReadOctet(&count);
    EXPECT_EQ(count, 0u);
    EXPECT_GE(ms(Clock::now() - start), 4.9);
}

TEST_F(Link, ReplayWindowsFrameTheFileLikeTheLine) {
    const std::string content = "@AF1\r@AF2\rxx@AF3\r";
    ReplayDir dir(&content);
    EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR);
    comStart();
    for (int i = 0; i < 7; ++i)
        queue("?RMC\r");
    for (const char* expected :
         {"@AF1\r", "@AF2\r", "@AF3\r", "@AF1\r", "@AF2\r", "@AF3\r", "@AF1\r"})
        EXPECT_EQ(nextResponse(), expected);
}

TEST_F(Link, WithoutAReplayFileStreamingWindowsEndAtOnceWithNothing) {
    ReplayDir dir(nullptr);
    EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR);
    comStart();
    for (int i = 0; i < 5; ++i)
        queue("?RMC\r");
    EXPECT_TRUE(waitForStreaming(1));
    EXPECT_EQ(nextResponse(200ms), "");
    queue("*RMC\r");
    EXPECT_TRUE(waitForStreaming(0));
}

TEST_F(Link, AReplayFileThatFramesNothingDoesNotHoldTheLink) {
    const std::string content(1000, 'z');
    ReplayDir dir(&content);
    EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR);
    comStart();
    queue("?RMC\r");
    EXPECT_TRUE(waitForStreaming(1));
    std::this_thread::sleep_for(200ms);
    const double cpuStart = cpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(cpuSeconds() - cpuStart, 0.25); // idle, not reading the file in circles
    queue("*RMC\r");
    EXPECT_TRUE(waitForStreaming(0)); // the next command still goes
    EXPECT_EQ(nextResponse(50ms), "");
}

TEST_F(Link, AnUnpluggedLineDoesNotSpinAndTheLinkKeepsItsPace) {
    peer::Peer line([](const std::string& c) { return c == "?S\r" ? now("@S5\r") : now("@AU\r"); });
    startOn(line);
    ASSERT_EQ(updateOpen(), NO_ERROR);
    updateStart();
    ASSERT_TRUE(line.waitForCommands(10, 3s));
    line.unplug();
    std::this_thread::sleep_for(300ms);
    const auto start = Clock::now();
    const double cpuStart = cpuSeconds();
    std::this_thread::sleep_for(1500ms);
    const double cpu = cpuSeconds() - cpuStart;
    EXPECT_LT(cpu * 1000.0, ms(Clock::now() - start) * 0.3);
    // Commands still move: the stream request is taken in its turn.
    queue("?RMC\r", MAX_PRIORITY);
    EXPECT_TRUE(waitForStreaming(1));
}

} // namespace

// The window after a request for a clip waits out a silent line; every
// other window keeps its 5 ms. A request that brings nothing is repeated
// while audio is on, and a receiver that never streams hands the line
// back to the status poll.
#include "audio/audio.h"
#include "link_fixture.h"

#include <algorithm>
#include <thread>

namespace {

using namespace linktest;
using peer::Answer;

std::string wholeFrame(char clipOctet) {
    return "@RMC" + std::string(1, '\0') + std::string(15, '\x01') +
           std::string(CLIPSIZE, clipOctet);
}

// The audio side is on (bAudioOn) and played by the test when it needs
// clips taken.
class FrameWindow : public LinkWithAudio {
  protected:
    static std::size_t count(const std::vector<peer::Arrival>& arrivals, const char* command) {
        return static_cast<std::size_t>(std::count_if(
            arrivals.begin(), arrivals.end(), [&](const auto& a) { return a.command == command; }));
    }
};

TEST_F(FrameWindow, AReceiverThatDoesNotStreamHandsTheLineBackToThePoll) {
    // Status queries are answered, requests for clips are not.
    peer::Peer line([](const std::string& c) {
        return c == "?RMC\r" ? Answer{} : Answer{{0ms, "@S  3\r"}};
    });
    startOn(line);
    ASSERT_EQ(updateOpen(), NO_ERROR);
    updateStart();
    ASSERT_TRUE(line.waitForCommands(5, 2s)); // polling
    const auto ticked = Clock::now();
    queue("?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(waitForStreaming(0, 3s));
    // Polling resumes once the poll thread's next cycle finds the stream
    // ended: within half a second of the first request, here allowed
    // 250 ms more for a loaded machine.
    Clock::time_point resumed{};
    const auto until = Clock::now() + 2s;
    while (resumed == Clock::time_point{} && Clock::now() < until) {
        for (const auto& a : line.arrivals())
            if (a.first > ticked && a.command != "?RMC\r") {
                resumed = a.first;
                break;
            }
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_NE(resumed, Clock::time_point{}) << "polling did not resume";
    EXPECT_LT(ms(resumed - ticked), 750.0);
    std::printf("polling resumed %.0f ms after the first request\n", ms(resumed - ticked));

    const auto arrivals = line.arrivals();
    EXPECT_EQ(count(arrivals, "?RMC\r"), static_cast<std::size_t>(MAX_UNANSWERED_REQUESTS));
    // Each request waited out the silence before the next went (less a
    // little: the peer's time stamps may be late on a shared machine).
    std::vector<Clock::time_point> requests;
    for (const auto& a : arrivals)
        if (a.command == "?RMC\r")
            requests.push_back(a.last);
    for (std::size_t i = 1; i < requests.size(); ++i)
        EXPECT_GE(ms(requests[i] - requests[i - 1]), 0.8 * ms(FRAME_SILENCE)) << i;
    EXPECT_EQ(linkCounters.ulRequestsUnanswered,
              static_cast<std::uint64_t>(MAX_UNANSWERED_REQUESTS));
    EXPECT_EQ(linkCounters.ulRequestsRepeated,
              static_cast<std::uint64_t>(MAX_UNANSWERED_REQUESTS - 1));
    EXPECT_EQ(linkCounters.ulStreamsEnded, 1u);
    EXPECT_EQ(linkCounters.ulFramesAbandoned, 0u);
}

TEST_F(FrameWindow, WithAudioOffAnUnansweredRequestIsNotRepeated) {
    bAudioOn = FALSE;
    peer::Peer line;
    startOn(line);
    queue("?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(line.waitForCommands(1, 1s));
    EXPECT_TRUE(waitForStreaming(0, 2s));
    std::this_thread::sleep_for(2 * FRAME_SILENCE);
    EXPECT_EQ(line.arrivals().size(), 1u);
    EXPECT_EQ(linkCounters.ulRequestsUnanswered, 1u);
    EXPECT_EQ(linkCounters.ulRequestsRepeated, 0u);
    EXPECT_EQ(linkCounters.ulStreamsEnded, 0u);
}

TEST_F(FrameWindow, ALateAnswerReadBeforeTheFrameIsQueuedAndTheWindowReadsOn) {
    // The answer to an earlier query comes first, then the frame after a
    // pause: both are read in the request's window, and the stream stays
    // on, so the poll stays silent.
    int iRequests = 0;
    peer::Peer line([&](const std::string& c) {
        if (c != "?RMC\r" || iRequests++ > 0)
            return Answer{};
        return Answer{{0ms, "@AF7050000\r"}, {30ms, wholeFrame('\x08')}};
    });
    startOn(line);
    std::thread audio([] {
        if (WaitForSingleObject(hAudioClip, 3000) == WAIT_OBJECT_0)
            SetEvent(hGetMore);
    });
    queue("?RMC\r", MAX_PRIORITY);
    EXPECT_EQ(nextResponse(), "@AF7050000\r");
    EXPECT_EQ(bStreaming, 1);
    EXPECT_EQ(nextResponse(), "@RMC\r");
    audio.join();
    EXPECT_EQ(bStreaming, 1);
    // The second request (the framer's) went only after the frame.
    ASSERT_TRUE(line.waitForCommands(2, 1s));
    const auto arrivals = line.arrivals();
    EXPECT_EQ(arrivals[1].command, "?RMC\r");
    EXPECT_GE(arrivals[1].first, arrivals[0].answered);
}

TEST_F(FrameWindow, AFrameCutInAnotherCommandsWindowDoesNotSilenceThePoll) {
    // Audio is off and the receiver sends one more frame after "*RMC",
    // with a pause in it: the frame begins in that command's 5 ms window
    // and nothing else is queued. The poll must go on, and its windows
    // read the rest of the frame, which is dropped.
    bAudioOn = FALSE;
    const std::string frame = wholeFrame('\x08');
    peer::Peer line([&](const std::string& c) {
        if (c == "*RMC\r")
            return Answer{{0ms, frame.substr(0, 40)}, {30ms, frame.substr(40)}};
        return Answer{{0ms, "@S  5\r"}};
    });
    startOn(line);
    ASSERT_EQ(updateOpen(), NO_ERROR);
    bStreaming = 1; // the stream is on and the poll silent
    updateStart();
    queue("*RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(line.waitForCommands(1, 1s));
    // Polling goes on: several batches arrive.
    EXPECT_TRUE(line.waitForCommands(11, 2s)) << line.arrivals().size() << " commands";
    EXPECT_EQ(WaitForSingleObject(hAudioClip, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(FrameWindow, ALineThatNeverFallsSilentStillEndsTheWindow) {
    // Text lines every 10 ms for two seconds, and never a frame.
    bAudioOn = FALSE;
    peer::Peer line([](const std::string& c) {
        Answer answer;
        if (c == "?RMC\r")
            for (int i = 0; i < 200; ++i)
                answer.push_back({10ms, "@S  1\r"});
        return answer;
    });
    startOn(line);
    queue("?RMC\r", MAX_PRIORITY);
    queue("?AU\r");
    ASSERT_TRUE(line.waitForCommands(2, 3s)) << "the window never ended";
    const auto arrivals = line.arrivals();
    EXPECT_GE(ms(arrivals[1].first - arrivals[0].last), 900.0);
    EXPECT_EQ(nextResponse(), "@S  1\r"); // the lines were queued meanwhile
    EXPECT_EQ(linkCounters.ulRequestsUnanswered, 1u);
    EXPECT_TRUE(waitForStreaming(0, 1s));
}

// What every other window does is unchanged.
TEST_F(FrameWindow, ALineSplitByATwentyMillisecondPauseIsCompletedInTheNextWindow) {
    peer::Peer line([](const std::string& c) {
        return c == "?AF\r" ? Answer{{0ms, "@AF70"}, {20ms, "50000\r"}} : Answer{};
    });
    startOn(line);
    queue("?AF\r");
    EXPECT_EQ(nextResponse(200ms), "");
    queue("?S\r");
    EXPECT_EQ(nextResponse(), "@AF7050000\r");
}

TEST_F(FrameWindow, AnUnansweredQueryStillCostsAboutFiveMilliseconds) {
    // A silent receiver, and a request for a clip among the queries: the
    // queries' windows keep their 5 ms, the request's window its silence.
    peer::Peer line;
    ASSERT_EQ(comOpen(line.slavePath().c_str()), NO_ERROR);
    bAudioOn = FALSE;
    constexpr int queries = 10;
    for (int i = 0; i < queries / 2; ++i)
        queue("?AF\r");
    queue("?RMC\r");
    for (int i = 0; i < queries / 2; ++i)
        queue("?S\r");
    comStart();
    ASSERT_TRUE(line.waitForCommands(queries + 1, 5s));
    const auto arrivals = line.arrivals();
    std::vector<double> gaps;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        const double gap = ms(arrivals[i].first - arrivals[i - 1].last);
        if (arrivals[i - 1].command == "?RMC\r")
            EXPECT_GE(gap, 0.8 * ms(FRAME_SILENCE));
        else
            gaps.push_back(gap);
    }
    // The median, as the peer may read a command late on a shared
    // machine; 5 ms plus generous room for load, far below the silence
    // a request's window waits out.
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    const double median = gaps[gaps.size() / 2];
    EXPECT_GE(median, 4.0);
    EXPECT_LT(median, 30.0);
}

} // namespace

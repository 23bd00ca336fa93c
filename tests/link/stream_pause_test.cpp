// An audio frame cut by a pause longer than a read time-out: while audio
// streams nothing else opens a receive window, so the window that holds
// the frame waits for the rest of it instead of stopping the stream.
#include "audio/audio.h"
#include "link_fixture.h"

#include <atomic>
#include <thread>

namespace {

using namespace linktest;
using peer::Answer;

using StreamPause = LinkWithAudio;

TEST_F(StreamPause, AFrameInterruptedForThirtyMillisecondsStillCompletes) {
    std::string frame = "@RMC";
    frame += std::string(1, '\0') + std::string(15, '\x01') + std::string(CLIPSIZE, '\x08');
    // Cut after "@R", after "@RMC", in the status record, in the clip.
    for (const std::size_t cut : {2u, 4u, 10u, 100u}) {
        int iRequests = 0;
        peer::Peer line([&](const std::string& c) {
            if (c != "?RMC\r" || iRequests++ > 0)
                return Answer{}; // one frame, so nothing else opens a window
            return Answer{{0ms, frame.substr(0, cut)}, {30ms, frame.substr(cut)}};
        });
        startOn(line);
        std::thread audio([] {
            if (WaitForSingleObject(hAudioClip, 3000) == WAIT_OBJECT_0)
                SetEvent(hGetMore);
        });
        queue("?RMC\r", MAX_PRIORITY);
        EXPECT_EQ(nextResponse(), "@RMC\r") << "cut after " << cut << " octets";
        audio.join();
        comClose(); // the receive thread is joined: its framer may be read
        EXPECT_FALSE(comReceiveInFrame());
        comReceiveSync();
    }
}

TEST_F(StreamPause, AFrameThatStartsThirtyMillisecondsLateIsReadInItsWindow) {
    std::string frame = "@RMC";
    frame += std::string(1, '\0') + std::string(15, '\x01') + std::string(CLIPSIZE, '\x08');
    int iRequests = 0;
    peer::Peer line([&](const std::string& c) {
        if (c != "?RMC\r" || iRequests++ > 0)
            return Answer{};
        return Answer{{30ms, frame}};
    });
    startOn(line);
    std::thread audio([] {
        if (WaitForSingleObject(hAudioClip, 3000) == WAIT_OBJECT_0)
            SetEvent(hGetMore);
    });
    queue("?RMC\r", MAX_PRIORITY);
    EXPECT_EQ(nextResponse(), "@RMC\r");
    audio.join();
}

TEST_F(StreamPause, AFrameThatNeverEndsIsAbandonedAndAskedForAgain) {
    // The first frame loses its tail for good; the others come whole.
    const std::string head = "@RMC" + std::string(1, '\0') + std::string(15, '\x01');
    int iRequests = 0;
    peer::Peer line([&](const std::string& c) {
        if (c != "?RMC\r")
            return Answer{{0ms, "@AU\r"}};
        if (iRequests++ == 0)
            return Answer{{0ms, head + std::string(100, '\x08')}};
        return Answer{{0ms, head + std::string(CLIPSIZE, '\x33')}};
    });
    startOn(line);
    std::atomic<bool> bPlaying{true};
    std::atomic<int> iBrokenClips{0};
    std::thread audio([&] {
        while (bPlaying) {
            if (WaitForSingleObject(hAudioClip, 20) != WAIT_OBJECT_0)
                continue;
            // Nothing of the broken frame reaches a clip.
            iBrokenClips += ucAudioClip[0] != 0x33 || ucAudioClip[99] != 0x33;
            SetEvent(hGetMore);
        }
    });
    queue("?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(line.waitForCommands(1, 1s));
    // A command queued meanwhile goes out once the window has given up
    // on the frame, ahead of the repeated request.
    queue("?AU\r");
    EXPECT_EQ(nextResponse(), "@AU\r");
    EXPECT_EQ(nextResponse(), "@RMC\r");
    EXPECT_EQ(nextResponse(), "@RMC\r");
    comClose();
    bPlaying = false;
    audio.join();
    EXPECT_EQ(iBrokenClips, 0);
    const auto arrivals = line.arrivals();
    ASSERT_GE(arrivals.size(), 3u);
    EXPECT_EQ(arrivals[1].command, "?AU\r");
    EXPECT_EQ(arrivals[2].command, "?RMC\r");
    // The window sat through the silence after the broken frame (less a
    // little: the peer's time stamps may be late on a shared machine).
    EXPECT_GE(ms(arrivals[1].first - arrivals[0].answered), 0.8 * ms(FRAME_SILENCE));
    EXPECT_EQ(linkCounters.ulFramesAbandoned, 1u);
    EXPECT_EQ(linkCounters.ulRequestsUnanswered, 0u);
    EXPECT_EQ(linkCounters.ulRequestsRepeated, 1u);
    EXPECT_EQ(bStreaming, 1);
}

} // namespace

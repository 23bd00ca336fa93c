// The framer while audio is off: a completed clip is dropped at once and
// the stream ends, so the link and the status poll go on.
#include "framer_fixture.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

class FramerAudioOff : public FramerTest {
  protected:
    // Feeds a whole frame on another thread; fails if it hangs. TRUE when
    // its last octet completed a unit.
    BOOL feedFrame(const std::string& octets) {
        auto done = std::async(std::launch::async, [&] { return !feed(octets).empty(); });
        EXPECT_EQ(done.wait_for(std::chrono::seconds(1)), std::future_status::ready)
            << "the framer waits although audio is off";
        return done.get() ? TRUE : FALSE;
    }
};

TEST_F(FramerAudioOff, AClipIsDroppedAtOnceAndNoMoreAreRequested) {
    bAudioOn = FALSE;
    bStreaming = FALSE;
    const BOOL bCompleted = feedFrame(frame());
    EXPECT_TRUE(bCompleted) << "the frame's line is still handed on";
    EXPECT_STREQ(szResponse.data(), "@RMC\r");
    EXPECT_EQ(WaitForSingleObject(hAudioClip, 0), WAIT_TIMEOUT) << "handed over while off";
    EXPECT_TRUE(queued().empty()) << "the next clip was requested while audio is off";
    EXPECT_FALSE(bStreaming) << "the poll stays silent after the stream ended";
    // The framer is ready for the next unit.
    EXPECT_EQ(feed("@AF7050000\r"), (std::vector<std::string>{"@AF7050000\r"}));
}

TEST_F(FramerAudioOff, SwitchedOffDuringTheHandOffTheStreamEndsWithThisFrame) {
    std::thread audio([] {
        WaitForSingleObject(hAudioClip, INFINITE);
        bAudioOn = FALSE; // audioStop while the clip is held
        SetEvent(hGetMore);
    });
    EXPECT_TRUE(feedFrame(frame()));
    audio.join();
    EXPECT_TRUE(queued().empty());
    EXPECT_FALSE(bStreaming);
}

TEST_F(FramerAudioOff, WhileOnEveryFrameRequestsTheNext) {
    answerGetMoreAlways();
    bStreaming = FALSE;
    feedFrame(frame());
    const auto packets = queued();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].first, "?RMC\r");
    EXPECT_TRUE(bStreaming);
}

} // namespace

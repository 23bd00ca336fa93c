// An audio frame cut by a pause longer than a read time-out: while audio
// streams nothing else opens a receive window, so the window that holds
// the frame waits for the rest of it instead of stopping the stream.
#include "audio/audio.h"
#include "link_fixture.h"

#include <thread>

namespace {

using namespace linktest;
using peer::Answer;

class StreamPause : public Link {
  protected:
    void SetUp() override {
        Link::SetUp();
        bAudioOn = TRUE; // clips are handed over
        hAudioClip = CreateEventA(nullptr, FALSE, FALSE, "AudioClip");
        hGetMore = CreateEventA(nullptr, FALSE, FALSE, "GetMore");
    }
    void TearDown() override {
        bAudioOn = FALSE;
        Link::TearDown();
        CloseHandle(hAudioClip);
        CloseHandle(hGetMore);
        hAudioClip = hGetMore = nullptr;
    }
};

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

TEST_F(StreamPause, AFrameThatNeverEndsStillEndsTheWindow) {
    std::string frame = "@RMC";
    frame += std::string(1, '\0') + std::string(15, '\x01') + std::string(100, '\x08');
    peer::Peer line([&](const std::string& c) {
        return c == "?RMC\r" ? Answer{{0ms, frame}} : Answer{{0ms, "@AU\r"}};
    });
    startOn(line);
    queue("?RMC\r", MAX_PRIORITY);
    ASSERT_TRUE(line.waitForCommands(1, 1s));
    // The window gives up on the frame after about 100 ms; the next
    // command is written and its window reads on.
    const auto start = Clock::now();
    queue("?AU\r");
    ASSERT_TRUE(line.waitForCommands(2, 2s));
    EXPECT_LT(ms(Clock::now() - start), 1000.0);
    comClose(); // the receive thread is joined: its framer may be read
    EXPECT_TRUE(comReceiveInFrame());
    comReceiveSync();
}

} // namespace

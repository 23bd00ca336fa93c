// The framer: response lines, discarded units, the line-length limit, false
// frame starts, audio frames and the clip hand-off.
#include "framer_fixture.h"

#include <atomic>
#include <thread>

using namespace std::string_literals;

namespace {

using Framer = FramerTest;
using Units = std::vector<std::string>;

TEST_F(Framer, ResponseLineIsHandedOnAtItsCarriageReturn) {
    bStreaming = TRUE;
    const std::string line = "@AF7050000\r";
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
        EXPECT_FALSE(comReceive(static_cast<BYTE>(line[i]))) << "octet " << i;
    EXPECT_TRUE(comReceive('\r'));
    EXPECT_STREQ(szResponse.data(), "@AF7050000\r");
    EXPECT_FALSE(bStreaming);
}

TEST_F(Framer, LinesSplitAcrossCallsAndNoiseBetweenThem) {
    EXPECT_EQ(feed("\xff\x01noise@AF70"), Units{});
    EXPECT_EQ(feed("50000\r\n\n@RM"), Units{"@AF7050000\r"});
    EXPECT_EQ(feed("M4\r@S"), Units{"@RMM4\r"});
    EXPECT_EQ(feed("  7\r"), Units{"@S  7\r"});
}

TEST_F(Framer, BarePrefixesAreDiscardedAndHuntingResumes) {
    for (const char* bare : {"@\r", "@R\r", "@RM\r", "@RS\r"}) {
        SCOPED_TRACE(bare);
        EXPECT_EQ(feed(bare), Units{});
        // Back to hunting: text without "@" is not a line.
        EXPECT_EQ(feed("AU\r"), Units{});
        EXPECT_EQ(feed("@AU\r"), Units{"@AU\r"});
    }
}

TEST_F(Framer, UnknownShapesAreFramedAsLines) {
    EXPECT_EQ(feed("@RMX\r@AX\r@RX\r@\n\r@Q1\r"),
              (Units{"@RMX\r", "@AX\r", "@RX\r", "@\n\r", "@Q1\r"}));
}

TEST_F(Framer, AnAtSignInsideALineIsData) {
    EXPECT_EQ(feed("@A@AF1\r"), Units{"@A@AF1\r"});
}

TEST_F(Framer, FifteenOctetsFitSixteenAreDiscarded) {
    const std::string fifteen = "@AF12345678901\r";
    ASSERT_EQ(fifteen.size(), 15u);
    EXPECT_EQ(feed(fifteen), Units{fifteen});

    // Sixteenth octet is the CR: no room for the NUL, so discarded.
    EXPECT_EQ(feed("@AF1234567890123\r"), Units{});
    EXPECT_EQ(feed("@AU\r"), Units{"@AU\r"});

    // The tail of an overlong line is scanned for "@".
    EXPECT_EQ(feed("@AF12345678901234@AL\r"), Units{"@AL\r"});
    // ... but an "@" that is itself the sixteenth octet is part of the
    // dropped line.
    EXPECT_EQ(feed("@AF123456789012@AL\r"), Units{});
    EXPECT_EQ(feed("@AL\r"), Units{"@AL\r"});
}

TEST_F(Framer, FalseFrameStartIsDropped) {
    for (BYTE first : {BYTE{0x02}, BYTE{0x40}, BYTE{0x80}, BYTE{0xFF}}) {
        SCOPED_TRACE(static_cast<int>(first));
        EXPECT_EQ(feed("@RMC"s + static_cast<char>(first)), Units{});
        EXPECT_FALSE(bStreaming);
        // The dropping octet is not kept, even when it is "@".
        EXPECT_EQ(feed("AU\r"), Units{});
        EXPECT_EQ(feed("@AU\r"), Units{"@AU\r"});
    }
    EXPECT_TRUE(queued().empty());
}

// A stand-in for the audio thread: takes each clip, copies it, and asks
// for more after a short pause.
class AudioSide {
  public:
    AudioSide() : thread_([this] { run(); }) {}
    ~AudioSide() { thread_.join(); }

    std::array<BYTE, CLIPSIZE> clip{};
    std::atomic<bool> bGetMoreSet{false};
    std::atomic<int> queuedWhileHeld{-1};

  private:
    void run() {
        WaitForSingleObject(hAudioClip, INFINITE);
        clip = ucAudioClip;
        // Nothing may be requested while the clip is held.
        int priority = 0;
        queuedWhileHeld = dequeue(&QueueMessage, &priority) ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        bGetMoreSet = true;
        SetEvent(hGetMore);
    }
    std::thread thread_;
};

TEST_F(Framer, FullFrameHandsTheClipOverAndRequestsTheNext) {
    WireStatus status;
    status.ulFreqVCO = 0;
    std::string octets = frame(status);
    // Octets 0x00 0xE4 0xE1 0xC0 on the wire are 15000000.
    octets.replace(4, 4, "\x00\xE4\xE1\xC0"s);
    const std::string clip = countingClip(0x30);
    octets.replace(4 + HEADERSIZE, CLIPSIZE, clip);

    bStreaming = FALSE;
    for (std::size_t i = 0; i + 1 < octets.size(); ++i) {
        ASSERT_FALSE(comReceive(static_cast<BYTE>(octets[i]))) << "octet " << i;
        if (i == 4) {
            EXPECT_TRUE(bStreaming) << "set when the status record begins";
        }
    }
    EXPECT_EQ(WaitForSingleObject(hAudioClip, 0), WAIT_TIMEOUT)
        << "AudioClip signalled before the 250th audio octet";
    EXPECT_TRUE(queued().empty());

    AudioSide audio;
    EXPECT_TRUE(comReceive(static_cast<BYTE>(octets.back())));
    EXPECT_TRUE(audio.bGetMoreSet) << "returned before GetMore";
    EXPECT_EQ(audio.queuedWhileHeld, 0);
    EXPECT_EQ(std::string(audio.clip.begin(), audio.clip.end()), clip);
    EXPECT_STREQ(szResponse.data(), "@RMC\r");
    EXPECT_TRUE(bStreaming);

    using Packets = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(queued(), (Packets{{"?RMC\r", MIN_PRIORITY}}));

    const auto& f = header.field;
    EXPECT_EQ(f.ulFreqVCO, 15000000u);
    EXPECT_EQ(f.ulFreqMem, status.ulFreqMem);
    EXPECT_EQ(f.ucMode, status.ucMode);
    EXPECT_EQ(f.ucModeMemory, status.ucModeMemory);
    EXPECT_EQ(f.ucMemory, status.ucMemory);
    EXPECT_EQ(f.ucJog, status.ucJog);
    EXPECT_EQ(f.ucFlags1, status.ucFlags1);
    EXPECT_EQ(f.ucFlags2, status.ucFlags2);
    EXPECT_EQ(f.ucVersion, status.ucVersion);
    EXPECT_EQ(f.ucSignal, status.ucSignal);
    // The receive view keeps wire order.
    EXPECT_EQ(header.ucOctet[1], 0xE4);

    // Hunting resumes after the frame.
    EXPECT_EQ(feed("AU\r@AU\r"), Units{"@AU\r"});
    EXPECT_FALSE(bStreaming);
}

TEST_F(Framer, FramesWithAtSignsInsideAndTheRsIntroduction) {
    answerGetMoreAlways();
    WireStatus status;
    status.ucMemory = '@';
    status.ucSignal = '\r';
    status.ulFreqVCO = 0x01404040; // first octet 0x01, then three "@"
    std::string clip(CLIPSIZE, '@');
    clip[100] = '\r';

    EXPECT_EQ(feed(frame(status, clip, "@RSC")), Units{"@RSC\r"});
    EXPECT_EQ(header.field.ulFreqVCO, 0x01404040u);
    EXPECT_EQ(header.field.ucMemory, '@');
    EXPECT_EQ(header.field.ucSignal, '\r');
    EXPECT_EQ(std::string(ucAudioClip.begin(), ucAudioClip.end()), clip);

    // Back to back, and split at an awkward place.
    const std::string two = frame() + "@S 5\r" + frame(WireStatus{}, countingClip(7));
    const Units expected{"@RMC\r", "@S 5\r", "@RMC\r"};
    EXPECT_EQ(feed(two.substr(0, 140)), Units{});
    EXPECT_EQ(feed(two.substr(140)), expected);
    EXPECT_EQ(std::string(ucAudioClip.begin(), ucAudioClip.end()), countingClip(7));
    EXPECT_EQ(queued().size(), 3u);
}

TEST_F(Framer, SyncAbandonsAPartialUnit) {
    EXPECT_EQ(feed("@AF12"), Units{});
    comReceiveSync();
    EXPECT_EQ(feed("34\r@AU\r"), Units{"@AU\r"});

    EXPECT_EQ(feed("@RMC\x01\x02\x03"), Units{});
    comReceiveSync();
    EXPECT_EQ(feed("@AL\r"), Units{"@AL\r"});
    EXPECT_TRUE(queued().empty());
}

// The receiver's start announcement does not begin with "@".
TEST_F(Framer, StartAnnouncementIsHandedOnLikeALine) {
    bStreaming = TRUE;
    EXPECT_EQ(feed("START\r"), Units{"START\r"});
    EXPECT_FALSE(bStreaming);
    EXPECT_EQ(feed("\r\nQX-4470 START\r"), Units{"\nQX-4470 START\r"});
    // Fourteen octets and the CR fit; fifteen do not.
    EXPECT_EQ(feed("123456789START\r"), Units{"123456789START\r"});
    EXPECT_EQ(feed("1234567890START\r"), Units{});
    EXPECT_EQ(feed("1234567890START\rSTART\r"), Units{"START\r"});
    // A NUL cannot travel in a text line; the line begins again after it.
    EXPECT_EQ(feed("xx\0START\r"s), Units{"START\r"});
    // Other text outside a unit is still discarded.
    EXPECT_EQ(feed("HELLO\r\r\rSTAR\rT\r"), Units{});
}

TEST_F(Framer, AtSignStillStartsAUnitWhileAStartLineIsCollected) {
    EXPECT_EQ(feed("STA@RT\r"), Units{"@RT\r"});
    EXPECT_EQ(feed("START@AU\r"), Units{"@AU\r"});
    EXPECT_EQ(feed("@START\r"), Units{"@START\r"});
}

TEST_F(Framer, RemainsOfADroppedUnitAreNoStartLine) {
    EXPECT_EQ(feed("@AF123456789012345START\r"), Units{});
    EXPECT_EQ(feed("@RMC\x02START\r"s), Units{});
    // A unit that ended at a CR leaves a clean line boundary.
    EXPECT_EQ(feed("@RM\rSTART\r"), Units{"START\r"});
    EXPECT_EQ(feed("@RMC\rSTART\r"), Units{"START\r"});
    EXPECT_EQ(feed("@AF123456789012\rSTART\r"), Units{"START\r"});
    answerGetMoreAlways();
    EXPECT_EQ(feed(frame() + "START\r"), (Units{"@RMC\r", "START\r"}));
}

} // namespace

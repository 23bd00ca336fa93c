// The recording writer on its own: names and places, what the files hold,
// and a writer that falls behind.
#include "record_fixture.h"

#include "platform/folders.h"
#include "protocol/radiostate.h"

#include <gmock/gmock.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

using namespace recordtest;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

std::vector<BYTE> readOctets(const std::string& szPath) {
    std::ifstream in(szPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RecordNames, SayWhenAndWhereAndNeverReuseAFile) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 8;
    local.tm_hour = 7;
    local.tm_min = 5;
    local.tm_sec = 9;
    EXPECT_EQ(recordBaseName(local, 10000000, MODE_AM), "velkor-20261208-070509-10000000-AM");
    EXPECT_EQ(recordBaseName(local, 7050000, MODE_SSB), "velkor-20261208-070509-7050000-SSB");
    EXPECT_EQ(recordBaseName(local, 100000, MODE_CW), "velkor-20261208-070509-100000-CW");
    EXPECT_EQ(recordBaseName(local), "velkor-20261208-070509");
    EXPECT_EQ(recordModeName(7), "mode7");

    const std::string szDir =
        (std::filesystem::temp_directory_path() / ("velkor-names-" + std::to_string(getpid())))
            .string();
    std::filesystem::create_directories(szDir);
    EXPECT_EQ(recordUniquePath(szDir, "velkor-x", ".wav"), szDir + "/velkor-x.wav");
    std::ofstream(szDir + "/velkor-x.wav") << "taken";
    std::ofstream(szDir + "/velkor-x-2.wav") << "taken";
    EXPECT_EQ(recordUniquePath(szDir, "velkor-x", ".wav"), szDir + "/velkor-x-3.wav");
    EXPECT_EQ(recordUniquePath(szDir, "velkor-x", ".bin"), szDir + "/velkor-x.bin");

    // The directory: the variable, else the desktop's music directory,
    // else home.
    const std::string szHome = szDir + "/home";
    const char* szOldHome = std::getenv("HOME");
    const std::string szSavedHome = szOldHome ? szOldHome : "";
    setenv("HOME", szHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv(szRecordEnv, "/elsewhere", 1);
    EXPECT_EQ(recordDirectory(), "/elsewhere");
    setenv(szRecordEnv, "", 1);
    EXPECT_EQ(recordDirectory(), szHome) << "no user-directory settings";
    std::filesystem::create_directories(szHome + "/.config");
    const std::pair<const char*, std::string> settings[] = {
        {"XDG_MUSIC_DIR=\"$HOME/Musik\"\n", szHome + "/Musik"},
        {"# comment\nXDG_MUSIC_DIR=\"/srv/music/\"\n", "/srv/music"},
        {"XDG_MUSIC_DIR=\"$HOME/\"\n", szHome}, // the home directory: none
        {"XDG_MUSIC_DIR=relative\n", szHome},
        {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n", szHome},
    };
    for (const auto& [szSettings, szExpected] : settings) {
        std::ofstream(szHome + "/.config/user-dirs.dirs") << szSettings;
        EXPECT_EQ(recordDirectory(), szExpected) << szSettings;
    }
    unsetenv(szRecordEnv);
    EXPECT_EQ(recordDirectory(), szHome);
    setenv("HOME", szSavedHome.c_str(), 1);
    std::filesystem::remove_all(szDir);
}

TEST_F(Recording, FilesHoldEveryFrameAndOctetInOrderWithTheirTimeAndPlace) {
    testing::internal::CaptureStderr();
    ASSERT_TRUE(recordAudioStart(10000000, MODE_AM));
    ASSERT_TRUE(recordStreamStart());
    EXPECT_TRUE(recordAudioIsRecording());
    EXPECT_TRUE(recordStreamIsRecording());
    EXPECT_TRUE(std::filesystem::is_directory(szDir_)) << "the directory was not created";

    // The hand-offs as the callback and the receive thread make them, a
    // little faster than real time.
    constexpr std::uint64_t BLOCKS = 120;
    std::vector<BYTE> ucSent;
    std::thread callback([] {
        std::array<float, 256> block;
        for (std::uint64_t b = 0; b < BLOCKS; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = rampFrame(b * block.size() + i);
            recordAudioFrames(block.data(), block.size());
            std::this_thread::sleep_for(5ms);
        }
    });
    for (int i = 0; i < 30000; ++i) {
        ucSent.push_back(static_cast<BYTE>(i * 13 + i / 256));
        recordStreamOctet(ucSent.back());
        if (i % 500 == 0)
            std::this_thread::sleep_for(10ms);
    }
    callback.join();
    const std::string szWav = recordAudioPath();
    const std::string szBin = recordStreamPath();
    recordAudioStop();
    recordStreamStop();
    const std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(recordAudioIsRecording());
    recordAudioFrames(std::array<float, 4>{}.data(), 4); // off: nothing happens
    recordStreamOctet(1);

    EXPECT_THAT(szWav, MatchesRegex(szDir_ + "/velkor-[0-9]{8}-[0-9]{6}-10000000-AM\\.wav"));
    EXPECT_THAT(szBin, MatchesRegex(szDir_ + "/velkor-[0-9]{8}-[0-9]{6}\\.bin"));
    EXPECT_THAT(szErr, HasSubstr("recording audio to " + szWav + "\n"));
    EXPECT_THAT(szErr, HasSubstr("recording the receive stream to " + szBin + "\n"));
    EXPECT_THAT(szErr, HasSubstr("Record Audio stopped: " + szWav + ", 30720 frames\n"));

    const WAV wav = readWav(szWav);
    ASSERT_TRUE(wav.bOpened);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(wav.info.samplerate, 8000);
    EXPECT_EQ(wav.info.channels, 1);
    EXPECT_THAT(wav.szComment, MatchesRegex("Velkor QX-4470: 10000000 Hz, AM, recorded from "
                                            "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}"));
    ASSERT_EQ(wav.sample.size(), BLOCKS * 256);
    for (std::size_t k = 0; k < wav.sample.size(); ++k)
        ASSERT_EQ(wav.sample[k], rampSample(k)) << "frame " << k;
    EXPECT_EQ(readOctets(szBin), ucSent);
    EXPECT_EQ(recordCounters.audio.ulWritten.load(), BLOCKS * 256);
    EXPECT_EQ(recordCounters.audio.ulDropped.load(), 0u);
    EXPECT_EQ(recordCounters.stream.ulWritten.load(), ucSent.size());
    EXPECT_GE(notified.iPosts.load(), 4) << "starts and stops are posted";

    // A second recording started in the same second gets a file of its own.
    ASSERT_TRUE(recordStreamStart());
    recordStreamOctet(42);
    recordStreamStop();
    EXPECT_NE(recordStreamPath(), szBin);
    EXPECT_EQ(readOctets(recordStreamPath()), std::vector<BYTE>{42});
    EXPECT_EQ(readOctets(szBin), ucSent);
    EXPECT_TRUE(faults().empty());
}

TEST_F(Recording, AWriterThatFallsBehindDropsWholeBlocksCountsThemAndSaysSo) {
    ASSERT_TRUE(recordAudioStart(15000000, MODE_CW));
    // Three buffers' worth at once: far more than one round of the writer
    // takes.
    constexpr std::uint64_t BLOCKS = 3 * RECORD_AUDIO_BUFFER / 256;
    std::array<float, 256> block;
    for (std::uint64_t b = 0; b < BLOCKS; ++b) {
        block.fill(rampFrame(b));
        recordAudioFrames(block.data(), block.size());
    }
    testing::internal::CaptureStderr();
    recordAudioStop();
    const std::string szErr = testing::internal::GetCapturedStderr();

    const std::uint64_t ulWritten = recordCounters.audio.ulWritten;
    const std::uint64_t ulDropped = recordCounters.audio.ulDropped;
    EXPECT_GT(ulDropped, 0u);
    EXPECT_EQ(ulWritten + ulDropped, BLOCKS * 256);
    EXPECT_THAT(szErr,
                HasSubstr(std::to_string(ulDropped) + " frames dropped: the writer fell behind"));
    // What was kept is whole blocks, in order.
    const WAV wav = readWav(recordAudioPath());
    ASSERT_EQ(wav.sample.size(), ulWritten);
    long lLast = -1;
    for (std::size_t k = 0; k < wav.sample.size(); k += 256) {
        const short s = wav.sample[k];
        EXPECT_TRUE(std::all_of(wav.sample.begin() + static_cast<long>(k),
                                wav.sample.begin() + static_cast<long>(k) + 256,
                                [s](short x) { return x == s; }));
        long lBlock = -1;
        for (std::uint64_t b = 0; b < BLOCKS && lBlock < 0; ++b)
            if (rampSample(b) == s && static_cast<long>(b) > lLast)
                lBlock = static_cast<long>(b);
        ASSERT_GT(lBlock, lLast) << "block at frame " << k << " out of order";
        lLast = lBlock;
    }
}

} // namespace

// Recording while the emulated receiver streams through the real link
// and the audio pipeline (a stand-in plays the device): the
// files hold exactly what was played and what was received, also when
// recording is switched on and off again and again, and playback never
// notices.
#include "audio/adpcm.h"
#include "audio/audio.h"
#include "audio/ring.h"
#include "link/comthread.h"
#include "platform/sound.h"
#include "protocol/radiostate.h"
#include "record/record.h"
#include "record/recordname.h"
#include "tools/measure/audiorun.h"
#include "tools/measure/standin_sound.h"
#include "tools/replay.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Band noise: no stretch of it repeats, so a piece of a recording is
// found in the whole at exactly one place.
constexpr DWORD NOISE_FREQUENCY = 7050000;

std::vector<short> readWav(const std::string& szPath) {
    SF_INFO info{};
    SNDFILE* pFile = sf_open(szPath.c_str(), SFM_READ, &info);
    EXPECT_NE(pFile, nullptr) << szPath << " is not a valid WAV file";
    if (pFile == nullptr)
        return {};
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<short> sample(static_cast<std::size_t>(info.frames));
    sample.resize(static_cast<std::size_t>(sf_read_short(pFile, sample.data(), info.frames)));
    sf_close(pFile);
    return sample;
}

std::vector<BYTE> readOctets(const std::string& szPath) {
    std::vector<BYTE> ucData;
    std::string szError;
    EXPECT_TRUE(readFile(szPath, ucData, szError)) << szError;
    return ucData;
}

// What the program's own decoder and resampler make of a receive stream.
std::vector<float> decoded(const std::vector<BYTE>& ucStream) {
    std::size_t ulSkipped = 0;
    return decodeClips(parseStream(ucStream, ulSkipped)).fSample;
}

// The first frame of wav[from ..] that differs from ref[at ..] by more
// than one 16-bit step; wav.size() when none does.
std::size_t firstDifference(const std::vector<short>& wav, std::size_t from,
                            const std::vector<float>& ref, std::size_t at) {
    for (std::size_t k = from; k < wav.size(); ++k)
        if (at + k - from >= ref.size() || std::fabs(wav[k] - ref[at + k - from] * 32768.0) > 1.0)
            return k;
    return wav.size();
}

class Recording : public testing::Test {
  protected:
    void SetUp() override {
        szDir = (std::filesystem::temp_directory_path() /
                 ("velkor-audiolink-record-" + std::to_string(getpid())))
                    .string();
        std::filesystem::remove_all(szDir);
        setenv(szRecordEnv, szDir.c_str(), 1);
        options.szRecordPath = szDir + "-sent.bin";
        // The pipeline decodes from a fresh decoder, as decodeClips does.
        ADPCMDecoderInit();
    }
    void TearDown() override {
        recordClose();
        unsetenv(szRecordEnv);
        std::filesystem::remove_all(szDir);
        std::filesystem::remove(options.szRecordPath);
    }
    std::string szDir;
    EmulatorOptions options;
};

// Neither side keeps real time where a loaded machine could make a gap
// of it: the emulated receiver sends each answer whole at once
// (EmulatorOptions::bPaced false), so it is never held up inside a frame,
// which the link would abandon; and the sound device is SoundByHand.
//
// The sound device's part, played by a thread of the test at the
// device's pace, one callback a block's time after the last, except that
// a callback waits until a block is in the ring: however late a busy
// machine lets the link and the audio thread deliver, no callback comes
// too early. A callback that still finds no block (an underrun) lost one
// that was there. A block that does not come for longer than a stalled
// pipeline would take is given up on.
class SoundByHand {
  public:
    SoundByHand()
        : thread_([this] {
              std::array<float, SOUND_FRAMES_PER_BUFFER> fOutput{};
              const auto period = std::chrono::microseconds(BLOCK_MICROS);
              auto next = std::chrono::steady_clock::now();
              auto lastPlayed = next;
              while (!bStop_) {
                  std::this_thread::sleep_until(next);
                  if (!blockWaits()) {
                      bStalled_ = bStalled_ || std::chrono::steady_clock::now() - lastPlayed > 20s;
                      next = std::chrono::steady_clock::now() + 1ms;
                      continue;
                  }
                  StandInPlay(fOutput.data());
                  lastPlayed = std::chrono::steady_clock::now();
                  next = std::max(next + period, lastPlayed);
              }
          }) {}
    ~SoundByHand() { stop(); }
    SoundByHand(const SoundByHand&) = delete;
    SoundByHand& operator=(const SoundByHand&) = delete;
    void stop() {
        bStop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool stalled() const { return bStalled_; }

  private:
    // A block has been put in the ring and not yet taken. Counted after
    // the put, so never before the block is there.
    static bool blockWaits() {
        return audioCounters.ulBlocksProduced.load() >
               audioCounters.ulBlocksPlayed.load() + audioCounters.ulStaleBlocks.load();
    }

    std::atomic<bool> bStop_{false};
    std::atomic<bool> bStalled_{false};
    std::thread thread_;
};

TEST_F(Recording, TenSecondsHoldThePlayedAudioAndEveryOctetReceived) {
    options.bPaced = false; // see SoundByHand
    AudioLinkRun run(false, NOISE_FREQUENCY, options, true);
    ASSERT_TRUE(recordStreamStart());
    ASSERT_TRUE(recordAudioStart(NOISE_FREQUENCY, MODE_AM));
    ASSERT_EQ(run.open(), NO_ERROR);
    run.enable();
    SoundByHand sound;
    std::this_thread::sleep_for(10s);
    sound.stop();
    EXPECT_FALSE(sound.stalled()) << "playback stopped";
    const std::uint64_t ulPlayed = audioCounters.ulBlocksPlayed;
    const std::string szWav = recordAudioPath();
    const std::string szBin = recordStreamPath();
    recordClose(); // first, as the panel's close sequence does
    run.close();

    const std::vector<BYTE> ucSent = readOctets(options.szRecordPath);
    const std::vector<BYTE> ucRecorded = readOctets(szBin);
    ASSERT_GT(ucRecorded.size(), 20000u) << "the stream hardly ran";
    ASSERT_LE(ucRecorded.size(), ucSent.size());
    EXPECT_TRUE(std::equal(ucRecorded.begin(), ucRecorded.end(), ucSent.begin()))
        << "the stream recording differs from what the receiver sent";

    // An abandoned frame (the emulator held up mid-frame on a loaded
    // machine) was received but never played, and the decoding below
    // would differ from it on.
    ASSERT_EQ(linkCounters.ulFramesAbandoned.load(), 0u) << "a frame was abandoned";
    const std::vector<short> wav = readWav(szWav);
    const std::vector<float> ref = decoded(ucRecorded);
    EXPECT_GE(wav.size() + 2 * FRAMES_PER_BLOCK, ulPlayed * FRAMES_PER_BLOCK);
    EXPECT_GT(wav.size(), 3u * 8000u) << "playback hardly ran";
    EXPECT_EQ(wav.size() % FRAMES_PER_BLOCK, 0u);
    EXPECT_EQ(firstDifference(wav, 0, ref, 0), wav.size())
        << "of " << wav.size() << " frames against " << ref.size() << " decoded";
}

// Without a port the link plays the replay recording: a recording
// started before Enable and stopped while it still plays holds every
// block played up to the stop, from the recording's first clip on.
TEST_F(Recording, TheReplayRecordingHoldsEverythingPlayedUpToTheStop) {
    // The link looks for it at ../wwv.bin: a directory of this test's own.
    const std::filesystem::path home = szDir + "-replay";
    std::filesystem::create_directories(home / "run");
    std::filesystem::copy_file(VELKOR_REPLAY_RECORDING, home / "wwv.bin",
                               std::filesystem::copy_options::overwrite_existing);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(home / "run");
    const std::vector<BYTE> ucReplay = readOctets("../wwv.bin");
    ASSERT_GT(ucReplay.size(), 100000u) << "the build's replay recording is missing";
    AudioLinkRun run(false, NOISE_FREQUENCY, options, true);
    ASSERT_TRUE(recordAudioStart(NOISE_FREQUENCY, MODE_AM));
    ASSERT_EQ(run.open("/dev/velkor-no-such-port"), NO_ERROR);
    run.enable();
    SoundByHand sound;
    std::this_thread::sleep_for(6s);
    const std::uint64_t ulPlayedBefore = audioCounters.ulBlocksPlayed;
    const std::string szWav = recordAudioPath();
    recordAudioStop();
    const std::uint64_t ulPlayedAfter = audioCounters.ulBlocksPlayed;
    sound.stop();
    EXPECT_FALSE(sound.stalled()) << "playback stopped";
    run.close();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(home);

    const std::vector<short> wav = readWav(szWav);
    EXPECT_GT(wav.size(), 3u * 8000u) << "playback hardly ran";
    EXPECT_GE(wav.size(), ulPlayedBefore * FRAMES_PER_BLOCK) << "the tail is missing";
    EXPECT_LE(wav.size(), ulPlayedAfter * FRAMES_PER_BLOCK);
    EXPECT_EQ(firstDifference(wav, 0, decoded(ucReplay), 0), wav.size())
        << "of " << wav.size() << " frames: not the replay from its start (frames abandoned "
        << linkCounters.ulFramesAbandoned.load() << ", framer resynchronised "
        << linkCounters.ulResyncs.load() << ", underruns " << audioCounters.ulUnderruns.load()
        << ")";
}

TEST_F(Recording, SwitchedOnAndOffFiftyTimesEachFileIsWholeAndPlaybackNeverNotices) {
    options.bPaced = false;
    AudioLinkRun run(false, NOISE_FREQUENCY, options, true);
    ASSERT_EQ(run.open(), NO_ERROR);
    run.enable();
    SoundByHand sound;
    while (audioCounters.ulBlocksPlayed.load() == 0 && !sound.stalled())
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(sound.stalled()) << "nothing played";
    const std::uint64_t ulUnderruns = audioCounters.ulUnderruns;

    std::mt19937 random(4470);
    std::vector<std::string> wavs, bins;
    for (int round = 0; round < 50; ++round) {
        // Audio and stream switch at different moments, together or alone.
        if (round % 5 != 4) {
            ASSERT_TRUE(recordAudioStart(NOISE_FREQUENCY, MODE_AM));
            wavs.push_back(recordAudioPath());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
        if (round % 3 != 2) {
            ASSERT_TRUE(recordStreamStart());
            bins.push_back(recordStreamPath());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(60 + random() % 140));
        recordAudioStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
        recordStreamStop();
    }
    sound.stop();
    const std::uint64_t ulUnderrunsAfter = audioCounters.ulUnderruns.load() - ulUnderruns;
    run.close();
    EXPECT_FALSE(sound.stalled()) << "playback stopped while recordings switched";
    EXPECT_EQ(ulUnderrunsAfter, 0u) << "a block that waited was not played";
    EXPECT_EQ(recordCounters.audio.ulDropped.load() + recordCounters.stream.ulDropped.load(), 0u);

    const std::vector<BYTE> ucSent = readOctets(options.szRecordPath);
    ASSERT_EQ(linkCounters.ulFramesAbandoned.load(), 0u) << "a frame was abandoned";
    const std::vector<float> ref = decoded(ucSent);
    std::size_t ulLastAt = 0;
    for (const std::string& szWav : wavs) {
        const std::vector<short> wav = readWav(szWav);
        if (wav.empty())
            continue; // switched off before a block played
        // Where it starts in what was played, and that it goes on from
        // there without a gap or a repeat.
        std::size_t at = ulLastAt;
        while (at < ref.size() &&
               firstDifference(wav, 0, ref, at) < std::min<std::size_t>(64, wav.size()))
            ++at;
        ASSERT_LT(at, ref.size()) << szWav << " is not a piece of what was played";
        EXPECT_EQ(firstDifference(wav, 0, ref, at), wav.size()) << szWav;
        ulLastAt = at + wav.size();
    }
    auto from = ucSent.begin();
    for (const std::string& szBin : bins) {
        const std::vector<BYTE> ucPiece = readOctets(szBin);
        const auto found = std::search(from, ucSent.end(), ucPiece.begin(), ucPiece.end());
        ASSERT_NE(found, ucSent.end()) << szBin << " is not a piece of what was received";
        from = found + static_cast<long>(ucPiece.size());
    }
}

} // namespace

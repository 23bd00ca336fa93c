// Replay files: WAV files of every common form in, a tone through the
// stream and back out, malformed headers refused with a reason.
#include "tools/measure/capture.h"
#include "tools/replay.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

#include <unistd.h>

namespace {

std::string tempPath(const std::string& szName) {
    return (std::filesystem::temp_directory_path() /
            ("velkor-replay-" + std::to_string(::getpid()) + "-" + szName))
        .string();
}

// Writes a tone of dHz at dLevel; stereo files carry it on both channels.
void writeTone(const std::string& szPath, int iFormat, int iRate, int iChannels, double dHz,
               double dLevel, double dSeconds) {
    SF_INFO info{};
    info.samplerate = iRate;
    info.channels = iChannels;
    info.format = SF_FORMAT_WAV | iFormat;
    SNDFILE* file = sf_open(szPath.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const auto n = static_cast<std::size_t>(dSeconds * iRate);
    std::vector<double> frames(n * static_cast<std::size_t>(iChannels));
    for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < iChannels; ++c)
            frames[i * static_cast<std::size_t>(iChannels) + static_cast<std::size_t>(c)] =
                dLevel * std::sin(2 * std::numbers::pi * dHz * static_cast<double>(i) / iRate);
    sf_writef_double(file, frames.data(), static_cast<sf_count_t>(n));
    sf_close(file);
}

// The frequency whose single-bin DFT is strongest, searched in 1 Hz steps.
double strongest(const std::vector<float>& x, double dRate, double dFrom, double dTo) {
    double best = dFrom, bestAmp = 0;
    for (double f = dFrom; f <= dTo; f += 1.0) {
        const double amp = measureTone(x, dRate, f, 4000, 8000).dAmplitude;
        if (amp > bestAmp) {
            bestAmp = amp;
            best = f;
        }
    }
    return best;
}

struct Form {
    int iFormat;
    int iRate;
    int iChannels;
    const char* szName;
};

class WavForms : public testing::TestWithParam<Form> {};

TEST_P(WavForms, ATonePassesThroughTheStreamAndBackAtItsFrequencyAndLevel) {
    const Form form = GetParam();
    const std::string szWav = tempPath(std::string(form.szName) + ".wav");
    writeTone(szWav, form.iFormat, form.iRate, form.iChannels, 1000.0, 0.5, 3.0);

    SOUND wav, line;
    std::string szError;
    ASSERT_TRUE(readWav(szWav, wav, szError)) << szError;
    std::filesystem::remove(szWav);
    EXPECT_EQ(wav.dRate, form.iRate);
    ASSERT_TRUE(convertRate(wav, RECEIVER_RATE, line, szError)) << szError;
    EXPECT_NEAR(static_cast<double>(line.fSample.size()), 3.0 * RECEIVER_RATE, 2.0);

    const std::vector<BYTE> stream = encodeStream(line, STATUSRECORD{});
    EXPECT_EQ(stream.size() % FRAME_OCTETS, 0u);
    std::size_t ulSkipped = 0;
    const auto clips = parseStream(stream, ulSkipped);
    EXPECT_EQ(ulSkipped, 0u);
    ASSERT_EQ(clips.size(), (line.fSample.size() + 499) / 500);
    const SOUND out = decodeClips(clips);
    EXPECT_EQ(out.dRate, 8000.0);
    ASSERT_EQ(out.fSample.size(), clips.size() * 512);

    EXPECT_EQ(strongest(out.fSample, 8000.0, 950, 1050), 1000.0);
    const TONE tone = measureTone(out.fSample, 8000.0, 1000.0, 4000, 8000);
    EXPECT_NEAR(tone.dAmplitude, 0.5, 0.5 * 0.05) << form.szName;
    // One continuous tone: the phase holds from one stretch to the next.
    for (std::size_t from = 2000; from + 800 < 20000; from += 800)
        EXPECT_NEAR(measureTone(out.fSample, 8000.0, 1000.0, from, 800).dAmplitude, 0.5, 0.04)
            << "level drops at frame " << from;
}

INSTANTIATE_TEST_SUITE_P(Forms, WavForms,
                         testing::Values(Form{SF_FORMAT_PCM_U8, 8000, 1, "u8_8000_mono"},
                                         Form{SF_FORMAT_PCM_16, 44100, 2, "s16_44100_stereo"},
                                         Form{SF_FORMAT_PCM_24, 48000, 1, "s24_48000_mono"},
                                         Form{SF_FORMAT_PCM_32, 22050, 2, "s32_22050_stereo"},
                                         Form{SF_FORMAT_FLOAT, 11025, 1, "float_11025_mono"}),
                         [](const testing::TestParamInfo<Form>& info) {
                             return std::string(info.param.szName);
                         });

TEST(WavFiles, StereoIsMixedDownToMono) {
    const std::string szWav = tempPath("lr.wav");
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(szWav.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const float frames[] = {0.5f, 0.1f, -0.5f, 0.3f};
    sf_writef_float(file, frames, 2);
    sf_close(file);
    SOUND sound;
    std::string szError;
    ASSERT_TRUE(readWav(szWav, sound, szError)) << szError;
    std::filesystem::remove(szWav);
    ASSERT_EQ(sound.fSample.size(), 2u);
    EXPECT_FLOAT_EQ(sound.fSample[0], 0.3f);
    EXPECT_FLOAT_EQ(sound.fSample[1], -0.1f);
}

TEST(WavFiles, MalformedFilesAreRefusedWithAReason) {
    // A good file to damage.
    const std::string szGood = tempPath("good.wav");
    writeTone(szGood, SF_FORMAT_PCM_16, 8000, 1, 440, 0.5, 0.5);
    std::ifstream in(szGood, std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(szGood);
    ASSERT_GT(good.size(), 44u);
    ASSERT_EQ(good.substr(36, 4), "data"); // a plain 44-octet header

    auto damaged = [&](std::size_t at, std::string bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"text", "hello, world\n"},
        {"header only, cut in the fmt chunk", good.substr(0, 30)},
        {"no data chunk", good.substr(0, 36)},
        {"zero channels", damaged(22, std::string("\0\0", 2))},
        {"zero sample rate", damaged(24, std::string("\0\0\0\0", 4))},
        {"0-bit samples", damaged(34, std::string("\0\0", 2))},
        {"64-bit integer samples", damaged(34, std::string("\x40\0", 2))},
        {"300 channels", damaged(22, std::string("\x2c\x01", 2))},
        {"unknown coding", damaged(20, std::string("\x55\x55", 2))},
        {"fmt chunk of absurd size", damaged(16, std::string("\xff\xff\xff\x7f", 4))},
        {"RIFF but not WAVE", damaged(8, "AVI ")},
    };
    for (const auto& [szWhat, content] : cases) {
        const std::string szPath = tempPath("bad.wav");
        std::ofstream(szPath, std::ios::binary) << content;
        SOUND sound;
        std::string szError;
        EXPECT_FALSE(readWav(szPath, sound, szError)) << szWhat << " was accepted";
        EXPECT_FALSE(szError.empty()) << szWhat << ": no reason given";
        EXPECT_NE(szError.find(szPath), std::string::npos) << szWhat << ": " << szError;
        std::filesystem::remove(szPath);
    }
    SOUND sound;
    std::string szError;
    EXPECT_FALSE(readWav(tempPath("missing.wav"), sound, szError));
    EXPECT_FALSE(szError.empty());

    // A data size beyond the end of the file: what is there is read.
    const std::string szLong = tempPath("long.wav");
    std::ofstream(szLong, std::ios::binary) << damaged(40, std::string("\xf0\xff\xff\x7f", 4));
    szError.clear();
    EXPECT_TRUE(readWav(szLong, sound, szError)) << szError;
    EXPECT_EQ(sound.fSample.size(), (good.size() - 44) / 2);
    std::filesystem::remove(szLong);
}

TEST(Streams, FramesAreFoundAmongLinesAndNoiseAndACutOffFrameIsSkipped) {
    SOUND line;
    line.dRate = RECEIVER_RATE;
    line.fSample.assign(1000, 0.25f);
    const std::vector<BYTE> frames = encodeStream(line, STATUSRECORD{15000000, 2, 3});
    ASSERT_EQ(frames.size(), 2u * FRAME_OCTETS);
    // The status record: frequency most significant octet first, mode, signal.
    EXPECT_EQ(std::vector<BYTE>(frames.begin() + 4, frames.begin() + 8),
              (std::vector<BYTE>{0x00, 0xE4, 0xE1, 0xC0}));
    EXPECT_EQ(frames[12], 2);
    EXPECT_EQ(frames[19], 3);

    std::vector<BYTE> stream;
    const std::string noise = "@AF7050000\r@RMC\x02xyz@RM";
    stream.insert(stream.end(), noise.begin(), noise.end());
    stream.insert(stream.end(), frames.begin(), frames.begin() + FRAME_OCTETS);
    stream.push_back('@');
    stream.insert(stream.end(), frames.begin() + FRAME_OCTETS, frames.end());
    stream.insert(stream.end(), frames.begin(), frames.begin() + 100); // cut off
    std::size_t ulSkipped = 0;
    const auto clips = parseStream(stream, ulSkipped);
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(ulSkipped, noise.size() + 1 + 100);
    EXPECT_TRUE(std::equal(clips[1].begin(), clips[1].end(), frames.begin() + FRAME_OCTETS + 20));
}

} // namespace

// Replay files on libsndfile (WAV in all its common forms, with its own
// checks of malformed headers) and libsamplerate (band-limited rate
// conversion).
#include "tools/replay.h"

#include "audio/adpcm.h"
#include "audio/audio.h"
#include "sim/adpcmencoder.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr int SAMPLES_PER_CLIP = 2 * CLIPSIZE;
constexpr double FULL_SCALE = 32768.0;
constexpr int MAX_CHANNELS = 8;
constexpr sf_count_t MAX_SAMPLES = sf_count_t{1} << 27; // over an hour at 32000/s

void putBigEndian(std::vector<BYTE>& out, DWORD ulValue) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<BYTE>(ulValue >> shift));
}

// The receiver's code for its power-on tuning step of 2500 Hz.
constexpr BYTE STEP_CODE = 4;
constexpr BYTE FIRMWARE_VERSION = 0x44;
constexpr BYTE MEMORY_CHANNEL = 1;

} // namespace

bool readWav(const std::string& szPath, SOUND& sound, std::string& szError) {
    SF_INFO info{};
    SNDFILE* file = sf_open(szPath.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        szError = szPath + ": " + sf_strerror(nullptr);
        return false;
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int minor = info.format & SF_FORMAT_SUBMASK;
    const bool bWidthKnown = minor == SF_FORMAT_PCM_U8 || minor == SF_FORMAT_PCM_S8 ||
                             minor == SF_FORMAT_PCM_16 || minor == SF_FORMAT_PCM_24 ||
                             minor == SF_FORMAT_PCM_32 || minor == SF_FORMAT_FLOAT;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) {
        szError = szPath + ": not a WAV file";
    } else if (!bWidthKnown) {
        szError =
            szPath + ": unsupported sample format (use 8, 16, 24 or 32-bit PCM or 32-bit float)";
    } else if (info.channels < 1 || info.channels > MAX_CHANNELS || info.samplerate < 1000 ||
               info.samplerate > 384000) {
        szError = szPath + ": implausible channel count or sample rate";
    } else if (info.frames > MAX_SAMPLES / info.channels) {
        szError = szPath + ": too long";
    }
    if (!szError.empty()) {
        sf_close(file);
        return false;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    if (got != info.frames) {
        szError = szPath + ": the file ends before its sample data does";
        return false;
    }
    sound.dRate = info.samplerate;
    sound.fSample.assign(static_cast<std::size_t>(info.frames), 0.0f);
    for (std::size_t i = 0; i < sound.fSample.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c)
            sum += interleaved[i * static_cast<std::size_t>(info.channels) +
                               static_cast<std::size_t>(c)];
        sound.fSample[i] = sum / static_cast<float>(info.channels);
    }
    return true;
}

bool writeWav(const std::string& szPath, const SOUND& sound, std::string& szError) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sound.dRate));
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(szPath.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        szError = szPath + ": " + sf_strerror(nullptr);
        return false;
    }
    const auto n = static_cast<sf_count_t>(sound.fSample.size());
    const bool bOk = sf_writef_float(file, sound.fSample.data(), n) == n;
    if (!bOk)
        szError = szPath + ": " + sf_strerror(file);
    sf_close(file);
    return bOk;
}

bool convertRate(const SOUND& in, double dRate, SOUND& out, std::string& szError) {
    out.dRate = dRate;
    if (in.fSample.empty()) {
        out.fSample.clear();
        return true;
    }
    const double ratio = dRate / in.dRate;
    out.fSample.assign(static_cast<std::size_t>(std::ceil(in.fSample.size() * ratio)) + 16, 0.0f);
    SRC_DATA data{};
    data.data_in = in.fSample.data();
    data.input_frames = static_cast<long>(in.fSample.size());
    data.data_out = out.fSample.data();
    data.output_frames = static_cast<long>(out.fSample.size());
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (const int error = src_simple(&data, SRC_SINC_BEST_QUALITY, 1); error != 0) {
        szError = std::string("rate conversion: ") + src_strerror(error);
        return false;
    }
    out.fSample.resize(static_cast<std::size_t>(data.output_frames_gen));
    return true;
}

std::vector<BYTE> encodeStream(const SOUND& sound, const STATUSRECORD& status) {
    const std::size_t ulClips = (sound.fSample.size() + SAMPLES_PER_CLIP - 1) / SAMPLES_PER_CLIP;
    std::vector<BYTE> out;
    out.reserve(ulClips * FRAME_OCTETS);
    ADPCMENCODER encoder;
    std::array<std::int16_t, SAMPLES_PER_CLIP> samples;
    std::array<BYTE, CLIPSIZE> clip;
    for (std::size_t c = 0; c < ulClips; ++c) {
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const std::size_t k = c * SAMPLES_PER_CLIP + i;
            const double v = k < sound.fSample.size() ? sound.fSample[k] * FULL_SCALE : 0.0;
            samples[i] = static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
        }
        adpcmEncodeBlock(encoder, samples, clip);
        for (char ch : {'@', 'R', 'M', 'C'})
            out.push_back(static_cast<BYTE>(ch));
        putBigEndian(out, status.ulFrequency); // frequency now
        putBigEndian(out, status.ulFrequency); // frequency of the memory channel
        out.push_back(status.ucMode);
        out.push_back(status.ucMode);
        out.push_back(MEMORY_CHANNEL);
        out.push_back(STEP_CODE);
        out.push_back(0); // flags: lock off
        out.push_back(0);
        out.push_back(FIRMWARE_VERSION);
        out.push_back(status.ucSignal);
        out.insert(out.end(), clip.begin(), clip.end());
    }
    return out;
}

std::vector<std::vector<BYTE>> parseStream(const std::vector<BYTE>& ucStream,
                                           std::size_t& ulSkipped) {
    std::vector<std::vector<BYTE>> clips;
    ulSkipped = 0;
    std::size_t i = 0;
    while (i < ucStream.size()) {
        // A frame: "@R", "M" or "S", "C", a status record whose first
        // octet is 0 or 1, and the whole clip.
        const bool bFrame = i + FRAME_OCTETS <= ucStream.size() && ucStream[i] == '@' &&
                            ucStream[i + 1] == 'R' &&
                            (ucStream[i + 2] == 'M' || ucStream[i + 2] == 'S') &&
                            ucStream[i + 3] == 'C' && ucStream[i + 4] < 2;
        if (!bFrame) {
            ++ulSkipped;
            ++i;
            continue;
        }
        const auto first = ucStream.begin() + static_cast<std::ptrdiff_t>(i + 4 + STATUS_SIZE);
        clips.emplace_back(first, first + CLIPSIZE);
        i += FRAME_OCTETS;
    }
    return clips;
}

SOUND decodeClips(const std::vector<std::vector<BYTE>>& clips) {
    ADPCMDecoderInit();
    resampleReset();
    SOUND sound;
    sound.dRate = 8000.0;
    sound.fSample.reserve(clips.size() * 2 * FRAMES_PER_BLOCK);
    std::array<std::int16_t, SAMPLES_PER_HALFCLIP> sData;
    std::array<float, RESAMPLE_WORK_SIZE> fWork;
    for (const auto& clip : clips) {
        for (int half = 0; half < 2; ++half) {
            decode(sData.data(), clip.data() + half * HALFCLIP, HALFCLIP);
            resample(fWork.data(), sData.data());
            sound.fSample.insert(sound.fSample.end(), fWork.begin(),
                                 fWork.begin() + FRAMES_PER_BLOCK);
        }
    }
    return sound;
}

bool readFile(const std::string& szPath, std::vector<BYTE>& ucData, std::string& szError) {
    std::ifstream in(szPath, std::ios::binary);
    if (!in) {
        szError = szPath + ": " + std::strerror(errno);
        return false;
    }
    ucData.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        szError = szPath + ": read error";
        return false;
    }
    return true;
}

bool writeFile(const std::string& szPath, const std::vector<BYTE>& ucData, std::string& szError) {
    std::ofstream out(szPath, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(ucData.data()),
                  static_cast<std::streamsize>(ucData.size()));
    if (!out) {
        szError = szPath + ": cannot write";
        return false;
    }
    return true;
}

bool parseMode(const std::string& szText, BYTE& ucMode) {
    std::string upper(szText);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper == "SSB" || upper == "1")
        ucMode = 1;
    else if (upper == "CW" || upper == "2")
        ucMode = 2;
    else if (upper == "AM" || upper == "4")
        ucMode = 4;
    else
        return false;
    return true;
}

#include "record/recordfile.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t CONVERT_CHUNK = 1024;

// libsndfile's texts: the system's reason alone, without the full stop
// or newline that the messages add themselves.
std::string trimmed(const char* szText) {
    std::string text = szText != nullptr ? szText : "unknown error";
    if (const std::string prefix = "System error : "; text.rfind(prefix, 0) == 0)
        text.erase(0, prefix.size());
    while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

class WavFile final : public RecordFile<float> {
  public:
    explicit WavFile(SNDFILE* pFile) : pFile_(pFile) {}
    ~WavFile() override { close(); }

    bool write(const float* pFrames, std::size_t n) override {
        std::array<short, CONVERT_CHUNK> sample;
        for (std::size_t done = 0; done < n;) {
            const std::size_t count = std::min(CONVERT_CHUNK, n - done);
            for (std::size_t i = 0; i < count; ++i)
                sample[i] = static_cast<short>(
                    std::clamp(std::lround(pFrames[done + i] * 32768.0f), -32768L, 32767L));
            if (sf_write_short(pFile_, sample.data(), static_cast<sf_count_t>(count)) !=
                static_cast<sf_count_t>(count))
                return failed();
            done += count;
        }
        return true;
    }

    bool sync() override {
        sf_command(pFile_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        return sf_error(pFile_) == SF_ERR_NO_ERROR || failed();
    }

    bool close() override {
        if (pFile_ == nullptr)
            return szError_.empty();
        const int iError = sf_close(pFile_);
        pFile_ = nullptr;
        if (iError != SF_ERR_NO_ERROR && szError_.empty())
            szError_ = trimmed(sf_error_number(iError));
        return szError_.empty();
    }

  private:
    bool failed() {
        szError_ = trimmed(sf_strerror(pFile_));
        return false;
    }

    SNDFILE* pFile_;
};

class StreamFile final : public RecordFile<BYTE> {
  public:
    explicit StreamFile(std::FILE* pFile) : pFile_(pFile) {}
    ~StreamFile() override { close(); }

    // Each batch goes to the system at once, so a killed program loses
    // only what it had not yet taken from its buffer.
    bool write(const BYTE* pOctets, std::size_t n) override {
        if (std::fwrite(pOctets, 1, n, pFile_) != n || std::fflush(pFile_) != 0)
            return failed();
        return true;
    }

    bool sync() override { return std::fflush(pFile_) == 0 || failed(); }

    bool close() override {
        if (pFile_ == nullptr)
            return szError_.empty();
        const int iResult = std::fclose(pFile_);
        pFile_ = nullptr;
        if (iResult != 0 && szError_.empty())
            szError_ = std::strerror(errno);
        return szError_.empty();
    }

  private:
    bool failed() {
        szError_ = std::strerror(errno);
        return false;
    }

    std::FILE* pFile_;
};

} // namespace

std::unique_ptr<RecordFile<float>> openWavFile(const std::string& szPath,
                                               const std::string& szComment, std::string& szError) {
    SF_INFO info{};
    info.samplerate = RECORD_RATE;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* pFile = sf_open(szPath.c_str(), SFM_WRITE, &info);
    if (pFile == nullptr) {
        szError = trimmed(sf_strerror(nullptr));
        return nullptr;
    }
    // Set before the first frame, the text goes into the header.
    sf_set_string(pFile, SF_STR_COMMENT, szComment.c_str());
    sf_set_string(pFile, SF_STR_SOFTWARE, "Velkor QX-4470 Control Program");
    auto file = std::make_unique<WavFile>(pFile);
    if (!file->sync()) {
        szError = file->error();
        return nullptr;
    }
    return file;
}

std::unique_ptr<RecordFile<BYTE>> openStreamFile(const std::string& szPath, std::string& szError) {
    std::FILE* pFile = std::fopen(szPath.c_str(), "wbx");
    if (pFile == nullptr) {
        szError = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<StreamFile>(pFile);
}

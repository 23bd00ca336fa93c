// Recordings made in a private directory, with a stand-in dialog that
// counts the notifications.
#pragma once

#include "record/record.h"
#include "record/recordname.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace recordtest {

// Frame k of a test recording: a value that 16 bits hold exactly.
inline float rampFrame(std::uint64_t k) {
    return static_cast<float>(static_cast<long>((k * 7) % 65536) - 32768) / 32768.0f;
}
inline short rampSample(std::uint64_t k) {
    return static_cast<short>(static_cast<long>((k * 7) % 65536) - 32768);
}

struct Notified : Window {
    BOOL post(UINT, WPARAM, LPARAM) override {
        ++iPosts;
        return TRUE;
    }
    std::atomic<int> iPosts{0};
};

struct WAV {
    SF_INFO info{};
    std::string szComment;
    std::vector<short> sample;
    bool bOpened = false;
};

inline WAV readWav(const std::string& szPath) {
    WAV wav;
    SNDFILE* pFile = sf_open(szPath.c_str(), SFM_READ, &wav.info);
    if (pFile == nullptr)
        return wav;
    wav.bOpened = true;
    if (const char* szComment = sf_get_string(pFile, SF_STR_COMMENT))
        wav.szComment = szComment;
    wav.sample.resize(static_cast<std::size_t>(wav.info.frames));
    wav.sample.resize(static_cast<std::size_t>(
        sf_read_short(pFile, wav.sample.data(), static_cast<sf_count_t>(wav.sample.size()))));
    sf_close(pFile);
    return wav;
}

class Recording : public testing::Test {
  protected:
    void SetUp() override {
        std::string szTemplate =
            (std::filesystem::temp_directory_path() / "velkor-record.XXXXXX").string();
        ASSERT_NE(mkdtemp(szTemplate.data()), nullptr);
        szTop = szTemplate;
        useDirectory(szTop + "/not/yet");
        recordOpen(&notified, WM_USER + 10);
    }
    void TearDown() override {
        recordClose();
        std::string szFault;
        while (recordTakeFault(szFault)) {
        }
        unsetenv(szRecordEnv);
        std::error_code error;
        std::filesystem::remove_all(szTop, error);
    }
    void useDirectory(const std::string& szDir) {
        szDir_ = szDir;
        setenv(szRecordEnv, szDir.c_str(), 1);
    }
    std::vector<std::string> faults() {
        std::vector<std::string> all;
        for (std::string szFault; recordTakeFault(szFault);)
            all.push_back(szFault);
        return all;
    }

    std::string szTop;
    std::string szDir_;
    Notified notified;
};

} // namespace recordtest

// Shared set-up for the tests that run the real link threads.
#pragma once

#include "audio/audio.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "protocol/comreceive.h"
#include "support/peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

namespace linktest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A working directory whose parent may hold the replay file; the old
// working directory comes back at the end.
struct ReplayDir {
    explicit ReplayDir(const std::string* content) {
        std::string pattern = (std::filesystem::temp_directory_path() / "velkor-XXXXXX").string();
        top = ::mkdtemp(pattern.data());
        std::filesystem::create_directory(top / "run");
        if (content) {
            std::FILE* f = std::fopen((top / "wwv.bin").c_str(), "wb");
            std::fwrite(content->data(), 1, content->size(), f);
            std::fclose(f);
        }
        old = std::filesystem::current_path();
        std::filesystem::current_path(top / "run");
    }
    ~ReplayDir() {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(top);
    }
    std::filesystem::path top;
    std::filesystem::path old;
};

// Every test starts from a quiet link and ends with the full close
// sequence, in the order shutdown runs it.
class Link : public testing::Test {
  protected:
    void SetUp() override {
        quiet = std::make_unique<ReplayDir>(nullptr); // no replay file unless a test makes one
        bStreaming = 0;
        bLock = FALSE;
        comReceiveSync();
    }
    void TearDown() override {
        execClose();
        updateClose();
        comClose();
        hDlgHandle = nullptr;
        quiet.reset();
    }

    // Opens the link on the peer's line and starts it.
    void startOn(peer::Peer& line) {
        ASSERT_EQ(comOpen(line.slavePath().c_str()), NO_ERROR);
        comStart();
    }

    // The next packet on QueueResponse, as the exec thread would take it;
    // "" when none comes within the time-out.
    static std::string nextResponse(std::chrono::milliseconds timeout = 2s) {
        if (WaitForSingleObject(QueueResponse.hQueue, static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0)
            return "";
        const char* p = dequeue(&QueueResponse, nullptr);
        return p ? p : "<empty>";
    }

    static void queue(const char* szPacket, int priority = MIN_PRIORITY) {
        enqueue(&QueueMessage, szPacket, priority);
    }

    std::unique_ptr<ReplayDir> quiet;

    // Waits until bStreaming has the wanted value.
    static bool waitForStreaming(int wanted, std::chrono::milliseconds timeout = 3s) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            if (bStreaming == wanted)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return bStreaming == wanted;
    }
};

// The link with the audio side switched on: the test itself takes the clips
// the framer hands over (AudioClip) and asks for more (GetMore).
class LinkWithAudio : public Link {
  protected:
    void SetUp() override {
        Link::SetUp();
        bAudioOn = TRUE;
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

} // namespace linktest

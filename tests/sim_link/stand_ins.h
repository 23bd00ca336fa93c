// Stand-ins for the dialog and the audio side when the real link threads
// run against the emulator.
#pragma once

#include "audio/audio.h"
#include "platform/sync.h"
#include "platform/window.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace simlink {

using Clock = std::chrono::steady_clock;

// A window that records every message posted to it, with its time.
class PostRecorder : public Window {
  public:
    struct Post {
        UINT uMsg;
        WPARAM wParam;
        LPARAM lParam;
        Clock::time_point when;
    };
    BOOL post(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard guard(lock_);
        posts_.push_back({uMsg, wParam, lParam, Clock::now()});
        return TRUE;
    }
    std::vector<Post> posts() const {
        std::lock_guard guard(lock_);
        return posts_;
    }
    std::size_t count(UINT uMsg, WPARAM wParam) const {
        std::lock_guard guard(lock_);
        std::size_t n = 0;
        for (const Post& p : posts_)
            n += p.uMsg == uMsg && p.wParam == wParam;
        return n;
    }
    std::size_t count(UINT uMsg, WPARAM wParam, LPARAM lParam) const {
        std::lock_guard guard(lock_);
        std::size_t n = 0;
        for (const Post& p : posts_)
            n += p.uMsg == uMsg && p.wParam == wParam && p.lParam == lParam;
        return n;
    }
    void clear() {
        std::lock_guard guard(lock_);
        posts_.clear();
    }

  private:
    mutable std::mutex lock_;
    std::vector<Post> posts_;
};

// The audio side of the clip hand-off: takes every clip the framer
// signals, keeps a copy, and asks for more at once.
class AudioStandIn {
  public:
    AudioStandIn() {
        bAudioOn = TRUE; // the framer hands clips over
        hAudioClip = CreateEventA(nullptr, FALSE, FALSE, "AudioClip");
        hGetMore = CreateEventA(nullptr, FALSE, FALSE, "GetMore");
        thread_ = std::thread([this] { run(); });
    }
    // Call only after the link is closed: the framer may wait on hGetMore.
    ~AudioStandIn() {
        bStop_ = true;
        thread_.join();
        bAudioOn = FALSE;
        CloseHandle(hAudioClip);
        CloseHandle(hGetMore);
        hAudioClip = nullptr;
        hGetMore = nullptr;
    }
    std::size_t clips() const {
        std::lock_guard guard(lock_);
        return clips_.size();
    }
    std::vector<std::vector<BYTE>> clipsCopy() const {
        std::lock_guard guard(lock_);
        return clips_;
    }

  private:
    void run() {
        while (!bStop_) {
            if (WaitForSingleObject(hAudioClip, 20) != WAIT_OBJECT_0)
                continue;
            {
                std::lock_guard guard(lock_);
                clips_.emplace_back(ucAudioClip.begin(), ucAudioClip.end());
            }
            SetEvent(hGetMore);
        }
    }

    std::atomic<bool> bStop_{false};
    mutable std::mutex lock_;
    std::vector<std::vector<BYTE>> clips_;
    std::thread thread_;
};

} // namespace simlink

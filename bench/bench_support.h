// What the link benchmarks share: time in milliseconds, percentiles, a
// window that notes the time of every RADIO notification, and the running
// link.
#pragma once

#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "platform/window.h"
#include "protocol/comreceive.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

inline double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(k, values.size() - 1)];
}

// Notes the time of every RADIO post.
class RadioPosts : public Window {
  public:
    BOOL post(UINT uMsg, WPARAM wParam, LPARAM) override {
        if (uMsg == IDUPDATE && wParam == RADIO) {
            const auto now = Clock::now();
            std::lock_guard guard(lock_);
            times_.push_back(now);
            posted_.notify_all();
        }
        return TRUE;
    }
    std::size_t count() {
        std::lock_guard guard(lock_);
        return times_.size();
    }
    // The time of post number `index` (counting from 0), once it is there.
    std::optional<Clock::time_point> post(std::size_t index) {
        std::lock_guard guard(lock_);
        if (index < times_.size())
            return times_[index];
        return std::nullopt;
    }
    // Waits (without polling, so the wait takes no CPU from the threads
    // measured) until post number `index` is there or `limit` has passed.
    std::optional<Clock::time_point> waitFor(std::size_t index, Clock::duration limit) {
        std::unique_lock guard(lock_);
        if (!posted_.wait_for(guard, limit, [&] { return index < times_.size(); }))
            return std::nullopt;
        return times_[index];
    }

  private:
    std::mutex lock_;
    std::condition_variable posted_;
    std::vector<Clock::time_point> times_;
};

// The link, exec and (optionally) poll threads on a port, for one scope.
struct RunningLink {
    RunningLink(const std::string& szPort, bool bPoll, Window* pWindow) {
        bStreaming = 0;
        bLock = FALSE;
        comReceiveSync();
        hDlgHandle = pWindow;
        bOk = comOpen(szPort.c_str()) == NO_ERROR && execOpen() == NO_ERROR &&
              (!bPoll || updateOpen() == NO_ERROR);
        comStart();
        execStart();
        if (bPoll)
            updateStart();
    }
    ~RunningLink() {
        execClose();
        updateClose();
        comClose();
        hDlgHandle = nullptr;
    }
    RunningLink(const RunningLink&) = delete;
    RunningLink& operator=(const RunningLink&) = delete;
    bool bOk = false;
};

} // namespace bench

// A scripted stand-in for the receiver on a pseudo-terminal.
#include "support/peer.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace peer {

Peer::Peer(Script script) : script_(std::move(script)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath_ = ::ptsname(master_);
    guard_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (guard_ < 0)
        throw std::runtime_error("cannot open the slave side");
    // No echo or translation until the program under test sets the line up.
    termios tio{};
    ::tcgetattr(guard_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(guard_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread(&Peer::run, this);
}

Peer::~Peer() {
    stop();
    if (master_ >= 0)
        ::close(master_);
    if (guard_ >= 0)
        ::close(guard_);
}

void Peer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (thread_.joinable())
        thread_.join();
}

void Peer::setScript(Script script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

void Peer::send(const std::string& octets, std::chrono::milliseconds settle) {
    std::size_t done = 0;
    while (done < octets.size()) {
        const ssize_t n = ::write(master_, octets.data() + done, octets.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    std::this_thread::sleep_for(settle);
}

void Peer::schedule(Pending p) {
    auto at = pending_.begin();
    while (at != pending_.end() && at->due <= p.due)
        ++at;
    pending_.insert(at, std::move(p));
}

void Peer::setReading(bool reading) {
    std::lock_guard lock(mutex_);
    reading_ = reading;
}

void Peer::unplug() {
    stop();
    ::close(master_);
    ::close(guard_);
    master_ = guard_ = -1;
}

std::vector<Arrival> Peer::arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
}

std::string Peer::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

bool Peer::waitForCommands(std::size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return arrivals_.size() >= n; });
}

void Peer::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        // Write what is due.
        while (!pending_.empty() && pending_.front().due <= Clock::now()) {
            const Pending p = pending_.front();
            pending_.pop_front();
            std::size_t done = 0;
            while (done < p.octets.size()) {
                const ssize_t n = ::write(master_, p.octets.data() + done, p.octets.size() - done);
                if (n > 0)
                    done += static_cast<std::size_t>(n);
                else
                    break;
            }
            if (p.last && p.arrival < arrivals_.size())
                arrivals_[p.arrival].answered = Clock::now();
        }
        int timeoutMs = 2;
        if (!pending_.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                pending_.front().due - Clock::now());
            timeoutMs = static_cast<int>(std::clamp<long>(left.count(), 0, 2));
        }
        const short events = reading_ ? POLLIN : 0;
        lock.unlock();
        pollfd fd{master_, events, 0};
        ::poll(&fd, 1, timeoutMs);
        lock.lock();
        if (!reading_ || (fd.revents & POLLIN) == 0)
            continue;
        char buffer[256];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        const auto now = Clock::now();
        for (ssize_t i = 0; i < n; ++i) {
            if (partial_.empty())
                partialFirst_ = now;
            partial_ += buffer[i];
            received_ += buffer[i];
            if (buffer[i] != '\r')
                continue;
            arrivals_.push_back({partial_, partialFirst_, now, now});
            const Answer answer = script_ ? script_(partial_) : Answer{};
            auto due = now;
            for (std::size_t c = 0; c < answer.size(); ++c) {
                due += answer[c].delay;
                schedule({due, answer[c].octets, arrivals_.size() - 1, c + 1 == answer.size()});
            }
            partial_.clear();
            changed_.notify_all();
        }
    }
}

} // namespace peer

#include "client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

Client::Client(const std::string& szPath) {
    fd_ = ::open(szPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0)
        return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
}

Client::~Client() {
    if (fd_ >= 0)
        ::close(fd_);
}

void Client::send(std::string_view text) {
    [[maybe_unused]] const auto n = ::write(fd_, text.data(), text.size());
}

namespace {

// Waits for at most `until`; returns one octet, or -1.
int readOctet(int fd, Client::Clock::time_point until) {
    for (;;) {
        char c = 0;
        if (::read(fd, &c, 1) == 1)
            return static_cast<unsigned char>(c);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Client::Clock::now());
        if (left.count() <= 0)
            return -1;
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count()) + 1) <= 0 || (pfd.revents & POLLHUP))
            if (Client::Clock::now() >= until || (pfd.revents & POLLHUP))
                return -1;
    }
}

} // namespace

std::string Client::read(std::size_t count, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    std::string out;
    while (out.size() < count) {
        const int c = readOctet(fd_, until);
        if (c < 0)
            break;
        out += static_cast<char>(c);
    }
    return out;
}

std::string Client::readLine(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    std::string out;
    for (;;) {
        const int c = readOctet(fd_, until);
        if (c < 0)
            break;
        out += static_cast<char>(c);
        if (c == '\r')
            break;
    }
    return out;
}

std::string Client::readFor(std::chrono::milliseconds duration) {
    const auto until = Clock::now() + duration;
    std::string out;
    for (int c; (c = readOctet(fd_, until)) >= 0;)
        out += static_cast<char>(c);
    return out;
}

std::string tempPath(const std::string& szName) {
    return "/tmp/" + szName + "-" + std::to_string(::getpid());
}

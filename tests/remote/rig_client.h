// A network rig-control client for tests: one TCP connection on
// loopback, a line sent, the answer lines read back.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class RigClient {
  public:
    explicit RigClient(unsigned short port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RigClient() { disconnect(); }
    RigClient(const RigClient&) = delete;
    RigClient& operator=(const RigClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void disconnect() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }
    // Closes with a reset: what the server still sends finds no one.
    void abort() {
        const linger hard{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        disconnect();
    }

    // Sends raw octets; false when the server has closed.
    bool send(const std::string& octets) {
        std::size_t sent = 0;
        while (sent < octets.size()) {
            const ssize_t n = ::send(fd_, octets.data() + sent, octets.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One answer line without its LF; nothing after the time-out or when
    // the server has closed.
    std::optional<std::string> line(std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto lf = buffer_.find('\n'); lf != std::string::npos) {
                std::string szLine = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return szLine;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count())))
                return std::nullopt;
        }
    }

    // Sends one command line and reads n answer lines (fewer when the
    // server stops answering).
    std::vector<std::string> ask(const std::string& command, std::size_t n = 1) {
        std::vector<std::string> lines;
        if (!send(command + "\n"))
            return lines;
        while (lines.size() < n) {
            auto next = line();
            if (!next)
                break;
            lines.push_back(*next);
        }
        return lines;
    }
    std::string ask1(const std::string& command) {
        const auto lines = ask(command);
        return lines.empty() ? "<none>" : lines[0];
    }

    // True when the server closes the connection within the time-out
    // (answers that arrive before are dropped).
    bool closedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char octets[4096];
            const ssize_t n = recv(fd_, octets, sizeof octets, 0);
            if (n <= 0)
                return true;
        }
        return false;
    }

  private:
    bool readSome(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return false;
        char octets[4096];
        const ssize_t n = recv(fd_, octets, sizeof octets, 0);
        if (n <= 0)
            return false;
        buffer_.append(octets, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    std::string buffer_;
};

// A network rig-control client for tests: one TCP connection on
// loopback, a line sent, the answer lines read back. Also the common
// rig-control library's own client and daemon (Debian libhamlib-utils),
// run as programs, as loggers and decoders reach a server through it.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

// The library's programs, where the package is installed.
inline constexpr const char* szRigctl = "/usr/bin/rigctl";
inline constexpr const char* szRigctld = "/usr/bin/rigctld";
inline bool rigToolsInstalled() {
    return access(szRigctl, X_OK) == 0 && access(szRigctld, X_OK) == 0;
}

// Runs the library's client on the network model against port: one
// connection, each argument a command or its value. Returns what it
// printed, errors included (it prints them on standard output, and exits
// 0 whatever a command answered).
inline std::string runRigctl(unsigned short port, const std::string& szCommands) {
    const std::string szLine = std::string(szRigctl) +
                               " -m 2 -r 127.0.0.1:" + std::to_string(port) + " " + szCommands +
                               " 2>&1";
    std::FILE* pOut = popen(szLine.c_str(), "r");
    if (pOut == nullptr)
        return "<rigctl did not start>";
    std::string szOutput;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pOut)) > 0;)
        szOutput.append(buffer, n);
    const int status = pclose(pOut);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        szOutput += "<rigctl exit status " + std::to_string(status) + ">";
    return szOutput;
}

// A free loopback port (another program may still take it first).
inline unsigned short freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

// The library's daemon on the network model: a proxy on port() in front
// of the server on serverPort, as a shack runs it to share one rig among
// programs. Stopped when destroyed.
class RigctldProxy {
  public:
    explicit RigctldProxy(unsigned short serverPort) : port_(freeLoopbackPort()) {
        const std::string szServer = "127.0.0.1:" + std::to_string(serverPort);
        const std::string szPort = std::to_string(port_);
        const char* argv[] = {szRigctld, "-m",        "2",  "-r",           szServer.c_str(),
                              "-T",      "127.0.0.1", "-t", szPort.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, szRigctld, &actions, nullptr, const_cast<char**>(argv), environ) !=
            0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        // Listening once a connection is taken.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && std::chrono::steady_clock::now() < until) {
            RigClient probe(port_);
            if (probe.connected()) {
                bListening_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~RigctldProxy() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    RigctldProxy(const RigctldProxy&) = delete;
    RigctldProxy& operator=(const RigctldProxy&) = delete;

    bool listening() const { return bListening_; }
    unsigned short port() const { return port_; }

  private:
    unsigned short port_;
    pid_t pid_ = -1;
    bool bListening_ = false;
};

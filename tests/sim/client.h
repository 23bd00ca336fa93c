// The far end of the emulator's pseudo-terminal, as a test sees it.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

class Client {
  public:
    using Clock = std::chrono::steady_clock;

    // Opens the slave path raw, as the serial link does.
    explicit Client(const std::string& szPath);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void send(std::string_view text);

    // Reads until count octets have come or the time-out passes.
    std::string read(std::size_t count, std::chrono::milliseconds timeout);
    // Reads up to and including the next CR, or until the time-out.
    std::string readLine(std::chrono::milliseconds timeout);
    // Everything that arrives within the given time.
    std::string readFor(std::chrono::milliseconds duration);

  private:
    int fd_ = -1;
};

// A path in the test's temporary directory that no other test process
// uses at the same time.
std::string tempPath(const std::string& szName);

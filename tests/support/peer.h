// A scripted stand-in for the receiver on a pseudo-terminal.
//
// The peer holds the master side and keeps a guard descriptor open on
// the slave side, so the line does not hang up before (or after) the
// program under test opens it. It records when each command (text up to
// CR) arrives and answers it as the script says, with optional delays
// between the chunks of the answer; reading goes on during the delays,
// so arrival times stay exact.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace peer {

using Clock = std::chrono::steady_clock;

struct Chunk {
    std::chrono::milliseconds delay; // after the previous chunk (or the command)
    std::string octets;
};
using Answer = std::vector<Chunk>;
using Script = std::function<Answer(const std::string& command)>;

struct Arrival {
    std::string command;        // with its CR
    Clock::time_point first;    // first octet read
    Clock::time_point last;     // CR read
    Clock::time_point answered; // last chunk of the answer written (= last when none)
};

class Peer {
  public:
    explicit Peer(Script script = {});
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // "//./" plus the slave path: the port name CreateFileA takes.
    std::string device() const { return "//./" + slavePath_; }

    void setScript(Script script);
    // Writes octets now, outside any answer; they wait in the port when
    // this returns (after `settle`: the line passes octets on through a
    // kernel worker).
    void send(const std::string& octets,
              std::chrono::milliseconds settle = std::chrono::milliseconds(20));
    // Closes master and guard: the line hangs up for good.
    void unplug();
    // Stops reading (the line's buffers fill up), or starts again.
    void setReading(bool reading);

    std::vector<Arrival> arrivals();
    std::string received(); // every octet read so far
    // Waits until n commands have arrived, at most `timeout`.
    bool waitForCommands(std::size_t n, std::chrono::milliseconds timeout);

  private:
    void run();
    void stop();

    int master_ = -1;
    int guard_ = -1;
    std::string slavePath_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Script script_;
    bool stopping_ = false;
    bool reading_ = true;
    std::string partial_;
    std::string received_;
    Clock::time_point partialFirst_{};
    std::vector<Arrival> arrivals_;
    struct Pending {
        Clock::time_point due;
        std::string octets;
        std::size_t arrival; // index into arrivals_, or npos for send()
        bool last;
    };
    void schedule(Pending p);
    std::deque<Pending> pending_;
    std::thread thread_;
};

} // namespace peer

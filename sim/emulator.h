// The receiver on a pseudo-terminal, running on a thread of its own.
//
// Construct an Emulator, point the serial link at slavePath(), and read
// log() to see what reached the receiver and when. The line runs at
// 57600 baud, 8N1 (5760 octets/s) in both directions unless
// EmulatorOptions::bPaced is false: what the receiver sends is paced, and
// a command counts as received (and is answered) only when its last octet
// would have crossed the line. The receiver's commands and answers are
// described in sim/receiver.h, the front-panel commands in
// frontPanelHelp().
//
// A restart ("XX" or the front panel's "restart") finishes the answer
// that is going out and drops those not yet begun, keeps silent for
// RESTART_SILENCE (commands that arrive then are logged but not carried
// out), returns to the power-on state (15 MHz, AM, step 2500, unlocked;
// memory channels kept) and then sends START_ANNOUNCEMENT.
//
// After "unplug" the pseudo-terminal is closed (the slave path and the
// symlink disappear); the emulator then does nothing until it is stopped
// or replugged. "replug" closes the pseudo-terminal (when it is open) and
// opens a new one, with a new slave path, behind the same symlink, as a
// USB adapter that comes back under the same udev name; the receiver
// keeps its state.
#pragma once

#include "sim/signalmodel.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How long the S-meter takes after a tuning to reach the new frequency's
// reading. A synthesizer of this kind locks in a few milliseconds; the
// AGC that drives the meter attacks with a time constant of 10-20 ms and
// is within a fraction of an S-unit of its final value after about three,
// so a reading is right some 50 ms after the tuning and not before.
inline constexpr std::chrono::milliseconds DEFAULT_SETTLE{50};

struct EmulatorOptions {
    bool bPaced = true;       // 5760 octets/s; false: every octet at once
    bool bUsbPackets = false; // start with USB-adapter packet delivery
    std::string szRecordPath; // every octet sent, in order ("" for none)
    std::string szLogPath;    // one line per received command ("" for none)
    std::string szLinkPath;   // a symlink to the slave path ("" for none)
    bool bKeepLog = true;     // keep log() in memory (a long run may not want to)
    std::chrono::milliseconds settle = DEFAULT_SETTLE; // S-meter settle time after a tuning
    std::optional<std::vector<BandStation>> stations;  // the band; nothing: the built-in plan
};

struct CommandRecord {
    using TimePoint = std::chrono::steady_clock::time_point;
    std::string szCommand; // the line as received, without its CR
    TimePoint received;    // when its CR arrived
    // First and last octet of the answer, as they were handed to the
    // pseudo-terminal; empty when the command got no answer (yet).
    std::optional<TimePoint> answerStart;
    std::optional<TimePoint> answerEnd;
};

class Emulator {
  public:
    static constexpr double LINE_RATE = 5760.0; // octets per second
    static constexpr std::chrono::milliseconds RESTART_SILENCE{500};
    static constexpr std::size_t USB_PACKET = 62;               // octets
    static constexpr std::chrono::milliseconds USB_LATENCY{16}; // the adapter's timer
    static constexpr std::size_t DROP_OFFSET = 150; // octet of a frame that "drop" loses

    // Opens the pseudo-terminal and starts the receiver. Throws
    // std::system_error when the pseudo-terminal, the record or log file
    // or the symlink cannot be made.
    explicit Emulator(const EmulatorOptions& options = {});
    ~Emulator(); // stops
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // The path a client opens as its serial port (a new one after "replug").
    std::string slavePath() const;

    // One front-panel command line. Returns "ok", a status text (the new
    // slave path for "replug"), or a text that begins with "error:" when
    // the command is refused.
    std::string frontPanel(std::string_view line);

    // Every command line received so far, in order of arrival (empty
    // unless EmulatorOptions::bKeepLog).
    std::vector<CommandRecord> log() const;

    // Waits until a command line equal to szCommand arrives at or after
    // notBefore (earlier ones count too). Returns its record, or nothing
    // after the time-out. Needs EmulatorOptions::bKeepLog.
    std::optional<CommandRecord> waitForCommand(std::string_view szCommand,
                                                CommandRecord::TimePoint notBefore,
                                                std::chrono::milliseconds timeout);

    // Octets sent since the start (garbage and announcements included).
    std::size_t octetsSent() const;

    bool unplugged() const;

    // Stops the receiver thread and closes everything. Idempotent.
    void stop();

    static const char* frontPanelHelp();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

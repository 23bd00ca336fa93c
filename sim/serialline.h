// The receiver's way out: its serial transmitter, which sends one octet
// every 1/5760 s (or at once when not paced), optionally followed by a
// USB serial adapter that hands octets on in packets of USB_PACKET, or
// fewer when USB_LATENCY has passed since the first octet of a packet.
#pragma once

#include "platform/types.h"

#include <chrono>
#include <deque>
#include <optional>

class SerialLine {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Duration = Clock::duration;

    static constexpr double LINE_RATE = 5760.0;                 // octets per second
    static constexpr std::size_t USB_PACKET = 62;               // octets
    static constexpr std::chrono::milliseconds USB_LATENCY{16}; // the adapter's timer

    // One octet on its way out, with what the sender wants to know of it.
    struct Octet {
        BYTE ucOctet;
        TimePoint notBefore; // may not start on the line earlier
        Duration gapBefore;  // silence on the line before it
        int iTag;            // the sender's own mark
        bool bFirst;         // first octet of an answer
        bool bLast;          // last octet of an answer
    };

    explicit SerialLine(bool bPaced) : bPaced_(bPaced) {}

    // The time one octet takes on the line.
    static Duration octetTime();

    void push(const Octet& octet) { line_.push_back(octet); }
    // Drops everything not yet handed on.
    void clear();
    // Drops every answer that has not begun; the rest of one that is
    // going out still goes, so the far end never sees half a line.
    void clearUnstarted();
    void setUsb(bool bUsb) { bUsb_ = bUsb; }
    bool sending() const { return !line_.empty(); }

    // Appends to `ready` every octet that has reached the far end of the
    // line (and of the adapter) by `now`. Returns when the next one is due.
    std::optional<TimePoint> deliver(TimePoint now, std::deque<Octet>& ready);
    // When the far end will hold the end of the answer now going out (its
    // last octet, or the adapter's packet that carries it), if that is
    // known: the sender wakes then, not at its next pacing step, so that
    // answers are not held past their time on the line.
    std::optional<TimePoint> answerEnd() const;

  private:
    bool bPaced_;
    bool bUsb_ = false;
    std::deque<Octet> line_;
    std::deque<Octet> usb_;
    TimePoint lineFree_{}; // when the transmitter finished its last octet
    TimePoint usbDeadline_{};
    bool bMidAnswer_ = false; // the last octet sent was not the end of its answer
};

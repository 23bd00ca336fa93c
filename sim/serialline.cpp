// The receiver's transmitter and the USB adapter behind it.
#include "sim/serialline.h"

#include <algorithm>

namespace {

const SerialLine::Duration OCTET_TIME = std::chrono::duration_cast<SerialLine::Duration>(
    std::chrono::duration<double>(1.0 / SerialLine::LINE_RATE));

} // namespace

SerialLine::Duration SerialLine::octetTime() {
    return OCTET_TIME;
}

void SerialLine::clear() {
    line_.clear();
    usb_.clear();
    bMidAnswer_ = false;
}

void SerialLine::clearUnstarted() {
    if (!bMidAnswer_) {
        line_.clear();
        return;
    }
    const auto end =
        std::find_if(line_.begin(), line_.end(), [](const Octet& o) { return o.bLast; });
    line_.erase(end == line_.end() ? end : end + 1, line_.end());
}

std::optional<SerialLine::TimePoint> SerialLine::deliver(TimePoint now, std::deque<Octet>& ready) {
    const Duration octetTime = bPaced_ ? OCTET_TIME : Duration::zero();
    std::optional<TimePoint> next;
    while (!line_.empty()) {
        const Octet& octet = line_.front();
        // An idle line starts the octet when it is allowed to; a busy one
        // right after the previous octet, so late wake-ups keep the rate.
        const TimePoint begin = std::max(lineFree_ + octet.gapBefore, octet.notBefore);
        const TimePoint arrive = begin + octetTime;
        if (arrive > now) {
            next = arrive;
            break;
        }
        lineFree_ = arrive;
        bMidAnswer_ = !octet.bLast;
        if (bUsb_) {
            if (usb_.empty())
                usbDeadline_ = arrive + USB_LATENCY;
            usb_.push_back(octet);
            if (usb_.size() >= USB_PACKET) {
                ready.insert(ready.end(), usb_.begin(), usb_.end());
                usb_.clear();
            }
        } else {
            ready.push_back(octet);
        }
        line_.pop_front();
    }
    if (!usb_.empty()) {
        if (!bUsb_ || now >= usbDeadline_) {
            ready.insert(ready.end(), usb_.begin(), usb_.end());
            usb_.clear();
        } else if (!next || usbDeadline_ < *next) {
            next = usbDeadline_;
        }
    }
    return next;
}

std::optional<SerialLine::TimePoint> SerialLine::answerEnd() const {
    if (bUsb_)
        return usb_.empty() ? std::nullopt : std::optional(usbDeadline_);
    const Duration octetTime = bPaced_ ? OCTET_TIME : Duration::zero();
    TimePoint free = lineFree_;
    for (const Octet& octet : line_) {
        free = std::max(free + octet.gapBefore, octet.notBefore) + octetTime;
        if (octet.bLast)
            return free;
    }
    return std::nullopt;
}

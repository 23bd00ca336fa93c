// The transmitter's pace and the USB adapter's packets, on a made-up clock.
#include "sim/serialline.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using TimePoint = SerialLine::TimePoint;

const TimePoint T0 = TimePoint{} + 1h;

// The time n octets take at the line rate, rounded up to the nanosecond.
SerialLine::Duration octets(double n) {
    return std::chrono::nanoseconds(static_cast<long long>(n * 1e9 / SerialLine::LINE_RATE) + 1);
}

void push(SerialLine& line, std::size_t n, TimePoint notBefore, SerialLine::Duration gap = {}) {
    for (std::size_t i = 0; i < n; ++i)
        line.push({static_cast<BYTE>(i), notBefore, i == 0 ? gap : SerialLine::Duration{}, -1,
                   i == 0, i + 1 == n});
}

TEST(SerialLine, SendsAtTheLineRateAndKeepsItWhenWokenLate) {
    SerialLine line(true);
    std::deque<SerialLine::Octet> ready;
    push(line, 100, T0);
    auto next = line.deliver(T0, ready);
    EXPECT_TRUE(ready.empty());
    ASSERT_TRUE(next);
    EXPECT_NEAR(std::chrono::duration<double>(*next - T0).count(), 1 / 5760.0, 1e-6);
    line.deliver(T0 + octets(10), ready);
    EXPECT_EQ(ready.size(), 10u);
    // Woken late: everything due is there, and no more.
    line.deliver(T0 + octets(60), ready);
    EXPECT_EQ(ready.size(), 60u);
    line.deliver(T0 + octets(100), ready);
    EXPECT_EQ(ready.size(), 100u);
    EXPECT_FALSE(line.sending());
    // An idle line does not make up for lost time: the next octet starts
    // when it is queued.
    const TimePoint later = T0 + 1s;
    push(line, 10, later);
    line.deliver(later + octets(5), ready);
    EXPECT_EQ(ready.size(), 105u);
}

TEST(SerialLine, HoldsAPauseAndALatency) {
    SerialLine line(true);
    std::deque<SerialLine::Octet> ready;
    push(line, 4, T0);
    push(line, 4, T0, 20ms); // a pause before the second half
    line.deliver(T0 + octets(8), ready);
    EXPECT_EQ(ready.size(), 4u);
    line.deliver(T0 + 20ms + octets(8), ready);
    EXPECT_EQ(ready.size(), 8u);
    // The sender wakes for the end of an answer, past any pause in it.
    EXPECT_FALSE(line.answerEnd());
    push(line, 6, T0 + 100ms);
    push(line, 6, T0 + 100ms, 20ms);
    ASSERT_TRUE(line.answerEnd());
    EXPECT_NEAR(std::chrono::duration<double>(*line.answerEnd() - T0).count(), 0.1 + 6 / 5760.0,
                1e-6);
    line.deliver(T0 + 100ms + octets(6), ready);
    EXPECT_NEAR(std::chrono::duration<double>(*line.answerEnd() - T0).count(), 0.12 + 12 / 5760.0,
                1e-6);
    line.deliver(T0 + 1s, ready);
    EXPECT_EQ(ready.size(), 20u);
    ready.resize(8);

    push(line, 3, T0 + 1s); // an answer that may start only 1 s on
    line.deliver(T0 + 999ms, ready);
    EXPECT_EQ(ready.size(), 8u);
    line.deliver(T0 + 1s + octets(3), ready);
    EXPECT_EQ(ready.size(), 11u);
}

TEST(SerialLine, UsbAdapterDeliversFullPacketsOrAfterItsTimer) {
    SerialLine line(true);
    line.setUsb(true);
    std::deque<SerialLine::Octet> ready;
    push(line, 270, T0);
    line.deliver(T0 + octets(61), ready);
    EXPECT_EQ(ready.size(), 0u);
    line.deliver(T0 + octets(62), ready);
    EXPECT_EQ(ready.size(), 62u);
    line.deliver(T0 + octets(247), ready);
    EXPECT_EQ(ready.size(), 186u);
    auto next = line.deliver(T0 + octets(270), ready);
    EXPECT_EQ(ready.size(), 248u);
    // The last 22 octets wait for the latency timer, counted from the
    // first of them.
    ASSERT_TRUE(next);
    EXPECT_NEAR(std::chrono::duration<double>(*next - T0).count(), 249 / 5760.0 + 0.016, 1e-6);
    EXPECT_EQ(line.answerEnd(), next); // the adapter's timer hands the end on
    line.deliver(*next - 1us, ready);
    EXPECT_EQ(ready.size(), 248u);
    line.deliver(*next, ready);
    EXPECT_EQ(ready.size(), 270u);

    // Switched off, what the adapter holds goes out at once.
    push(line, 5, T0 + 1s);
    line.deliver(T0 + 1s + octets(5), ready);
    EXPECT_EQ(ready.size(), 270u);
    line.setUsb(false);
    line.deliver(T0 + 1s + octets(5), ready);
    EXPECT_EQ(ready.size(), 275u);
}

TEST(SerialLine, UnpacedLineStillMakesPackets) {
    SerialLine line(false);
    line.setUsb(true);
    std::deque<SerialLine::Octet> ready;
    push(line, 130, T0);
    auto next = line.deliver(T0, ready);
    EXPECT_EQ(ready.size(), 124u);
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, T0 + SerialLine::USB_LATENCY);
    line.deliver(*next, ready);
    EXPECT_EQ(ready.size(), 130u);
    line.clear();
    EXPECT_FALSE(line.sending());
}

TEST(SerialLine, ARestartLetsTheLineGoingOutFinish) {
    SerialLine line(true);
    std::deque<SerialLine::Octet> ready;
    push(line, 6, T0);  // an answer, half sent
    push(line, 12, T0); // the next, not begun
    line.deliver(T0 + octets(3), ready);
    line.clearUnstarted();
    line.deliver(T0 + 1s, ready);
    EXPECT_EQ(ready.size(), 6u);
    EXPECT_TRUE(ready.back().bLast);

    // Between answers nothing is kept.
    push(line, 4, T0 + 2s);
    line.clearUnstarted();
    line.deliver(T0 + 3s, ready);
    EXPECT_EQ(ready.size(), 6u);
}

} // namespace

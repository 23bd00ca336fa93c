// The stream against a receiver that loses an octet or never streams,
// through the real link, exec and poll threads and the audio pipeline
// (a stand-in sound clock plays the device): the stream resumes, the
// panel keeps following the receiver, and polling comes back.
#include "audio/audio.h"
#include "link/comthread.h"
#include "protocol/comexecute.h"
#include "sim/signalmodel.h"
#include "tools/measure/audiorun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!condition() && Clock::now() < until)
        std::this_thread::sleep_for(2ms);
    return condition();
}

bool isPoll(const CommandRecord& record) {
    return record.szCommand != "?RMC" && record.szCommand != "*RMC";
}

// When the first status query after since reached the receiver.
std::optional<Clock::time_point> firstPoll(Emulator& emulator, Clock::time_point since,
                                           std::chrono::milliseconds timeout) {
    std::optional<Clock::time_point> found;
    waitUntil(
        [&] {
            for (const CommandRecord& record : emulator.log())
                if (record.received > since && isPoll(record)) {
                    found = record.received;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

class DroppedOctet : public testing::TestWithParam<bool> {};

TEST_P(DroppedOctet, CostsOneFrameAndTheStreamResumes) {
    const bool bUsb = GetParam();
    AudioLinkRun run(false, TEST_TONE_FREQUENCY);
    if (bUsb) {
        ASSERT_EQ(run.emulator().frontPanel("usb on"), "ok");
    }
    ASSERT_EQ(run.open(), NO_ERROR);
    std::this_thread::sleep_for(200ms);
    run.enable();
    ASSERT_TRUE(waitUntil([] { return audioCounters.ulClipsTaken.load() >= 10; }, 3s));

    const std::uint64_t ulUnderruns = audioCounters.ulUnderruns;
    const auto dropped = Clock::now();
    ASSERT_EQ(run.emulator().frontPanel("drop"), "ok");
    ASSERT_TRUE(waitUntil([] { return linkCounters.ulFramesAbandoned.load() >= 1; }, 2s));
    const std::uint64_t ulClips = audioCounters.ulClipsTaken;
    ASSERT_TRUE(waitUntil([&] { return audioCounters.ulClipsTaken.load() >= ulClips + 5; }, 2s))
        << "the stream did not resume";

    // The stream resumed with the request that followed the short frame:
    // the longest wait from a frame's last octet to the next request
    // since the drop (the receiver may have taken the drop a moment
    // before the test's clock read). Its silence is 100 ms, and the bound
    // allowed is 200 ms plus 100 ms for a loaded machine.
    std::optional<CommandRecord> previous;
    double resumeMs = 0;
    for (const CommandRecord& record : run.emulator().log()) {
        if (record.szCommand != "?RMC" || record.received < dropped - 200ms)
            continue;
        if (previous && previous->answerEnd)
            resumeMs = std::max(resumeMs, ms(record.received - *previous->answerEnd));
        previous = record;
    }
    std::printf("usb %s: next request %.0f ms after the short frame's last octet, %llu blocks "
                "of silence\n",
                bUsb ? "on" : "off", resumeMs,
                static_cast<unsigned long long>(audioCounters.ulUnderruns.load() - ulUnderruns));
    EXPECT_GE(resumeMs, 0.8 * ms(FRAME_SILENCE));
    EXPECT_LT(resumeMs, 300.0);
    EXPECT_EQ(linkCounters.ulFramesAbandoned.load(), 1u);
    EXPECT_EQ(linkCounters.ulRequestsUnanswered.load(), 0u);

    // The panel keeps following the receiver through the status records.
    run.emulator().frontPanel("tune 14201000");
    run.emulator().frontPanel("mode cw");
    EXPECT_TRUE(waitUntil(
        [] { return radio.ulFrequency.load() == 14201000 && radio.uMode.load() == MODE_CW; }, 2s));
    EXPECT_EQ(bStreaming, 1);
    EXPECT_FALSE(run.polledSince(dropped)) << "the poll ran while the stream did";

    // Clearing "Enable": the frame in flight ends the stream, and the
    // poll's next cycle resumes polling. Allowed: one poll period, two
    // frames still in flight, and 100 ms for a loaded machine.
    const auto off = Clock::now();
    run.disable();
    const auto polled = firstPoll(run.emulator(), off, 2s);
    ASSERT_TRUE(polled) << "polling did not resume";
    std::printf("usb %s: polling resumed %.0f ms after Enable was cleared\n", bUsb ? "on" : "off",
                ms(*polled - off));
    EXPECT_LT(ms(*polled - off), 100.0 + 2 * 65.0 + 100.0);
    run.close();
}

INSTANTIATE_TEST_SUITE_P(UsbAdapter, DroppedOctet, testing::Bool(),
                         [](const auto& info) { return info.param ? "UsbOn" : "UsbOff"; });

TEST(NeverStreams, PollingResumesWithinHalfASecondOfEnable) {
    AudioLinkRun run(false, TEST_TONE_FREQUENCY);
    ASSERT_EQ(run.open(), NO_ERROR);
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency.load() == TEST_TONE_FREQUENCY; }, 2s));
    // A receiver that answers nothing at all, the audio request included.
    ASSERT_EQ(run.emulator().frontPanel("silent on"), "ok");
    std::this_thread::sleep_for(50ms);
    const auto ticked = Clock::now();
    run.enable();
    // Three requests of 100 ms each, then the poll's next cycle: about
    // 0.3 to 0.4 s. Allowed: half a second plus 250 ms for a loaded
    // machine.
    ASSERT_TRUE(waitUntil([] { return bStreaming.load() == 0; }, 2s));
    const auto polled = firstPoll(run.emulator(), ticked, 2s);
    ASSERT_TRUE(polled) << "polling did not resume";
    std::printf("polling resumed %.0f ms after Enable was ticked\n", ms(*polled - ticked));
    EXPECT_LT(ms(*polled - ticked), 750.0);
    EXPECT_EQ(linkCounters.ulRequestsUnanswered.load(),
              static_cast<std::uint64_t>(MAX_UNANSWERED_REQUESTS));
    EXPECT_EQ(linkCounters.ulStreamsEnded.load(), 1u);

    // The panel follows the receiver again once it answers.
    run.emulator().frontPanel("silent off");
    run.emulator().frontPanel("tune 7000000");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency.load() == 7000000; }, 2s));
    // No request for a clip follows the ones that went unanswered.
    std::size_t requests = 0;
    for (const CommandRecord& record : run.emulator().log())
        requests += record.szCommand == "?RMC";
    EXPECT_EQ(requests, static_cast<std::size_t>(MAX_UNANSWERED_REQUESTS));
    run.disable();
    run.close();
}

} // namespace

// The real link, exec and poll threads against the emulated receiver.
#include "audio/adpcm.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "link_fixture.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"
#include "sim/emulator.h"
#include "sim/signalmodel.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>

namespace {

using namespace std::chrono_literals;
using simlink::Clock;
using simlink::LinkOnEmulator;
using simlink::waitUntil;

// Frames sent whole at once: a receive window never sees a pause inside
// one, however late the emulator's thread is woken on a loaded machine
// (a pause of more than 5 ms inside a frame stalls the stream, which is a
// matter of its own).
class AudioOnEmulator : public LinkOnEmulator {
  protected:
    AudioOnEmulator() : LinkOnEmulator(false) {}
};

TEST_F(LinkOnEmulator, PollingKeepsTheReceiverPictureCurrent) {
    emulator.frontPanel("tune 7050000");
    emulator.frontPanel("mode cw");
    emulator.frontPanel("step 100");
    emulator.frontPanel("signal 6");
    emulator.frontPanel("lock on");
    start();
    EXPECT_TRUE(waitUntil([] {
        return radio.ulFrequency == 7050000 && radio.uMode == MODE_CW && radio.uSpeed == 100 &&
               radio.uSUnits == 6 && radio.bLock == TRUE;
    }));
    EXPECT_GE(window.count(IDUPDATE, RADIO), 1u);

    // A change at the receiver shows within a poll period or two.
    emulator.frontPanel("tune 9000000");
    emulator.frontPanel("signal 2");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 9000000 && radio.uSUnits == 2; }, 1s));

    const auto log = emulator.log();
    ASSERT_GE(log.size(), 10u);
    const std::vector<std::string> batch = {"?AF", "?RMM", "?RMI", "?AU", "?S"};
    for (std::size_t i = 0; i < batch.size(); ++i)
        EXPECT_EQ(log[i].szCommand, batch[i]);
}

TEST_F(LinkOnEmulator, PollingFollowsThroughAUsbAdapterAndGarbage) {
    // Answers come in adapter packets 16 ms late, after some line noise:
    // they miss their own window and are read in later ones, but every
    // one still reaches the receiver picture.
    emulator.frontPanel("usb on");
    emulator.frontPanel("garbage 3");
    emulator.frontPanel("tune 3330000");
    emulator.frontPanel("mode ssb");
    emulator.frontPanel("signal 4");
    start();
    EXPECT_TRUE(waitUntil([] {
        return radio.ulFrequency == 3330000 && radio.uMode == MODE_SSB && radio.uSUnits == 4 &&
               radio.uSpeed == 2500;
    }));
    emulator.frontPanel("lock on");
    EXPECT_TRUE(waitUntil([] { return radio.bLock == TRUE; }));
}

TEST_F(LinkOnEmulator, OperatorCommandsReachTheReceiver) {
    start();
    enqueue(&QueueMessage, "*AF9876543\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([&] { return logHas("*AF9876543"); }));
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 9876543; }));

    // Synthesizer tuning with a wrong pair shows up as a wrong frequency.
    enqueue(&QueueMessage, "*AR1432\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*AN24001\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*AD15000000\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 15002500; }));

    enqueue(&QueueMessage, "*RMM2\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "*KRA3\r", MIN_PRIORITY);
    enqueue(&QueueMessage, "?AF\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 10000000 && radio.uMode == MODE_AM; }));
}

TEST_F(AudioOnEmulator, FramesFlowAndCarryTheTestTone) {
    emulator.frontPanel("tune 14200000");
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == TEST_TONE_FREQUENCY; }));
    radio.ulFrequency = 0;
    radio.uSUnits = 0;

    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    EXPECT_TRUE(waitUntil([&] { return audio.clips() >= 20; }, 5s));
    EXPECT_EQ(bStreaming, 1);
    // The status records keep the picture current while polling rests.
    EXPECT_EQ(radio.ulFrequency, TEST_TONE_FREQUENCY);
    EXPECT_EQ(radio.uSUnits, 7u);
    const auto log = emulator.log();
    ASSERT_GE(log.size(), 10u);
    for (std::size_t i = log.size() - 8; i < log.size(); ++i)
        EXPECT_EQ(log[i].szCommand, "?RMC") << i;

    // The clips, decoded in order by the program's decoder, hold the tone
    // the emulator encoded: 1000 Hz at its known level.
    ADPCMDecoderInit();
    std::vector<double> samples;
    for (const auto& clip : audio.clipsCopy())
        for (BYTE octet : clip) {
            samples.push_back(ADPCMDecoder(octet & 0x0F));
            samples.push_back(ADPCMDecoder(static_cast<BYTE>(octet >> 4)));
        }
    ASSERT_GE(samples.size(), 10000u);
    const double w = 2 * std::numbers::pi * TEST_TONE_HZ / AUDIO_RATE;
    for (std::size_t first = 500; first + 1000 <= samples.size(); first += 1000) {
        double s1 = 0, s2 = 0;
        for (std::size_t n = first; n < first + 1000; ++n) {
            const double s0 = samples[n] + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double peak = 2 * std::sqrt(s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / 1000;
        EXPECT_NEAR(peak, TEST_TONE_PEAK, TEST_TONE_PEAK * 0.05) << first;
    }
}

TEST_F(LinkOnEmulator, RestartIsAnnounced) {
    start();
    ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == 15000000; }));
    enqueue(&QueueMessage, "XX\r", MIN_PRIORITY);
    EXPECT_TRUE(waitUntil([&] { return window.count(IDUPDATE, START) >= 1; }, 3s));
    // Polling goes on after the restart.
    emulator.frontPanel("tune 5000000");
    EXPECT_TRUE(waitUntil([] { return radio.ulFrequency == 5000000; }, 2s));
}

} // namespace

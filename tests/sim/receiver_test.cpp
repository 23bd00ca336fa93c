// The emulated receiver's commands, answers, state and audio frames.
#include "audio/adpcm.h"
#include "protocol/radiostate.h"
#include "sim/receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using Kind = Receiver::Kind;

std::string ask(Receiver& receiver, std::string_view line) {
    return receiver.command(line, 0.0).answer;
}

DWORD bigEndian(const BYTE* p) {
    return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | p[3];
}

TEST(Receiver, PowerOnStateAndQueryShapes) {
    Receiver receiver;
    EXPECT_EQ(ask(receiver, "?AF"), "@AF15000000\r");
    EXPECT_EQ(ask(receiver, "?RMM"), "@RMM4\r");
    EXPECT_EQ(ask(receiver, "?RMI"), "@RMI2500\r");
    EXPECT_EQ(ask(receiver, "?AU"), "@AU\r");
    const std::string s = ask(receiver, "?S");
    ASSERT_GE(s.size(), 6u);
    EXPECT_EQ(s.substr(0, 4), "@S  ");
    EXPECT_EQ(s.back(), '\r');
    EXPECT_GE(std::atoi(s.c_str() + 4), 6); // 15 MHz: a time-signal station
    EXPECT_EQ(receiver.command("?RMC", 0).kind, Kind::Frame);
    EXPECT_EQ(receiver.command("XX", 0).kind, Kind::Restart);
}

TEST(Receiver, SetCommandsChangeStateWithoutAnswer) {
    Receiver receiver;
    for (std::string_view command : {"*AF7050000", "*RMM2", "*RMI100", "*AL"}) {
        const auto result = receiver.command(command, 0);
        EXPECT_EQ(result.kind, Kind::Set) << command;
        EXPECT_TRUE(result.answer.empty()) << command;
    }
    EXPECT_EQ(ask(receiver, "?AF"), "@AF7050000\r");
    EXPECT_EQ(ask(receiver, "?RMM"), "@RMM2\r");
    EXPECT_EQ(ask(receiver, "?RMI"), "@RMI100\r");
    EXPECT_EQ(ask(receiver, "?AU"), "@AL\r");
    receiver.command("*AU", 0);
    receiver.command("*RMM0", 0);
    EXPECT_EQ(ask(receiver, "?AU"), "@AU\r");
    EXPECT_EQ(ask(receiver, "?RMM"), "@RMM0\r");
    receiver.command("*RMM1", 0); // read like the answer: 1 is SSB, 3 is CW
    EXPECT_EQ(receiver.mode(), MODE_SSB);
    receiver.command("*RMM3", 0);
    EXPECT_EQ(receiver.mode(), MODE_CW);
    receiver.command("*AF100000", 0);
    EXPECT_EQ(receiver.frequency(), 100000u);
    receiver.command("*AF30000000", 0);
    EXPECT_EQ(receiver.frequency(), 30000000u);
}

TEST(Receiver, MalformedAndOutOfRangeCommandsAreIgnored) {
    Receiver receiver;
    for (std::string_view command : {"",
                                     "?",
                                     "*",
                                     "*AF",
                                     "*AF99999",
                                     "*AF30000001",
                                     "*AF-5",
                                     "*AF+7000000",
                                     "*AF 7000000",
                                     "*AF7000000x",
                                     "*AF99999999999999",
                                     "*AF4294967297",
                                     "*RMM5",
                                     "*RMM",
                                     "*RMM44",
                                     "*RMI7",
                                     "*RMI",
                                     "*KRA0",
                                     "*KRA129",
                                     "*KWA0",
                                     "*KWA",
                                     "*AR1431",
                                     "*AN39",
                                     "*AN65536",
                                     "?af",
                                     "AF",
                                     "?AFX",
                                     "XXX",
                                     "\x01\x02",
                                     "*AD",
                                     "*RMIabc"}) {
        const auto result = receiver.command(command, 0);
        EXPECT_EQ(result.kind, Kind::Ignored) << command;
        EXPECT_TRUE(result.answer.empty()) << command;
    }
    EXPECT_EQ(receiver.frequency(), POWER_ON_FREQUENCY);
    EXPECT_EQ(receiver.mode(), MODE_AM);
    EXPECT_EQ(receiver.speed(), POWER_ON_SPEED);
    EXPECT_FALSE(receiver.locked());
}

TEST(Receiver, DividerTuningFollowsTheSynthesizer) {
    Receiver receiver;
    // 15 MHz on the 2500 Hz grid: R 1432, N 24000 gives exactly 15 MHz.
    receiver.command("*AR1432", 0);
    receiver.command("*AN24000", 0);
    receiver.command("*AD15000000", 0);
    EXPECT_EQ(receiver.frequency(), 15000000u);
    // 7000100 Hz by R 1788, N 25971: the synthesizer is 0.67 Hz high and
    // the receiver reports the rounded result.
    receiver.command("*AR1788", 0);
    receiver.command("*AN25971", 0);
    receiver.command("*AD7000100", 0);
    EXPECT_EQ(receiver.frequency(), 7000101u);
    // A wrong pair shows as a wrong frequency: N one too high.
    receiver.command("*AR1432", 0);
    receiver.command("*AN24001", 0);
    receiver.command("*AD15000000", 0);
    EXPECT_EQ(receiver.frequency(), 15002500u);
    // "*AD" alone (no pair found) tunes to the frequency as given.
    receiver.command("*AD4608515", 0);
    EXPECT_EQ(receiver.frequency(), 4608515u);
    // A pair is used once: the next "*AD" alone is taken as it stands.
    receiver.command("*AR1432", 0);
    receiver.command("*AN24000", 0);
    receiver.command("*AD15000000", 0);
    receiver.command("*AD7000000", 0);
    EXPECT_EQ(receiver.frequency(), 7000000u);
    // A pair that puts the receiver out of its range changes nothing.
    receiver.command("*AR1432", 0);
    receiver.command("*AN65535", 0);
    EXPECT_EQ(receiver.command("*AD30000000", 0).kind, Kind::Ignored);
    EXPECT_EQ(receiver.frequency(), 7000000u);
}

TEST(Receiver, MemoryChannels) {
    Receiver receiver;
    const std::array<DWORD, 5> presets = {2500000, 5000000, 10000000, 15000000, 20000000};
    for (DWORD channel = 1; channel <= 5; ++channel) {
        receiver.command("*KRA" + std::to_string(channel), 0);
        EXPECT_EQ(receiver.frequency(), presets[channel - 1]);
        EXPECT_EQ(receiver.mode(), MODE_AM);
    }
    receiver.command("*AF7050000", 0);
    receiver.command("*RMM2", 0);
    receiver.command("*KWA128", 0);
    receiver.command("*KRA1", 0);
    EXPECT_EQ(receiver.frequency(), 2500000u);
    receiver.command("*KRA128", 0);
    EXPECT_EQ(receiver.frequency(), 7050000u);
    EXPECT_EQ(receiver.mode(), MODE_CW);
    // An empty channel recalls nothing.
    EXPECT_EQ(receiver.command("*KRA64", 0).kind, Kind::Ignored);
    EXPECT_EQ(receiver.frequency(), 7050000u);
    // Memory survives a restart; the tuning does not.
    receiver.powerOn();
    EXPECT_EQ(receiver.frequency(), POWER_ON_FREQUENCY);
    receiver.command("*KRA128", 0);
    EXPECT_EQ(receiver.frequency(), 7050000u);
}

TEST(Receiver, FrameCarriesTheStateInWireOrder) {
    Receiver receiver;
    receiver.command("*AF10000000", 0);
    receiver.command("*RMI100000", 0);
    receiver.command("*AL", 0);
    receiver.command("*RMM2", 0);
    receiver.setSignal(9);
    const auto frame = receiver.frame(0);
    EXPECT_EQ(std::string(frame.begin(), frame.begin() + 4), "@RMC");
    const BYTE* status = frame.data() + 4;
    EXPECT_EQ(bigEndian(status), 10000000u);
    EXPECT_LE(status[0], 1); // the framer's test for a status record
    EXPECT_EQ(status[8], MODE_CW);
    EXPECT_EQ(status[11], 7); // step code of 100000 Hz
    EXPECT_EQ(status[12], 0x20);
    EXPECT_EQ(status[15], 9);

    // Every jog step has its code; 9000 Hz is reported beyond them.
    const std::array<std::pair<const char*, int>, 9> steps = {{{"10", 0},
                                                               {"100", 1},
                                                               {"1000", 2},
                                                               {"1250", 3},
                                                               {"2500", 4},
                                                               {"5000", 5},
                                                               {"10000", 6},
                                                               {"100000", 7},
                                                               {"9000", 8}}};
    for (const auto& [step, code] : steps) {
        receiver.command(std::string("*RMI") + step, 0);
        EXPECT_EQ(receiver.frame(0)[4 + 11], code) << step;
    }
    receiver.command("*AU", 0);
    EXPECT_EQ(receiver.frame(0)[4 + 12], 0);
    receiver.command("*AF29999999", 0);
    EXPECT_EQ(bigEndian(receiver.frame(0).data() + 4), 29999999u);
}

// Decodes frames with the program's decoder and measures the strength of
// one frequency in the audio (Goertzel), relative to full scale.
struct Heard {
    std::vector<std::int16_t> samples;
    double level(double hz, std::size_t first, std::size_t count) const {
        const double w = 2 * std::numbers::pi * hz / 7812.5;
        double s1 = 0, s2 = 0;
        for (std::size_t n = first; n < first + count; ++n) {
            const double s0 = samples[n] + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
        return 2 * std::sqrt(power) / static_cast<double>(count); // peak amplitude
    }
};

Heard listen(Receiver& receiver, int frames) {
    ADPCMDecoderInit();
    Heard heard;
    for (int i = 0; i < frames; ++i) {
        const auto frame = receiver.frame(0);
        for (std::size_t k = 20; k < frame.size(); ++k) {
            heard.samples.push_back(ADPCMDecoder(frame[k] & 0x0F));
            heard.samples.push_back(ADPCMDecoder(frame[k] >> 4));
        }
    }
    return heard;
}

TEST(Receiver, AudioDependsOnFrequencyAndMode) {
    {
        Receiver receiver; // fresh encoder, fresh decoder
        receiver.setFrequency(TEST_TONE_FREQUENCY);
        const Heard heard = listen(receiver, 32); // 2.05 s
        // The test tone, steady across frame boundaries: every window of
        // 250 samples straddling a frame edge still holds the full tone.
        for (std::size_t first = 375; first + 250 < heard.samples.size(); first += 500)
            EXPECT_NEAR(heard.level(TEST_TONE_HZ, first, 250), TEST_TONE_PEAK,
                        TEST_TONE_PEAK * 0.05)
                << first;
        EXPECT_LT(heard.level(600, 0, 7812), 200);
    }
    {
        Receiver receiver; // 15 MHz, AM: 600 Hz tone and a tick each second
        const Heard heard = listen(receiver, 32);
        EXPECT_GT(heard.level(600, 1000, 5000), 4000);
        EXPECT_LT(heard.level(500, 1000, 5000), 1000);
        // The tick: 1000 Hz in the first 5 ms of each second, not after.
        EXPECT_GT(heard.level(1000, 7813, 39), 6000);
        EXPECT_LT(heard.level(1000, 7813 + 200, 1000), 1000);
    }
    {
        Receiver receiver;
        receiver.setFrequency(10000000);
        receiver.setMode(MODE_CW); // the carrier as a beat note
        const Heard heard = listen(receiver, 16);
        EXPECT_GT(heard.level(800, 1000, 5000), 4000);
        EXPECT_LT(heard.level(500, 1000, 5000), 1000);
    }
    {
        Receiver receiver;
        receiver.setFrequency(7100000); // empty band: noise, no tones
        const Heard heard = listen(receiver, 16);
        EXPECT_LT(heard.level(1000, 0, 7812), 300);
        double energy = 0;
        for (auto s : heard.samples)
            energy += double(s) * s;
        EXPECT_GT(std::sqrt(energy / heard.samples.size()), 100);
    }
}

TEST(Receiver, SignalStrengthDependsOnFrequency) {
    Receiver receiver;
    unsigned strongMin = 99, weakMax = 0, strongMax = 0, strongMinSeen = 99;
    for (double t = 0; t < 30; t += 0.25) {
        receiver.setFrequency(10000000);
        const unsigned strong = receiver.sUnits(t);
        strongMin = std::min(strongMin, strong);
        strongMax = std::max(strongMax, strong);
        strongMinSeen = std::min(strongMinSeen, strong);
        receiver.setFrequency(7100000);
        weakMax = std::max(weakMax, receiver.sUnits(t));
    }
    EXPECT_GT(strongMin, weakMax);
    EXPECT_GT(strongMax, strongMinSeen); // it fades
    EXPECT_LE(strongMax, 10u);
    receiver.setSignal(3);
    EXPECT_EQ(receiver.signalLine(0), "@S  3\r");
    receiver.setSignal(std::nullopt);
    receiver.setFrequency(TEST_TONE_FREQUENCY);
    EXPECT_EQ(receiver.signalLine(5), "@S  7\r");
}

} // namespace

namespace {

// The band: stations at their strength within their width, noise beside
// them, and a meter that needs the settle time to follow a tuning.
TEST(Receiver, BandStationsAndSettle) {
    Receiver receiver;
    receiver.setStations({{9580000, 12}, {9600000, 5}});
    receiver.setFrequency(9580000 + STATION_WIDTH, 0.0);
    EXPECT_EQ(receiver.sUnits(0.0), 12u);
    receiver.setFrequency(9600000, 0.0);
    EXPECT_EQ(receiver.sUnits(0.0), 5u);
    receiver.setFrequency(9590000, 0.0);
    EXPECT_LE(receiver.sUnits(0.0), 4u); // band noise between them
    // The time signals and the test tone stay where they were.
    receiver.setFrequency(TEST_TONE_FREQUENCY, 0.0);
    EXPECT_EQ(receiver.sUnits(0.0), 7u);

    receiver.setSettle(0.050);
    receiver.setSignal(std::nullopt);
    receiver.setFrequency(9580000, 10.0);
    EXPECT_EQ(receiver.sUnits(10.0), 7u);    // still the old reading
    EXPECT_EQ(receiver.sUnits(10.025), 10u); // half-way: 9.5 rounds up
    EXPECT_EQ(receiver.sUnits(10.050), 12u);
    receiver.setSignal(3); // a held meter does not move
    receiver.setFrequency(9600000, 11.0);
    EXPECT_EQ(receiver.sUnits(11.0), 3u);
}

TEST(Receiver, StationsFileNamesEachBadLine) {
    std::string szErrors;
    const auto stations = parseStations("# band\n9580000 12\n\n9600000 x\n50000 3\n"
                                        "9700000 16\n9800000 4 extra\n9900000 7\r\n",
                                        &szErrors);
    ASSERT_EQ(stations.size(), 2u);
    EXPECT_EQ(stations[0].ulFrequency, 9580000u);
    EXPECT_EQ(stations[1].uSUnits, 7u);
    for (const char* szLine : {"line 4:", "line 5:", "line 6:", "line 7:"})
        EXPECT_NE(szErrors.find(szLine), std::string::npos) << szLine;
    EXPECT_EQ(szErrors.find("line 2:"), std::string::npos);
}

} // namespace

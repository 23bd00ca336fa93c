// The scanner and the band scope's sweeps against the emulator's band,
// through the real link, exec and poll threads.
#include "link/control.h"
#include "link/updatethread.h"
#include "record/record.h"
#include "scan/scan.h"
#include "scan/sweep.h"
#include "sim/receiver.h"
#include "sim_link/link_fixture.h"

#include <algorithm>
#include <filesystem>

namespace {

using namespace simlink;

constexpr DWORD STATION_A = 9520000; // S9
constexpr DWORD STATION_B = 9550000; // S9+18
constexpr DWORD STATION_C = 9590000; // S7
constexpr DWORD QUIET = 9500000;     // band noise, S0..S4

EmulatorOptions band() {
    EmulatorOptions o;
    o.stations = std::vector<BandStation>{{STATION_A, 9}, {STATION_B, 12}, {STATION_C, 7}};
    return o;
}

SCANPARAMS params(DWORD ulHangMs = 300) {
    SCANPARAMS p;
    p.ulDwellMs = 150; // well above the emulator's 50 ms settle, even on a loaded machine
    p.uThreshold = 6;
    p.ulHangMs = ulHangMs;
    return p;
}

class ScanOnEmulator : public LinkOnEmulator {
  protected:
    ScanOnEmulator() : LinkOnEmulator(band()) {}
    void SetUp() override {
        LinkOnEmulator::SetUp();
        scanSetLockouts({});
        ASSERT_EQ(scanOpen(), NO_ERROR);
        scanStart();
        start();
        ASSERT_TRUE(waitUntil([] { return radio.ulFrequency == POWER_ON_FREQUENCY; }));
    }
    void TearDown() override {
        scanClose();
        scanSetNamer(nullptr);
        scanSetMemories(nullptr);
        LinkOnEmulator::TearDown();
    }
    std::size_t hitCount() const { return scanHits().size(); }
    // Every tuning the receiver got after `since`.
    std::vector<std::string> tuningsSince(Clock::time_point since) const {
        std::vector<std::string> tunings;
        for (const CommandRecord& record : emulator.log())
            if (record.received >= since && record.szCommand.rfind("*AF", 0) == 0)
                tunings.push_back(record.szCommand);
        return tunings;
    }
};

// The range scan and the list scan stop on the station's own step, with
// the reading the station gives once the meter has settled (a reading
// taken before the settle time would be lower); then they hang and go on.
TEST_F(ScanOnEmulator, RangeAndListScansStopOnTheStationAfterItSettles) {
    std::string szWhy;
    ASSERT_TRUE(scanStartRange({9500000, 9600000, 5000}, params(), &szWhy)) << szWhy;
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 1; }, 10s));
    SCANHIT hit = scanHits()[0];
    EXPECT_EQ(hit.ulFrequency, STATION_A);
    EXPECT_EQ(hit.uSUnits, 9u);
    EXPECT_EQ(scanState(), SCAN_LISTENING);
    // The steps before it: 9500, 9505, 9510, 9515 kHz and the station's.
    EXPECT_EQ(hit.ulStep, 5u);
    // The signal stays: the scan stays.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(hitCount(), 1u);
    EXPECT_EQ(scanHitFrequency(), STATION_A);

    // A list, in its order; the quiet entry is passed.
    ASSERT_TRUE(scanStartList({{QUIET, 0, 0}, {STATION_C, MODE_AM, 0}}, params(), &szWhy)) << szWhy;
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 1; }, 10s));
    hit = scanHits()[0];
    EXPECT_EQ(hit.ulFrequency, STATION_C);
    EXPECT_EQ(hit.uSUnits, 7u);
    EXPECT_EQ(hit.ulStep, 2u);

    // The signal goes: after the hang the scan goes on; it comes back:
    // the scan stops on it again.
    emulator.frontPanel("signal 0");
    EXPECT_TRUE(waitUntil([] { return scanState() == SCAN_SEARCHING; }, 5s));
    emulator.frontPanel("signal auto");
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 2; }, 10s));
    EXPECT_EQ(scanHits()[1].ulFrequency, STATION_C);
    scanStop();
    EXPECT_EQ(scanState(), SCAN_IDLE);
    EXPECT_EQ(scanLastEnd(), SCAN_END_STOPPED);
}

// A hit is recorded in a file named with its frequency, mode and the
// station's name, which ends when the scan goes on; a memory scan recalls
// only the channels known to hold a frequency.
TEST_F(ScanOnEmulator, HitsAreRecordedByNameAndMemoryScansSkipUnknownChannels) {
    const std::filesystem::path recordings = dir.path / "recordings";
    setenv("VELKOR_RECORDINGS", recordings.c_str(), 1);
    recordOpen(nullptr, 0);
    scanSetNamer([](DWORD ulFrequency) {
        return ulFrequency == STATION_C ? std::string("Radio Example/Three") : std::string();
    });
    SCANPARAMS recording = params();
    recording.bRecord = TRUE;
    ASSERT_TRUE(scanStartList({{QUIET, 0, 0}, {STATION_C, MODE_AM, 0}}, recording, nullptr));
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 1 && recordAudioIsRecording(); }, 10s));
    EXPECT_EQ(scanHits()[0].szName, "Radio Example/Three");
    const std::filesystem::path file = recordAudioPath();
    EXPECT_EQ(file.parent_path(), recordings);
    EXPECT_NE(file.filename().string().find("-9590000-AM-Radio_Example_Three"), std::string::npos)
        << file;
    EXPECT_EQ(file.extension(), ".wav");
    emulator.frontPanel("signal 0");
    EXPECT_TRUE(waitUntil([] { return !recordAudioIsRecording(); }, 5s));
    EXPECT_TRUE(std::filesystem::exists(file));
    scanStop();
    emulator.frontPanel("signal auto");
    recordClose();
    unsetenv("VELKOR_RECORDINGS");

    // Channel 5 holds station A, channel 9 station C; nothing else is known.
    EXPECT_TRUE(scanMemoryList().empty());
    EXPECT_FALSE(scanStartList(scanMemoryList(), params(), nullptr));
    for (const auto& [uMemory, ulFrequency] : {std::pair{5u, STATION_A}, {9u, STATION_C}}) {
        ASSERT_TRUE(controlTune(ulFrequency));
        ASSERT_TRUE(controlMemoryWrite(uMemory));
    }
    scanSetMemories([] { return std::vector<DWORD>{9, 5}; });
    const auto before = Clock::now();
    ASSERT_TRUE(scanStartList(scanMemoryList(), params(), nullptr));
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 1; }, 10s));
    EXPECT_EQ(scanHits()[0].ulFrequency, STATION_C);
    scanStop();
    for (const CommandRecord& record : emulator.log()) {
        if (record.received >= before && record.szCommand.rfind("*KRA", 0) == 0) {
            EXPECT_TRUE(record.szCommand == "*KRA9" || record.szCommand == "*KRA5")
                << record.szCommand;
        }
    }
}

// Locked-out frequencies are skipped, in a range (the step nearest) and in a list.
TEST_F(ScanOnEmulator, LockoutsAreSkipped) {
    scanLockout(STATION_A + 1000, TRUE); // within half a step of the station's step
    ASSERT_TRUE(scanStartRange({9500000, 9600000, 5000}, params(), nullptr));
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 1; }, 10s));
    EXPECT_EQ(scanHits()[0].ulFrequency, STATION_B);

    scanSetLockouts({STATION_A});
    ASSERT_TRUE(
        scanStartList({{STATION_A, 0, 0}, {QUIET, 0, 0}, {STATION_C, 0, 0}}, params(), nullptr));
    ASSERT_TRUE(waitUntil([&] { return hitCount() >= 1; }, 10s));
    EXPECT_EQ(scanHits()[0].ulFrequency, STATION_C);
    const std::vector<std::string> tunings = tuningsSince(Clock::now() - 10s);
    scanStop();
    scanSetLockouts({STATION_A, STATION_B, STATION_C});
    ASSERT_TRUE(scanStartList({{STATION_A, 0, 0}, {STATION_C, 0, 0}}, params(), nullptr));
    EXPECT_TRUE(waitUntil([] { return scanLastEnd() == SCAN_END_DONE; }));
    EXPECT_EQ(scanCounters().ulSteps, 0u);
}

// An operator's action ends the scan at once: nothing of the scan's goes
// out after the operator's tuning, and the receiver stays there.
TEST_F(ScanOnEmulator, AnOperatorActionStopsTheScanAtOnce) {
    ASSERT_TRUE(scanStartRange({9500000, 9510000, 5000}, params(), nullptr)); // no station
    ASSERT_TRUE(waitUntil([] { return scanCounters().ulSteps >= 3; }, 10s));
    scanOperatorActed();
    controlTune(7000000);
    EXPECT_EQ(scanState(), SCAN_IDLE);
    EXPECT_EQ(scanLastEnd(), SCAN_END_OPERATOR);
    const auto operatorTune = emulator.waitForCommand("*AF7000000", Clock::now() - 10s, 3s);
    ASSERT_TRUE(operatorTune);
    std::this_thread::sleep_for(400ms); // several steps' worth
    const std::vector<std::string> after = tuningsSince(operatorTune->received);
    EXPECT_EQ(after, std::vector<std::string>{"*AF7000000"});
    EXPECT_EQ(emulator.frontPanel("status").rfind("freq 7000000 ", 0), 0u);
}

// The receiver's own Lock ends the scan; a lost port pauses it and its
// return resumes it.
TEST_F(ScanOnEmulator, LockEndsItAndAMissingPortPausesIt) {
    ASSERT_TRUE(scanStartRange({9500000, 9510000, 5000}, params(), nullptr));
    ASSERT_TRUE(waitUntil([] { return scanCounters().ulSteps >= 2; }, 10s));
    scanPortChanged(FALSE);
    ASSERT_TRUE(waitUntil([] { return scanState() == SCAN_PAUSED; }));
    const std::uint64_t ulPaused = scanCounters().ulSteps;
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(scanCounters().ulSteps, ulPaused + 1); // at most the step under way
    scanPortChanged(TRUE);
    EXPECT_TRUE(waitUntil([&] { return scanCounters().ulSteps >= ulPaused + 3; }, 10s));

    emulator.frontPanel("lock on");
    EXPECT_TRUE(waitUntil([] { return scanLastEnd() == SCAN_END_LOCK; }, 5s));
    EXPECT_EQ(scanState(), SCAN_IDLE);
    emulator.frontPanel("lock off");
}

// A sweep of a band with three stations shows three peaks where they are,
// and the receiver returns to where it was.
TEST_F(ScanOnEmulator, ASweepShowsThePeaksAndTheReceiverReturns) {
    const SCANRANGE range{9500000, 9600000, 5000};
    std::string szWhy;
    ASSERT_TRUE(scanStartSweep(range, 150, FALSE, &szWhy)) << szWhy;
    ASSERT_TRUE(waitUntil([] { return scanState() == SCAN_IDLE; }, 20s));
    EXPECT_EQ(scanLastEnd(), SCAN_END_DONE);
    SweepModel model;
    model.reset(range);
    for (const SCANPOINT& point : scanTakePoints())
        model.add(point);
    model.endSweep();
    EXPECT_EQ(model.sweeps(), 1u);
    const std::vector<SCOPEPEAK> peaks = model.peaks(scanStrengthDb(5), 10);
    ASSERT_EQ(peaks.size(), 3u);
    EXPECT_EQ(peaks[0].ulFrequency, STATION_B);
    EXPECT_EQ(peaks[0].iStrengthDb, 18);
    EXPECT_EQ(peaks[1].ulFrequency, STATION_A);
    EXPECT_EQ(peaks[2].ulFrequency, STATION_C);
    EXPECT_NE(model.csv().find("\n9550000,18\n"), std::string::npos);
    EXPECT_TRUE(waitUntil([&] {
        return emulator.frontPanel("status").rfind("freq 15000000 ", 0) == 0 &&
               radio.ulFrequency == POWER_ON_FREQUENCY;
    }));
}

// Bad ranges and parameters are refused with a reason, and nothing is sent.
TEST_F(ScanOnEmulator, BadRangesAreRefusedAndNothingIsSent) {
    const auto before = Clock::now();
    SCANPARAMS zeroDwell = params();
    zeroDwell.ulDwellMs = 0;
    SCANPARAMS badThreshold = params();
    badThreshold.uThreshold = 16;
    const std::vector<std::pair<SCANRANGE, SCANPARAMS>> bad = {
        {{9600000, 9500000, 5000}, params()}, // start above stop
        {{9500000, 9600000, 0}, params()},    // no step
        {{50000, 9600000, 5000}, params()},   // below 100 kHz
        {{9500000, 30000001, 5000}, params()},    {{9500000, 9600000, 5000}, zeroDwell},
        {{9500000, 9600000, 5000}, badThreshold},
    };
    for (const auto& [range, p] : bad) {
        std::string szWhy;
        EXPECT_FALSE(scanStartRange(range, p, &szWhy));
        EXPECT_FALSE(szWhy.empty());
        if (p.uThreshold == params().uThreshold) { // a sweep has no threshold
            EXPECT_FALSE(scanStartSweep(range, p.ulDwellMs, FALSE, nullptr));
        }
    }
    EXPECT_FALSE(scanStartList({}, params(), nullptr));
    EXPECT_FALSE(scanStartList({{50000, 0, 0}}, params(), nullptr));
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(tuningsSince(before).empty());
    EXPECT_EQ(scanState(), SCAN_IDLE);

    DWORD ulHertz = 0;
    std::string szWhy;
    EXPECT_TRUE(scanReadKilohertz(" 9400.5 ", &ulHertz, &szWhy));
    EXPECT_EQ(ulHertz, 9400500u);
    EXPECT_TRUE(scanReadKilohertz("0.001", &ulHertz, &szWhy));
    EXPECT_EQ(ulHertz, 1u);
    for (const char* szBad : {"", "5k", "0.0005", "-5", "1e3", "12345678"})
        EXPECT_FALSE(scanReadKilohertz(szBad, &ulHertz, &szWhy)) << szBad;
}

} // namespace

namespace {

// The station names over the band scope: at their frequencies, in the
// first row where they clear the name before, and left out when no row
// has room; the name nearest a signal is found within its reach.
TEST(ScopeNames, LaidOutInRowsWithoutOverlap) {
    const SCANRANGE range{9500000, 9600000, 5000};
    const std::vector<SCOPENAME> names = {
        {9400000, "Below"}, {9500000, "First"},  {9505000, "Second"},
        {9506000, "Third"}, {9507000, "Fourth"}, {9600000, "Last"},
    };
    const auto width = [](const std::string& szName) {
        return static_cast<int>(szName.size()) * 8;
    };
    const std::vector<SCOPELABEL> labels = scopeLabels(names, range, 1000, 2, width);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(labels[0].pName->szName, "First");
    EXPECT_EQ(labels[0].x, 0);
    EXPECT_EQ(labels[0].row, 0);
    EXPECT_EQ(labels[1].x, 50); // 5 kHz of 100 over 1000 pixels; "First" ends at 40
    EXPECT_EQ(labels[1].row, 0);
    EXPECT_EQ(labels[2].row, 1);                // "Third" at 60 would run into "Second"
    EXPECT_EQ(labels[3].pName->szName, "Last"); // neither row has room for "Fourth"
    EXPECT_EQ(labels[3].x, 1000);
    EXPECT_TRUE(scopeLabels(names, range, 0, 3, width).empty());

    EXPECT_EQ(scopeNameNear(names, 9506400, 2500)->szName, "Third");
    EXPECT_EQ(scopeNameNear(names, 9550000, 2500), nullptr);
}

} // namespace

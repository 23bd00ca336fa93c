// The scanner against the emulated receiver: steps per second of a range
// scan beside what the line allows, wrong-frequency hits at the default
// settle time, and the poll's cadence while a scan runs. The figures are
// the counters.
#include "scan/scan.h"
#include "bench/bench_support.h"
#include "link/control.h"
#include "protocol/comexecute.h"
#include "sim/emulator.h"

#include <benchmark/benchmark.h>

// GCC 12 with the sanitizers takes the empty band held in the emulator's
// options (an optional vector) for uninitialized; it is not.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;
using bench::Clock;

constexpr double OCTET_MS = 1000.0 / Emulator::LINE_RATE;
constexpr double WINDOW_MS = 5.0; // a receive window ends after 5 ms of silence

// One step on the line: the tuning, the silent window after it, the
// S-meter query and its answer (whose window ends with the line).
double lineLimitStepsPerSecond(DWORD ulFrequency, unsigned uSUnits) {
    const std::size_t tuning = std::strlen("*AF") + std::to_string(ulFrequency).size() + 1;
    const std::size_t query = std::strlen("?S") + 1;
    const std::size_t answer = std::strlen("@S  ") + std::to_string(uSUnits).size() + 1;
    const double ms = static_cast<double>(tuning + query + answer) * OCTET_MS + WINDOW_MS;
    return 1000.0 / ms;
}

struct Scanning {
    explicit Scanning(const EmulatorOptions& options, bool bPoll)
        : emulator(options), link(emulator.slavePath(), bPoll, &window) {
        bOk = link.bOk && scanOpen() == NO_ERROR;
        scanStart();
    }
    ~Scanning() { scanClose(); }
    Emulator emulator;
    bench::RadioPosts window;
    bench::RunningLink link;
    bool bOk = false;
};

// Range scan steps per second with settle 0 and the shortest dwell, in
// an empty band, without the poll and with it.
void BM_ScanStepRate(benchmark::State& state) {
    const bool bPoll = state.range(0) != 0;
    for (auto _ : state) {
        EmulatorOptions options;
        options.settle = 0ms;
        options.stations.emplace(); // an empty band: noise everywhere
        options.bKeepLog = false;
        Scanning scanning(options, bPoll);
        if (!scanning.bOk) {
            state.SkipWithError("link or scanner did not open");
            return;
        }
        SCANPARAMS params;
        params.ulDwellMs = 1;
        params.uThreshold = SCAN_MAX_THRESHOLD; // band noise never reaches it
        scanStartRange({9400000, 9900000, 5000}, params, nullptr);
        std::this_thread::sleep_for(500ms); // past the start
        const std::uint64_t ulFirst = scanCounters().ulSteps;
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(5s);
        const std::uint64_t ulSteps = scanCounters().ulSteps - ulFirst;
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        scanStop();
        state.SetIterationTime(seconds);
        const double rate = static_cast<double>(ulSteps) / seconds;
        const double limit = lineLimitStepsPerSecond(9400000, 2);
        state.counters["steps_per_s"] = rate;
        state.counters["line_limit_steps_per_s"] = limit;
        state.counters["share_of_limit_pct"] = 100.0 * rate / limit;
        state.counters["refused"] = static_cast<double>(scanCounters().ulRefused);
        state.counters["timeouts"] = static_cast<double>(scanCounters().ulTimeouts);
    }
}
BENCHMARK(BM_ScanStepRate)->Arg(0)->Arg(1)->ArgName("poll")->Iterations(1)->UseManualTime();

// Repeated sweeps over a band of 20 stations, 20 kHz apart, with the
// emulator's default settle: a point at or above S5 where no station is
// heard is a station reported at a wrong frequency; a station's step read
// below its strength is a miss. VELKOR_SCAN_SWEEPS sets the number of
// sweeps (default 100). Arg: the dwell in ms (60, the scanner's default;
// 10, below the settle time, to show what scanning too fast does).
void BM_ScanWrongFrequency(benchmark::State& state) {
    const char* szSweeps = std::getenv("VELKOR_SCAN_SWEEPS");
    const long lSweeps = szSweeps != nullptr ? std::max(1L, std::atol(szSweeps)) : 100;
    const auto ulDwellMs = static_cast<DWORD>(state.range(0));
    constexpr DWORD START = 9400000;
    constexpr DWORD STEP = 5000;
    constexpr DWORD SPACING = 20000;
    constexpr int STATIONS = 20;
    for (auto _ : state) {
        EmulatorOptions options;
        options.bKeepLog = false;
        std::vector<BandStation> stations;
        for (int i = 0; i < STATIONS; ++i)
            stations.push_back({START + SPACING / 2 + static_cast<DWORD>(i) * SPACING,
                                static_cast<unsigned>(6 + i % 8)});
        options.stations = stations;
        const SCANRANGE range{START, START + STATIONS * SPACING, STEP};
        Scanning scanning(options, true);
        if (!scanning.bOk) {
            state.SkipWithError("link or scanner did not open");
            return;
        }
        scanStartSweep(range, ulDwellMs, TRUE, nullptr);
        const auto t0 = Clock::now();
        std::size_t wrong = 0;
        std::size_t missed = 0;
        std::size_t points = 0;
        auto tally = [&] {
            for (const SCANPOINT& point : scanTakePoints()) {
                ++points;
                const BandStation* pHeard = nullptr;
                for (const BandStation& station : stations)
                    if (point.ulFrequency + STATION_WIDTH >= station.ulFrequency &&
                        point.ulFrequency <= station.ulFrequency + STATION_WIDTH)
                        pHeard = &station;
                if (pHeard == nullptr && point.iStrengthDb >= scanStrengthDb(5))
                    ++wrong;
                if (pHeard != nullptr && point.iStrengthDb < scanStrengthDb(pHeard->uSUnits))
                    ++missed;
            }
        };
        while (scanCounters().ulSweeps < static_cast<std::uint64_t>(lSweeps) &&
               scanState() != SCAN_IDLE) {
            std::this_thread::sleep_for(100ms);
            tally();
        }
        scanStop();
        tally();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        state.counters["sweeps"] = static_cast<double>(scanCounters().ulSweeps);
        state.counters["points"] = static_cast<double>(points);
        state.counters["wrong_frequency"] = static_cast<double>(wrong);
        // Readings taken again because the receiver had answered late.
        state.counters["read_again"] = static_cast<double>(scanCounters().ulBehind);
        state.counters["stations_missed"] = static_cast<double>(missed);
    }
}
BENCHMARK(BM_ScanWrongFrequency)
    ->Arg(60)
    ->Arg(10)
    ->ArgName("dwell_ms")
    ->Iterations(1)
    ->UseManualTime();

// The poll's batches per second while a range scan steps: each batch
// begins with its frequency query, which the scanner never sends.
void BM_ScanPollCadence(benchmark::State& state) {
    for (auto _ : state) {
        EmulatorOptions options;
        options.stations.emplace(); // an empty band: noise everywhere
        Scanning scanning(options, true);
        if (!scanning.bOk) {
            state.SkipWithError("link or scanner did not open");
            return;
        }
        SCANPARAMS params;
        params.uThreshold = SCAN_MAX_THRESHOLD;
        scanStartRange({9400000, 9900000, 5000}, params, nullptr);
        std::this_thread::sleep_for(500ms);
        const std::uint64_t ulFirst = controlSentCount(COMMAND_QUERY_FREQUENCY);
        const std::uint64_t ulStepsFirst = scanCounters().ulSteps;
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(5s);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        const std::uint64_t ulBatches = controlSentCount(COMMAND_QUERY_FREQUENCY) - ulFirst;
        const std::uint64_t ulSteps = scanCounters().ulSteps - ulStepsFirst;
        scanStop();
        state.SetIterationTime(seconds);
        state.counters["poll_batches_per_s"] = static_cast<double>(ulBatches) / seconds;
        state.counters["scan_steps_per_s"] = static_cast<double>(ulSteps) / seconds;
    }
}
BENCHMARK(BM_ScanPollCadence)->Iterations(1)->UseManualTime();

} // namespace

// The serial port's read under the link's time-outs, on a pseudo-terminal:
// how long a read on a silent line really waits (meant: 5 ms), and how
// soon a waiting read returns once an octet arrives.
#include "platform/serial.h"
#include "bench/pty.h"
#include "platform/sync.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A pseudo-terminal: the master stands for the receiver, the slave is
// opened as the port under the link's time-outs.
struct Line {
    Line() {
        port = CreateFileA(("//./" + pty.slavePath()).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
        COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 5, 0, 0};
        SetCommTimeouts(port, &timeouts);
    }
    ~Line() { CloseHandle(port); }
    bool ok() const { return pty.ok() && port != INVALID_HANDLE_VALUE; }
    bench::RawPty pty;
    HANDLE port = INVALID_HANDLE_VALUE;
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void report(benchmark::State& state, std::vector<double> samples) {
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
    };
    state.counters["min_ms"] = samples.front();
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = samples.back();
}

// A read on a line that stays silent.
void BM_SilentReadWait(benchmark::State& state) {
    Line line;
    if (!line.ok()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    std::vector<double> samples;
    for (auto _ : state) {
        BYTE octet = 0;
        DWORD count = 0;
        const auto start = Clock::now();
        ReadFile(line.port, &octet, 1, &count, nullptr);
        const double wait = ms(Clock::now() - start);
        samples.push_back(wait);
        state.SetIterationTime(wait / 1000.0);
        benchmark::DoNotOptimize(count);
    }
    report(state, samples);
}
BENCHMARK(BM_SilentReadWait)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);

// A read that is waiting when an octet arrives: time from the write on
// the receiver's side to the read's return.
void BM_WakeOnOctet(benchmark::State& state) {
    Line line;
    if (!line.ok()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    std::mutex mutex;
    std::condition_variable cv;
    bool request = false;
    bool done = false;
    std::atomic<Clock::rep> written{0};
    std::thread writer([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            cv.wait(lock, [&] { return request || done; });
            if (done)
                return;
            request = false;
            lock.unlock();
            // Let the reader settle into its wait first.
            std::this_thread::sleep_for(std::chrono::microseconds(1500));
            const char octet = '@';
            written.store(Clock::now().time_since_epoch().count());
            [[maybe_unused]] const auto n = ::write(line.pty.master(), &octet, 1);
            lock.lock();
        }
    });
    std::vector<double> samples;
    for (auto _ : state) {
        {
            std::lock_guard lock(mutex);
            request = true;
        }
        cv.notify_one();
        BYTE octet = 0;
        DWORD count = 0;
        ReadFile(line.port, &octet, 1, &count, nullptr);
        const auto returned = Clock::now();
        if (count != 1) {
            // The octet came after the time-out: read it now, do not count it.
            while (count != 1)
                ReadFile(line.port, &octet, 1, &count, nullptr);
            state.SetIterationTime(1e-9);
            continue;
        }
        const double latency = ms(returned - Clock::time_point(Clock::duration(written.load())));
        samples.push_back(latency);
        state.SetIterationTime(latency / 1000.0);
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    cv.notify_one();
    writer.join();
    state.counters["late_octets"] = static_cast<double>(state.iterations() - samples.size());
    report(state, samples);
}
BENCHMARK(BM_WakeOnOctet)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(400);

// The link's pause without a port: a 5 ms wait on an event nobody sets.
void BM_PortlessPause(benchmark::State& state) {
    HANDLE hWait = CreateEventA(nullptr, TRUE, FALSE, "eventWait");
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        WaitForSingleObject(hWait, 5);
        const double wait = ms(Clock::now() - start);
        samples.push_back(wait);
        state.SetIterationTime(wait / 1000.0);
    }
    CloseHandle(hWait);
    report(state, samples);
}
BENCHMARK(BM_PortlessPause)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(400);

} // namespace

// The remote-control server on loopback in front of the link and the
// emulated receiver: a client's "f" round trip and the rate one client
// sustains, and the link's poll batch round trip with 8 clients polling
// against the same without the server. The figures are the counters.
#include "remote/remote.h"
#include "bench/bench_support.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"
#include "sim/emulator.h"
#include "tests/remote/rig_client.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using bench::Clock;

using bench::ms;
using bench::percentile;
using bench::RadioPosts;

// The running link and (optionally) the server on a free loopback port,
// for one scope; the server closes first.
struct Running {
    Running(const std::string& szPort, bool bPoll, bool bServer, Window* pWindow)
        : link(szPort, bPoll, pWindow) {
        std::string szError;
        bOk = link.bOk && (!bServer || remoteOpen("127.0.0.1:0", &szError));
        remoteStart();
    }
    ~Running() { remoteClose(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    bench::RunningLink link;
    bool bOk = false;
};

// The emulated receiver, the polling link, the server and one client
// connected to it.
struct ServedClient {
    Emulator emulator;
    RadioPosts window;
    Running running{emulator.slavePath(), true, true, &window};
    RigClient rig{remotePort()};
    bool ok() { return running.bOk && rig.connected(); }
};

// "f" from one client, asked and answered one at a time, while the link
// polls: round trip and the rate that gives.
void BM_RemoteGetFrequency(benchmark::State& state) {
    constexpr int ASKS = 5000;
    for (auto _ : state) {
        ServedClient served;
        RigClient& rig = served.rig;
        if (!served.ok()) {
            state.SkipWithError("server did not open");
            return;
        }
        std::vector<double> trips;
        const auto begun = Clock::now();
        for (int i = 0; i < ASKS; ++i) {
            const auto t0 = Clock::now();
            if (rig.ask1("f") == "<none>")
                break;
            trips.push_back(ms(Clock::now() - t0));
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
        state.SetIterationTime(seconds);
        state.counters["p50_ms"] = percentile(trips, 0.5);
        state.counters["p99_ms"] = percentile(trips, 0.99);
        state.counters["per_s"] = static_cast<double>(trips.size()) / seconds;
    }
}
BENCHMARK(BM_RemoteGetFrequency)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// "f" from one client that keeps 32 asks in flight: the rate the server
// sustains for one connection.
void BM_RemoteGetFrequencyPipelined(benchmark::State& state) {
    constexpr int ASKS = 50000;
    constexpr int IN_FLIGHT = 32;
    for (auto _ : state) {
        ServedClient served;
        RigClient& rig = served.rig;
        if (!served.ok()) {
            state.SkipWithError("server did not open");
            return;
        }
        int sent = 0, answered = 0;
        const auto begun = Clock::now();
        while (answered < ASKS) {
            std::string szBurst;
            while (sent < ASKS && sent - answered < IN_FLIGHT) {
                szBurst += "f\n";
                ++sent;
            }
            if (!szBurst.empty())
                rig.send(szBurst);
            if (!rig.line())
                break;
            ++answered;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - begun).count();
        state.SetIterationTime(seconds);
        state.counters["per_s"] = static_cast<double>(answered) / seconds;
    }
}
BENCHMARK(BM_RemoteGetFrequencyPipelined)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One poll batch, from queuing it to its last query reaching the receiver.
// Argument: 0 without the server, 8 with the server and 8 clients each
// polling "f", "m" and "t" ten times a second.
void BM_PollBatchWithClients(benchmark::State& state) {
    constexpr int BATCHES = 200;
    const int nClients = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Emulator emulator;
        emulator.frontPanel("signal 8");
        RadioPosts window;
        Running running(emulator.slavePath(), false, nClients > 0, &window);
        if (!running.bOk) {
            state.SkipWithError("link did not open");
            return;
        }
        std::atomic<bool> bStop{false};
        std::atomic<int> answers{0};
        std::vector<std::thread> clients;
        for (int i = 0; i < nClients; ++i) {
            clients.emplace_back([&] {
                RigClient rig(remotePort());
                auto next = Clock::now();
                while (!bStop) {
                    answers += static_cast<int>(rig.ask("f").size() + rig.ask("m", 2).size() +
                                                rig.ask("t").size());
                    next += 100ms;
                    std::this_thread::sleep_until(next);
                }
            });
        }
        std::vector<double> trips;
        const auto begun = Clock::now();
        for (int i = 0; i < BATCHES; ++i) {
            // From queuing the batch to its last query, "?S", arriving at
            // the receiver: the batch's way through the link.
            const auto t0 = Clock::now();
            QueueQueryMessages();
            if (const auto record = emulator.waitForCommand("?S", t0, 2s))
                trips.push_back(ms(record->received - t0));
            std::this_thread::sleep_for(20ms); // the answer in, the link idle
        }
        bStop = true;
        for (auto& client : clients)
            client.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begun).count());
        state.counters["p50_ms"] = percentile(trips, 0.5);
        state.counters["p99_ms"] = percentile(trips, 0.99);
        state.counters["batches"] = static_cast<double>(trips.size());
        state.counters["client_answers"] = static_cast<double>(answers.load());
    }
}
BENCHMARK(BM_PollBatchWithClients)
    ->Arg(0)
    ->Arg(8)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

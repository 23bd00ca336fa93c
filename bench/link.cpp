// The serial link against the emulated receiver at the real line rate
// (5760 octets/s): operator-command latency while polling runs, a poll
// batch's round trip against its time on the wire and against the
// machine's own floor (a bare round trip over a pseudo-terminal), and the
// CPU the running link uses. Each benchmark is one measurement; the figures are
// its counters.
#include "audio/audio.h"
#include "bench/bench_support.h"
#include "bench/pty.h"
#include "link/comthread.h"
#include "link/control.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "protocol/comexecute.h"
#include "protocol/command.h"
#include "protocol/comreceive.h"
#include "sim/emulator.h"
#include "tools/measure/standin_sound.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using bench::Clock;

using bench::ms;
using bench::percentile;
using bench::RadioPosts;
using bench::RunningLink;

// Time from enqueue of an operator command to its last octet (the CR)
// arriving at the receiver, while the poll runs. Argument: 1 for a
// receiver that answers nothing.
void BM_OperatorCommandLatency(benchmark::State& state) {
    constexpr int COMMANDS = 200;
    const bool bSilent = state.range(0) != 0;
    for (auto _ : state) {
        Emulator emulator;
        if (bSilent)
            emulator.frontPanel("silent on");
        RadioPosts window;
        RunningLink link(emulator.slavePath(), true, &window);
        if (!link.bOk) {
            state.SkipWithError("link did not open");
            return;
        }
        std::this_thread::sleep_for(300ms);
        const auto begun = Clock::now();
        std::mt19937 random(1);
        std::uniform_int_distribution<int> pause(10, 110); // any phase of the poll cycle
        std::vector<double> latencies;
        int lost = 0;
        for (int i = 0; i < COMMANDS; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            const PACKET packet = commandFrequency(7000000 + 10 * i);
            const std::string command(packet.szText.data(), std::strlen(packet.szText.data()) - 1);
            const auto t0 = Clock::now();
            enqueuePacket(&QueueMessage, packet, MIN_PRIORITY);
            const auto record = emulator.waitForCommand(command, t0, 2s);
            if (record)
                latencies.push_back(ms(record->received - t0));
            else
                ++lost;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begun).count());
        state.counters["p50_ms"] = percentile(latencies, 0.5);
        state.counters["p99_ms"] = percentile(latencies, 0.99);
        state.counters["max_ms"] = percentile(latencies, 1.0);
        state.counters["lost"] = lost;
    }
}
BENCHMARK(BM_OperatorCommandLatency)
    ->ArgName("silent")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The floor under the program's turn-around on this machine: a command
// over a pseudo-terminal and its answer back, one thread at each end
// doing nothing else and no pacing; the median over ROUNDS, in ms.
double ptyRoundTripMs() {
    constexpr int ROUNDS = 500;
    bench::RawPty pty;
    if (!pty.ok())
        return 0;
    const int master = pty.master();
    const int port = pty.slave();
    const PACKET query = commandQuery(COMMAND_QUERY_FREQUENCY);
    const std::string_view command = query.szText.data();
    constexpr std::string_view answer = "@AF15000000\r";
    std::thread farEnd([master, command, answer] {
        std::array<char, 64> buffer{};
        std::size_t got = 0;
        for (;;) {
            const ssize_t n = ::read(master, buffer.data(), buffer.size());
            if (n <= 0)
                return; // the port end has closed
            for (got += static_cast<std::size_t>(n); got >= command.size(); got -= command.size())
                if (::write(master, answer.data(), answer.size()) < 0)
                    return;
        }
    });
    std::vector<double> trips;
    std::array<char, 64> buffer{};
    for (int i = 0; i < ROUNDS; ++i) {
        const auto t0 = Clock::now();
        if (::write(port, command.data(), command.size()) < 0)
            break;
        std::size_t got = 0;
        while (got < answer.size()) {
            pollfd fd{port, POLLIN, 0};
            if (::poll(&fd, 1, 1000) <= 0)
                break;
            const ssize_t n = ::read(port, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        trips.push_back(ms(Clock::now() - t0));
        std::this_thread::sleep_for(2ms); // as between commands: the ends go idle
    }
    pty.closeSlave();
    farEnd.join();
    return percentile(trips, 0.5);
}

// One poll batch, from queuing it to the RADIO post that its "@S" answer
// brings, against the time its octets (commands and answers) take on the
// wire at 5760 octets/s. The poll thread is not running: the batch is
// queued here, one at a time.
void BM_PollBatchRoundTrip(benchmark::State& state) {
    constexpr int BATCHES = 100;
    // Fixed answers: 15 MHz, AM, step 2500, unlocked, S8.
    std::vector<std::string> commands;
    for (const COMMANDKIND kind : {COMMAND_QUERY_FREQUENCY, COMMAND_QUERY_MODE, COMMAND_QUERY_STEP,
                                   COMMAND_QUERY_LOCK, COMMAND_QUERY_SIGNAL})
        commands.emplace_back(commandQuery(kind).szText.data());
    const std::vector<std::string> answers = {"@AF15000000\r", "@RMM4\r", "@RMI2500\r", "@AU\r",
                                              "@S  8\r"};
    std::size_t octets = 0;
    for (const auto& text : commands)
        octets += text.size();
    for (const auto& text : answers)
        octets += text.size();
    const double wireMs = 1000.0 * static_cast<double>(octets) / 5760.0;

    for (auto _ : state) {
        Emulator emulator;
        emulator.frontPanel("signal 8");
        RadioPosts window;
        RunningLink link(emulator.slavePath(), false, &window);
        if (!link.bOk) {
            state.SkipWithError("link did not open");
            return;
        }
        std::vector<double> trips;
        const auto begun = Clock::now();
        for (int i = 0; i < BATCHES; ++i) {
            // Each batch brings exactly one RADIO post, with its "@S" answer.
            const std::size_t index = window.count();
            const auto t0 = Clock::now();
            QueueQueryMessages();
            const std::optional<Clock::time_point> done = window.waitFor(index, 2s);
            if (done)
                trips.push_back(ms(*done - t0));
            std::this_thread::sleep_for(20ms);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begun).count());
        // Where the time beyond the wire goes, command by command: from
        // one answer's last octet to the next command's arrival (less its
        // own time on the line): the program's turn-around; from a
        // command's arrival to its answer's last octet (less the answer's
        // time on the line): the emulator's.
        std::vector<double> turnarounds;
        std::vector<double> answerDelays;
        const auto log = emulator.log();
        const auto octetMs = [](std::size_t n) { return 1000.0 * static_cast<double>(n) / 5760.0; };
        for (std::size_t k = 0; k < log.size(); ++k) {
            const auto& command = log[k];
            if (!command.answerEnd)
                continue;
            const auto answer =
                std::find(commands.begin(), commands.end(), command.szCommand + "\r");
            if (answer != commands.end())
                answerDelays.push_back(
                    ms(*command.answerEnd - command.received) -
                    octetMs(answers[static_cast<std::size_t>(answer - commands.begin())].size()));
            if (k > 0 && command.szCommand != "?AF" && log[k - 1].answerEnd)
                turnarounds.push_back(ms(command.received - *log[k - 1].answerEnd) -
                                      octetMs(command.szCommand.size() + 1));
        }
        state.counters["turnaround_ms"] = percentile(turnarounds, 0.5);
        // The ratio of a program whose every command cost the wire and one
        // bare round trip over the pseudo-terminal, nothing more.
        const double ptyMs = ptyRoundTripMs();
        state.counters["pty_round_trip_ms"] = ptyMs;
        state.counters["floor_ratio"] =
            (wireMs + static_cast<double>(commands.size()) * ptyMs) / wireMs;
        state.counters["answer_delay_ms"] = percentile(answerDelays, 0.5);
        const double p50 = percentile(trips, 0.5);
        state.counters["wire_ms"] = wireMs;
        state.counters["wire_octets"] = static_cast<double>(octets);
        state.counters["p50_ms"] = p50;
        state.counters["p99_ms"] = percentile(trips, 0.99);
        state.counters["ratio_p50"] = p50 / wireMs;
        state.counters["batches"] = static_cast<double>(trips.size());
    }
}
BENCHMARK(BM_PollBatchRoundTrip)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// velkor-sim as a process of its own, for one scope: started on
// construction, and stopped (and reaped, so that its CPU counts under
// RUSAGE_CHILDREN) by stop() or at the end of the scope.
class SpawnedEmulator {
  public:
    SpawnedEmulator() {
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", 0, 0);
        char arg0[] = VELKOR_SIM;
        char* argv[] = {arg0, nullptr};
        if (posix_spawn(&pid_, VELKOR_SIM, &actions, nullptr, argv, environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        for (char c; pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n';)
            slave_ += c;
        close(out[0]);
    }
    ~SpawnedEmulator() { stop(); }
    SpawnedEmulator(const SpawnedEmulator&) = delete;
    SpawnedEmulator& operator=(const SpawnedEmulator&) = delete;

    // The pseudo-terminal it prints; empty when it did not start.
    const std::string& slavePath() const { return slave_; }
    void stop() {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    std::string slave_;
};

// CPU used by the running link (transmit, receive, exec and poll threads)
// over 10 s of polling, with the emulator in a process of its own so that
// its work is counted apart.
void BM_LinkCpu(benchmark::State& state) {
    constexpr auto SPAN = 10s;
    for (auto _ : state) {
        SpawnedEmulator emulator;
        if (emulator.slavePath().empty()) {
            state.SkipWithError("velkor-sim did not start");
            return;
        }
        double used = 0;
        {
            RadioPosts window;
            RunningLink link(emulator.slavePath(), true, &window);
            const double before = cpuSeconds(RUSAGE_SELF);
            std::this_thread::sleep_for(SPAN);
            used = cpuSeconds(RUSAGE_SELF) - before;
        }
        emulator.stop();
        const double seconds = std::chrono::duration<double>(SPAN).count();
        state.SetIterationTime(seconds);
        state.counters["link_cpu_percent"] = 100.0 * used / seconds;
        state.counters["emulator_cpu_percent"] = 100.0 * cpuSeconds(RUSAGE_CHILDREN) / seconds;
    }
}
BENCHMARK(BM_LinkCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// CPU used by the program's threads (link, exec, poll and audio) over
// 10 s of streaming audio at the line rate, the emulator in a process of
// its own and a stand-in clock in place of the sound output.
void BM_StreamCpu(benchmark::State& state) {
    constexpr auto SPAN = 10s;
    for (auto _ : state) {
        SpawnedEmulator emulator;
        if (emulator.slavePath().empty()) {
            state.SkipWithError("velkor-sim did not start");
            return;
        }
        double used = 0;
        std::uint64_t ulClips = 0;
        UseStandInSound(STANDIN::CLOCK);
        if (audioOpen() != NO_ERROR) {
            UseDefaultSound();
            state.SkipWithError("audio did not open");
            return;
        }
        {
            RadioPosts window;
            RunningLink link(emulator.slavePath(), true, &window);
            controlStream(TRUE);
            audioStart();
            std::this_thread::sleep_for(1s);
            const std::uint64_t ulClips0 = audioCounters.ulClipsTaken;
            const double before = cpuSeconds(RUSAGE_SELF);
            std::this_thread::sleep_for(SPAN);
            used = cpuSeconds(RUSAGE_SELF) - before;
            ulClips = audioCounters.ulClipsTaken - ulClips0;
            controlStream(FALSE);
            audioStop();
            audioClose();
        }
        UseDefaultSound();
        const double seconds = std::chrono::duration<double>(SPAN).count();
        state.SetIterationTime(seconds);
        state.counters["program_cpu_percent"] = 100.0 * used / seconds;
        state.counters["clips_per_s"] = static_cast<double>(ulClips) / seconds;
    }
}
BENCHMARK(BM_StreamCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

// Receiver protocol: the divider search at its slowest, and the framer's
// throughput against the serial line's 5760 octets/s.
#include "audio/audio.h"
#include "link/comthread.h"
#include "protocol/comexecute.h"
#include "protocol/comreceive.h"
#include "protocol/factor.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr double LINE_RATE = 57600.0 / 10; // octets/s at 8N1

// No pair exists: all 51 tolerance passes run.
void BM_FactorWorstCase(benchmark::State& state) {
    int r = 0;
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(factor(4608515, &r, &n));
    }
}
BENCHMARK(BM_FactorWorstCase)->Unit(benchmark::kMicrosecond);

// Found in the pass with tolerance 0.7, for comparison.
void BM_FactorSearched(benchmark::State& state) {
    int r = 0;
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(factor(7000100, &r, &n));
    }
}
BENCHMARK(BM_FactorSearched)->Unit(benchmark::kMicrosecond);

std::string frameOctets(int k) {
    std::string s = "@RMC";
    const unsigned char status[] = {0x00, 0x6A, 0xCF, 0xC0, 0x00, 0x6A, 0xCF, 0xC0,
                                    0x04, 0x00, 0x01, 0x02, 0x00, 0x00, 0x12, 0x05};
    s.append(reinterpret_cast<const char*>(status), sizeof status);
    for (int i = 0; i < CLIPSIZE; ++i)
        s += static_cast<char>((i * 37 + k) & 0xFF);
    return s;
}

// A receive stream as the link sees it: poll answers while audio is off,
// then a run of audio frames, with some noise between windows.
std::string realisticStream() {
    std::string s;
    for (int poll = 0; poll < 20; ++poll)
        s += "@AF7050000\r@RMM4\r@RMI1000\r@AU\r@S    5\r";
    s += std::string("\xff\x00", 2);
    for (int k = 0; k < 40; ++k)
        s += frameOctets(k);
    return s;
}

void BM_ComReceiveStream(benchmark::State& state) {
    openQueue(&QueueMessage, "queueMessage");
    // The audio side always has room: GetMore stays signalled.
    hAudioClip = CreateEventA(nullptr, FALSE, FALSE, "AudioClip");
    hGetMore = CreateEventA(nullptr, TRUE, TRUE, "GetMore");
    comReceiveSync();
    const std::string stream = realisticStream();
    long units = 0;
    for (auto _ : state) {
        for (char c : stream)
            units += comReceive(static_cast<BYTE>(c));
        // The transmit side takes the clip requests.
        int priority = 0;
        while (dequeue(&QueueMessage, &priority))
            WaitForSingleObject(QueueMessage.hQueue, 0);
    }
    const double octets = static_cast<double>(stream.size()) * state.iterations();
    state.SetBytesProcessed(static_cast<std::int64_t>(octets));
    state.counters["octets/s"] = benchmark::Counter(octets, benchmark::Counter::kIsRate);
    // Side by side with the serial line, which delivers 5760 octets/s.
    state.counters["line octets/s"] = LINE_RATE;
    state.counters["units/pass"] =
        benchmark::Counter(static_cast<double>(units), benchmark::Counter::kAvgIterations);
    CloseHandle(hAudioClip);
    CloseHandle(hGetMore);
    hAudioClip = nullptr;
    hGetMore = nullptr;
    closeQueue(&QueueMessage);
}
BENCHMARK(BM_ComReceiveStream)->Unit(benchmark::kMicrosecond);

} // namespace

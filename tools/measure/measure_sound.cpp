// velkor-measure-sound: plays silence through the default sound output
// alone, in the program's blocks, for SECONDS (default 30) and prints the
// CPU the process used meanwhile. The sound library and the sound server
// client cost this much whatever the program does; scripts/measure-panel
// prints it beside the program's own figure.
//
//   velkor-measure-sound [SECONDS]
#include "platform/sound.h"
#include "platform/sync.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <sys/resource.h>

namespace {

int playSilence(const void*, void* pOutputBuffer, unsigned long ulFrames, double, LPVOID) {
    std::memset(pOutputBuffer, 0, ulFrames * sizeof(float));
    return 0;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (argc > 2 || !(seconds >= 1 && seconds <= 600)) {
        std::fprintf(stderr, "usage: velkor-measure-sound [SECONDS, 1..600]\n");
        return 2;
    }
    HANDLE hOutput = OpenSoundOutput(playSilence, nullptr);
    if (hOutput == nullptr || !StartSoundOutput(hOutput)) {
        std::fprintf(stderr, "velkor-measure-sound: cannot play: %s\n", ErrorText(GetLastError()));
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1)); // settle
    const double before = processCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double used = processCpuSeconds() - before;
    double dLatency = 0;
    const bool bLatency = GetSoundOutputLatency(hOutput, &dLatency) != FALSE;
    CloseSoundOutput(hOutput);
    std::printf("sound output alone (silence, %lu-frame blocks): %.2f %% of one core over %.1f s",
                SOUND_FRAMES_PER_BUFFER, 100.0 * used / elapsed, elapsed);
    if (bLatency)
        std::printf(", output latency %.1f ms", dLatency * 1000.0);
    std::printf("\n");
    return 0;
}

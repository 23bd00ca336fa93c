// velkor-timesignal: synthesizes the audio of a time-signal station as a
// WAV file, the source of the default replay recording: a tick of 1000 Hz
// for 5 ms at every second (none at seconds 29 and 59, and an 800 ms mark
// at second 0), over a continuous 600 Hz tone that falls silent for 40 ms
// around each tick.
#include "tools/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

namespace {

constexpr double RATE = 8000.0;
constexpr double TICK_HZ = 1000.0;
constexpr double TICK_SECONDS = 0.005;
constexpr double MARK_SECONDS = 0.8;
constexpr double TONE_HZ = 600.0;
constexpr double QUIET_BEFORE = 0.010; // tone off from 10 ms before a tick
constexpr double QUIET_AFTER = 0.030;  // to 30 ms after its start
constexpr float TICK_LEVEL = 0.7f;
constexpr float TONE_LEVEL = 0.25f;

float timeSignal(double t) {
    const double second = std::floor(t);
    const double into = t - second;
    const int iSecond = static_cast<int>(second) % 60;
    const bool bTickSecond = iSecond != 29 && iSecond != 59;
    const double tickLength = iSecond == 0 ? MARK_SECONDS : TICK_SECONDS;
    if (bTickSecond && into < tickLength)
        return TICK_LEVEL * static_cast<float>(std::sin(2 * std::numbers::pi * TICK_HZ * into));
    const double toNext = 1.0 - into;
    const bool bQuiet = (bTickSecond && into < std::max(tickLength, QUIET_AFTER)) ||
                        (iSecond != 28 && iSecond != 58 && toNext < QUIET_BEFORE);
    if (bQuiet)
        return 0.0f;
    return TONE_LEVEL * static_cast<float>(std::sin(2 * std::numbers::pi * TONE_HZ * t));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: velkor-timesignal OUT.wav [SECONDS]\n");
        return 2;
    }
    const double seconds = argc == 3 ? std::atof(argv[2]) : 60.0;
    if (!(seconds > 0 && seconds <= 3600)) {
        std::fprintf(stderr, "velkor-timesignal: SECONDS must be between 0 and 3600\n");
        return 2;
    }
    SOUND sound;
    sound.dRate = RATE;
    const auto n = static_cast<std::size_t>(seconds * RATE);
    sound.fSample.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        sound.fSample[i] = timeSignal(static_cast<double>(i) / RATE);
    std::string szError;
    if (!writeWav(argv[1], sound, szError)) {
        std::fprintf(stderr, "velkor-timesignal: %s\n", szError.c_str());
        return 1;
    }
    return 0;
}

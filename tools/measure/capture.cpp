#include "tools/measure/capture.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

namespace {

constexpr double ONSET_LEVEL = 0.05;
constexpr std::size_t GAP_WINDOW = 64;   // 8 ms at 8000/s
constexpr std::size_t PHASE_WINDOW = 80; // 10 ms

std::uint32_t le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

TONE measureTone(const std::vector<float>& x, double dRate, double dHz, std::size_t from,
                 std::size_t count) {
    double re = 0, im = 0;
    for (std::size_t i = from; i < from + count; ++i) {
        const double w = 2 * std::numbers::pi * dHz * static_cast<double>(i) / dRate;
        re += x[i] * std::cos(w);
        im -= x[i] * std::sin(w);
    }
    return {2 * std::hypot(re, im) / static_cast<double>(count), std::atan2(im, re)};
}

std::vector<float> readCapture(const std::string& szPath) {
    std::ifstream in(szPath, std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> x;
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0)
        return x;
    std::size_t at = 12;
    while (at + 8 <= s.size()) {
        const std::uint32_t size = le32(s, at + 4);
        if (s.compare(at, 4, "data") == 0) {
            const std::size_t first = at + 8;
            x.resize((s.size() - first) / sizeof(float));
            std::memcpy(x.data(), s.data() + first, x.size() * sizeof(float));
            return x;
        }
        at += 8 + size + (size & 1);
    }
    return x;
}

TONECHECK checkTone(const std::vector<float>& x, double dRate, double dExpectedHz, double dSettle,
                    double dSeconds) {
    TONECHECK check;
    std::size_t onset = 0;
    while (onset < x.size() && std::fabs(x[onset]) < ONSET_LEVEL)
        ++onset;
    const auto first = onset + static_cast<std::size_t>(dSettle * dRate);
    const auto count = static_cast<std::size_t>(dSeconds * dRate) / PHASE_WINDOW * PHASE_WINDOW;
    if (onset >= x.size() || first + count > x.size())
        return check;
    check.bFound = true;
    check.ulOnset = onset;
    check.ulFrames = count;

    // The strongest frequency within 20 Hz, in 0.1 Hz steps over a second.
    const std::size_t second = static_cast<std::size_t>(dRate);
    double best = 0;
    for (double f = dExpectedHz - 20; f <= dExpectedHz + 20; f += 0.1) {
        const double a = measureTone(x, dRate, f, first, second).dAmplitude;
        if (a > best) {
            best = a;
            check.dFrequency = f;
        }
    }
    check.dAmplitude = measureTone(x, dRate, check.dFrequency, first, count).dAmplitude;

    const double rmsTone = check.dAmplitude / std::numbers::sqrt2;
    for (std::size_t w = first; w + GAP_WINDOW <= first + count; w += GAP_WINDOW) {
        double sum = 0;
        for (std::size_t i = w; i < w + GAP_WINDOW; ++i)
            sum += static_cast<double>(x[i]) * x[i];
        if (std::sqrt(sum / GAP_WINDOW) < 0.5 * rmsTone)
            ++check.ulQuietWindows;
    }

    // With the phase measured against the tone's own frequency from the
    // start of the stretch, a steady tone keeps one phase; a gap, a
    // repeat or a cut shows as a step between neighbouring windows.
    double previous = 0;
    for (std::size_t w = first; w + PHASE_WINDOW <= first + count; w += PHASE_WINDOW) {
        const double phase = measureTone(x, dRate, check.dFrequency, w, PHASE_WINDOW).dPhase;
        if (w != first) {
            const double step = std::remainder(phase - previous, 2 * std::numbers::pi);
            if (std::fabs(step) > check.dWorstPhaseStep) {
                check.dWorstPhaseStep = std::fabs(step);
                check.ulWorstAt = w;
            }
        }
        previous = phase;
    }
    return check;
}

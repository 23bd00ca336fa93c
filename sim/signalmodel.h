// What the emulated receiver hears: signal strength and demodulated audio
// as a function of the tuned frequency, the mode and time.
//
// - The time-signal frequencies 2.5, 5, 10, 15 and 20 MHz (within
//   TIME_SIGNAL_WIDTH) carry a station: S-units around 8 with slow fading;
//   audio is a 1000 Hz tick of 5 ms at the start of every second over a
//   continuous tone (500 Hz on 2.5, 10 and 20 MHz, 600 Hz on 5 and 15 MHz).
//   In CW the carrier is heard as an 800 Hz beat note instead of the
//   continuous tone; SSB adds more noise.
// - TEST_TONE_FREQUENCY (14.2 MHz) carries a plain, steady test tone of
//   TEST_TONE_HZ with peak TEST_TONE_PEAK in every mode, S-units 7, no noise.
// - Everywhere else: band noise at about 1500 peak, S-units 1 to 3 with fading.
//
// Audio time advances by the samples produced, so the phase of every tone
// is continuous from one frame to the next.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <random>
#include <span>

inline constexpr double AUDIO_RATE = 7812.5; // samples per second
inline constexpr DWORD TEST_TONE_FREQUENCY = 14200000;
inline constexpr double TEST_TONE_HZ = 1000.0;
inline constexpr int TEST_TONE_PEAK = 8192;
inline constexpr DWORD TIME_SIGNAL_WIDTH = 3000; // hertz either side of the carrier

class SignalModel {
  public:
    explicit SignalModel(std::uint32_t seed = 4470) : random_(seed) {}

    // Signal strength in S-units at dSeconds since power-on.
    unsigned sUnits(DWORD ulFrequency, double dSeconds);

    // The next samples.size() samples of audio for this tuning and mode.
    void audio(DWORD ulFrequency, DWORD uMode, std::span<std::int16_t> samples);

    // The carrier of the time-signal station heard on ulFrequency, or 0.
    static DWORD timeSignalCarrier(DWORD ulFrequency);

  private:
    double noise();

    std::mt19937 random_;
    std::uint64_t ullSample_ = 0; // audio samples produced so far
    double dTonePhase_ = 0.0;     // cycles, continuous tone or beat note
    double dTickPhase_ = 0.0;     // cycles, 1000 Hz tick and test tone
    double dNoiseState_ = 0.0;    // band-limiting of the noise
};

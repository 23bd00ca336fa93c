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
// - The band's stations (a built-in plan, or a list given with
//   setStations) carry a steady strength within STATION_WIDTH of their
//   frequency, without fading, and a 400 Hz tone over light noise.
// - Everywhere else: band noise at about 1500 peak, S-units 0 to 4 with fading.
//
// Audio time advances by the samples produced, so the phase of every tone
// is continuous from one frame to the next.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

inline constexpr double AUDIO_RATE = 7812.5; // samples per second
inline constexpr DWORD TEST_TONE_FREQUENCY = 14200000;
inline constexpr double TEST_TONE_HZ = 1000.0;
inline constexpr int TEST_TONE_PEAK = 8192;
inline constexpr DWORD TIME_SIGNAL_WIDTH = 3000;   // hertz either side of the carrier
inline constexpr DWORD STATION_WIDTH = 2000;       // hertz either side of a band station
inline constexpr unsigned MAX_STATION_SUNITS = 15; // S9+36 dB

// A carrier of the band and its strength on the S-meter.
struct BandStation {
    DWORD ulFrequency = 0;
    unsigned uSUnits = 0;
};

// The built-in band: broadcasters on 49, 41, 31, 25, 19 and 16 m, apart
// from the time-signal frequencies and the test tone.
const std::vector<BandStation>& builtInStations();

// Reads a band from text: one "frequency_hz strength_s_units" pair a
// line; blank lines and lines starting with "#" are skipped. Each line
// that is not such a pair (or is out of range: 100 kHz..30 MHz, 0..15
// S-units) is named in *pszErrors ("line N: ...", one a line) and left
// out.
std::vector<BandStation> parseStations(const std::string& szText, std::string* pszErrors);

class SignalModel {
  public:
    explicit SignalModel(std::uint32_t seed = 4470) : random_(seed) {}

    // Signal strength in S-units at dSeconds since power-on.
    unsigned sUnits(DWORD ulFrequency, double dSeconds);

    // The next samples.size() samples of audio for this tuning and mode.
    void audio(DWORD ulFrequency, DWORD uMode, std::span<std::int16_t> samples);

    // The carrier of the time-signal station heard on ulFrequency, or 0.
    static DWORD timeSignalCarrier(DWORD ulFrequency);

    // The band's stations in place of the built-in plan.
    void setStations(std::vector<BandStation> stations) { stations_ = std::move(stations); }
    // The band station heard on ulFrequency, or nullptr.
    const BandStation* stationAt(DWORD ulFrequency) const;

  private:
    double noise();

    std::vector<BandStation> stations_ = builtInStations();

    std::mt19937 random_;
    std::uint64_t ullSample_ = 0; // audio samples produced so far
    double dTonePhase_ = 0.0;     // cycles, continuous tone or beat note
    double dTickPhase_ = 0.0;     // cycles, 1000 Hz tick and test tone
    double dNoiseState_ = 0.0;    // band-limiting of the noise
};

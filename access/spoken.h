// What a screen reader says for the receiver's readings: the frequency,
// the signal strength and the tuning step as words a speech synthesizer
// reads well ("7.05 megahertz", "S9 plus 18 dB"), and when a changing
// reading is worth saying again. No toolkit here: every window of the
// program (and the web remote) can use it, and it is tested without a
// display.
#pragma once

#include <cstdint>
#include <string>

namespace a11y {

// Hertz in groups of three digits: 7050000 is "7 050 000 hertz".
std::string spokenHertz(std::uint32_t ulHertz);
// Megahertz with only the decimals that carry a digit, so the value is
// exact to the hertz: 7050000 is "7.05 megahertz", 15000000 "15
// megahertz", 500000 "0.5 megahertz", 14200001 "14.200001 megahertz".
std::string spokenMegahertz(std::uint32_t ulHertz);

// The frequency with the station on the air there, when there is one:
// "7.1 megahertz, Radio Example".
std::string spokenTuning(std::uint32_t ulHertz, const std::string& szStation);
// The receiver as one phrase, for the field where the listener types and
// tunes: the tuning, the mode word when there is one, and "locked" while
// the front panel is locked ("7.1 megahertz, Radio Example, AM, locked").
std::string spokenReceiver(std::uint32_t ulHertz, const std::string& szStation,
                           const std::string& szMode, bool bLocked);

// The S-meter as operators say it: up to S9 the S-unit ("S0" .. "S9"),
// above it decibels over S9 at 6 dB to the unit ("S9 plus 6 dB").
inline constexpr unsigned S9 = 9;
inline constexpr unsigned DB_PER_S_UNIT = 6;
std::string spokenSUnits(std::uint32_t uSUnits);

// When to announce a reading that changes many times a second (the
// S-meter, polled ten times a second): only when it has moved to another
// whole unit than the one last announced, and at most once per interval.
// Reading it on request is always possible; this only keeps a screen
// reader from chattering.
class ChangeThrottle {
  public:
    explicit ChangeThrottle(std::uint64_t uIntervalMs = 1000) : uIntervalMs_(uIntervalMs) {}
    // TRUE when uValue, seen at uNowMs (any monotonic clock), should be
    // announced now; it is then the value last announced.
    bool shouldAnnounce(std::uint32_t uValue, std::uint64_t uNowMs);
    // Forgets what was announced: the next value is announced.
    void reset() { bAnnounced_ = false; }

  private:
    std::uint64_t uIntervalMs_;
    bool bAnnounced_ = false;
    std::uint32_t uLast_ = 0;
    std::uint64_t uLastMs_ = 0;
};

} // namespace a11y

// The questions asked of the station list: what is on the air now, what
// is near a frequency, which entries match typed text. Over entries in
// memory, so that the window and the tool answer alike and at once.
#pragma once

#include "stations/schedule.h"
#include "stations/station.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// How far "at this frequency" looks either side, in hertz.
inline constexpr std::uint32_t NEAR_HERTZ = 5000;
// How close the tuned frequency must be for the panel to name a station.
inline constexpr std::uint32_t TUNED_HERTZ = 1000;

struct Hit {
    std::size_t index; // into the entries asked about
    OnAir onAir;       // Yes, or Uncertain for an entry not on a weekly plan
};

// Schedule entries on the air at `now`, in the entries' order.
std::vector<Hit> onAirNow(const std::vector<Station>& stations, UtcSeconds now);

// Entries within ±window of the frequency, nearest first (lower first
// among equals).
std::vector<std::size_t> nearFrequency(const std::vector<Station>& stations,
                                       std::uint32_t frequency, std::uint32_t window = NEAR_HERTZ);

// The entry to name at the tuned frequency at `now`: the nearest within
// TUNED_HERTZ that is on the air (a schedule entry) or has no schedule
// (a bookmark, a named memory, the operator's own); null when none.
const Station* stationOnAir(const std::vector<Station>& stations, std::uint32_t frequency,
                            UtcSeconds now);

// One frequency of a list the scanner steps through, or of the names the
// band scope writes over its picture.
struct Tuning {
    std::uint32_t frequency = 0; // hertz
    unsigned mode = 0;           // MODE_AM, MODE_CW, MODE_SSB; 0: keep the receiver's
    std::string name;
};

// The frequencies of the entries on the air at `now` (Yes or Uncertain),
// by frequency, once each (the first entry's name and mode); only those
// the receiver can tune.
std::vector<Tuning> onAirTunings(const std::vector<Station>& stations, UtcSeconds now);
// The same for the entries that carry the tag (any case).
std::vector<Tuning> taggedTunings(const std::vector<Station>& stations, std::string_view tag);
// The name to show at each frequency from lower to upper (both included)
// at `now`: as stationOnAir names the tuned frequency, an entry on the air
// or one without a schedule; by frequency, once each.
std::vector<Tuning> namesIn(const std::vector<Station>& stations, std::uint32_t lower,
                            std::uint32_t upper, UtcSeconds now);
// Every tag the entries carry, once each, sorted without regard to case.
std::vector<std::string> allTags(const std::vector<Station>& stations);

// Text search over the entries: every word typed must appear, in any
// case, in the name, frequency (kHz), mode, times, days, language,
// target, country, notes, tags or source.
class SearchIndex {
  public:
    explicit SearchIndex(const std::vector<Station>& stations);
    // Indices of the matching entries, in order; all for empty text.
    std::vector<std::size_t> filter(std::string_view text) const;
    // Narrows a previous result: typing one more letter only ever removes
    // entries, so only those already shown need looking at.
    std::vector<std::size_t> narrow(const std::vector<std::size_t>& previous,
                                    std::string_view text) const;

  private:
    std::vector<std::string> haystacks; // lower-cased, one per entry
};

// The frequency as the window and the tool show it: kilohertz with the
// decimals it needs ("9650", "6070.5", "16.4").
std::string kilohertzText(std::uint32_t frequency);
// The current UTC time.
UtcSeconds utcNow();

// The station list's queries.
#include "stations/query.h"

#include <algorithm>
#include <chrono>

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

std::uint32_t distance(std::uint32_t a, std::uint32_t b) {
    return a > b ? a - b : b - a;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ') {
            ++i;
        }
        if (i > start) {
            out.push_back(lowered(text.substr(start, i - start)));
        }
    }
    return out;
}

bool matches(const std::string& haystack, const std::vector<std::string>& needles) {
    for (const std::string& needle : needles) {
        if (haystack.find(needle) == std::string::npos) {
            return false;
        }
    }
    return true;
}

// The entry's tags, split at the commas, without the spaces around them.
std::vector<std::string> tagsOf(const Station& station) {
    std::vector<std::string> tags;
    std::string_view rest = station.tags;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string_view tag = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        while (!tag.empty() && tag.front() == ' ') {
            tag.remove_prefix(1);
        }
        while (!tag.empty() && tag.back() == ' ') {
            tag.remove_suffix(1);
        }
        if (!tag.empty()) {
            tags.emplace_back(tag);
        }
    }
    return tags;
}

// One tuning per frequency, by frequency; the first entry (in the list's
// order) at a frequency gives its name and mode.
template <typename Take>
std::vector<Tuning> tuningsWhere(const std::vector<Station>& stations, Take take) {
    std::vector<Tuning> tunings;
    for (const Station& s : stations) {
        if (s.frequency >= MIN_FREQUENCY && s.frequency <= MAX_FREQUENCY && take(s)) {
            tunings.push_back({s.frequency, receiverMode(s.mode), s.name});
        }
    }
    std::stable_sort(tunings.begin(), tunings.end(),
                     [](const Tuning& a, const Tuning& b) { return a.frequency < b.frequency; });
    tunings.erase(
        std::unique(tunings.begin(), tunings.end(),
                    [](const Tuning& a, const Tuning& b) { return a.frequency == b.frequency; }),
        tunings.end());
    return tunings;
}

} // namespace

std::vector<Tuning> onAirTunings(const std::vector<Station>& stations, UtcSeconds now) {
    return tuningsWhere(stations, [now](const Station& s) { return onAirAt(s, now) != OnAir::No; });
}

std::vector<Tuning> taggedTunings(const std::vector<Station>& stations, std::string_view tag) {
    const std::string wanted = lowered(tag);
    return tuningsWhere(stations, [&](const Station& s) {
        const std::vector<std::string> tags = tagsOf(s);
        return std::any_of(tags.begin(), tags.end(),
                           [&](const std::string& t) { return lowered(t) == wanted; });
    });
}

std::vector<Tuning> namesIn(const std::vector<Station>& stations, std::uint32_t lower,
                            std::uint32_t upper, UtcSeconds now) {
    // A broadcast on the air names its frequency before an entry without
    // a schedule does, as on the tuned frequency.
    std::vector<std::pair<const Station*, bool>> shown; // the entry, and whether unscheduled
    for (const Station& s : stations) {
        const bool bUnscheduled = s.startMinute == NO_TIME;
        if (s.frequency >= lower && s.frequency <= upper && !s.name.empty() &&
            (bUnscheduled || onAirAt(s, now) != OnAir::No)) {
            shown.emplace_back(&s, bUnscheduled);
        }
    }
    std::stable_sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
        return a.first->frequency != b.first->frequency ? a.first->frequency < b.first->frequency
                                                        : a.second < b.second;
    });
    std::vector<Tuning> names;
    for (const auto& [s, bUnscheduled] : shown) {
        if (names.empty() || names.back().frequency != s->frequency) {
            names.push_back({s->frequency, receiverMode(s->mode), s->name});
        }
    }
    return names;
}

std::vector<std::string> allTags(const std::vector<Station>& stations) {
    std::vector<std::string> tags;
    for (const Station& s : stations) {
        for (std::string& tag : tagsOf(s)) {
            tags.push_back(std::move(tag));
        }
    }
    std::sort(tags.begin(), tags.end(), [](const std::string& a, const std::string& b) {
        const std::string la = lowered(a);
        const std::string lb = lowered(b);
        return la != lb ? la < lb : a < b;
    });
    tags.erase(std::unique(tags.begin(), tags.end(),
                           [](const std::string& a, const std::string& b) {
                               return lowered(a) == lowered(b);
                           }),
               tags.end());
    return tags;
}

std::vector<Hit> onAirNow(const std::vector<Station>& stations, UtcSeconds now) {
    std::vector<Hit> hits;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const OnAir onAir = onAirAt(stations[i], now);
        if (onAir != OnAir::No) {
            hits.push_back({i, onAir});
        }
    }
    return hits;
}

std::vector<std::size_t> nearFrequency(const std::vector<Station>& stations,
                                       std::uint32_t frequency, std::uint32_t window) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        if (distance(stations[i].frequency, frequency) <= window) {
            found.push_back(i);
        }
    }
    std::stable_sort(found.begin(), found.end(), [&](std::size_t a, std::size_t b) {
        const std::uint32_t da = distance(stations[a].frequency, frequency);
        const std::uint32_t db = distance(stations[b].frequency, frequency);
        return da != db ? da < db : stations[a].frequency < stations[b].frequency;
    });
    return found;
}

const Station* stationOnAir(const std::vector<Station>& stations, std::uint32_t frequency,
                            UtcSeconds now) {
    const Station* best = nullptr;
    for (std::size_t i : nearFrequency(stations, frequency, TUNED_HERTZ)) {
        const Station& s = stations[i];
        const bool bUnscheduled = s.startMinute == NO_TIME;
        if (bUnscheduled || onAirAt(s, now) != OnAir::No) {
            // A broadcast on the air names the frequency before a bookmark
            // at the same distance does.
            if (best == nullptr ||
                (distance(s.frequency, frequency) == distance(best->frequency, frequency) &&
                 best->startMinute == NO_TIME && !bUnscheduled)) {
                best = &s;
            }
        }
    }
    return best;
}

SearchIndex::SearchIndex(const std::vector<Station>& stations) {
    haystacks.reserve(stations.size());
    for (const Station& s : stations) {
        std::string h = kilohertzText(s.frequency);
        for (const std::string* field : {&s.name, &s.mode, &s.days, &s.language, &s.target,
                                         &s.country, &s.notes, &s.tags, &s.remarks}) {
            h += '\t';
            h += *field;
        }
        h += '\t' + timesText(s.startMinute, s.endMinute) + '\t' + sourceLabel(s);
        haystacks.push_back(lowered(h));
    }
}

std::vector<std::size_t> SearchIndex::filter(std::string_view text) const {
    std::vector<std::size_t> all(haystacks.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = i;
    }
    return narrow(all, text);
}

std::vector<std::size_t> SearchIndex::narrow(const std::vector<std::size_t>& previous,
                                             std::string_view text) const {
    const std::vector<std::string> needles = words(text);
    if (needles.empty()) {
        return previous;
    }
    std::vector<std::size_t> found;
    for (std::size_t i : previous) {
        if (i < haystacks.size() && matches(haystacks[i], needles)) {
            found.push_back(i);
        }
    }
    return found;
}

std::string kilohertzText(std::uint32_t frequency) {
    std::string text = std::to_string(frequency / 1000);
    std::uint32_t rest = frequency % 1000;
    if (rest != 0) {
        std::string decimals = std::to_string(1000 + rest).substr(1);
        while (decimals.back() == '0') {
            decimals.pop_back();
        }
        text += '.' + decimals;
    }
    return text;
}

UtcSeconds utcNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

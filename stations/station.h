// One entry of the station list: a frequency with what is heard there,
// where the entry came from, and, for a broadcast schedule's line, when
// it is on the air.
#pragma once

#include "protocol/radiostate.h" // modeWord

#include <cstdint>
#include <string>

// Frequencies an entry may have, in hertz: the broadcast schedules' range.
inline constexpr std::uint32_t STATION_MIN_FREQUENCY = 10000;
inline constexpr std::uint32_t STATION_MAX_FREQUENCY = 30000000;

// Where an entry came from. Importing a file again replaces exactly the
// entries of the same kind and file name.
enum class Source : int {
    User,      // typed by the operator
    Memory,    // a receiver memory channel (sourceFile holds its number)
    Schedule,  // a seasonal broadcast schedule file
    Bookmarks, // a bookmarks file
    Csv,       // the plain CSV of every entry
};

// Minutes of a UTC day; a schedule's end may be 1440 (24:00).
inline constexpr int NO_TIME = -1;

struct Station {
    std::int64_t id = 0;         // the database's row; 0 before it is stored
    std::uint32_t frequency = 0; // hertz
    std::string mode;            // "AM", "CW", "SSB", another word, or empty
    std::string name;
    std::string notes;
    std::string tags;            // comma-separated
    std::uint32_t bandwidth = 0; // hertz, as a bookmarks file gives it; 0: none
    Source source = Source::User;
    std::string sourceFile; // the file's name (no directory), or the channel number

    // Schedule fields; empty, or NO_TIME, when the entry has none.
    int startMinute = NO_TIME; // UTC
    int endMinute = NO_TIME;   // UTC; earlier than the start: runs past midnight
    std::string days;      // as the schedule writes them ("Mo-Fr", "1245", "1.Sa", "24Dec", "irr")
    std::string language;  // language code, or "-TS", "-CW"... for the kind of signal
    std::string target;    // target area
    std::string country;   // of the transmitter
    std::string remarks;   // transmitter site, "/XXX" for a relay
    int persistence = 0;   // 0: none given; 1..8, plus 90 for a utility station
    std::string startDate; // DDMM, with persistence 6
    std::string stopDate;  // DDMM
};

// The names the plain CSV and the tool use for a source ("user",
// "memory", "schedule", "bookmarks", "csv"); and back (false for an
// unknown word).
const char* sourceName(Source source);
bool sourceFromName(const std::string& szName, Source* pSource);
// "schedule:sked-a26.csv", "memory:37", "user".
std::string sourceLabel(const Station& station);
// The receiver's mode for an entry's mode word: MODE_AM, MODE_CW or
// MODE_SSB, 0 when the receiver has no such mode.
unsigned receiverMode(const std::string& szMode);

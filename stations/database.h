// The station database: one SQLite file shared by the panel and the
// command-line tool, either of which may write while the other does.
//
// Every write is one transaction: an import replaces the earlier import
// of the same file whole, or, when anything fails (a full disk), leaves
// the database as it was.
#pragma once

#include "stations/formats.h"
#include "stations/station.h"

#include <memory>
#include <string>
#include <vector>

// The environment variable that names the database file.
inline constexpr const char* szStationsEnv = "VELKOR_STATIONS";

// VELKOR_STATIONS, else $XDG_DATA_HOME/velkor/stations.db, else
// ~/.local/share/velkor/stations.db.
std::string stationsDatabasePath();

// What the program knows of one receiver memory channel.
struct MemoryRecord {
    unsigned channel = 0;        // 1..128
    std::uint32_t frequency = 0; // hertz; 0: not known
    unsigned mode = 0;           // MODE_AM, MODE_CW, MODE_SSB; 0: not known
    std::string name;
};

struct DatabaseOpen {
    bool ok = false;
    std::string error;   // why it could not be opened
    std::string asideAs; // a damaged file was renamed to this, and a new one started
};

class StationDatabase {
  public:
    // Opens the file, creating it (and its directory) when it is missing,
    // and brings its schema up to date. A file that is damaged or no
    // database is renamed aside with the time (never deleted) and a new
    // one is started; one that cannot be opened at all gives null.
    static std::unique_ptr<StationDatabase> open(const std::string& path, DatabaseOpen* pResult);
    ~StationDatabase();
    StationDatabase(const StationDatabase&) = delete;
    StationDatabase& operator=(const StationDatabase&) = delete;

    // The schema version this program writes.
    static int schemaVersion();

    // Replaces the entries of an earlier import of the same kind and file
    // name with these, and learns the tag colours; false (and nothing
    // changed) when the transaction fails.
    bool replaceImport(const ParsedFile& file, Source source, const std::string& sourceFile,
                       std::string* pError);
    // Adds one entry; its id is set.
    bool add(Station* pStation, std::string* pError);
    bool remove(std::int64_t id, std::string* pError);

    // Every entry, by frequency, the named memory channels among them
    // (as Source::Memory entries whose sourceFile is the channel).
    std::vector<Station> all(std::string* pError = nullptr);
    std::vector<TagColour> tagColours();

    // The channel holds this (from a confirmed Write or a Read); its name
    // is kept. A mode of 0 keeps the mode known before.
    bool recordMemory(unsigned channel, std::uint32_t frequency, unsigned mode,
                      std::string* pError = nullptr);
    // Names a channel (empty: no name).
    bool nameMemory(unsigned channel, const std::string& name, std::string* pError = nullptr);
    // The channels the program knows something of, by number.
    std::vector<MemoryRecord> memories(std::string* pError = nullptr);

    // Counts data changes made by any connection, to tell when to reload.
    std::int64_t changeCount();

  private:
    StationDatabase();
    struct Impl;
    std::unique_ptr<Impl> impl;
};

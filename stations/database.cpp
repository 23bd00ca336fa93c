// The station database on SQLite: the only file that knows it.
#include "stations/database.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>

namespace {

// How long a writer waits for the other program's transaction to end.
constexpr int BUSY_TIMEOUT_MS = 10000;

// Each step brings the schema from version i to i + 1.
constexpr std::array<const char*, 2> migrations{
    // 1: the entries and the memory channels.
    "CREATE TABLE stations ("
    " id INTEGER PRIMARY KEY,"
    " frequency_hz INTEGER NOT NULL,"
    " mode TEXT NOT NULL DEFAULT '',"
    " name TEXT NOT NULL DEFAULT '',"
    " notes TEXT NOT NULL DEFAULT '',"
    " tags TEXT NOT NULL DEFAULT '',"
    " source TEXT NOT NULL,"
    " source_file TEXT NOT NULL DEFAULT '',"
    " start_utc INTEGER,"
    " end_utc INTEGER,"
    " days TEXT NOT NULL DEFAULT '',"
    " language TEXT NOT NULL DEFAULT '',"
    " target TEXT NOT NULL DEFAULT '',"
    " country TEXT NOT NULL DEFAULT '',"
    " remarks TEXT NOT NULL DEFAULT '',"
    " persistence INTEGER NOT NULL DEFAULT 0,"
    " start_date TEXT NOT NULL DEFAULT '',"
    " stop_date TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX stations_frequency ON stations(frequency_hz);"
    "CREATE INDEX stations_source ON stations(source, source_file);"
    "CREATE TABLE memories ("
    " channel INTEGER PRIMARY KEY CHECK (channel BETWEEN 1 AND 128),"
    " frequency_hz INTEGER NOT NULL DEFAULT 0,"
    " mode INTEGER NOT NULL DEFAULT 0,"
    " name TEXT NOT NULL DEFAULT '');",
    // 2: bookmark bandwidths and tag colours, for bookmarks files.
    "ALTER TABLE stations ADD COLUMN bandwidth_hz INTEGER NOT NULL DEFAULT 0;"
    "CREATE TABLE tags (name TEXT PRIMARY KEY, colour TEXT NOT NULL);",
};

std::string errorOf(sqlite3* db) {
    return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

bool isDamage(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// One prepared statement, finalized when it goes.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : db(db) {
        code = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE; }
    int result() const { return code; }
    void bind(int i, std::int64_t v) { note(sqlite3_bind_int64(stmt, i, v)); }
    void bind(int i, const std::string& v) {
        note(sqlite3_bind_text(stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    }
    void bindTime(int i, int minute) {
        note(minute == NO_TIME ? sqlite3_bind_null(stmt, i) : sqlite3_bind_int(stmt, i, minute));
    }
    // SQLITE_ROW while rows come; false at the end or on an error.
    bool step() {
        if (!ok()) {
            return false;
        }
        code = sqlite3_step(stmt);
        return code == SQLITE_ROW;
    }
    // Runs a statement that returns no rows; then it can run again.
    bool run() {
        step();
        const bool bDone = code == SQLITE_DONE;
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        if (bDone) {
            code = SQLITE_OK;
        }
        return bDone;
    }
    std::int64_t integer(int i) { return sqlite3_column_int64(stmt, i); }
    int time(int i) {
        return sqlite3_column_type(stmt, i) == SQLITE_NULL ? NO_TIME : sqlite3_column_int(stmt, i);
    }
    std::string text(int i) {
        const auto* p = sqlite3_column_text(stmt, i);
        return p != nullptr ? std::string(reinterpret_cast<const char*>(p),
                                          static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)))
                            : std::string();
    }
    std::string error() const { return errorOf(db); }

  private:
    void note(int c) {
        if (c != SQLITE_OK && ok()) {
            code = c;
        }
    }
    sqlite3* db;
    sqlite3_stmt* stmt = nullptr;
    int code = SQLITE_OK;
};

bool exec(sqlite3* db, const char* sql, std::string* pError, int* pCode = nullptr) {
    char* szMessage = nullptr;
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, &szMessage);
    if (pCode != nullptr) {
        *pCode = code;
    }
    if (code != SQLITE_OK && pError != nullptr) {
        *pError = szMessage != nullptr ? szMessage : sqlite3_errstr(code);
    }
    sqlite3_free(szMessage);
    return code == SQLITE_OK;
}

void setError(std::string* pError, const std::string& text) {
    if (pError != nullptr) {
        *pError = text;
    }
}

// "20261209T083812Z": when a damaged file was put aside.
std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::array<char, 32> sz{};
    std::strftime(sz.data(), sz.size(), "%Y%m%dT%H%M%SZ", &utc);
    return sz.data();
}

// Renames the file and its journal files aside; the new name, or empty.
std::string putAside(const std::string& path) {
    namespace fs = std::filesystem;
    std::string aside = path + ".damaged-" + timeStamp();
    for (int n = 2; fs::exists(aside); ++n) {
        aside = path + ".damaged-" + timeStamp() + "-" + std::to_string(n);
    }
    std::error_code error;
    fs::rename(path, aside, error);
    if (error) {
        return {};
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        std::error_code ignored;
        if (fs::exists(path + suffix, ignored)) {
            fs::rename(path + suffix, aside + suffix, ignored);
        }
    }
    return aside;
}

std::string stationColumns() {
    return "frequency_hz, mode, name, notes, tags, source, source_file, start_utc, end_utc, days, "
           "language, target, country, remarks, persistence, start_date, stop_date, bandwidth_hz";
}

void bindStation(Statement& s, const Station& st) {
    s.bind(1, std::int64_t{st.frequency});
    s.bind(2, st.mode);
    s.bind(3, st.name);
    s.bind(4, st.notes);
    s.bind(5, st.tags);
    s.bind(6, std::string(sourceName(st.source)));
    s.bind(7, st.sourceFile);
    s.bindTime(8, st.startMinute);
    s.bindTime(9, st.endMinute);
    s.bind(10, st.days);
    s.bind(11, st.language);
    s.bind(12, st.target);
    s.bind(13, st.country);
    s.bind(14, st.remarks);
    s.bind(15, std::int64_t{st.persistence});
    s.bind(16, st.startDate);
    s.bind(17, st.stopDate);
    s.bind(18, std::int64_t{st.bandwidth});
}

} // namespace

std::string stationsDatabasePath() {
    if (const char* sz = std::getenv(szStationsEnv); sz != nullptr && *sz != '\0') {
        return sz;
    }
    if (const char* sz = std::getenv("XDG_DATA_HOME"); sz != nullptr && *sz == '/') {
        return std::string(sz) + "/velkor/stations.db";
    }
    const char* szHome = std::getenv("HOME");
    return std::string(szHome != nullptr ? szHome : ".") + "/.local/share/velkor/stations.db";
}

struct StationDatabase::Impl {
    sqlite3* db = nullptr;
    std::int64_t ownChanges = 0;

    ~Impl() { sqlite3_close_v2(db); }

    // Runs body inside one write transaction; commits when it returns
    // true, rolls everything back otherwise.
    bool write(const std::function<bool(std::string*)>& body, std::string* pError) {
        std::string error;
        if (!exec(db, "BEGIN IMMEDIATE", &error)) {
            setError(pError, error);
            return false;
        }
        if (!body(&error) || !exec(db, "COMMIT", &error)) {
            exec(db, "ROLLBACK", nullptr);
            setError(pError, error);
            return false;
        }
        ++ownChanges;
        return true;
    }
};

StationDatabase::StationDatabase() : impl(std::make_unique<Impl>()) {}
StationDatabase::~StationDatabase() = default;

int StationDatabase::schemaVersion() {
    return static_cast<int>(migrations.size());
}

namespace {

// Opens, checks and migrates; the SQLite code of the first failure.
int openAndMigrate(const std::string& path, sqlite3** pDb, std::string* pError) {
    int code = sqlite3_open_v2(path.c_str(), pDb,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                               nullptr);
    sqlite3* db = *pDb;
    if (code != SQLITE_OK) {
        *pError = errorOf(db);
        return code;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, BUSY_TIMEOUT_MS);
    if (!exec(db, "PRAGMA journal_mode=WAL", pError, &code)) {
        return code;
    }
    {
        Statement check(db, "PRAGMA quick_check");
        if (!check.step() || check.text(0) != "ok") {
            *pError = check.ok() ? "the file is damaged: " + check.text(0) : check.error();
            return check.ok() ? SQLITE_CORRUPT : check.result();
        }
    }
    int version = 0;
    {
        Statement v(db, "PRAGMA user_version");
        if (!v.step()) {
            *pError = v.error();
            return v.result();
        }
        version = static_cast<int>(v.integer(0));
    }
    if (version > static_cast<int>(migrations.size())) {
        *pError = "it was written by a newer version of the program (schema " +
                  std::to_string(version) + ")";
        return SQLITE_CANTOPEN;
    }
    for (auto i = static_cast<std::size_t>(version); i < migrations.size(); ++i) {
        const std::string sql = std::string("BEGIN IMMEDIATE;") + migrations[i] +
                                "PRAGMA user_version=" + std::to_string(i + 1) + ";COMMIT;";
        if (!exec(db, sql.c_str(), pError, &code)) {
            exec(db, "ROLLBACK", nullptr);
            return code;
        }
    }
    return SQLITE_OK;
}

} // namespace

std::unique_ptr<StationDatabase> StationDatabase::open(const std::string& path,
                                                       DatabaseOpen* pResult) {
    DatabaseOpen result;
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, ignored);
    }
    std::unique_ptr<StationDatabase> database(new StationDatabase());
    int code = openAndMigrate(path, &database->impl->db, &result.error);
    if (isDamage(code)) {
        // Kept aside, never deleted: the listener may want it back.
        sqlite3_close_v2(database->impl->db);
        database->impl->db = nullptr;
        result.asideAs = putAside(path);
        if (result.asideAs.empty()) {
            result.error += " (and it could not be renamed aside)";
        } else {
            code = openAndMigrate(path, &database->impl->db, &result.error);
        }
    }
    result.ok = code == SQLITE_OK;
    if (pResult != nullptr) {
        *pResult = result;
    }
    if (!result.ok) {
        return nullptr;
    }
    return database;
}

bool StationDatabase::replaceImport(const ParsedFile& file, Source source,
                                    const std::string& sourceFile, std::string* pError) {
    sqlite3* db = impl->db;
    return impl->write(
        [&](std::string* pWhy) {
            Statement erase(db, "DELETE FROM stations WHERE source = ?1 AND source_file = ?2");
            erase.bind(1, std::string(sourceName(source)));
            erase.bind(2, sourceFile);
            if (!erase.run()) {
                *pWhy = erase.error();
                return false;
            }
            const std::string sql = "INSERT INTO stations (" + stationColumns() +
                                    ") VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,"
                                    "?16,?17,?18)";
            Statement insert(db, sql.c_str());
            for (Station st : file.stations) {
                st.source = source;
                st.sourceFile = sourceFile;
                bindStation(insert, st);
                if (!insert.run()) {
                    *pWhy = insert.error();
                    return false;
                }
            }
            Statement tag(db, "INSERT INTO tags (name, colour) VALUES (?1, ?2) "
                              "ON CONFLICT(name) DO UPDATE SET colour = excluded.colour");
            for (const TagColour& t : file.tags) {
                tag.bind(1, t.name);
                tag.bind(2, t.colour);
                if (!tag.run()) {
                    *pWhy = tag.error();
                    return false;
                }
            }
            return true;
        },
        pError);
}

bool StationDatabase::add(Station* pStation, std::string* pError) {
    sqlite3* db = impl->db;
    return impl->write(
        [&](std::string* pWhy) {
            const std::string sql = "INSERT INTO stations (" + stationColumns() +
                                    ") VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,"
                                    "?16,?17,?18)";
            Statement insert(db, sql.c_str());
            bindStation(insert, *pStation);
            if (!insert.run()) {
                *pWhy = insert.error();
                return false;
            }
            pStation->id = sqlite3_last_insert_rowid(db);
            return true;
        },
        pError);
}

bool StationDatabase::remove(std::int64_t id, std::string* pError) {
    sqlite3* db = impl->db;
    return impl->write(
        [&](std::string* pWhy) {
            Statement erase(db, "DELETE FROM stations WHERE id = ?1");
            erase.bind(1, id);
            if (!erase.run()) {
                *pWhy = erase.error();
                return false;
            }
            return true;
        },
        pError);
}

std::vector<Station> StationDatabase::all(std::string* pError) {
    std::vector<Station> stations;
    const std::string sql = "SELECT id, " + stationColumns() + " FROM stations";
    Statement s(impl->db, sql.c_str());
    while (s.step()) {
        Station st;
        st.id = s.integer(0);
        st.frequency = static_cast<std::uint32_t>(s.integer(1));
        st.mode = s.text(2);
        st.name = s.text(3);
        st.notes = s.text(4);
        st.tags = s.text(5);
        if (!sourceFromName(s.text(6), &st.source)) {
            st.source = Source::User;
        }
        st.sourceFile = s.text(7);
        st.startMinute = s.time(8);
        st.endMinute = s.time(9);
        st.days = s.text(10);
        st.language = s.text(11);
        st.target = s.text(12);
        st.country = s.text(13);
        st.remarks = s.text(14);
        st.persistence = static_cast<int>(s.integer(15));
        st.startDate = s.text(16);
        st.stopDate = s.text(17);
        st.bandwidth = static_cast<std::uint32_t>(s.integer(18));
        stations.push_back(std::move(st));
    }
    if (s.result() != SQLITE_DONE) {
        setError(pError, s.error());
    }
    for (const MemoryRecord& m : memories(pError)) {
        if (m.name.empty() || m.frequency == 0) {
            continue;
        }
        Station st;
        st.id = -static_cast<std::int64_t>(m.channel); // not a row of the entries
        st.frequency = m.frequency;
        st.mode = modeWord(m.mode);
        st.name = m.name;
        st.source = Source::Memory;
        st.sourceFile = std::to_string(m.channel);
        stations.push_back(std::move(st));
    }
    std::stable_sort(stations.begin(), stations.end(),
                     [](const Station& a, const Station& b) { return a.frequency < b.frequency; });
    return stations;
}

std::vector<TagColour> StationDatabase::tagColours() {
    std::vector<TagColour> tags;
    Statement s(impl->db, "SELECT name, colour FROM tags ORDER BY name");
    while (s.step()) {
        tags.push_back({s.text(0), s.text(1)});
    }
    return tags;
}

bool StationDatabase::recordMemory(unsigned channel, std::uint32_t frequency, unsigned mode,
                                   std::string* pError) {
    sqlite3* db = impl->db;
    return impl->write(
        [&](std::string* pWhy) {
            Statement s(db,
                        "INSERT INTO memories (channel, frequency_hz, mode) VALUES (?1,?2,?3) "
                        "ON CONFLICT(channel) DO UPDATE SET frequency_hz = excluded.frequency_hz,"
                        " mode = CASE WHEN excluded.mode = 0 THEN mode ELSE excluded.mode END");
            s.bind(1, std::int64_t{channel});
            s.bind(2, std::int64_t{frequency});
            s.bind(3, std::int64_t{mode});
            if (!s.run()) {
                *pWhy = s.error();
                return false;
            }
            return true;
        },
        pError);
}

bool StationDatabase::nameMemory(unsigned channel, const std::string& name, std::string* pError) {
    sqlite3* db = impl->db;
    return impl->write(
        [&](std::string* pWhy) {
            Statement s(db, "INSERT INTO memories (channel, name) VALUES (?1,?2) "
                            "ON CONFLICT(channel) DO UPDATE SET name = excluded.name");
            s.bind(1, std::int64_t{channel});
            s.bind(2, name);
            if (!s.run()) {
                *pWhy = s.error();
                return false;
            }
            return true;
        },
        pError);
}

std::vector<MemoryRecord> StationDatabase::memories(std::string* pError) {
    std::vector<MemoryRecord> channels;
    Statement s(impl->db,
                "SELECT channel, frequency_hz, mode, name FROM memories ORDER BY channel");
    while (s.step()) {
        channels.push_back({static_cast<unsigned>(s.integer(0)),
                            static_cast<std::uint32_t>(s.integer(1)),
                            static_cast<unsigned>(s.integer(2)), s.text(3)});
    }
    if (s.result() != SQLITE_DONE) {
        setError(pError, s.error());
    }
    return channels;
}

std::int64_t StationDatabase::changeCount() {
    Statement s(impl->db, "PRAGMA data_version");
    const std::int64_t others = s.step() ? s.integer(0) : 0;
    return others + impl->ownChanges;
}

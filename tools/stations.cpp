// velkor-stations: the station database from a terminal, on the same
// file and the same code as the panel's station window.
#include "stations/database.h"
#include "stations/formats.h"
#include "stations/query.h"
#include "stations/schedule.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_UNREADABLE = 1; // a file (or the database) could not be read at all
constexpr int EXIT_USAGE = 2;

constexpr const char* szUsage =
    "Usage: velkor-stations COMMAND [OPTIONS]\n"
    "\n"
    "The station list of the Velkor panel ("
    "$VELKOR_STATIONS, else\n"
    "~/.local/share/velkor/stations.db).\n"
    "\n"
    "Commands:\n"
    "  import FILE...                 import schedule, bookmarks or plain CSV files;\n"
    "                                 a file imported again replaces its earlier import\n"
    "  export --format csv|bookmarks [FILE]\n"
    "                                 write every entry (to standard output without FILE)\n"
    "  now [--at YYYY-MM-DDTHH:MMZ] [--near KHZ] [--csv]\n"
    "                                 schedule entries on the air (now, or at that time),\n"
    "                                 only those within 5 kHz of KHZ with --near\n"
    "  find TEXT [--csv]              entries whose fields hold every word of TEXT\n"
    "  memories [--csv]               what the receiver's memory channels hold\n"
    "\n"
    "Options:\n"
    "  --csv        print the plain CSV of the entries instead of a table\n"
    "  -h, --help   show this help\n"
    "  --version    show the version\n"
    "\n"
    "Exit status: 0 on success, 1 when a file could not be read at all, 2 for bad usage.\n";

int usageError(const std::string& why) {
    std::cerr << "velkor-stations: " << why << "\n"
              << "Try 'velkor-stations --help'.\n";
    return EXIT_USAGE;
}

std::unique_ptr<StationDatabase> openDatabase() {
    const std::string path = stationsDatabasePath();
    DatabaseOpen result;
    auto database = StationDatabase::open(path, &result);
    if (!result.asideAs.empty()) {
        std::cerr << "velkor-stations: " << path << " was damaged (" << result.error
                  << "); kept as " << result.asideAs << ", a new list started\n";
    }
    if (!database) {
        std::cerr << "velkor-stations: cannot open " << path << ": " << result.error << "\n";
    }
    return database;
}

bool readFile(const std::string& path, std::string* pContent, std::string* pError) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        *pError = "is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *pError = std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        *pError = "read error";
        return false;
    }
    *pContent = content.str();
    return true;
}

Source sourceOf(FileFormat format) {
    switch (format) {
    case FileFormat::Schedule:
        return Source::Schedule;
    case FileFormat::Bookmarks:
        return Source::Bookmarks;
    default:
        return Source::Csv;
    }
}

int importFiles(const std::vector<std::string>& files) {
    auto database = openDatabase();
    if (!database) {
        return EXIT_UNREADABLE;
    }
    int status = EXIT_OK;
    for (const std::string& path : files) {
        std::string content;
        std::string error;
        if (!readFile(path, &content, &error)) {
            std::cerr << "velkor-stations: " << path << ": " << error << "\n";
            status = EXIT_UNREADABLE;
            continue;
        }
        const std::string name = std::filesystem::path(path).filename().string();
        const ParsedFile file = parseFile(content, name);
        if (file.format == FileFormat::Unknown) {
            std::cerr << "velkor-stations: " << path
                      << ": not a schedule, bookmarks or station CSV file\n";
            status = EXIT_UNREADABLE;
            continue;
        }
        if (!database->replaceImport(file, sourceOf(file.format), name, &error)) {
            std::cerr << "velkor-stations: " << path
                      << ": not imported, the list is unchanged: " << error << "\n";
            status = EXIT_UNREADABLE;
            continue;
        }
        std::cout << path << ": " << file.stations.size() << " entries imported\n";
        if (file.skipped > 0) {
            std::cerr << "velkor-stations: " << path << ": " << file.skipped
                      << (file.skipped == 1 ? " line" : " lines") << " skipped (line";
            std::cerr << (file.skippedLines.size() > 1 ? "s " : " ");
            for (std::size_t i = 0; i < file.skippedLines.size(); ++i) {
                std::cerr << (i != 0 ? ", " : "") << file.skippedLines[i];
            }
            std::cerr << (static_cast<std::size_t>(file.skipped) > file.skippedLines.size()
                              ? ", ...)\n"
                              : ")\n");
        }
    }
    return status;
}

bool writeOut(const std::string& text, const std::string& path) {
    if (path.empty()) {
        std::cout << text;
        return static_cast<bool>(std::cout);
    }
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "velkor-stations: cannot write " << path << "\n";
        return false;
    }
    return true;
}

void printTable(const std::vector<Station>& stations, const std::vector<OnAir>& marks) {
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const Station& s = stations[i];
        std::printf("%9s kHz  %-4s %-9s %-7s %-25s %-4s %-4s %-4s %s%s\n",
                    kilohertzText(s.frequency).c_str(), s.mode.c_str(),
                    timesText(s.startMinute, s.endMinute).c_str(), s.days.c_str(), s.name.c_str(),
                    s.language.c_str(), s.target.c_str(), s.country.c_str(), sourceLabel(s).c_str(),
                    i < marks.size() && marks[i] == OnAir::Uncertain ? "  (irregular)" : "");
    }
}

void show(const std::vector<Station>& stations, const std::vector<OnAir>& marks, bool bCsv) {
    if (bCsv) {
        std::cout << writeCsv(stations);
    } else {
        std::cout.flush();
        printTable(stations, marks);
    }
}

struct Options {
    std::vector<std::string> arguments; // what is not an option
    bool bCsv = false;
    std::string at;
    std::string near;
    std::string format;
};

// Reads the options a command accepts; false with the reason otherwise.
bool readOptions(int argc, char** argv, const std::vector<std::string>& allowed, Options* pOptions,
                 std::string* pError) {
    const auto allows = [&](const std::string& o) {
        return std::find(allowed.begin(), allowed.end(), o) != allowed.end();
    };
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.size() > 1 && a[0] == '-' && !allows(a)) {
            *pError = "unknown option " + a;
            return false;
        }
        if (a == "--csv") {
            pOptions->bCsv = true;
        } else if (a == "--at" || a == "--near" || a == "--format") {
            if (i + 1 >= argc) {
                *pError = a + " needs a value";
                return false;
            }
            (a == "--at"     ? pOptions->at
             : a == "--near" ? pOptions->near
                             : pOptions->format) = argv[++i];
        } else {
            pOptions->arguments.push_back(a);
        }
    }
    return true;
}

int nowCommand(const Options& o) {
    UtcSeconds at = utcNow();
    if (!o.at.empty() && !parseUtc(o.at, &at)) {
        return usageError("--at wants a UTC time like 2026-03-29T18:30Z, not " + o.at);
    }
    std::uint32_t near = 0;
    if (!o.near.empty()) {
        if (!parseKilohertz(o.near, &near)) {
            return usageError("--near wants a frequency in kHz, 10 to 30000, not " + o.near);
        }
    }
    auto database = openDatabase();
    if (!database) {
        return EXIT_UNREADABLE;
    }
    const std::vector<Station> all = database->all();
    std::vector<Station> shown;
    std::vector<OnAir> marks;
    const std::vector<Hit> hits = onAirNow(all, at);
    if (near != 0) {
        std::vector<Station> onAir;
        std::vector<OnAir> onAirMarks;
        for (const Hit& h : hits) {
            onAir.push_back(all[h.index]);
            onAirMarks.push_back(h.onAir);
        }
        for (std::size_t i : nearFrequency(onAir, near)) {
            shown.push_back(onAir[i]);
            marks.push_back(onAirMarks[i]);
        }
    } else {
        for (const Hit& h : hits) {
            shown.push_back(all[h.index]);
            marks.push_back(h.onAir);
        }
    }
    show(shown, marks, o.bCsv);
    return EXIT_OK;
}

int findCommand(const Options& o) {
    if (o.arguments.empty()) {
        return usageError("find needs the text to look for");
    }
    std::string text;
    for (const std::string& a : o.arguments) {
        text += (text.empty() ? "" : " ") + a;
    }
    auto database = openDatabase();
    if (!database) {
        return EXIT_UNREADABLE;
    }
    const std::vector<Station> all = database->all();
    std::vector<Station> shown;
    for (std::size_t i : SearchIndex(all).filter(text)) {
        shown.push_back(all[i]);
    }
    show(shown, {}, o.bCsv);
    return EXIT_OK;
}

int memoriesCommand(const Options& o) {
    auto database = openDatabase();
    if (!database) {
        return EXIT_UNREADABLE;
    }
    const std::vector<MemoryRecord> channels = database->memories();
    if (o.bCsv) {
        std::vector<Station> entries;
        for (const MemoryRecord& m : channels) {
            Station s;
            s.frequency = m.frequency;
            s.mode = modeWord(m.mode);
            s.name = m.name;
            s.source = Source::Memory;
            s.sourceFile = std::to_string(m.channel);
            entries.push_back(s);
        }
        std::cout << writeCsv(entries);
        return EXIT_OK;
    }
    for (const MemoryRecord& m : channels) {
        std::printf("%3u  %9s kHz  %-4s %s\n", m.channel,
                    m.frequency != 0 ? kilohertzText(m.frequency).c_str() : "?", modeWord(m.mode),
                    m.name.c_str());
    }
    return EXIT_OK;
}

int exportCommand(const Options& o) {
    if (o.format != "csv" && o.format != "bookmarks") {
        return usageError("export needs --format csv or --format bookmarks");
    }
    if (o.arguments.size() > 1) {
        return usageError("export writes one file");
    }
    auto database = openDatabase();
    if (!database) {
        return EXIT_UNREADABLE;
    }
    std::vector<Station> all = database->all();
    const std::string text =
        o.format == "csv" ? writeCsv(all) : writeBookmarks(all, database->tagColours());
    return writeOut(text, o.arguments.empty() ? "" : o.arguments[0]) ? EXIT_OK : EXIT_UNREADABLE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usageError("a command is needed");
    }
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        std::cout << szUsage;
        return EXIT_OK;
    }
    if (command == "--version") {
        std::cout << "velkor-stations " << VELKOR_VERSION << "\n";
        return EXIT_OK;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::cout << szUsage;
            return EXIT_OK;
        }
    }
    Options o;
    std::string error;
    if (command == "import") {
        if (!readOptions(argc, argv, {}, &o, &error)) {
            return usageError(error);
        }
        if (o.arguments.empty()) {
            return usageError("import needs at least one file");
        }
        return importFiles(o.arguments);
    }
    if (command == "export") {
        return readOptions(argc, argv, {"--format"}, &o, &error) ? exportCommand(o)
                                                                 : usageError(error);
    }
    if (command == "now") {
        if (!readOptions(argc, argv, {"--at", "--near", "--csv"}, &o, &error)) {
            return usageError(error);
        }
        return o.arguments.empty() ? nowCommand(o) : usageError("now takes no file or text");
    }
    if (command == "find") {
        return readOptions(argc, argv, {"--csv"}, &o, &error) ? findCommand(o) : usageError(error);
    }
    if (command == "memories") {
        if (!readOptions(argc, argv, {"--csv"}, &o, &error)) {
            return usageError(error);
        }
        return o.arguments.empty() ? memoriesCommand(o) : usageError("memories takes no argument");
    }
    return usageError("unknown command " + command);
}

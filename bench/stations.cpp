// The station list's figures: importing a season's schedule, asking what
// is on the air now, and narrowing the window's table per keystroke.
#include "stations/database.h"
#include "stations/formats.h"
#include "stations/query.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int SCHEDULE_LINES = 15000;

// A schedule like a season's: every day shape, names with accents in
// Windows-1252, CR LF line ends.
const std::string& schedule() {
    static const std::string text = [] {
        static constexpr std::array<const char*, 7> days{"",     "Mo-Fr", "Sa,Su", "1245",
                                                         "1.Sa", "irr",   "24Dec"};
        std::string t = "kHz:75;Time(UTC):93;Days:59;ITU:49;Station:201;Lng:49;Target:62;"
                        "Remarks:135;P:35;Start:60;Stop:60;\r\n";
        for (int i = 0; i < SCHEDULE_LINES; ++i) {
            const int start = (i * 15) % 1440;
            const int end = (start + 30 + (i % 4) * 30) % 1440;
            char line[200];
            std::snprintf(line, sizeof line,
                          "%d;%02d%02d-%02d%02d;%s;XYZ;Radio Ex\xE9mple %d;E;Eu;/ABC;%d;;\r\n",
                          2300 + (i * 7) % 23000, start / 60, start % 60, end / 60, end % 60,
                          days[static_cast<std::size_t>(i) % days.size()], i, i % 20 == 0 ? 8 : 1);
            t += line;
        }
        return t;
    }();
    return text;
}

std::string scratchDatabase() {
    const std::string dir =
        (std::filesystem::temp_directory_path() / "velkor-bench-stations").string();
    std::filesystem::create_directories(dir);
    return dir + "/stations.db";
}

// Parsing and the one transaction that replaces the earlier import.
void BM_ImportSchedule(benchmark::State& state) {
    const std::string path = scratchDatabase();
    std::filesystem::remove(path);
    DatabaseOpen result;
    auto db = StationDatabase::open(path, &result);
    for (auto _ : state) {
        const ParsedFile file = parseFile(schedule(), "sked-a26.csv");
        std::string error;
        if (!db->replaceImport(file, Source::Schedule, "sked-a26.csv", &error)) {
            state.SkipWithError(error.c_str());
        }
    }
    state.counters["lines"] = SCHEDULE_LINES;
    db.reset();
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_ImportSchedule)->Unit(benchmark::kMillisecond);

std::vector<Station> parsedEntries() {
    return parseFile(schedule(), "sked-a26.csv").stations;
}

void BM_OnAirNow(benchmark::State& state) {
    const std::vector<Station> entries = parsedEntries();
    UtcSeconds now = utcNow();
    std::size_t found = 0;
    for (auto _ : state) {
        found = onAirNow(entries, now).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["on_air"] = static_cast<double>(found);
}
BENCHMARK(BM_OnAirNow)->Unit(benchmark::kMillisecond);

// The window's search field: each keystroke of "radio ex" over the whole
// list, the first letter from all entries, each next one narrowing.
void BM_FilterPerKeystroke(benchmark::State& state) {
    const std::vector<Station> entries = parsedEntries();
    const SearchIndex index(entries);
    const std::string typed = "radio example 12";
    for (auto _ : state) {
        std::vector<std::size_t> shown = index.filter(typed.substr(0, 1));
        for (std::size_t n = 2; n <= typed.size(); ++n) {
            shown = index.narrow(shown, typed.substr(0, n));
        }
        benchmark::DoNotOptimize(shown);
    }
    state.counters["keystrokes"] = static_cast<double>(typed.size());
}
BENCHMARK(BM_FilterPerKeystroke)->Unit(benchmark::kMillisecond);

// The worst keystroke: one letter over all 15,000 entries.
void BM_FilterFirstKeystroke(benchmark::State& state) {
    const std::vector<Station> entries = parsedEntries();
    const SearchIndex index(entries);
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.filter("x"));
    }
}
BENCHMARK(BM_FilterFirstKeystroke)->Unit(benchmark::kMillisecond);

} // namespace

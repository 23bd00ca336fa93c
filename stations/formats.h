// The files listeners bring and take: the seasonal broadcast schedule
// (semicolon-separated, Windows-1252), bookmarks of the popular receiver
// programs, and the plain CSV of every entry (RFC 4180, UTF-8).
#pragma once

#include "stations/station.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class FileFormat { Unknown, Schedule, Bookmarks, Csv };

// A bookmarks file's tag and its colour ("#rrggbb").
struct TagColour {
    std::string name;
    std::string colour;
};

struct ParsedFile {
    FileFormat format = FileFormat::Unknown;
    std::vector<Station> stations;
    std::vector<TagColour> tags;
    int skipped = 0;               // data lines that could not be read
    std::vector<int> skippedLines; // line numbers (from 1) of the first few
};

// How many skipped line numbers a ParsedFile keeps.
inline constexpr std::size_t SKIPPED_LINES_KEPT = 5;

// The format of a file, from its first lines.
FileFormat detectFormat(std::string_view content);

// Reads a whole file of any of the three formats. sourceFile (the file's
// name without directory) goes into every entry. A line that cannot be
// read is counted and skipped; never an exception.
ParsedFile parseFile(std::string_view content, const std::string& sourceFile);

// Text as UTF-8: valid UTF-8 (a byte-order mark dropped) is kept; with
// bWindows1252 a text that is not valid UTF-8 is read as Windows-1252;
// otherwise each invalid sequence becomes U+FFFD. The five bytes
// Windows-1252 leaves undefined also become U+FFFD.
std::string decodeText(std::string_view bytes, bool bWindows1252);

// The bookmarks file for these entries, in the shape the other programs
// write: the tags section (with the colours known, else grey), one empty
// line, the bookmarks.
std::string writeBookmarks(const std::vector<Station>& stations,
                           const std::vector<TagColour>& colours);

// The plain CSV: its header, then one line per entry, CR LF line ends,
// fields quoted where they need it.
inline constexpr const char* CSV_HEADER =
    "frequency_hz,name,mode,start_utc,end_utc,days,language,target,country,source,notes";
std::string writeCsv(const std::vector<Station>& stations);

// A frequency in kilohertz as the schedule writes it ("9650", "6070.5",
// up to three decimals) to hertz, within STATION_MIN/MAX_FREQUENCY.
bool parseKilohertz(std::string_view text, std::uint32_t* pHertz);

// Splits one CSV record (RFC 4180) starting at *pPos; advances *pPos past
// its line end. Quoted fields may hold commas, quotes ("") and line ends.
std::vector<std::string> readCsvRecord(std::string_view text, std::size_t* pPos);

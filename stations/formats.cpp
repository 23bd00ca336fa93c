// Reading and writing the station files.
#include "stations/formats.h"

#include "stations/schedule.h"

#include <array>
#include <charconv>
#include <cstdio>

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD"; // U+FFFD
constexpr std::string_view BOM = "\xEF\xBB\xBF";
constexpr int SCHEDULE_FIELDS = 11;
constexpr int BOOKMARK_FIELDS = 5;
constexpr int CSV_FIELDS = 11;
constexpr std::uint32_t HERTZ_PER_KILOHERTZ = 1000;
constexpr const char* GREY = "#c0c0c0"; // a tag without a known colour

// Windows-1252's characters 0x80..0x9F (0 where it defines none).
constexpr std::array<char32_t, 32> cp1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not).
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80) {
        return 1;
    }
    std::size_t n = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + n > s.size() || b(1) < lo || b(1) > hi) {
        return 0;
    }
    for (std::size_t k = 2; k < n; ++k) {
        if (b(k) < 0x80 || b(k) > 0xBF) {
            return 0;
        }
    }
    return n;
}

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8Length(s, i);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::vector<std::string_view> split(std::string_view s, char separator) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t at = s.find(separator);
        fields.push_back(s.substr(0, at));
        if (at == std::string_view::npos) {
            return fields;
        }
        s.remove_prefix(at + 1);
    }
}

// Calls line(number, text) for each line, its CR LF or LF removed.
template <typename F> void eachLine(std::string_view text, F line) {
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view one = text.substr(0, end);
        if (!one.empty() && one.back() == '\r') {
            one.remove_suffix(1);
        }
        line(++number, one);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
}

bool inRange(std::uint32_t hertz) {
    return hertz >= STATION_MIN_FREQUENCY && hertz <= STATION_MAX_FREQUENCY;
}

bool parseUnsigned(std::string_view s, std::uint32_t* pValue) {
    if (s.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), *pValue);
    return error == std::errc() && end == s.data() + s.size();
}

// A frequency in kilohertz with up to three decimals, to hertz.
bool readKilohertz(std::string_view s, std::uint32_t* pHertz) {
    const std::size_t point = s.find('.');
    std::uint32_t whole = 0;
    if (!parseUnsigned(s.substr(0, point), &whole) || whole > STATION_MAX_FREQUENCY) {
        return false;
    }
    std::uint32_t fraction = 0;
    if (point != std::string_view::npos) {
        std::string_view decimals = s.substr(point + 1);
        if (decimals.empty() || decimals.size() > 3 || !parseUnsigned(decimals, &fraction)) {
            return false;
        }
        for (std::size_t n = decimals.size(); n < 3; ++n) {
            fraction *= 10;
        }
    }
    *pHertz = whole * HERTZ_PER_KILOHERTZ + fraction;
    return true;
}

struct Counter {
    ParsedFile* file;
    void skip(int line) {
        ++file->skipped;
        if (file->skippedLines.size() < SKIPPED_LINES_KEPT) {
            file->skippedLines.push_back(line);
        }
    }
};

bool parseScheduleLine(std::string_view line, Station* p) {
    const std::vector<std::string_view> f = split(line, ';');
    if (f.size() != SCHEDULE_FIELDS) {
        return false;
    }
    if (!parseKilohertz(trim(f[0]), &p->frequency)) {
        return false;
    }
    if (!parseTimes(std::string(trim(f[1])), &p->startMinute, &p->endMinute)) {
        return false;
    }
    p->days = trim(f[2]);
    if (!daysValid(p->days)) {
        return false;
    }
    p->country = trim(f[3]);
    p->name = trim(f[4]);
    p->language = trim(f[5]);
    p->target = trim(f[6]);
    p->remarks = trim(f[7]);
    const std::string_view persistence = trim(f[8]);
    std::uint32_t mark = 0;
    if (!persistence.empty() && (!parseUnsigned(persistence, &mark) || mark > 99)) {
        return false;
    }
    p->persistence = static_cast<int>(mark);
    p->startDate = trim(f[9]);
    p->stopDate = trim(f[10]);
    if ((!p->startDate.empty() && !dateValid(p->startDate)) ||
        (!p->stopDate.empty() && !dateValid(p->stopDate))) {
        return false;
    }
    if (p->language == "-CW") {
        p->mode = "CW"; // Morse: the receiver's CW mode
    }
    return true;
}

void parseSchedule(std::string_view text, const std::string& sourceFile, ParsedFile* pFile) {
    Counter counter{pFile};
    eachLine(text, [&](int number, std::string_view line) {
        if (trim(line).empty() || (number == 1 && line.starts_with("kHz"))) {
            return;
        }
        Station station;
        station.source = Source::Schedule;
        station.sourceFile = sourceFile;
        if (parseScheduleLine(line, &station)) {
            pFile->stations.push_back(std::move(station));
        } else {
            counter.skip(number);
        }
    });
}

void parseBookmarks(std::string_view text, const std::string& sourceFile, ParsedFile* pFile) {
    Counter counter{pFile};
    bool bBookmarks = false; // past the tags section
    eachLine(text, [&](int number, std::string_view line) {
        if (trim(line).empty()) {
            return;
        }
        if (line.starts_with("#")) {
            bBookmarks = bBookmarks || line.find("Frequency") != std::string_view::npos;
            return;
        }
        const std::vector<std::string_view> f = split(line, ';');
        if (!bBookmarks && f.size() == 2) {
            pFile->tags.push_back({std::string(trim(f[0])), std::string(trim(f[1]))});
            return;
        }
        Station station;
        station.source = Source::Bookmarks;
        station.sourceFile = sourceFile;
        std::uint32_t bandwidth = 0;
        const std::string_view bandwidthText = f.size() == BOOKMARK_FIELDS ? trim(f[3]) : "";
        if (f.size() != BOOKMARK_FIELDS || !parseUnsigned(trim(f[0]), &station.frequency) ||
            !inRange(station.frequency) ||
            (!bandwidthText.empty() && !parseUnsigned(bandwidthText, &bandwidth))) {
            counter.skip(number);
            return;
        }
        station.name = trim(f[1]);
        station.mode = trim(f[2]);
        station.bandwidth = bandwidth;
        station.tags = trim(f[4]);
        pFile->stations.push_back(std::move(station));
    });
}

// "HHMM", or empty for none.
std::string clockText(int minute) {
    if (minute == NO_TIME) {
        return {};
    }
    std::array<char, 48> sz{};
    std::snprintf(sz.data(), sz.size(), "%02d%02d", minute / 60, minute % 60);
    return sz.data();
}

bool parseClock(std::string_view s, int* pMinute, bool bEnd) {
    if (s.empty()) {
        *pMinute = NO_TIME;
        return true;
    }
    int start = 0;
    int end = 0;
    // Checked as a time range so that one rule reads both.
    const std::string range = bEnd ? "0000-" + std::string(s) : std::string(s) + "-0000";
    if (!parseTimes(range, &start, &end)) {
        return false;
    }
    *pMinute = bEnd ? end : start;
    return true;
}

bool parseCsvFields(const std::vector<std::string>& f, Station* p) {
    if (f.size() != CSV_FIELDS || !parseUnsigned(f[0], &p->frequency) || !inRange(p->frequency)) {
        return false;
    }
    p->name = f[1];
    p->mode = f[2];
    if (!parseClock(f[3], &p->startMinute, false) || !parseClock(f[4], &p->endMinute, true) ||
        (p->startMinute == NO_TIME) != (p->endMinute == NO_TIME)) {
        return false;
    }
    p->days = f[5];
    if (!daysValid(p->days)) {
        return false;
    }
    p->language = f[6];
    p->target = f[7];
    p->country = f[8];
    p->notes = f[10];
    return true;
}

void parseCsv(std::string_view text, const std::string& sourceFile, ParsedFile* pFile) {
    Counter counter{pFile};
    std::size_t pos = 0;
    int line = 1;
    bool bFirst = true;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const std::vector<std::string> fields = readCsvRecord(text, &pos);
        const int number = line;
        for (std::size_t i = start; i < pos; ++i) {
            line += text[i] == '\n' ? 1 : 0;
        }
        if (bFirst && !fields.empty() && fields[0] == "frequency_hz") {
            bFirst = false;
            continue;
        }
        bFirst = false;
        if (fields.size() == 1 && trim(fields[0]).empty()) {
            continue;
        }
        Station station;
        station.source = Source::Csv;
        station.sourceFile = sourceFile;
        if (parseCsvFields(fields, &station)) {
            pFile->stations.push_back(std::move(station));
        } else {
            counter.skip(number);
        }
    }
}

void appendCsvField(std::string& out, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

// Characters (code points) in UTF-8 text.
std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (char c : s) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

std::string padRight(const std::string& s, std::size_t width) {
    const std::size_t n = characters(s);
    return n >= width ? s : s + std::string(width - n, ' ');
}

std::string padLeft(const std::string& s, std::size_t width) {
    const std::size_t n = characters(s);
    return n >= width ? s : std::string(width - n, ' ') + s;
}

// The modulation word the bookmarks file uses for an entry's mode.
std::string modulationWord(const std::string& mode) {
    if (mode.empty()) {
        return "AM";
    }
    if (mode == "CW") {
        return "CW-U";
    }
    if (mode == "SSB") {
        return "USB";
    }
    return mode;
}

} // namespace

std::string decodeText(std::string_view bytes, bool bWindows1252) {
    if (bytes.starts_with(BOM)) {
        bytes.remove_prefix(BOM.size());
    }
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    if (bWindows1252 && !validUtf8(bytes)) {
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            const char32_t code = b >= 0x80 && b <= 0x9F ? cp1252High[b - 0x80] : b;
            if (code == 0) {
                out += REPLACEMENT;
            } else {
                appendUtf8(out, code);
            }
        }
        return out;
    }
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t n = utf8Length(bytes, i);
        if (n == 0) {
            out += REPLACEMENT;
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

FileFormat detectFormat(std::string_view content) {
    if (content.starts_with(BOM)) {
        content.remove_prefix(BOM.size());
    }
    FileFormat format = FileFormat::Unknown;
    int looked = 0;
    eachLine(content, [&](int, std::string_view line) {
        if (format != FileFormat::Unknown || looked >= 20 || trim(line).empty()) {
            return;
        }
        ++looked;
        if (line.starts_with("kHz:") || line.starts_with("kHz;")) {
            format = FileFormat::Schedule;
        } else if (line.starts_with("# Tag name") || line.starts_with("# Frequency")) {
            format = FileFormat::Bookmarks;
        } else if (line.starts_with("frequency_hz,")) {
            format = FileFormat::Csv;
        } else if (split(line, ';').size() == SCHEDULE_FIELDS) {
            format = FileFormat::Schedule;
        } else if (split(line, ';').size() == BOOKMARK_FIELDS) {
            format = FileFormat::Bookmarks;
        }
    });
    return format;
}

ParsedFile parseFile(std::string_view content, const std::string& sourceFile) {
    ParsedFile file;
    file.format = detectFormat(content);
    switch (file.format) {
    case FileFormat::Schedule:
        parseSchedule(decodeText(content, true), sourceFile, &file);
        break;
    case FileFormat::Bookmarks:
        parseBookmarks(decodeText(content, false), sourceFile, &file);
        break;
    case FileFormat::Csv:
        parseCsv(decodeText(content, false), sourceFile, &file);
        break;
    case FileFormat::Unknown:
        break;
    }
    return file;
}

bool parseKilohertz(std::string_view text, std::uint32_t* pHertz) {
    std::uint32_t hertz = 0;
    if (!readKilohertz(text, &hertz) || !inRange(hertz)) {
        return false;
    }
    *pHertz = hertz;
    return true;
}

std::vector<std::string> readCsvRecord(std::string_view text, std::size_t* pPos) {
    std::vector<std::string> fields(1);
    std::size_t i = *pPos;
    bool bQuoted = false;
    while (i < text.size()) {
        const char c = text[i++];
        if (bQuoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i < text.size() && text[i] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                bQuoted = false;
            }
        } else if (c == '"') {
            bQuoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    *pPos = i;
    return fields;
}

std::string writeCsv(const std::vector<Station>& stations) {
    std::string out = CSV_HEADER;
    out += "\r\n";
    for (const Station& s : stations) {
        const std::array<std::string, CSV_FIELDS> fields{std::to_string(s.frequency),
                                                         s.name,
                                                         s.mode,
                                                         clockText(s.startMinute),
                                                         clockText(s.endMinute),
                                                         s.days,
                                                         s.language,
                                                         s.target,
                                                         s.country,
                                                         sourceLabel(s),
                                                         s.notes};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i != 0) {
                out += ',';
            }
            appendCsvField(out, fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::string writeBookmarks(const std::vector<Station>& stations,
                           const std::vector<TagColour>& colours) {
    // Every tag the entries use, in the order first met, with its colour.
    std::vector<TagColour> tags;
    const auto addTag = [&](const std::string& name) {
        for (const TagColour& t : tags) {
            if (t.name == name) {
                return;
            }
        }
        std::string colour = GREY;
        for (const TagColour& known : colours) {
            if (known.name == name) {
                colour = known.colour;
            }
        }
        tags.push_back({name, colour});
    };
    for (const TagColour& known : colours) {
        addTag(known.name);
    }
    for (const Station& s : stations) {
        for (std::string_view tag : split(s.tags, ',')) {
            if (!trim(tag).empty()) {
                addTag(std::string(trim(tag)));
            }
        }
    }
    for (const Station& s : stations) {
        if (trim(s.tags).empty()) {
            addTag("Untagged"); // what an entry without tags is filed under
        }
    }
    std::string out = "# Tag name          ;  color\n";
    for (const TagColour& t : tags) {
        out += padRight(t.name, 20) + "; " + t.colour + "\n";
    }
    out += "\n# Frequency ;  Name                     ; Modulation          ;  Bandwidth; Tags\n";
    for (const Station& s : stations) {
        const std::string tagsText = trim(s.tags).empty() ? "Untagged" : s.tags;
        out += padLeft(std::to_string(s.frequency), 12) + "; " + padRight(s.name, 25) + "; " +
               padRight(modulationWord(s.mode), 20) + "; " +
               padLeft(std::to_string(s.bandwidth), 10) + "; " + tagsText + "\n";
    }
    return out;
}

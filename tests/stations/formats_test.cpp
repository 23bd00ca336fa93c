// Reading and writing the station files, bad lines included.
#include "stations/formats.h"
#include "stations/query.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* szHeader = "kHz:75;Time(UTC):93;Days:59;ITU:49;Station:201;Lng:49;"
                                 "Target:62;Remarks:135;P:35;Start:60;Stop:60;\r\n";

TEST(ScheduleFile, ReadsTheShapesAndDecodesWindows1252) {
    const std::string text = std::string(szHeader) +
                             "9650;1800-1900;Mo-Fr;XYZ;Radio Ex\xE9mple \x80;E;Eu;/ABC;1;;\r\n"
                             "6070.5;2300-0100;;CAN;Example Time Signal;-TS;NAm;;1;;\r\n"
                             "16.4;0000-2400;;NOR;Example Marine;;NEu;;91;;\r\n"
                             "5000;0730-0830;24Dec;S;Example Christmas;-CW;Eu;;6;1312;2412\r\n";
    const ParsedFile f = parseFile(text, "sked-a26.csv");
    ASSERT_EQ(f.format, FileFormat::Schedule);
    EXPECT_EQ(f.skipped, 0);
    ASSERT_EQ(f.stations.size(), 4u);
    EXPECT_EQ(f.stations[0].name, "Radio Ex\xC3\xA9mple \xE2\x82\xAC"); // é and €
    EXPECT_EQ(f.stations[0].frequency, 9650000u);
    EXPECT_EQ(f.stations[1].frequency, 6070500u);
    EXPECT_EQ(f.stations[1].startMinute, 23 * 60);
    EXPECT_EQ(f.stations[1].endMinute, 60);
    EXPECT_EQ(f.stations[2].frequency, 16400u);
    EXPECT_EQ(f.stations[2].persistence, 91);
    EXPECT_EQ(f.stations[3].mode, "CW");
    EXPECT_EQ(f.stations[3].stopDate, "2412");
    EXPECT_EQ(f.stations[3].sourceFile, "sked-a26.csv");
}

TEST(ScheduleFile, BadLinesAreSkippedAndCounted) {
    const std::string text = std::string(szHeader) +
                             "9650;1800-1900;Mo-Fr;XYZ;Good;E;Eu;;1;;\r\n"   // 2
                             "9650;1800-1900;Mo-Fr;XYZ;Short;E;Eu;;1;\r\n"   // 3: ten fields
                             "9650;1800-1900;Someday;XYZ;Days;E;Eu;;1;;\r\n" // 4
                             "5;1800-1900;;XYZ;Too low;E;Eu;;1;;\r\n"        // 5
                             "30001;1800-1900;;XYZ;Too high;E;Eu;;1;;\r\n"   // 6
                             "9650;2561-0100;;XYZ;Bad time;E;Eu;;1;;\r\n"    // 7
                             "\r\n"                                          // 8: empty
                             "\xFF\xFE;;;;;;;;;;\r\n"                        // 9
                             "7335;0000-2400;;XYZ;Also good;E;Eu;;1;;\r\n";  // 10
    const ParsedFile f = parseFile(text, "s.csv");
    EXPECT_EQ(f.stations.size(), 2u);
    EXPECT_EQ(f.skipped, 6);
    EXPECT_EQ(f.skippedLines, (std::vector<int>{3, 4, 5, 6, 7}));
}

TEST(TextDecoding, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(decodeText("a\xC3(b", false), "a\xEF\xBF\xBD(b");
    EXPECT_EQ(decodeText("\xED\xA0\x80", false), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(decodeText("\xEF\xBB\xBFok \xC3\xA9", false), "ok \xC3\xA9");
    // Windows-1252 leaves 0x81 undefined.
    EXPECT_EQ(decodeText("x\x81y\x9C", true), "x\xEF\xBF\xBDy\xC5\x93");
}

TEST(BookmarksFile, RoundTripIsExact) {
    const std::string text = "# Tag name          ;  color\n"
                             "Broadcast           ; #ff0000\n"
                             "Untagged            ; #c0c0c0\n"
                             "Utility             ; #00ff7f\n"
                             "\n"
                             "# Frequency ;  Name                     ; Modulation          ;  "
                             "Bandwidth; Tags\n"
                             "     9650000; Radio Exémple            ; AM                  ;   "
                             "    9000; Broadcast\n"
                             "     4625000; The Buzzer               ; USB                 ;   "
                             "    2800; Utility,Broadcast\n"
                             "    14074000; FT8                      ; WFM (mono)          ;   "
                             "  160000; Untagged\n";
    const ParsedFile f = parseFile(text, "bookmarks.csv");
    ASSERT_EQ(f.format, FileFormat::Bookmarks);
    ASSERT_EQ(f.stations.size(), 3u);
    EXPECT_EQ(f.stations[1].name, "The Buzzer");
    EXPECT_EQ(f.stations[1].mode, "USB");
    EXPECT_EQ(f.stations[1].tags, "Utility,Broadcast");
    EXPECT_EQ(f.stations[2].bandwidth, 160000u);
    EXPECT_EQ(writeBookmarks(f.stations, f.tags), text);
}

TEST(PlainCsv, QuotesWhatNeedsItAndReadsItBack) {
    Station s;
    s.frequency = 9650000;
    s.name = "Radio \"Quoted\", Comma";
    s.notes = "two\r\nlines";
    s.mode = "AM";
    s.startMinute = 23 * 60;
    s.endMinute = 60;
    s.days = "Mo-Fr";
    s.source = Source::User;
    const std::string text = writeCsv({s});
    EXPECT_EQ(text, std::string(CSV_HEADER) + "\r\n9650000,\"Radio \"\"Quoted\"\", Comma\",AM,2300,"
                                              "0100,Mo-Fr,,,,user,\"two\r\nlines\"\r\n");
    const ParsedFile back = parseFile(text + "12,too low,,,,,,,,,\r\n", "everything.csv");
    ASSERT_EQ(back.format, FileFormat::Csv);
    ASSERT_EQ(back.stations.size(), 1u);
    EXPECT_EQ(back.stations[0].name, s.name);
    EXPECT_EQ(back.stations[0].notes, s.notes);
    EXPECT_EQ(back.stations[0].endMinute, 60);
    EXPECT_EQ(back.skippedLines, std::vector<int>{4}); // the quoted line end counts
}

TEST(Queries, NearestFirstAndTheNameOnTheAir) {
    std::vector<Station> list(4);
    list[0].frequency = 9650000; // a bookmark, no schedule
    list[1].frequency = 9655000;
    list[2].frequency = 9645000;
    list[3].frequency = 9650000;
    list[3].name = "Broadcast";
    list[3].startMinute = 18 * 60;
    list[3].endMinute = 19 * 60;
    EXPECT_EQ(nearFrequency(list, 9650000), (std::vector<std::size_t>{0, 3, 2, 1}));
    EXPECT_EQ(nearFrequency(list, 9651000), (std::vector<std::size_t>{0, 3, 1}));
    EXPECT_TRUE(nearFrequency(list, 9670000).empty());
    UtcSeconds evening = 0;
    UtcSeconds morning = 0;
    ASSERT_TRUE(parseUtc("2026-03-02T18:30Z", &evening));
    ASSERT_TRUE(parseUtc("2026-03-02T08:30Z", &morning));
    EXPECT_EQ(stationOnAir(list, 9650000, evening), &list[3]);
    EXPECT_EQ(stationOnAir(list, 9650000, morning), &list[0]);
    EXPECT_EQ(stationOnAir(list, 9652000, evening), nullptr);

    // What a scan steps and the band scope writes: one frequency each,
    // within the receiver's range, the broadcast's name before the bookmark's.
    list[0].name = "Bookmark";
    list[0].tags = "Europe , news";
    list[0].mode = "USB";
    list[1].name = "Later";
    list[1].startMinute = 18 * 60;
    list[1].endMinute = 20 * 60;
    list[1].tags = "NEWS";
    list.push_back(list[3]); // the same broadcast again: once
    list.push_back(list[1]);
    list.back().frequency = 16400; // below the receiver's range
    const std::vector<Tuning> onAir = onAirTunings(list, evening);
    ASSERT_EQ(onAir.size(), 2u);
    EXPECT_EQ(onAir[0].frequency, 9650000u);
    EXPECT_EQ(onAir[0].name, "Broadcast");
    EXPECT_EQ(onAir[1].frequency, 9655000u);
    EXPECT_TRUE(onAirTunings(list, morning).empty());
    const std::vector<Tuning> news = taggedTunings(list, "news");
    ASSERT_EQ(news.size(), 2u);
    EXPECT_EQ(news[0].mode, static_cast<unsigned>(MODE_SSB));
    EXPECT_EQ(news[1].frequency, 9655000u);
    EXPECT_TRUE(taggedTunings(list, "new").empty());
    EXPECT_EQ(allTags(list), (std::vector<std::string>{"Europe", "NEWS"}));
    const std::vector<Tuning> names = namesIn(list, 9640000, 9660000, evening);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].name, "Broadcast");
    EXPECT_EQ(names[1].name, "Later");
    const std::vector<Tuning> morningNames = namesIn(list, 9640000, 9660000, morning);
    ASSERT_EQ(morningNames.size(), 1u);
    EXPECT_EQ(morningNames[0].name, "Bookmark");
    EXPECT_EQ(kilohertzText(6070500), "6070.5");
    EXPECT_EQ(kilohertzText(16400), "16.4");
}

TEST(Queries, FilterNarrowsAsYouType) {
    std::vector<Station> list(3);
    list[0].name = "Radio Example";
    list[0].language = "E";
    list[1].name = "Example Marine";
    list[2].name = "Other";
    list[2].frequency = 9650000;
    const SearchIndex index(list);
    EXPECT_EQ(index.filter("").size(), 3u);
    EXPECT_EQ(index.filter("EXAMPLE"), (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(index.filter("example mar"), (std::vector<std::size_t>{1}));
    EXPECT_EQ(index.filter("9650"), (std::vector<std::size_t>{2}));
    EXPECT_EQ(index.narrow(index.filter("exa"), "exam"), (std::vector<std::size_t>{0, 1}));
}

} // namespace

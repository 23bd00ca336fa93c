// The schedule rules at their edges.
#include "stations/schedule.h"

#include <gtest/gtest.h>

namespace {

UtcSeconds at(const char* szTime) {
    UtcSeconds t = 0;
    EXPECT_TRUE(parseUtc(szTime, &t)) << szTime;
    return t;
}

Station entry(const char* szTimes, const char* szDays = "", int persistence = 1,
              const char* szStart = "", const char* szStop = "") {
    Station s;
    s.frequency = 9650000;
    EXPECT_TRUE(parseTimes(szTimes, &s.startMinute, &s.endMinute)) << szTimes;
    s.days = szDays;
    s.persistence = persistence;
    s.startDate = szStart;
    s.stopDate = szStop;
    return s;
}

// 2026-03-02 is a Monday.
TEST(ScheduleTimes, StartIncludedEndExcluded) {
    const Station s = entry("1800-1900");
    EXPECT_EQ(onAirAt(s, at("2026-03-02T17:59Z")), OnAir::No);
    EXPECT_EQ(onAirAt(s, at("2026-03-02T18:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(s, at("2026-03-02T18:59Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(s, at("2026-03-02T19:00Z")), OnAir::No);
}

TEST(ScheduleTimes, AllDayAndPastMidnight) {
    const Station allDay = entry("0000-2400");
    EXPECT_EQ(onAirAt(allDay, at("2026-03-02T00:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(allDay, at("2026-03-02T23:59:59Z")), OnAir::Yes);

    // Monday's broadcast runs into Tuesday; the days are the start's.
    const Station monday = entry("2300-0100", "Mo");
    EXPECT_EQ(onAirAt(monday, at("2026-03-02T23:30Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(monday, at("2026-03-03T00:30Z")), OnAir::Yes); // Tuesday morning
    EXPECT_EQ(onAirAt(monday, at("2026-03-02T00:30Z")), OnAir::No);  // Sunday's would-be run
    EXPECT_EQ(onAirAt(monday, at("2026-03-03T01:00Z")), OnAir::No);
    EXPECT_EQ(onAirAt(monday, at("2026-03-02T22:59Z")), OnAir::No);
}

TEST(ScheduleTimes, BadTimesAreRefused) {
    int start = 0;
    int end = 0;
    for (const char* sz : {"2561-0100", "1260-1300", "2400-0100", "0000-2401", "1200",
                           "12:00-13:00", "", "1a00-1300"}) {
        EXPECT_FALSE(parseTimes(sz, &start, &end)) << sz;
    }
    EXPECT_TRUE(parseTimes("0000-2400", &start, &end));
    EXPECT_EQ(end, 1440);
}

TEST(ScheduleDays, NamesRangesListsAndDigits) {
    // Mon 2 .. Sun 8 March 2026.
    const Station weekdays = entry("1200-1300", "Mo-Fr");
    const Station weekend = entry("1200-1300", "Sa,Su");
    const Station wrapped = entry("1200-1300", "Fr-Mo");
    const Station digits = entry("1200-1300", "1245");
    const std::array<const char*, 7> days{
        "2026-03-02T12:00Z", "2026-03-03T12:00Z", "2026-03-04T12:00Z", "2026-03-05T12:00Z",
        "2026-03-06T12:00Z", "2026-03-07T12:00Z", "2026-03-08T12:00Z"};
    const std::array<bool, 7> isWeekday{true, true, true, true, true, false, false};
    const std::array<bool, 7> isWrapped{true, false, false, false, true, true, true};
    const std::array<bool, 7> isDigit{true, true, false, true, true, false, false};
    for (std::size_t d = 0; d < days.size(); ++d) {
        EXPECT_EQ(onAirAt(weekdays, at(days[d])) == OnAir::Yes, isWeekday[d]) << days[d];
        EXPECT_EQ(onAirAt(weekend, at(days[d])) == OnAir::Yes, !isWeekday[d]) << days[d];
        EXPECT_EQ(onAirAt(wrapped, at(days[d])) == OnAir::Yes, isWrapped[d]) << days[d];
        EXPECT_EQ(onAirAt(digits, at(days[d])) == OnAir::Yes, isDigit[d]) << days[d];
    }
}

TEST(ScheduleDays, NthWeekdayAndDate) {
    // Saturdays of March 2026: 7, 14, 21, 28.
    const Station first = entry("1200-1300", "1.Sa");
    EXPECT_EQ(onAirAt(first, at("2026-03-07T12:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(first, at("2026-03-14T12:00Z")), OnAir::No);
    EXPECT_EQ(onAirAt(first, at("2026-03-01T12:00Z")), OnAir::No); // a Sunday
    const Station secondAndFourth = entry("1200-1300", "2.Sa,4.Sa");
    EXPECT_EQ(onAirAt(secondAndFourth, at("2026-03-14T12:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(secondAndFourth, at("2026-03-28T12:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(secondAndFourth, at("2026-03-21T12:00Z")), OnAir::No);

    const Station christmasEve = entry("2330-0030", "24Dec");
    EXPECT_EQ(onAirAt(christmasEve, at("2026-12-24T23:45Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(christmasEve, at("2026-12-25T00:15Z")), OnAir::Yes); // started the 24th
    EXPECT_EQ(onAirAt(christmasEve, at("2026-12-25T23:45Z")), OnAir::No);
}

TEST(ScheduleDays, WordsAndNonsense) {
    const Station irregular = entry("1200-1300", "irr");
    EXPECT_EQ(onAirAt(irregular, at("2026-03-02T12:30Z")), OnAir::Uncertain);
    EXPECT_EQ(onAirAt(irregular, at("2026-03-02T13:30Z")), OnAir::No);
    for (const char* sz : {"irr", "alt", "test", "tent", "Mo-Fr", "1245", "1.Sa", "24Dec", ""}) {
        EXPECT_TRUE(daysValid(sz)) << sz;
    }
    for (const char* sz :
         {"Xy", "Mo-", "8", "0", "6.Sa", "32Dec", "30Feb", "Mo--Fr", "sometimes", ",", "1.Sx"}) {
        EXPECT_FALSE(daysValid(sz)) << sz;
    }
}

TEST(SchedulePersistence, DatedInactiveAndSeasons) {
    // Only from 13 December to 24 December, both days included.
    const Station dated = entry("0730-0830", "", 6, "1312", "2412");
    EXPECT_EQ(onAirAt(dated, at("2026-12-12T08:00Z")), OnAir::No);
    EXPECT_EQ(onAirAt(dated, at("2026-12-13T08:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(dated, at("2026-12-24T08:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(dated, at("2026-12-25T08:00Z")), OnAir::No);
    // Across the year's end.
    const Station newYear = entry("0730-0830", "", 6, "2812", "0401");
    EXPECT_EQ(onAirAt(newYear, at("2026-12-31T08:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(newYear, at("2027-01-04T08:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(newYear, at("2027-01-05T08:00Z")), OnAir::No);

    EXPECT_EQ(onAirAt(entry("0000-2400", "", 8), at("2026-03-02T12:00Z")), OnAir::No);
    EXPECT_EQ(onAirAt(entry("0000-2400", "", 98), at("2026-03-02T12:00Z")), OnAir::No);
    EXPECT_EQ(onAirAt(entry("0000-2400", "", 91), at("2026-03-02T12:00Z")), OnAir::Yes);

    // Northern summer time starts on the last Sunday of March (29th in 2026).
    const Station summer = entry("0000-2400", "", 5);
    const Station winter = entry("0000-2400", "", 4);
    EXPECT_EQ(onAirAt(summer, at("2026-03-28T12:00Z")), OnAir::No);
    EXPECT_EQ(onAirAt(summer, at("2026-07-01T12:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(winter, at("2026-03-28T12:00Z")), OnAir::Yes);
    EXPECT_EQ(onAirAt(winter, at("2026-07-01T12:00Z")), OnAir::No);
}

TEST(ScheduleTime, ParsesOnlyUtcTimes) {
    UtcSeconds t = 0;
    ASSERT_TRUE(parseUtc("1970-01-02T00:01Z", &t));
    EXPECT_EQ(t, 86400 + 60);
    for (const char* sz : {"2026-02-30T12:00Z", "2026-03-02T24:00Z", "2026-03-02 12:00Z",
                           "2026-03-02T12:00", "yesterday"}) {
        EXPECT_FALSE(parseUtc(sz, &t)) << sz;
    }
}

} // namespace

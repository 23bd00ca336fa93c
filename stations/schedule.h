// When a schedule entry is on the air: its UTC times, days, dates and
// persistence, checked against a moment in UTC.
#pragma once

#include "stations/station.h"

#include <cstdint>
#include <string>

// Reads "HHMM-HHMM" into minutes of the day (the end may be "2400");
// false for anything else ("2561", "1200", "1260-1300").
bool parseTimes(const std::string& szText, int* pStart, int* pEnd);
// "HHMM-HHMM" for an entry's times; empty when it has none.
std::string timesText(int startMinute, int endMinute);

// True when the days field is one the rules know: empty, day names as
// ranges and lists ("Mo-Fr", "Sa,Su", "Mo-We,Fr"), digits with 1 =
// Monday ("1245"), an n-th weekday of the month ("1.Sa", "2.Mo,4.Mo"),
// a date ("24Dec"), or a word that means "not on a weekly plan".
bool daysValid(const std::string& szDays);
// True for the words that mean "not reliably on a weekly plan" ("irr",
// "alt", "test", "tent"), which are shown but marked uncertain.
bool daysIrregular(const std::string& szDays);

// True for a DDMM date that exists in some year ("2902" too).
bool dateValid(const std::string& szDate);

// Seconds since 1970-01-01 00:00 UTC.
using UtcSeconds = std::int64_t;

enum class OnAir {
    No,
    Yes,
    Uncertain, // on at this time of day, but not on a weekly plan
};

// Whether the entry is on the air at `now`. Entries without times are not
// schedule entries and never on the air; persistence 8 (inactive) never
// is. A broadcast that runs past midnight belongs to the day it starts:
// its days and dates are checked on that day.
OnAir onAirAt(const Station& station, UtcSeconds now);

// "YYYY-MM-DDTHH:MMZ" (the seconds ":SS" may come before the Z); false
// for anything else.
bool parseUtc(const std::string& szText, UtcSeconds* pTime);

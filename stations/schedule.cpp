// The schedule rules, on UTC civil dates from <chrono>.
#include "stations/schedule.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <string_view>

namespace {

using namespace std::chrono;

constexpr int SECONDS_PER_DAY = 24 * 60 * 60;

// Persistence marks (a utility station adds 90).
constexpr int PERSIST_NORTH_DST = 2;
constexpr int PERSIST_SOUTH_DST = 3;
constexpr int PERSIST_WINTER = 4;
constexpr int PERSIST_SUMMER = 5;
constexpr int PERSIST_DATED = 6;
constexpr int PERSIST_INACTIVE = 8;
constexpr int PERSIST_UTILITY = 90;

constexpr std::array<std::string_view, 7> dayNames{"mo", "tu", "we", "th", "fr", "sa", "su"};
constexpr std::array<std::string_view, 12> monthNames{"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::array<std::string_view, 4> irregularWords{"irr", "alt", "test", "tent"};
constexpr std::array<int, 12> monthLengths{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

int number(std::string_view s) {
    int n = 0;
    for (char c : s) {
        n = n * 10 + (c - '0');
    }
    return n;
}

// 1 = Monday .. 7 = Sunday; 0 when the text is no day name.
int dayNumber(std::string_view s) {
    for (std::size_t i = 0; i < dayNames.size(); ++i) {
        if (equalsNoCase(s, dayNames[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

int monthNumber(std::string_view s) {
    for (std::size_t i = 0; i < monthNames.size(); ++i) {
        if (equalsNoCase(s, monthNames[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

// One calendar day, as the rules look at it.
struct Day {
    int weekday;    // 1 = Monday .. 7 = Sunday
    int dayOfMonth; // 1..31
    int month;      // 1..12
    int year;
    sys_days date;
};

Day dayOf(sys_days date) {
    const year_month_day ymd{date};
    return {static_cast<int>(weekday{date}.iso_encoding()), static_cast<int>(unsigned{ymd.day()}),
            static_cast<int>(unsigned{ymd.month()}), int{ymd.year()}, date};
}

// Calls item(text) for each comma-separated item; false when one fails.
template <typename F> bool eachItem(std::string_view s, F item) {
    while (true) {
        const std::size_t comma = s.find(',');
        if (!item(s.substr(0, comma))) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        s.remove_prefix(comma + 1);
    }
}

// A date "24Dec" (day 1..31 in one or two digits, then a month name).
bool parseDayMonth(std::string_view s, int* pDay, int* pMonth) {
    std::size_t digits = 0;
    while (digits < s.size() && isDigit(s[digits])) {
        ++digits;
    }
    if (digits == 0 || digits > 2) {
        return false;
    }
    const int day = number(s.substr(0, digits));
    const int month = monthNumber(s.substr(digits));
    if (month == 0 || day < 1 || day > monthLengths[static_cast<std::size_t>(month - 1)]) {
        return false;
    }
    *pDay = day;
    *pMonth = month;
    return true;
}

// "1.Sa": the n-th (1..5) weekday of the month.
bool parseNthWeekday(std::string_view s, int* pNth, int* pWeekday) {
    if (s.size() != 4 || s[1] != '.' || s[0] < '1' || s[0] > '5') {
        return false;
    }
    *pNth = s[0] - '0';
    *pWeekday = dayNumber(s.substr(2));
    return *pWeekday != 0;
}

// "Mo" or "Fr-Mo" (a range may wrap past Sunday).
bool parseDayRange(std::string_view s, int* pFirst, int* pLast) {
    const std::size_t dash = s.find('-');
    *pFirst = dayNumber(s.substr(0, dash));
    *pLast = dash == std::string_view::npos ? *pFirst : dayNumber(s.substr(dash + 1));
    return *pFirst != 0 && *pLast != 0;
}

bool inDayRange(int weekday, int first, int last) {
    return first <= last ? weekday >= first && weekday <= last
                         : weekday >= first || weekday <= last;
}

enum class DaysMatch { No, Yes, Uncertain, Invalid };

DaysMatch matchDays(std::string_view s, const Day* pDay) {
    const auto yes = [](bool b) { return b ? DaysMatch::Yes : DaysMatch::No; };
    if (s.empty()) {
        return DaysMatch::Yes;
    }
    for (std::string_view word : irregularWords) {
        if (equalsNoCase(s, word)) {
            return DaysMatch::Uncertain;
        }
    }
    if (allDigits(s)) {
        bool bFound = false;
        for (char c : s) {
            if (c < '1' || c > '7') {
                return DaysMatch::Invalid;
            }
            bFound = bFound || (pDay != nullptr && c - '0' == pDay->weekday);
        }
        return yes(bFound);
    }
    int day = 0;
    int month = 0;
    if (parseDayMonth(s, &day, &month)) {
        return yes(pDay != nullptr && pDay->dayOfMonth == day && pDay->month == month);
    }
    bool bFound = false;
    int nth = 0;
    int weekday = 0;
    if (s.size() >= 2 && s[1] == '.') {
        const bool bValid = eachItem(s, [&](std::string_view item) {
            if (!parseNthWeekday(item, &nth, &weekday)) {
                return false;
            }
            bFound = bFound || (pDay != nullptr && pDay->weekday == weekday &&
                                (pDay->dayOfMonth - 1) / 7 + 1 == nth);
            return true;
        });
        return bValid ? yes(bFound) : DaysMatch::Invalid;
    }
    const bool bValid = eachItem(s, [&](std::string_view item) {
        int first = 0;
        int last = 0;
        if (!parseDayRange(item, &first, &last)) {
            return false;
        }
        bFound = bFound || (pDay != nullptr && inDayRange(pDay->weekday, first, last));
        return true;
    });
    return bValid ? yes(bFound) : DaysMatch::Invalid;
}

// The last (or first) Sunday of a month, at 01:00 UTC.
sys_seconds sundayAtOne(int y, unsigned m, bool bLast) {
    const sys_days date = bLast ? sys_days{year{y} / month{m} / Sunday[last]}
                                : sys_days{year{y} / month{m} / Sunday[1]};
    return date + hours{1};
}

// Northern summer time: last Sunday of March to last Sunday of October.
bool northernSummer(sys_seconds t, int y) {
    return t >= sundayAtOne(y, 3, true) && t < sundayAtOne(y, 10, true);
}

// Southern summer time: first Sunday of October to first Sunday of April.
bool southernSummer(sys_seconds t, int y) {
    return t >= sundayAtOne(y, 10, false) || t < sundayAtOne(y, 4, false);
}

// DDMM as a day of the year's calendar (month * 100 + day), or 0.
int monthDay(const std::string& szDate) {
    if (!dateValid(szDate)) {
        return 0;
    }
    return number(std::string_view(szDate).substr(2, 2)) * 100 +
           number(std::string_view(szDate).substr(0, 2));
}

bool persistenceAllows(const Station& station, const Day& startDay, sys_seconds t) {
    const int mark = station.persistence >= PERSIST_UTILITY ? station.persistence - PERSIST_UTILITY
                                                            : station.persistence;
    switch (mark) {
    case PERSIST_INACTIVE:
        return false;
    case PERSIST_NORTH_DST:
    case PERSIST_SUMMER:
        return northernSummer(t, startDay.year);
    case PERSIST_WINTER:
        return !northernSummer(t, startDay.year);
    case PERSIST_SOUTH_DST:
        return southernSummer(t, startDay.year);
    case PERSIST_DATED: {
        const int first = monthDay(station.startDate);
        const int lastDay = monthDay(station.stopDate);
        if (first == 0 || lastDay == 0) {
            return true; // no dates given: nothing to restrict
        }
        const int today = startDay.month * 100 + startDay.dayOfMonth;
        return first <= lastDay ? today >= first && today <= lastDay
                                : today >= first || today <= lastDay;
    }
    default:
        return true;
    }
}

} // namespace

bool parseTimes(const std::string& szText, int* pStart, int* pEnd) {
    const std::string_view s = szText;
    if (s.size() != 9 || s[4] != '-' || !allDigits(s.substr(0, 4)) || !allDigits(s.substr(5, 4))) {
        return false;
    }
    const int startHour = number(s.substr(0, 2));
    const int startMinute = number(s.substr(2, 2));
    const int endHour = number(s.substr(5, 2));
    const int endMinute = number(s.substr(7, 2));
    if (startHour > 23 || startMinute > 59 || endMinute > 59 || endHour > 24 ||
        (endHour == 24 && endMinute != 0)) {
        return false;
    }
    *pStart = startHour * 60 + startMinute;
    *pEnd = endHour * 60 + endMinute;
    return true;
}

std::string timesText(int startMinute, int endMinute) {
    if (startMinute == NO_TIME || endMinute == NO_TIME) {
        return {};
    }
    std::array<char, 48> sz{};
    std::snprintf(sz.data(), sz.size(), "%02d%02d-%02d%02d", startMinute / 60, startMinute % 60,
                  endMinute / 60, endMinute % 60);
    return sz.data();
}

bool daysValid(const std::string& szDays) {
    return matchDays(szDays, nullptr) != DaysMatch::Invalid;
}

bool daysIrregular(const std::string& szDays) {
    return matchDays(szDays, nullptr) == DaysMatch::Uncertain;
}

bool dateValid(const std::string& szDate) {
    if (szDate.size() != 4 || !allDigits(szDate)) {
        return false;
    }
    const int day = number(std::string_view(szDate).substr(0, 2));
    const int month = number(std::string_view(szDate).substr(2, 2));
    return month >= 1 && month <= 12 && day >= 1 &&
           day <= monthLengths[static_cast<std::size_t>(month - 1)];
}

OnAir onAirAt(const Station& station, UtcSeconds now) {
    const int start = station.startMinute;
    const int end = station.endMinute;
    if (start == NO_TIME || end == NO_TIME) {
        return OnAir::No;
    }
    const sys_seconds t{seconds{now}};
    const sys_days today = floor<days>(t);
    const int minute = static_cast<int>((t - today).count() / 60);
    bool bStartedYesterday = false;
    if (start < end) {
        if (minute < start || minute >= end) {
            return OnAir::No;
        }
    } else if (start > end) {
        if (minute < start && minute >= end) {
            return OnAir::No;
        }
        bStartedYesterday = minute < end;
    } // equal times: all day
    const Day startDay = dayOf(bStartedYesterday ? today - days{1} : today);
    if (!persistenceAllows(station, startDay, t)) {
        return OnAir::No;
    }
    switch (matchDays(station.days, &startDay)) {
    case DaysMatch::Yes:
        return OnAir::Yes;
    case DaysMatch::Uncertain:
        return OnAir::Uncertain;
    default:
        return OnAir::No;
    }
}

bool parseUtc(const std::string& szText, UtcSeconds* pTime) {
    // YYYY-MM-DDTHH:MM[:SS]Z
    const std::string_view s = szText;
    if ((s.size() != 17 && s.size() != 20) || s[4] != '-' || s[7] != '-' ||
        (s[10] != 'T' && s[10] != 't') || s[13] != ':' || (s.back() != 'Z' && s.back() != 'z')) {
        return false;
    }
    if (!allDigits(s.substr(0, 4)) || !allDigits(s.substr(5, 2)) || !allDigits(s.substr(8, 2)) ||
        !allDigits(s.substr(11, 2)) || !allDigits(s.substr(14, 2))) {
        return false;
    }
    int second = 0;
    if (s.size() == 20) {
        if (s[16] != ':' || !allDigits(s.substr(17, 2))) {
            return false;
        }
        second = number(s.substr(17, 2));
    }
    const year_month_day ymd{year{number(s.substr(0, 4))},
                             month{static_cast<unsigned>(number(s.substr(5, 2)))},
                             day{static_cast<unsigned>(number(s.substr(8, 2)))}};
    const int hour = number(s.substr(11, 2));
    const int minute = number(s.substr(14, 2));
    if (!ymd.ok() || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    *pTime = static_cast<UtcSeconds>(sys_days{ymd}.time_since_epoch().count()) * SECONDS_PER_DAY +
             hour * 3600 + minute * 60 + second;
    return true;
}

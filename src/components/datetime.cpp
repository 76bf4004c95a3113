#include "components/datetime.h"

#include <cmath>

namespace pm {

namespace {

constexpr int64_t MSecsPerDay = 86400000;
// Day number of 1 January of year 1, counted from 30 December 1899.
constexpr int64_t DayOfYearOne = -693593;

// Days from 1 January of year 1 (day 0) to the given date, proleptic Gregorian.
int64_t DaysFromYearOne(int year, int month, int day)
{
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int y = year - 1;
    int64_t days = int64_t(y) * 365 + y / 4 - y / 100 + y / 400 + before[month - 1] + day - 1;
    if (month > 2 && IsLeapYear(year))
        ++days;
    return days;
}

void DateFromYearOne(int64_t days, int& year, int& month, int& day)
{
    // Civil date from days since 0001-01-01, by 400-year cycles.
    int64_t n = days;
    int64_t y400 = n / 146097;
    n %= 146097;
    int64_t y100 = n / 36524;
    if (y100 == 4)
        y100 = 3;
    n -= y100 * 36524;
    int64_t y4 = n / 1461;
    n %= 1461;
    int64_t y1 = n / 365;
    if (y1 == 4)
        y1 = 3;
    n -= y1 * 365;
    year = int(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    month = 1;
    while (true) {
        int dim = DaysInMonth(year, month);
        if (n < dim)
            break;
        n -= dim;
        ++month;
    }
    day = int(n) + 1;
}

// Splits a value into its day number and milliseconds of the day.
void Split(TDateTime value, int64_t& dayNumber, int64_t& msecs)
{
    if (!std::isfinite(value) || std::fabs(value) > 3.0e6) {
        dayNumber = 0;
        msecs = 0;
        return;
    }
    double whole = std::trunc(value);
    dayNumber = int64_t(whole);
    msecs = int64_t(std::llround(std::fabs(value - whole) * double(MSecsPerDay)));
    if (msecs >= MSecsPerDay) {
        msecs -= MSecsPerDay;
        dayNumber += value < 0 ? -1 : 1;
    }
}

} // namespace

bool IsLeapYear(int year)
{
    return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    date = double(DaysFromYearOne(year, month, day) + DayOfYearOne);
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time)
{
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
        return false;
    time = double(((int64_t(hour) * 60 + min) * 60 + sec) * 1000 + msec) / double(MSecsPerDay);
    return true;
}

void DecodeDate(TDateTime date, int& year, int& month, int& day)
{
    int64_t dayNumber, msecs;
    Split(date, dayNumber, msecs);
    int64_t fromYearOne = dayNumber - DayOfYearOne;
    if (fromYearOne < 0) {
        year = month = day = 0;
        return;
    }
    DateFromYearOne(fromYearOne, year, month, day);
}

void DecodeTime(TDateTime date, int& hour, int& min, int& sec, int& msec)
{
    int64_t dayNumber, msecs;
    Split(date, dayNumber, msecs);
    hour = int(msecs / 3600000);
    min = int(msecs / 60000 % 60);
    sec = int(msecs / 1000 % 60);
    msec = int(msecs % 1000);
}

int DayOfWeek(TDateTime date)
{
    int64_t dayNumber, msecs;
    Split(date, dayNumber, msecs);
    // Day 0 (30 December 1899) was a Saturday.
    int64_t w = (dayNumber - DayOfYearOne + 1) % 7;   // 1 January of year 1 was a Monday
    if (w < 0)
        w += 7;
    return int(w) + 1;
}

TDateTime DateOf(TDateTime date)
{
    int64_t dayNumber, msecs;
    Split(date, dayNumber, msecs);
    return double(dayNumber);
}

TDateTime TimeOf(TDateTime date)
{
    int64_t dayNumber, msecs;
    Split(date, dayNumber, msecs);
    return double(msecs) / double(MSecsPerDay);
}

TDateTime CombineDateTime(TDateTime day, TDateTime time)
{
    const double d = DateOf(day);
    const double t = TimeOf(time);
    return d < 0 ? d - t : d + t;
}

TDateTime IncMonth(TDateTime date, int months)
{
    int y, m, d;
    DecodeDate(date, y, m, d);
    if (y == 0)
        return date;
    int64_t total = int64_t(y) * 12 + (m - 1) + months;
    int ny = int(total / 12);
    int nm = int(total % 12) + 1;
    int nd = std::min(d, DaysInMonth(ny, nm));
    TDateTime result;
    if (!TryEncodeDate(ny, nm, nd, result))
        return date;
    return CombineDateTime(result, date);
}

TDateTime Today()
{
    return FromQDate(QDate::currentDate());
}

TDateTime Now()
{
    return FromQDateTime(QDateTime::currentDateTime());
}

QDate ToQDate(TDateTime date)
{
    int y, m, d;
    DecodeDate(date, y, m, d);
    return y == 0 ? QDate() : QDate(y, m, d);
}

TDateTime FromQDate(const QDate& date)
{
    TDateTime value = 0;
    if (date.isValid())
        TryEncodeDate(date.year(), date.month(), date.day(), value);
    return value;
}

QDateTime ToQDateTime(TDateTime date)
{
    int h, n, s, ms;
    DecodeTime(date, h, n, s, ms);
    return QDateTime(ToQDate(date), QTime(h, n, s, ms));
}

TDateTime FromQDateTime(const QDateTime& dateTime)
{
    const QTime t = dateTime.time();
    TDateTime time = 0;
    TryEncodeTime(t.hour(), t.minute(), t.second(), t.msec(), time);
    return CombineDateTime(FromQDate(dateTime.date()), time);
}

} // namespace pm

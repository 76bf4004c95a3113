#pragma once
// The Access and platform date-time value: days since 30 December 1899, the
// fraction being the time of day. For values before that day the whole part
// is negative and the fraction still counts forward from midnight
// (-1.25 is 29 December 1899, 6:00).

#include <QDate>
#include <QDateTime>

namespace pm {

using TDateTime = double;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);   // 0 for a month outside 1..12

// Dates are built only from year 1..9999, month 1..12 and a day the month has.
bool TryEncodeDate(int year, int month, int day, TDateTime& date);
// Hour 0..23, minutes and seconds 0..59, milliseconds 0..999.
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
void DecodeDate(TDateTime date, int& year, int& month, int& day);
void DecodeTime(TDateTime date, int& hour, int& min, int& sec, int& msec);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime date);
// The whole-day part and the time-of-day part.
TDateTime DateOf(TDateTime date);
TDateTime TimeOf(TDateTime date);
// Combines a day and a time of day, keeping the sign rule above.
TDateTime CombineDateTime(TDateTime day, TDateTime time);
// The same day n months later, clipped to the last day of a shorter month.
TDateTime IncMonth(TDateTime date, int months);

TDateTime Today();
TDateTime Now();

QDate ToQDate(TDateTime date);
TDateTime FromQDate(const QDate& date);
QDateTime ToQDateTime(TDateTime date);
TDateTime FromQDateTime(const QDateTime& dateTime);

} // namespace pm

#pragma once
// The platform's number and date-time formatting and reading, with one fixed
// format-settings object (en-US). Nothing here reads the machine's locale, so
// the same value gives the same text everywhere.

#include "components/currency.h"
#include "components/datetime.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace pm {

struct TFormatSettings {
    QChar DecimalSeparator = '.';
    QChar ThousandSeparator = ',';
    QChar DateSeparator = '/';
    QChar TimeSeparator = ':';
    QString ShortDateFormat = "mm/dd/yyyy";
    QString LongDateFormat = "dddd, mmmm dd, yyyy";
    QString ShortTimeFormat = "h:nn AMPM";
    QString LongTimeFormat = "h:nn:ss AMPM";
    QString TimeAMString = "AM";
    QString TimePMString = "PM";
    QStringList ShortMonthNames;   // "Jan" .. "Dec"
    QStringList LongMonthNames;    // "January" .. "December"
    QStringList ShortDayNames;     // "Sun" .. "Sat"
    QStringList LongDayNames;      // "Sunday" .. "Saturday"
    TFormatSettings();
};

// The one settings object of the program.
const TFormatSettings& FormatSettings();

// Number patterns: up to three sections "positive;negative;zero" (an empty
// negative or zero section falls back to the positive one; a section of one
// blank shows the value as that blank). "0" a digit always shown, "#" a digit
// shown when significant, "." the decimal point, "," anywhere before the point
// turns on thousands separators, "E+" "E-" "e+" "e-" scientific notation,
// '...' and "..." literal text; every other character is copied.
// The value is rounded half away from zero on its decimal digits.
// An empty pattern gives FloatToStr.
QString FormatFloat(const QString& pattern, double value);
QString FormatCurr(const QString& pattern, Currency value);

// General float text with up to 15 significant digits: "12.5", "100",
// "0.1", "1E20", "1E-7". NaN and infinities give "NAN", "INF", "-INF".
QString FloatToStr(double value);
// Fixed text with the given number of decimals, no thousands separators
// ("1234.50" for 2).
QString FloatToStrF(double value, int decimals);

// Strict reads: optional blanks around, optional sign, digits with "." as the
// decimal point, optional exponent. Nothing else (no thousands separators).
bool TryStrToFloat(const QString& text, double& value);
double StrToFloatDef(const QString& text, double fallback);
// Decimal integer with optional sign and blanks around; fails outside 32 bits.
bool TryStrToInt(const QString& text, int& value);
int StrToIntDef(const QString& text, int fallback);
bool TryStrToInt64(const QString& text, qint64& value);

// Date-time patterns: d dd ddd dddd ddddd (short date) dddddd (long date),
// m mm mmm mmmm (minutes right after h/hh), yy yyyy, h hh, n nn, s ss, z zzz,
// t tt, c, am/pm a/p ampm (the hour then counts 1 to 12), "/" the date
// separator, ":" the time separator, '...' and "..." literal text.
QString FormatDateTime(const QString& pattern, TDateTime value);
// "mm/dd/yyyy" and the long time.
QString DateToStr(TDateTime value);
QString TimeToStr(TDateTime value);
QString DateTimeToStr(TDateTime value);
// Reads month/day/year with "/" (a two-digit year is taken in the window
// 1950..2049); optional time after a blank. False for anything else.
bool TryStrToDate(const QString& text, TDateTime& value);

} // namespace pm

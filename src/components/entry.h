#pragma once
// Forgiving readers of typed dates, times and amounts, the month and quarter
// routines built on them, decimal rounding as a person expects of amounts,
// and the small string routines the grids, the report editor and the forms
// engine share. All are pure functions; none throws.
//
// Positions in the comments count from 1, as the user-facing rules do.

#include "components/currency.h"
#include "components/datetime.h"

#include <QString>
#include <QStringList>

namespace pm {

// Dates.
QString NormalizeDate(const QString& text);            // "mm/dd/yyyy" or ""
bool ParseDate(const QString& text, TDateTime& date);  // date unchanged on failure
TDateTime DateOrZero(const QString& text);

// Times.
QString NormalizeTime(const QString& text);            // "hh:nn:ss am" / " pm" or ""
bool ParseTime(const QString& text, TDateTime& dateTime);

// Months and quarters.
TDateTime StartOfMonth(TDateTime date);
TDateTime EndOfMonth(TDateTime date);
TDateTime StartOfQuarter(TDateTime date);
TDateTime EndOfQuarter(TDateTime date);

// Numbers.
double ParseAmount(const QString& text);
int StrToIntOrZero(const QString& text);
QString FormatMoney(Currency amount);                  // ",0.00;(,0.00)"
QString FormatMoney(double amount);

// Rounding modes of DecimalRound.
enum TRoundMode {
    rmNone = 0,
    rmHalfEven = 1,
    rmHalfPosInf = 2,
    rmHalfNegInf = 3,
    rmHalfDown = 4,    // half toward zero
    rmHalfUp = 5,      // half away from zero
    rmFloor = 6,
    rmCeil = 7,
    rmDown = 8,        // toward zero
    rmUp = 9           // away from zero
};
double DecimalRound(double value, int decimals, int mode);
int CountFormatDecimals(const QString& pattern);
QString FormatRounded(const QString& pattern, double value);

// Strings.
QString RemoveChars(const QString& text, const QString& chars);
QString TranslateChars(const QString& text, const QString& from, const QString& to);
QString WithTrailingBackslash(const QString& path);
QString FileNameWithoutExt(const QString& path);
QString ColumnLetters(int n);
QString NextTabField(QString& text);
QString NextDelimitedField(QString& text, const QString& separator);
QString ProperCase(const QString& text);
QString ParseFunctionCall(const QString& text, QString& name, QStringList& args);

} // namespace pm

#include "components/entry.h"

#include "components/formatting.h"

#include <cmath>

namespace pm {

namespace {

// Removes the characters up to and including the blank (and controls) at
// both ends, as the platform's trim does.
QString Trim(const QString& text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].unicode() <= ' ')
        ++b;
    while (e > b && text[e - 1].unicode() <= ' ')
        --e;
    return text.mid(b, e - b);
}

// Inserts at a 1-based position; beyond the end it appends.
void InsertAt(QString& s, qsizetype pos1, const QString& what)
{
    const qsizetype at = std::clamp<qsizetype>(pos1 - 1, 0, s.size());
    s.insert(at, what);
}

// 1-based character of s, or a null character past its end.
QChar At(const QString& s, qsizetype pos1)
{
    return pos1 >= 1 && pos1 <= s.size() ? s[pos1 - 1] : QChar();
}

void ReplaceOnce(QString& s, const QString& from, const QString& to)
{
    const qsizetype at = s.indexOf(from, 0, Qt::CaseInsensitive);
    if (at >= 0)
        s.replace(at, from.size(), to);
}

// The 1-based characters from..from+count-1 converted to an integer.
bool IntAt(const QString& s, qsizetype from, qsizetype count, int& value)
{
    return TryStrToInt(s.mid(from - 1, count), value);
}

} // namespace

QString NormalizeDate(const QString& text)
{
    QString s = Trim(text);
    for (QChar& c : s)
        if (c == '-' || c == '.' || c == ' ')
            c = '/';
    s = s.toUpper();
    if (s.isEmpty())
        return QString();

    while (s.contains("//"))
        s.remove(s.indexOf("//"), 1);

    // A day number.
    if (!s.contains('/') && s.size() == 5) {
        int day;
        if (!TryStrToInt(s, day))
            return QString();
        s = FormatDateTime("mm/dd/yyyy", double(day));
    }

    // Year first, all digits: 2010/09/30, 20100930.
    {
        QString digits = s;
        digits.remove('/');
        const QString first4 = s.left(4);
        if (digits.size() == 8 && first4 > "1700" && first4 < "2500") {
            int year;
            if (!TryStrToInt(first4, year))
                return QString();
            if (year > 1700)
                s = digits.mid(4, 4) + digits.left(4);
        }
    }

    // Year first with single-digit parts: 2010/9/30.
    if (s.indexOf('/') == 4) {
        s = s + '/' + s.left(4);
        s.remove(0, 5);
    }

    static const QString quarters[][2] = {{"Q1", "3/31"}, {"Q2", "6/30"}, {"Q3", "9/30"}, {"Q4", "12/31"}};
    for (const auto& q : quarters)
        ReplaceOnce(s, q[0], q[1]);

    static const QString fullNames[][2] = {
        {"JANUARY", "JAN"}, {"FEBRUARY", "FEB"}, {"MARCH", "MAR"}, {"APRIL", "APR"},
        {"JUNE", "JUN"}, {"JULY", "JUL"}, {"AUGUST", "AUG"}, {"SEPTEMBER", "SEP"},
        {"OCTOBER", "OCT"}, {"NOVEMBER", "NOV"}, {"DECEMBER", "DEC"}};
    for (const auto& n : fullNames)
        ReplaceOnce(s, n[0], n[1]);

    // Day, month name, year: 30/SEP/2010.
    static const QString monthTable = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
    if ((s.size() == 9 || s.size() == 11) && s.contains('/')) {
        const qsizetype slash = s.indexOf('/');
        const QString name = s.mid(slash + 1, 3);
        const qsizetype p = name.isEmpty() ? 0 : monthTable.indexOf(name) + 1;
        if (p > 0 && p % 3 == 1) {
            s.remove(slash, 1 + name.size());
            s.prepend(QString::number((p + 2) / 3) + '/');
        }
    }

    static const QString shortNames[][2] = {
        {"JAN", "1"}, {"FEB", "2"}, {"MAR", "3"}, {"APR", "4"}, {"MAY", "5"}, {"JUN", "6"},
        {"JUL", "7"}, {"AUG", "8"}, {"SEP", "9"}, {"OCT", "10"}, {"NOV", "11"}, {"DEC", "12"}};
    for (const auto& n : shortNames)
        ReplaceOnce(s, n[0], n[1]);

    // Leading zeros of month and day.
    if (s.size() > 1 && At(s, 2) == '/')
        s.prepend('0');
    if (s.size() > 4 && At(s, 5) == '/')
        InsertAt(s, 4, "0");

    // Digits only: 093010, 09302010.
    if (!s.contains('/')) {
        InsertAt(s, 3, "/");
        if (s.size() > 6)
            InsertAt(s, 6, "/");
    }

    // Month and year only: the first of the month, marked to become its last day.
    bool endOfMonth = false;
    if (s.size() >= 3) {
        s[2] = '-';
        const bool onlyOne = !s.contains('/');
        s[2] = '/';
        if (onlyOne) {
            InsertAt(s, 4, "01/");
            endOfMonth = true;
        }
    }

    // A one-digit year.
    if (s.size() == 7)
        InsertAt(s, 7, "0");

    // A two-digit year: 00..50 are 2000..2050, 51..99 are 1951..1999.
    if (s.size() == 8) {
        const QString y = s.right(2);
        InsertAt(s, 7, (y < "00" || y > "50") ? "19" : "20");
    }

    if (endOfMonth && s.size() == 10) {
        // A month and year whose date does not convert ("13/2010") is no date.
        TDateTime first;
        if (!ParseDate(s, first))
            return QString();
        s = FormatDateTime("mm/dd/yyyy", EndOfMonth(first));
    }
    return s;
}

bool ParseDate(const QString& text, TDateTime& date)
{
    if (text.isEmpty())
        return false;
    const QString s = NormalizeDate(text);
    int month, day, year;
    if (!IntAt(s, 1, 2, month) || !IntAt(s, 4, 2, day) || !IntAt(s, 7, 4, year))
        return false;
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result))
        return false;
    date = result;
    return true;
}

TDateTime DateOrZero(const QString& text)
{
    TDateTime date = 0;
    return ParseDate(text, date) ? date : 0;
}

QString NormalizeTime(const QString& text)
{
    QString s = text;
    s.replace('.', ':');
    s = Trim(s.toUpper());
    if (s.isEmpty())
        return QString();
    bool afternoon = false;
    qsizetype at = s.indexOf('M');
    if (at >= 0)
        s.remove(at, 1);
    at = s.indexOf('P');
    if (at >= 0) {
        s.remove(at, 1);
        afternoon = true;
    }
    at = s.indexOf('A');
    if (at >= 0) {
        s.remove(at, 1);
        afternoon = false;
    }
    s = Trim(s);
    at = s.indexOf(':');
    if (at <= 0)
        return QString();
    if (at == 1)
        s.prepend('0');
    if (s.indexOf(':') != 2)
        return QString();
    if (s.size() == 5)
        s += ":00";
    if (s.size() != 8)
        return QString();
    return s + (afternoon ? " pm" : " am");
}

bool ParseTime(const QString& text, TDateTime& dateTime)
{
    const QString s = NormalizeTime(text);
    if (s.isEmpty())
        return false;
    int hour, minute, second;
    if (!IntAt(s, 1, 2, hour) || !IntAt(s, 4, 2, minute) || !IntAt(s, 7, 2, second))
        return false;
    const QChar marker = At(s, 10);
    if ((marker == 'p' || marker == 'P') && hour < 12)
        hour += 12;
    TDateTime time;
    if (!TryEncodeTime(hour, minute, second, 0, time))
        return false;
    dateTime = CombineDateTime(dateTime, time);
    return true;
}

TDateTime StartOfMonth(TDateTime date)
{
    int y, m, d;
    DecodeDate(date, y, m, d);
    TDateTime result = date;
    TryEncodeDate(y, m, 1, result);
    return result;
}

TDateTime EndOfMonth(TDateTime date)
{
    return IncMonth(StartOfMonth(date), 1) - 1;
}

TDateTime StartOfQuarter(TDateTime date)
{
    int y, m, d;
    DecodeDate(date, y, m, d);
    TDateTime result = date;
    TryEncodeDate(y, (m - 1) / 3 * 3 + 1, 1, result);
    return result;
}

TDateTime EndOfQuarter(TDateTime date)
{
    int y, m, d;
    DecodeDate(date, y, m, d);
    TDateTime lastMonth = date;
    TryEncodeDate(y, (m - 1) / 3 * 3 + 3, 1, lastMonth);
    return EndOfMonth(lastMonth);
}

double ParseAmount(const QString& text)
{
    QString s = text;
    bool negative = false;
    const qsizetype cr = s.indexOf("CR");
    if (cr >= 0) {
        s.remove(cr, 2);
        negative = true;
    }
    if (s.contains('('))
        negative = true;
    s = RemoveChars(s, " $(),");
    double value;
    if (!TryStrToFloat(s, value))
        return 0;
    return negative ? 0 - value : value;
}

int StrToIntOrZero(const QString& text)
{
    int value;
    return TryStrToInt(Trim(text), value) ? value : 0;
}

QString FormatMoney(Currency amount)
{
    return FormatCurr(",0.00;(,0.00)", amount);
}

QString FormatMoney(double amount)
{
    return FormatFloat(",0.00;(,0.00)", amount);
}

double DecimalRound(double value, int decimals, int mode)
{
    if (!std::isfinite(value) || mode == rmNone)
        return value;
    const double m = std::pow(10.0, std::abs(decimals));
    const double tolerance = std::fabs(value * 5.481726184209375e-16);
    const double v = decimals >= 0 ? value * m : value / m;
    const double e = decimals >= 0 ? tolerance * m : tolerance / m;
    double i;
    switch (mode) {
    case rmHalfEven: {
        i = std::nearbyint(v - e);
        if (std::fmod(i, 2.0) != 0)
            i = std::nearbyint(v + e);
        break;
    }
    case rmHalfPosInf: i = std::nearbyint(v + e); break;
    case rmHalfNegInf: i = std::nearbyint(v - e); break;
    case rmHalfDown: i = std::nearbyint(std::fabs(v) - e); break;
    case rmHalfUp: i = std::nearbyint(std::fabs(v) + e); break;
    case rmFloor: i = std::nearbyint(v + (e - 0.5)); break;
    case rmCeil: i = std::nearbyint(v - (e - 0.5)); break;
    case rmDown: i = std::nearbyint(std::fabs(v) + (e - 0.5)); break;
    case rmUp: i = std::nearbyint(std::fabs(v) - (e - 0.5)); break;
    default: i = std::nearbyint(v); break;
    }
    double result = decimals >= 0 ? i / m : i * m;
    if (value < 0 && (mode == rmHalfDown || mode == rmHalfUp || mode == rmDown || mode == rmUp))
        result = -result;
    return result;
}

int CountFormatDecimals(const QString& pattern)
{
    const qsizetype point = pattern.indexOf('.');
    if (point < 0)
        return -1;
    int count = 0;
    for (qsizetype i = point + 1; i < pattern.size() && pattern[i] == '0'; ++i)
        ++count;
    return count;
}

QString FormatRounded(const QString& pattern, double value)
{
    const int decimals = CountFormatDecimals(pattern);
    if (decimals != -1)
        value = DecimalRound(value, decimals, rmHalfUp);
    return FormatFloat(pattern, value);
}

QString RemoveChars(const QString& text, const QString& chars)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (!chars.contains(c))
            result += c;
    return result;
}

QString TranslateChars(const QString& text, const QString& from, const QString& to)
{
    QString result = text;
    for (QChar& c : result) {
        const qsizetype at = from.indexOf(c);
        if (at >= 0 && at < to.size())
            c = to[at];
    }
    return result;
}

QString WithTrailingBackslash(const QString& path)
{
    return path.endsWith('\\') ? path : path + '\\';
}

QString FileNameWithoutExt(const QString& path)
{
    qsizetype cut = -1;
    for (qsizetype i = 0; i < path.size(); ++i)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
            cut = i;
    QString name = path.mid(cut + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

QString ColumnLetters(int n)
{
    if (n <= 0)
        return QString();
    QString letters;
    while (n > 0) {
        --n;
        letters.prepend(QChar('A' + n % 26));
        n /= 26;
    }
    return letters.left(2);
}

QString NextDelimitedField(QString& text, const QString& separator)
{
    const qsizetype at = separator.isEmpty() ? -1 : text.indexOf(separator);
    QString token;
    if (at < 0) {
        token = text;
        text.clear();
    } else {
        token = text.left(at);
        text.remove(0, at + separator.size());
    }
    if (token.size() > 1 && token.startsWith('"') && token.endsWith('"'))
        token = token.mid(1, token.size() - 2);
    return token;
}

QString NextTabField(QString& text)
{
    const qsizetype at = text.indexOf('\t');
    QString field;
    if (at < 0) {
        field = text;
        text.clear();
    } else {
        field = text.left(at);
        text.remove(0, at + 1);
    }
    return field;
}

QString ProperCase(const QString& text)
{
    auto inSet = [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '`' || u == '\'';
    };
    QString result = text.toLower();
    bool previousInSet = false;
    for (QChar& c : result) {
        const bool here = inSet(c);
        if (here && !previousInSet)
            c = c.toUpper();
        previousInSet = here;
    }
    return result;
}

QString ParseFunctionCall(const QString& text, QString& name, QStringList& args)
{
    args.clear();
    const qsizetype start = text.indexOf('@');
    if (start < 0)
        return QString();
    int depth = 0;
    qsizetype argStart = -1;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == '(') {
            if (depth == 0) {
                name = Trim(text.mid(start, i - start));
                argStart = i + 1;
            }
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
            if (depth == 0) {
                args << Trim(text.mid(argStart, i - argStart));
                return text.mid(start, i - start + 1);
            }
        } else if (c == ',' && depth == 1) {
            args << Trim(text.mid(argStart, i - argStart));
            argStart = i + 1;
        }
    }
    // A call that is never closed is no call.
    args.clear();
    return QString();
}

} // namespace pm

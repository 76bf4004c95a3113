#include "components/formatting.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

namespace pm {

TFormatSettings::TFormatSettings()
{
    ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    LongMonthNames = {"January", "February", "March", "April", "May", "June", "July",
                      "August", "September", "October", "November", "December"};
    ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
}

const TFormatSettings& FormatSettings()
{
    static const TFormatSettings settings;
    return settings;
}

namespace {

// The decimal digits of a non-negative finite value: value = 0.d1 d2 ... * 10^exponent.
// No leading zeros; an empty digit string stands for zero.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal ToDecimal(double value, int significant)
{
    Decimal d;
    if (value == 0)
        return d;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, significant - 1);
    std::string text(buf, res.ptr);
    const auto e = text.find('e');
    const int exp10 = std::atoi(text.c_str() + e + 1);
    for (size_t i = 0; i < e; ++i)
        if (text[i] >= '0' && text[i] <= '9')
            d.digits += text[i];
    d.exponent = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Rounds half away from zero so that at most `decimals` digits follow the point.
void RoundDecimal(Decimal& d, int decimals)
{
    const long keep = long(d.exponent) + decimals;
    if (long(d.digits.size()) <= keep)
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[size_t(keep)] >= '5';
    d.digits.resize(size_t(keep));
    if (up) {
        long i = keep - 1;
        while (i >= 0 && d.digits[size_t(i)] == '9') {
            d.digits[size_t(i)] = '0';
            --i;
        }
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[size_t(i)];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (d.digits.empty())
        d.exponent = 0;
}

QStringList SplitSections(const QString& pattern)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

struct SectionInfo {
    int intPlaceholders = 0;
    int intMinDigits = 0;      // from the first "0" before the point
    int fracPlaceholders = 0;
    int fracMinDigits = 0;     // up to the last "0" after the point
    bool thousands = false;
    bool scientific = false;
    int expMinDigits = 0;
};

SectionInfo ScanSection(const QString& s)
{
    SectionInfo info;
    bool afterPoint = false;
    int firstZero = -1;
    QChar quote;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (info.scientific) {
            continue;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++info.fracPlaceholders;
                if (c == '0')
                    info.fracMinDigits = info.fracPlaceholders;
            } else {
                if (c == '0' && firstZero < 0)
                    firstZero = info.intPlaceholders;
                ++info.intPlaceholders;
            }
        } else if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            if (!afterPoint)
                info.thousands = true;
        } else if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) {
            info.scientific = true;
            qsizetype j = i + 2;
            while (j < s.size() && s[j] == '0') {
                ++info.expMinDigits;
                ++j;
            }
        }
    }
    if (firstZero >= 0)
        info.intMinDigits = info.intPlaceholders - firstZero;
    return info;
}

// Writes the section with the digits of a non-negative, already rounded value.
QString ApplySection(const QString& s, const SectionInfo& info, const Decimal& d, int exponentValue)
{
    const auto& fs = FormatSettings();
    // Integer and fraction digits.
    std::string intDigits, fracDigits;
    if (!d.digits.empty()) {
        if (d.exponent > 0) {
            intDigits = d.digits.substr(0, std::min<size_t>(d.digits.size(), size_t(d.exponent)));
            intDigits.append(size_t(std::max(0, d.exponent - int(d.digits.size()))), '0');
            if (size_t(d.exponent) < d.digits.size())
                fracDigits = d.digits.substr(size_t(d.exponent));
        } else {
            fracDigits = std::string(size_t(-d.exponent), '0') + d.digits;
        }
    }
    if (int(intDigits.size()) < info.intMinDigits)
        intDigits.insert(0, size_t(info.intMinDigits - int(intDigits.size())), '0');
    if (int(fracDigits.size()) > info.fracPlaceholders)
        fracDigits.resize(size_t(info.fracPlaceholders));
    if (int(fracDigits.size()) < info.fracMinDigits)
        fracDigits.append(size_t(info.fracMinDigits - int(fracDigits.size())), '0');

    QString out;
    const int n = info.intPlaceholders;
    const int len = int(intDigits.size());
    int intIndex = 0, fracIndex = 0;
    bool afterPoint = false;
    bool inExponent = false;
    auto emitDigit = [&](int idx) {
        out += QChar(intDigits[size_t(idx)]);
        const int fromRight = len - 1 - idx;
        if (info.thousands && fromRight > 0 && fromRight % 3 == 0)
            out += fs.ThousandSeparator;
    };
    QChar quote;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                out += c;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (inExponent) {
            if (c == '0')
                continue;
            inExponent = false;
        }
        if (c == '0' || c == '#') {
            if (afterPoint) {
                if (fracIndex < int(fracDigits.size()))
                    out += QChar(fracDigits[size_t(fracIndex)]);
                ++fracIndex;
            } else {
                const int first = len - (n - intIndex);
                if (intIndex == 0) {
                    for (int k = 0; k <= first; ++k)
                        emitDigit(k);
                } else if (first >= 0) {
                    emitDigit(first);
                }
                ++intIndex;
            }
        } else if (c == '.') {
            if (!afterPoint && n == 0)
                for (int k = 0; k < len; ++k)
                    emitDigit(k);
            if (!afterPoint && !fracDigits.empty())
                out += fs.DecimalSeparator;
            afterPoint = true;
        } else if (c == ',') {
            // Only switches thousands separators on.
        } else if (info.scientific && (c == 'E' || c == 'e') && i + 1 < s.size() &&
                   (s[i + 1] == '+' || s[i + 1] == '-')) {
            out += c;
            const bool plus = s[i + 1] == '+';
            if (exponentValue < 0)
                out += '-';
            else if (plus)
                out += '+';
            out += QString::number(std::abs(exponentValue)).rightJustified(info.expMinDigits, '0');
            ++i;
            inExponent = true;
        } else {
            out += c;
        }
    }
    return out;
}

QString NonFinite(double value)
{
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

} // namespace

QString FloatToStr(double value)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    Decimal d = ToDecimal(std::fabs(value), 15);
    if (d.digits.empty())
        return "0";
    QString digits = QString::fromLatin1(d.digits.data(), qsizetype(d.digits.size()));
    QString text;
    if (d.exponent > 15 || d.exponent < -4) {
        text = digits.left(1);
        if (digits.size() > 1)
            text += '.' + digits.mid(1);
        text += 'E' + QString::number(d.exponent - 1);
    } else if (d.exponent <= 0) {
        text = "0." + QString(-d.exponent, '0') + digits;
    } else if (d.exponent >= digits.size()) {
        text = digits + QString(d.exponent - digits.size(), '0');
    } else {
        text = digits.left(d.exponent) + '.' + digits.mid(d.exponent);
    }
    return value < 0 ? '-' + text : text;
}

QString FloatToStrF(double value, int decimals)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    QString pattern = "0";
    if (decimals > 0)
        pattern += '.' + QString(decimals, '0');
    return FormatFloat(pattern, value);
}

namespace {

// Formats the magnitude `d` of a value whose sign is given apart, so that
// floating values and exact currency values share one path.
QString FormatDecimal(const QString& pattern, bool negative, const Decimal& magnitude,
                      const std::function<Decimal(int)>& scientificDigits)
{
    const QStringList sections = SplitSections(pattern);
    auto section = [&](int index) -> QString {
        if (index < sections.size() && !sections[index].isEmpty())
            return sections[index];
        return sections[0];
    };
    const bool zero = magnitude.digits.empty();
    int index = negative && !zero ? 1 : (zero ? 2 : 0);
    QString s = section(index);
    SectionInfo info = ScanSection(s);

    Decimal d = magnitude;
    int exponentValue = 0;
    if (info.scientific) {
        const int intDigits = std::max(1, info.intPlaceholders);
        d = scientificDigits(18);
        if (!d.digits.empty()) {
            exponentValue = d.exponent - intDigits;
            d.exponent = intDigits;
            RoundDecimal(d, info.fracPlaceholders);
            if (d.exponent > intDigits) {   // the rounding carried into a new digit
                d.exponent = intDigits;
                ++exponentValue;
            }
        }
    } else {
        RoundDecimal(d, info.fracPlaceholders);
        // A value that rounds to nothing is shown as zero, with the zero
        // section where there is one, never as a negative zero.
        if (d.digits.empty() && index != 2) {
            index = 2;
            s = section(2);
            info = ScanSection(s);
        }
    }
    QString text = ApplySection(s, info, d, exponentValue);
    // A negative value formatted with the positive section gets a leading minus.
    if (index == 1 && (sections.size() < 2 || sections[1].isEmpty()))
        text.prepend('-');
    return text;
}

} // namespace

QString FormatFloat(const QString& pattern, double value)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    if (SplitSections(pattern)[0].isEmpty())
        return FloatToStr(value);
    const double magnitude = std::fabs(value);
    return FormatDecimal(pattern, value < 0, ToDecimal(magnitude, 18),
                         [&](int digits) { return ToDecimal(magnitude, digits); });
}

QString FormatCurr(const QString& pattern, Currency value)
{
    if (SplitSections(pattern)[0].isEmpty())
        return value.ToString();
    // The exact decimal digits of the currency value.
    const int64_t units = value.Units();
    const uint64_t magnitude = units < 0 ? uint64_t(0) - uint64_t(units) : uint64_t(units);
    Decimal d;
    if (magnitude != 0) {
        d.digits = std::to_string(magnitude);
        d.exponent = int(d.digits.size()) - 4;
        while (!d.digits.empty() && d.digits.back() == '0')
            d.digits.pop_back();
    }
    return FormatDecimal(pattern, units < 0, d, [&](int) { return d; });
}

bool TryStrToFloat(const QString& text, double& value)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    std::string ascii;
    ascii.reserve(size_t(s.size()));
    qsizetype i = 0;
    if (s[i] == '+' || s[i] == '-') {
        if (s[i] == '-')
            ascii += '-';
        ++i;
    }
    int mantissaDigits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            ascii += char(c.unicode());
            ++mantissaDigits;
        } else if (c == '.' && !point) {
            ascii += '.';
            point = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ascii += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ascii += char(s[i++].unicode());
        int expDigits = 0;
        for (; i < s.size() && s[i].unicode() >= '0' && s[i].unicode() <= '9'; ++i, ++expDigits)
            ascii += char(s[i].unicode());
        if (expDigits == 0)
            return false;
    }
    if (i != s.size())
        return false;
    double result = 0;
    const char* begin = ascii.data();
    const char* end = begin + ascii.size();
    auto res = std::from_chars(begin, end, result);
    if (res.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow does not convert.
        const auto e = ascii.find('e');
        if (e != std::string::npos && ascii.find('-', e) != std::string::npos) {
            value = 0;
            return true;
        }
        return false;
    }
    if (res.ec != std::errc() || res.ptr != end || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

double StrToFloatDef(const QString& text, double fallback)
{
    double v;
    return TryStrToFloat(text, v) ? v : fallback;
}

bool TryStrToInt64(const QString& text, qint64& value)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    std::string ascii;
    for (QChar c : s) {
        if (c.unicode() > 127)
            return false;
        ascii += char(c.unicode());
    }
    const char* begin = ascii.data();
    if (*begin == '+')
        ++begin;
    qint64 result = 0;
    auto res = std::from_chars(begin, ascii.data() + ascii.size(), result, 10);
    if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size())
        return false;
    value = result;
    return true;
}

bool TryStrToInt(const QString& text, int& value)
{
    qint64 v;
    if (!TryStrToInt64(text, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    value = int(v);
    return true;
}

int StrToIntDef(const QString& text, int fallback)
{
    int v;
    return TryStrToInt(text, v) ? v : fallback;
}

// ---------------------------------------------------------------------------
// Date and time.

namespace {

bool StartsWithNoCase(const QString& s, qsizetype at, const char* what)
{
    const qsizetype n = qsizetype(std::strlen(what));
    return s.mid(at, n).compare(QLatin1String(what), Qt::CaseInsensitive) == 0;
}

// Whether an am/pm specifier follows somewhere after position `from`.
bool HasAmPm(const QString& p, qsizetype from)
{
    QChar quote;
    for (qsizetype i = from; i < p.size(); ++i) {
        if (!quote.isNull()) {
            if (p[i] == quote)
                quote = QChar();
            continue;
        }
        if (p[i] == '\'' || p[i] == '"')
            quote = p[i];
        else if (StartsWithNoCase(p, i, "am/pm") || StartsWithNoCase(p, i, "a/p") || StartsWithNoCase(p, i, "ampm"))
            return true;
    }
    return false;
}

void FormatInto(QString& out, const QString& p, TDateTime value, int depth)
{
    const auto& fs = FormatSettings();
    int year, month, day, hour, minute, second, msec;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    bool lastWasHour = false;
    qsizetype i = 0;
    // One letter: the number as it is; two or more: with leading zeros.
    auto number = [](int v, qsizetype letters, int width = 2) {
        return letters == 1 ? QString::number(v) : QString::number(v).rightJustified(width, '0');
    };
    auto run = [&](QChar c) {
        qsizetype n = 0;
        while (i + n < p.size() && p[i + n].toLower() == c)
            ++n;
        return n;
    };
    while (i < p.size()) {
        const QChar c = p[i];
        const QChar lc = c.toLower();
        if (c == '\'' || c == '"') {
            qsizetype j = i + 1;
            while (j < p.size() && p[j] != c)
                out += p[j++];
            i = j + 1;
            continue;
        }
        if (lc == 'a') {
            if (StartsWithNoCase(p, i, "am/pm")) {
                const QString text = hour >= 12 ? "pm" : "am";
                out += p[i].isUpper() ? text.toUpper() : text;
                i += 5;
                continue;
            }
            if (StartsWithNoCase(p, i, "a/p")) {
                const QString text = hour >= 12 ? "p" : "a";
                out += p[i].isUpper() ? text.toUpper() : text;
                i += 3;
                continue;
            }
            if (StartsWithNoCase(p, i, "ampm")) {
                out += hour >= 12 ? fs.TimePMString : fs.TimeAMString;
                i += 4;
                continue;
            }
        }
        if (depth < 2 && lc == 'c') {
            FormatInto(out, fs.ShortDateFormat, value, depth + 1);
            if (TimeOf(value) != 0) {
                out += ' ';
                FormatInto(out, fs.LongTimeFormat, value, depth + 1);
            }
            ++i;
            lastWasHour = false;
            continue;
        }
        if (lc == 'd') {
            const qsizetype n = run('d');
            i += n;
            if (n <= 2) out += number(day, n);
            else if (n == 3) out += fs.ShortDayNames[DayOfWeek(value) - 1];
            else if (n == 4) out += fs.LongDayNames[DayOfWeek(value) - 1];
            else if (n == 5 && depth < 2) FormatInto(out, fs.ShortDateFormat, value, depth + 1);
            else if (depth < 2) FormatInto(out, fs.LongDateFormat, value, depth + 1);
            lastWasHour = false;
            continue;
        }
        if (lc == 'm') {
            qsizetype n = run('m');
            i += n;
            if (lastWasHour && n <= 2) {
                out += number(minute, n);
            } else if (n <= 2) out += number(month, n);
            else if (month >= 1 && n == 3) out += fs.ShortMonthNames[month - 1];
            else if (month >= 1) out += fs.LongMonthNames[month - 1];
            lastWasHour = false;
            continue;
        }
        if (lc == 'y') {
            const qsizetype n = run('y');
            i += n;
            if (n <= 2) out += QString::number(year % 100).rightJustified(2, '0');
            else out += QString::number(year).rightJustified(4, '0');
            lastWasHour = false;
            continue;
        }
        if (lc == 'h') {
            const qsizetype n = run('h');
            i += n;
            int h = hour;
            if (HasAmPm(p, i)) {
                h = hour % 12;
                if (h == 0)
                    h = 12;
            }
            out += number(h, n);
            lastWasHour = true;
            continue;
        }
        if (lc == 'n' || lc == 's') {
            const qsizetype n = run(lc);
            i += n;
            out += number(lc == 'n' ? minute : second, n);
            lastWasHour = false;
            continue;
        }
        if (lc == 'z') {
            const qsizetype n = run('z');
            i += n;
            out += n < 3 ? QString::number(msec) : number(msec, n, 3);
            lastWasHour = false;
            continue;
        }
        if (lc == 't' && depth < 2) {
            const qsizetype n = run('t');
            i += n;
            FormatInto(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, value, depth + 1);
            lastWasHour = false;
            continue;
        }
        if (c == '/') {
            out += fs.DateSeparator;
        } else if (c == ':') {
            out += fs.TimeSeparator;
        } else {
            out += c;
        }
        ++i;
    }
}

} // namespace

QString FormatDateTime(const QString& pattern, TDateTime value)
{
    QString out;
    FormatInto(out, pattern.isEmpty() ? QStringLiteral("c") : pattern, value, 0);
    return out;
}

QString DateToStr(TDateTime value)
{
    return FormatDateTime(FormatSettings().ShortDateFormat, value);
}

QString TimeToStr(TDateTime value)
{
    return FormatDateTime(FormatSettings().LongTimeFormat, value);
}

QString DateTimeToStr(TDateTime value)
{
    return FormatDateTime("c", value);
}

bool TryStrToDate(const QString& text, TDateTime& value)
{
    const QString s = text.trimmed();
    const qsizetype blank = s.indexOf(' ');
    const QString datePart = blank < 0 ? s : s.left(blank);
    const QStringList parts = datePart.split('/');
    if (parts.size() != 3)
        return false;
    int m, d, y;
    if (!TryStrToInt(parts[0], m) || !TryStrToInt(parts[1], d) || !TryStrToInt(parts[2], y))
        return false;
    if (parts[2].trimmed().size() <= 2)
        y += y < 50 ? 2000 : 1900;
    TDateTime date;
    if (!TryEncodeDate(y, m, d, date))
        return false;
    TDateTime time = 0;
    if (blank >= 0) {
        QString t = s.mid(blank + 1).trimmed().toUpper();
        bool pm = false, am = false;
        if (t.endsWith("PM")) { pm = true; t.chop(2); }
        else if (t.endsWith("AM")) { am = true; t.chop(2); }
        const QStringList tp = t.trimmed().split(':');
        if (tp.size() < 2 || tp.size() > 3)
            return false;
        int h, n, sec = 0;
        if (!TryStrToInt(tp[0], h) || !TryStrToInt(tp[1], n) || (tp.size() == 3 && !TryStrToInt(tp[2], sec)))
            return false;
        if ((pm || am) && (h < 1 || h > 12))
            return false;
        if (pm && h < 12) h += 12;
        if (am && h == 12) h = 0;
        if (!TryEncodeTime(h, n, sec, 0, time))
            return false;
    }
    value = CombineDateTime(date, time);
    return true;
}

} // namespace pm

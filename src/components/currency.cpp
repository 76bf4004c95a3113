#include "components/currency.h"

#include <cmath>
#include <limits>

namespace pm {

std::optional<Currency> Currency::FromDouble(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double scaled = std::nearbyint(value * double(Scale));
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (scaled >= 9223372036854775808.0 || scaled < -9223372036854775808.0)
        return std::nullopt;
    return FromUnits(int64_t(scaled));
}

Currency Currency::FromDoubleOrZero(double value)
{
    return FromDouble(value).value_or(Currency());
}

std::optional<Currency> Currency::Parse(const QString& text)
{
    const QString s = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    // Accumulate as a non-negative magnitude in units; the most negative value
    // has one unit more than the most positive one.
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int64_t>::max());
    uint64_t whole = 0;
    int digits = 0;
    for (; i < s.size() && s[i].isDigit() && s[i].unicode() < 128; ++i, ++digits) {
        whole = whole * 10 + uint64_t(s[i].unicode() - '0');
        if (whole > limit / uint64_t(Scale))
            return std::nullopt;
    }
    uint64_t fraction = 0;
    int decimals = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        for (; i < s.size() && s[i].isDigit() && s[i].unicode() < 128; ++i, ++decimals) {
            if (decimals >= 4)
                return std::nullopt;
            fraction = fraction * 10 + uint64_t(s[i].unicode() - '0');
        }
    }
    if (i != s.size() || digits + decimals == 0)
        return std::nullopt;
    for (int d = decimals; d < 4; ++d)
        fraction *= 10;
    const uint64_t magnitude = whole * uint64_t(Scale) + fraction;
    if (magnitude > limit)
        return std::nullopt;
    return FromUnits(negative ? int64_t(0 - magnitude) : int64_t(magnitude));
}

QString Currency::ToString() const
{
    const bool negative = units_ < 0;
    const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(units_) : uint64_t(units_);
    QString text = QString::number(magnitude / uint64_t(Scale));
    uint64_t fraction = magnitude % uint64_t(Scale);
    if (fraction != 0) {
        QString digits = QString::number(fraction).rightJustified(4, '0');
        while (digits.endsWith('0'))
            digits.chop(1);
        text += '.' + digits;
    }
    return negative ? '-' + text : text;
}

} // namespace pm

#pragma once
// The Access currency value: a signed 64-bit count of 1/10000 of a unit.
// All arithmetic on it is exact; conversion from floating values rounds to
// the nearest 1/10000 (halves to even, as the FPU conversion does).

#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

namespace pm {

class Currency {
public:
    static constexpr int64_t Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency FromUnits(int64_t units) { Currency c; c.units_ = units; return c; }
    // Nearest 1/10000; nullopt for NaN, infinities and values outside the range.
    static std::optional<Currency> FromDouble(double value);
    // As FromDouble, but 0 where the value does not convert.
    static Currency FromDoubleOrZero(double value);
    // Strict read of "[-]digits[.digits]" with at most four decimals, blanks
    // around allowed; no thousands separators, no exponent.
    static std::optional<Currency> Parse(const QString& text);

    constexpr int64_t Units() const { return units_; }
    double ToDouble() const { return double(units_) / double(Scale); }
    // Shortest text: "1234.5", "-0.0001", "0".
    QString ToString() const;

    constexpr Currency operator-() const { return FromUnits(-units_); }
    constexpr Currency operator+(Currency o) const { return FromUnits(units_ + o.units_); }
    constexpr Currency operator-(Currency o) const { return FromUnits(units_ - o.units_); }
    constexpr Currency operator*(int64_t n) const { return FromUnits(units_ * n); }
    Currency& operator+=(Currency o) { units_ += o.units_; return *this; }
    Currency& operator-=(Currency o) { units_ -= o.units_; return *this; }
    constexpr auto operator<=>(const Currency&) const = default;
    constexpr bool IsZero() const { return units_ == 0; }

private:
    int64_t units_ = 0;
};

} // namespace pm

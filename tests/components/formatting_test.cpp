// The platform formatting and reading, and the value types under them.
#include "components/currency.h"
#include "components/datetime.h"
#include "components/formatting.h"
#include "components/win1252.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

using namespace pm;

namespace {

TEST(FormatFloat, Patterns)
{
    struct { const char* pattern; double value; const char* text; } cases[] = {
        {"0.00", 2.5, "2.50"},
        {"0.00", 2.675, "2.67"},           // the double is below 2.675
        {"0.00", -2.5, "-2.50"},
        {"#,##0.00", 1234567.891, "1,234,567.89"},
        {",0.00", 1234.5, "1,234.50"},
        {",0.00", 100, "100.00"},
        {"0", 0.4, "0"},
        {"0", 0.5, "1"},
        {"0", -0.5, "-1"},
        {"#", 0, ""},
        {"#.##", 0.5, ".5"},
        {"0.##", 1, "1"},
        {"0.##", 1.2, "1.2"},
        {"0.0#", 1.25, "1.25"},
        {"0.0#", 1, "1.0"},
        {"000", 7, "007"},
        {"00.00", 123.456, "123.46"},
        {".00", 12.5, "12.50"},
        {"$#,##0.00", 1234, "$1,234.00"},
        {"$#,##0.00", -1234, "-$1,234.00"},
        {"#,##0.00;(#,##0.00)", -1234.5, "(1,234.50)"},
        {"#,##0.00;(#,##0.00);Zero", 0, "Zero"},
        {"#,##0.00;(#,##0.00); ", 0, " "},        // one blank shows zero as a blank
        {"#,##0.00;;' '", 0, " "},
        {"#,##0.00;;", -5, "-5.00"},              // empty sections fall back to the first
        {"0.00;(0.00)", -0.001, "0.00"},          // rounds to zero: never a negative zero
        {"0.00;(0.00); ", -0.001, " "},
        {"'Total: '0.0", 3.25, "Total: 3.3"},
        {"\"a;b\"0", 5, "a;b5"},
        {"0.00E+00", 12345, "1.23E+04"},
        {"0.0E-0", 0.000123, "1.2E-4"},
        {"#,##0", 999.5, "1,000"},
        {"#,##0", 1e15, "1,000,000,000,000,000"},
        {"", 12.5, "12.5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFloat(QString::fromUtf8(c.pattern), c.value), QString::fromUtf8(c.text))
            << c.pattern << " / " << c.value;
}

TEST(FormatFloat, CurrencyIsExact)
{
    // 0.0050 is exactly half a cent, unlike the nearest double to 1.005.
    EXPECT_EQ(FormatCurr("0.00", Currency::FromUnits(10050)), "1.01");
    EXPECT_EQ(FormatCurr("0.00;(0.00)", Currency::FromUnits(-25)), "0.00");
    EXPECT_EQ(FormatCurr("#,##0.0000", Currency::FromUnits(-12345678)), "-1,234.5678");
    EXPECT_EQ(FormatCurr("", Currency::FromUnits(15000)), "1.5");
}

TEST(FormatFloat, GeneralText)
{
    struct { double value; const char* text; } cases[] = {
        {12.5, "12.5"}, {100, "100"}, {0, "0"}, {-0.0, "0"}, {0.1, "0.1"}, {1.0 / 3, "0.333333333333333"},
        {-2.75, "-2.75"}, {123456789012345.0, "123456789012345"}, {1e15, "1E15"}, {1e20, "1E20"},
        {0.0001, "0.0001"}, {0.00001, "0.00001"}, {0.000001, "1E-6"}, {1.5e-7, "1.5E-7"},
        {0.1 + 0.2, "0.3"}, {2.675, "2.675"}};
    for (const auto& c : cases)
        EXPECT_EQ(FloatToStr(c.value), QString(c.text)) << c.value;
    EXPECT_EQ(FloatToStr(NAN), "NAN");
    EXPECT_EQ(FloatToStr(-INFINITY), "-INF");
    EXPECT_EQ(FloatToStrF(1234.5, 2), "1234.50");
    EXPECT_EQ(FloatToStrF(-0.125, 0), "0");
}

TEST(FormatFloat, StrictReading)
{
    struct { const char* text; bool ok; double value; } cases[] = {
        {"12.5", true, 12.5}, {" -3 ", true, -3}, {"+4.", true, 4}, {".5", true, 0.5}, {"1e3", true, 1000},
        {"1.5E-2", true, 0.015}, {"1e-400", true, 0}, {"", false, 0}, {"  ", false, 0}, {"1,234", false, 0},
        {"12,5", false, 0}, {"1.2.3", false, 0}, {"e5", false, 0}, {"1e", false, 0}, {"-", false, 0},
        {".", false, 0}, {"1e999", false, 0}, {"nan", false, 0}, {"inf", false, 0}, {"0x10", false, 0},
        {"\xc2\xbd", false, 0}, {"１", false, 0}};
    for (const auto& c : cases) {
        double v = -99;
        EXPECT_EQ(TryStrToFloat(QString::fromUtf8(c.text), v), c.ok) << c.text;
        if (c.ok)
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        else
            EXPECT_EQ(v, -99) << c.text;
    }
    int i = 0;
    EXPECT_TRUE(TryStrToInt(" 2147483647", i));
    EXPECT_EQ(i, 2147483647);
    EXPECT_FALSE(TryStrToInt("2147483648", i));
    EXPECT_FALSE(TryStrToInt("12a", i));
    EXPECT_EQ(StrToIntDef("", 7), 7);
}

TEST(FormatFloat, MachineLocaleIsIgnored)
{
    // A decimal comma locale must not leak into formatting or reading.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no decimal-comma locale installed";
    double v = 0;
    EXPECT_TRUE(TryStrToFloat("1.5", v));
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(FormatFloat("0.00", 1.5), "1.50");
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatDateTime, Patterns)
{
    TDateTime d;
    ASSERT_TRUE(TryEncodeDate(2010, 9, 30, d));
    TDateTime t;
    ASSERT_TRUE(TryEncodeTime(14, 5, 9, 7, t));
    const TDateTime v = d + t;
    struct { const char* pattern; const char* text; } cases[] = {
        {"mm/dd/yyyy", "09/30/2010"},
        {"m/d/yy", "9/30/10"},
        {"mmmm d, yyyy", "September 30, 2010"},
        {"mmm", "Sep"},
        {"ddd dddd", "Thu Thursday"},
        {"hh:nn:ss", "14:05:09"},
        {"h:mm", "14:05"},                     // m right after h is minutes
        {"hh:nn a/p", "02:05 p"},
        {"h:nn AM/PM", "2:05 PM"},
        {"h:nn am/pm", "2:05 pm"},
        {"h:nn ampm", "2:05 PM"},
        {"zzz", "007"},
        {"'Filed' mm/dd", "Filed 09/30"},
        {"ddddd", "09/30/2010"},
        {"c", "09/30/2010 2:05:09 PM"},
        {"yyyymmdd", "20100930"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.pattern, v), QString(c.text)) << c.pattern;
    EXPECT_EQ(FormatDateTime("h:nn a/p", d), "12:00 a");
    EXPECT_EQ(FormatDateTime("c", d), "09/30/2010");
    EXPECT_EQ(DateToStr(d), "09/30/2010");
}

TEST(FormatDateTime, ReadDates)
{
    TDateTime v = 0, expected;
    ASSERT_TRUE(TryStrToDate("09/30/2010", v));
    ASSERT_TRUE(TryEncodeDate(2010, 9, 30, expected));
    EXPECT_EQ(v, expected);
    ASSERT_TRUE(TryStrToDate("9/30/10 2:30 PM", v));
    EXPECT_DOUBLE_EQ(v, expected + 14.5 / 24);
    EXPECT_FALSE(TryStrToDate("30/09/2010", v));
    EXPECT_FALSE(TryStrToDate("2010-09-30", v));
    EXPECT_FALSE(TryStrToDate("", v));
}

TEST(DateTimeValue, DayNumbers)
{
    struct { int y, m, d; double day; int weekday; } cases[] = {
        {1899, 12, 30, 0, 7}, {1899, 12, 29, -1, 6}, {1900, 1, 1, 2, 2}, {2010, 9, 30, 40451, 5},
        {2000, 2, 29, 36585, 3}, {1, 1, 1, -693593, 2}, {9999, 12, 31, 2958465, 6}};
    for (const auto& c : cases) {
        TDateTime v;
        ASSERT_TRUE(TryEncodeDate(c.y, c.m, c.d, v));
        EXPECT_EQ(v, c.day) << c.y << "-" << c.m << "-" << c.d;
        int y, m, d;
        DecodeDate(v, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
        EXPECT_EQ(DayOfWeek(v), c.weekday);
    }
    TDateTime v;
    EXPECT_FALSE(TryEncodeDate(2011, 2, 29, v));
    EXPECT_FALSE(TryEncodeDate(2010, 4, 31, v));
    EXPECT_FALSE(TryEncodeDate(2010, 13, 1, v));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, v));
    EXPECT_TRUE(TryEncodeDate(1900, 2, 28, v));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, v));
    // Before the epoch the fraction still counts forward from midnight.
    int h, n, s, ms, y, m, d;
    DecodeDate(-1.25, y, m, d);
    DecodeTime(-1.25, h, n, s, ms);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    EXPECT_EQ(h, 6);
    EXPECT_EQ(IncMonth(40451, 5), 40451 + 151);   // 9/30 -> 2/28
    EXPECT_EQ(ToQDate(40451), QDate(2010, 9, 30));
    EXPECT_EQ(FromQDate(QDate(2010, 9, 30)), 40451);
}

TEST(CurrencyValue, ExactArithmeticAndReading)
{
    const Currency a = *Currency::Parse("0.1"), b = *Currency::Parse("0.2");
    EXPECT_EQ(a + b, *Currency::Parse("0.3"));
    EXPECT_EQ((a + b).ToString(), "0.3");
    EXPECT_EQ(Currency::FromUnits(-1).ToString(), "-0.0001");
    EXPECT_EQ(Currency::FromUnits(INT64_MIN).ToString(), "-922337203685477.5808");
    EXPECT_EQ(Currency::Parse("-922337203685477.5808")->Units(), INT64_MIN);
    EXPECT_FALSE(Currency::Parse("922337203685477.5808"));
    EXPECT_FALSE(Currency::Parse("1.23456"));
    EXPECT_FALSE(Currency::Parse("1,000"));
    EXPECT_FALSE(Currency::Parse(""));
    EXPECT_FALSE(Currency::Parse("."));
    EXPECT_FALSE(Currency::Parse(QString(50, '9')));
    EXPECT_EQ(Currency::FromDouble(2.675)->Units(), 26750);
    EXPECT_EQ(Currency::FromDouble(-1234.56785)->Units(), -12345678);
    EXPECT_FALSE(Currency::FromDouble(NAN));
    EXPECT_FALSE(Currency::FromDouble(1e300));
    EXPECT_EQ(Currency::FromDoubleOrZero(INFINITY), Currency());
    EXPECT_LT(Currency::FromUnits(-5), Currency());
}

TEST(Win1252, BothWays)
{
    const QByteArray bytes("\x80\x8a\x9f\xe9\xff\x81 A", 8);
    const QString text = FromWin1252(bytes);
    EXPECT_EQ(text, QString::fromUtf8("\xe2\x82\xac\xc5\xa0\xc5\xb8\xc3\xa9\xc3\xbf\xc2\x81 A"));
    EXPECT_EQ(ToWin1252(text), bytes);
    EXPECT_EQ(ToWin1252(QString::fromUtf8("\xe2\x98\x83\xf0\x9f\x98\x80x")), QByteArray("??x"));
    EXPECT_EQ(ToWin1252(QString(QChar(0x80))), QByteArray("?"));   // U+0080 is no Windows-1252 character
    for (int b = 0; b < 256; ++b) {
        const QByteArray one(1, char(b));
        EXPECT_EQ(ToWin1252(FromWin1252(one)), one) << b;
    }
}

} // namespace

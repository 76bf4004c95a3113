// Typed dates, times and amounts, and the small string routines.
#include "components/entry.h"
#include "components/formatting.h"

#include <gtest/gtest.h>

using namespace pm;

namespace {

struct DateCase { const char* text; const char* normalized; };

class EntryNormalizeDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(EntryNormalizeDate, Normalizes)
{
    const DateCase& c = GetParam();
    EXPECT_EQ(NormalizeDate(QString::fromUtf8(c.text)), QString::fromUtf8(c.normalized)) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Table, EntryNormalizeDate, ::testing::Values(
    // The many ways of typing the end of the third quarter of 2010.
    DateCase{"9/30/10", "09/30/2010"},
    DateCase{"09-30-2010", "09/30/2010"},
    DateCase{"9.30.2010", "09/30/2010"},
    DateCase{"20100930", "09/30/2010"},
    DateCase{"2010/09/30", "09/30/2010"},
    DateCase{"2010/9/30", "09/30/2010"},
    DateCase{"30-Sep-2010", "09/30/2010"},
    DateCase{"30 sep 10", "09/30/2010"},
    DateCase{"Sep   30  2010", "09/30/2010"},
    DateCase{"September 30 2010", "09/30/2010"},
    DateCase{"Q3 2010", "09/30/2010"},
    DateCase{"q3 2010", "09/30/2010"},
    DateCase{"093010", "09/30/2010"},
    DateCase{"09302010", "09/30/2010"},
    DateCase{"40451", "09/30/2010"},
    DateCase{"  9/3/2010  ", "09/03/2010"},
    // Month and year only: the last day of the month.
    DateCase{"10/2010", "10/31/2010"},
    DateCase{"Oct 2010", "10/31/2010"},
    DateCase{"2/2012", "02/29/2012"},
    DateCase{"2/2011", "02/28/2011"},
    // The two-digit year window.
    DateCase{"9/30/50", "09/30/2050"},
    DateCase{"9/30/51", "09/30/1951"},
    DateCase{"9/30/00", "09/30/2000"},
    DateCase{"9/30/7", "09/30/2007"},
    // A bare quarter takes the 30 of its replacement as the year.
    DateCase{"Q2", "06/30/2030"},
    // Unchanged, left for ParseDate to refuse.
    DateCase{"13/01/2010", "13/01/2010"},
    // A month and year whose date does not convert is no date (it used to
    // become 12/31/1899).
    DateCase{"13/2010", ""},
    DateCase{"Q5 2010", ""},
    DateCase{"XY 2010", ""},
    DateCase{"0/2010", ""},
    // Nothing to read.
    DateCase{"", ""},
    DateCase{"    ", ""},
    DateCase{"\t", ""}));

TEST(EntryParseDate, AcceptsAndRefuses)
{
    struct { const char* text; bool ok; int y, m, d; } cases[] = {
        {"9/30/10", true, 2010, 9, 30},
        {"Q4 2010", true, 2010, 12, 31},
        {"2/29/2012", true, 2012, 2, 29},
        {"2/29/2011", false, 0, 0, 0},
        {"4/31/2010", false, 0, 0, 0},
        {"13/01/2010", false, 0, 0, 0},
        {"September 30, 2010", false, 0, 0, 0},   // the comma survives
        {"13/2010", false, 0, 0, 0},
        {"Q5 2010", false, 0, 0, 0},
        {"", false, 0, 0, 0},
        {"   ", false, 0, 0, 0},
        {"hello", false, 0, 0, 0},
        {"1", false, 0, 0, 0},
        {"//", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TDateTime date = 123.0;
        const bool ok = ParseDate(QString::fromUtf8(c.text), date);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (c.ok) {
            TDateTime expected;
            ASSERT_TRUE(TryEncodeDate(c.y, c.m, c.d, expected));
            EXPECT_EQ(date, expected) << c.text;
            EXPECT_EQ(DateOrZero(QString::fromUtf8(c.text)), expected);
        } else {
            EXPECT_EQ(date, 123.0) << "date changed on failure: " << c.text;
            EXPECT_EQ(DateOrZero(QString::fromUtf8(c.text)), 0.0);
        }
    }
}

TEST(EntryParseDate, HostileTextNeverThrowsOrReadsPastItsEnd)
{
    const QString texts[] = {
        QString(100000, '9'), QString(100000, '/'), QString("Q1").repeated(5000),
        QString::fromUtf8("é/ü/ß"), QString::fromLatin1("\xff\xfe\x80/\x81"), QString(QChar(0)),
        "2010/", "/2010", "SEPT2010", "30/SE", "@(,)", "JANUARYFEBRUARY", "1700/01/01", "2499/12/31"};
    for (const QString& t : texts) {
        TDateTime date = 0;
        ParseDate(t, date);
        NormalizeTime(t);
        TDateTime time = 0;
        ParseTime(t, time);
        ParseAmount(t);
        StrToIntOrZero(t);
        ProperCase(t);
    }
    TDateTime d;
    EXPECT_TRUE(ParseDate("2010/01/02", d));
}

TEST(EntryTime, NormalizeAndParse)
{
    struct { const char* text; const char* normalized; int h, n, s; } cases[] = {
        {"1:05p", "01:05:00 pm", 13, 5, 0},
        {"1:05 PM", "01:05:00 pm", 13, 5, 0},
        {"13.45", "13:45:00 am", 13, 45, 0},     // hour 13 is kept
        {"12:00 am", "12:00:00 am", 12, 0, 0},   // noon: only afternoon hours below 12 move
        {"12:30p", "12:30:00 pm", 12, 30, 0},
        {"9:15:30", "09:15:30 am", 9, 15, 30},
        {"11:59:59 pm", "11:59:59 pm", 23, 59, 59},
        {"", "", -1, 0, 0},
        {"   ", "", -1, 0, 0},
        {":30", "", -1, 0, 0},
        {"130", "", -1, 0, 0},
        {"123:00", "", -1, 0, 0},
        {"1:2", "", -1, 0, 0},
        {"25:00", "25:00:00 am", -1, 0, 0},      // normalizes, but is no time
        {"xy:zw", "XY:ZW:00 am", -1, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeTime(c.text), QString(c.normalized)) << c.text;
        TDateTime value = 40451.0;   // 9/30/2010 at midnight
        const bool ok = ParseTime(c.text, value);
        EXPECT_EQ(ok, c.h >= 0) << c.text;
        if (ok) {
            TDateTime t;
            ASSERT_TRUE(TryEncodeTime(c.h, c.n, c.s, 0, t));
            EXPECT_DOUBLE_EQ(value, 40451.0 + t) << c.text;
        } else {
            EXPECT_EQ(value, 40451.0) << c.text;
        }
    }
    // The time replaces the time part and keeps the day.
    TDateTime value = 40451.75;
    ASSERT_TRUE(ParseTime("6:00a", value));
    EXPECT_DOUBLE_EQ(value, 40451.25);
}

TEST(EntryMonthsAndQuarters, Boundaries)
{
    auto date = [](int y, int m, int d) { TDateTime v; EXPECT_TRUE(TryEncodeDate(y, m, d, v)); return v; };
    struct { TDateTime in, som, eom, soq, eoq; } cases[] = {
        {date(2010, 9, 30), date(2010, 9, 1), date(2010, 9, 30), date(2010, 7, 1), date(2010, 9, 30)},
        {date(2012, 2, 10), date(2012, 2, 1), date(2012, 2, 29), date(2012, 1, 1), date(2012, 3, 31)},
        {date(2011, 5, 31), date(2011, 5, 1), date(2011, 5, 31), date(2011, 4, 1), date(2011, 6, 30)},
        {date(2010, 12, 1) + 0.5, date(2010, 12, 1), date(2010, 12, 31), date(2010, 10, 1), date(2010, 12, 31)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StartOfMonth(c.in), c.som);
        EXPECT_EQ(EndOfMonth(c.in), c.eom);
        EXPECT_EQ(StartOfQuarter(c.in), c.soq);
        EXPECT_EQ(EndOfQuarter(c.in), c.eoq);
    }
}

TEST(EntryParseAmount, Table)
{
    struct { const char* text; double value; } cases[] = {
        {"$1,234.50", 1234.5},
        {"($1,234.50)", -1234.5},
        {"1,234.50CR", -1234.5},
        {"1,234.50cr", 0},          // only upper-case CR marks a credit
        {"(-5)", 5},                // a minus inside parentheses gives a positive amount
        {"-5", -5},
        {" 12 ", 12},
        {"abc", 0},
        {"1.2.3", 0},
        {"", 0},
        {"   ", 0},
        {"1e3", 1000},
        {"\xc3\xa9", 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(ParseAmount(QString::fromUtf8(c.text)), c.value) << c.text;
    EXPECT_EQ(ParseAmount(QString(5000, '9') + "x"), 0.0);
}

TEST(EntryStrToIntOrZero, Table)
{
    EXPECT_EQ(StrToIntOrZero(" 42 "), 42);
    EXPECT_EQ(StrToIntOrZero("-7"), -7);
    EXPECT_EQ(StrToIntOrZero("4.2"), 0);
    EXPECT_EQ(StrToIntOrZero("99999999999"), 0);
    EXPECT_EQ(StrToIntOrZero(""), 0);
    EXPECT_EQ(StrToIntOrZero("x1"), 0);
}

TEST(EntryDecimalRound, ModesAndBoundaries)
{
    struct { double value; int decimals; int mode; double expected; } cases[] = {
        {2.675, 2, rmHalfUp, 2.68},        // although the double is slightly below 2.675
        {-2.675, 2, rmHalfUp, -2.68},
        {0.125, 2, rmHalfEven, 0.12},
        {0.135, 2, rmHalfEven, 0.14},
        {2.5, 0, rmHalfEven, 2},
        {3.5, 0, rmHalfEven, 4},
        {2.5, 0, rmHalfPosInf, 3},
        {-2.5, 0, rmHalfPosInf, -2},
        {2.5, 0, rmHalfNegInf, 2},
        {-2.5, 0, rmHalfNegInf, -3},
        {2.5, 0, rmHalfDown, 2},
        {-2.5, 0, rmHalfDown, -2},
        {2.7, 0, rmFloor, 2},
        {-2.2, 0, rmFloor, -3},
        {2.0, 0, rmFloor, 2},
        {2.2, 0, rmCeil, 3},
        {-2.7, 0, rmCeil, -2},
        {2.9, 0, rmDown, 2},
        {-2.9, 0, rmDown, -2},
        {2.1, 0, rmUp, 3},
        {-2.1, 0, rmUp, -3},
        {1234.5, -2, rmHalfUp, 1200},
        {1250, -2, rmHalfEven, 1200},
        {1350, -2, rmHalfEven, 1400},
        {1.005, 2, rmHalfUp, 1.01},
        {0, 2, rmHalfUp, 0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(DecimalRound(c.value, c.decimals, c.mode), c.expected)
            << c.value << " d=" << c.decimals << " mode=" << c.mode;
    EXPECT_EQ(DecimalRound(2.675, 2, rmNone), 2.675);
    EXPECT_TRUE(std::isnan(DecimalRound(std::nan(""), 2, rmHalfUp)));
    EXPECT_TRUE(std::isinf(DecimalRound(INFINITY, 2, rmHalfUp)));
}

TEST(EntryFormatRounded, RoundsToThePatternsDecimals)
{
    EXPECT_EQ(CountFormatDecimals(",0.00"), 2);
    EXPECT_EQ(CountFormatDecimals("0.0#"), 1);
    EXPECT_EQ(CountFormatDecimals("0.#"), 0);
    EXPECT_EQ(CountFormatDecimals("#,##0"), -1);
    EXPECT_EQ(FormatRounded(",0.00", 1.005), "1.01");
    EXPECT_EQ(FormatFloat(",0.00", 1.005), "1.00");   // what rounding first prevents
    EXPECT_EQ(FormatRounded(",0.00", 1234567.125), "1,234,567.13");
    EXPECT_EQ(FormatRounded("0", 2.5), "3");            // no decimal point: formatted unrounded
}

TEST(EntryFormatMoney, CurrencyAndFloat)
{
    EXPECT_EQ(FormatMoney(Currency::FromUnits(12345000)), "1,234.50");
    EXPECT_EQ(FormatMoney(Currency::FromUnits(-12345000)), "(1,234.50)");
    EXPECT_EQ(FormatMoney(Currency::FromUnits(10050)), "1.01");   // exact: 1.0050 rounds up
    EXPECT_EQ(FormatMoney(Currency()), "0.00");
    EXPECT_EQ(FormatMoney(Currency::FromUnits(-10)), "0.00");    // never "(0.00)"
    EXPECT_EQ(FormatMoney(Currency::FromUnits(INT64_MAX)), "922,337,203,685,477.58");
    EXPECT_EQ(FormatMoney(Currency::FromUnits(INT64_MIN)), "(922,337,203,685,477.58)");
    EXPECT_EQ(FormatMoney(-0.5), "(0.50)");
    EXPECT_EQ(FormatMoney(999999.995), "999,999.99");     // the double is below the half
    EXPECT_EQ(FormatMoney(999999.996), "1,000,000.00");
}

TEST(EntryStrings, SmallRoutines)
{
    EXPECT_EQ(RemoveChars("$1,234.50", "$,"), "1234.50");
    EXPECT_EQ(TranslateChars("a-b.c", "-.", "//"), "a/b/c");
    EXPECT_EQ(TranslateChars("abca", "aa", "xy"), "xbcx");   // the first occurrence in `from` counts
    EXPECT_EQ(WithTrailingBackslash(""), "\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\dir"), "C:\\dir\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\dir\\"), "C:\\dir\\");
    EXPECT_EQ(FileNameWithoutExt("C:\\forms\\QF-7v2.dfb"), "QF-7v2");
    EXPECT_EQ(FileNameWithoutExt("/opt/pellmark/Pellmark"), "Pellmark");
    EXPECT_EQ(FileNameWithoutExt("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(ProperCase("o'neil"), "O'neil");
    EXPECT_EQ(ProperCase("1st street"), "1st Street");
    EXPECT_EQ(ProperCase("JOHN  SMITH-JONES"), "John  Smith-Jones");
    EXPECT_EQ(ProperCase(""), "");
}

TEST(EntryStrings, ColumnLetters)
{
    struct { int n; const char* letters; } cases[] = {
        {1, "A"}, {26, "Z"}, {27, "AA"}, {52, "AZ"}, {53, "BA"}, {702, "ZZ"},
        {703, "AA"}, {0, ""}, {-5, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(ColumnLetters(c.n), QString(c.letters)) << c.n;
}

TEST(EntryStrings, FieldSplitting)
{
    QString text = "one\ttwo\t\tfour";
    EXPECT_EQ(NextTabField(text), "one");
    EXPECT_EQ(NextTabField(text), "two");
    EXPECT_EQ(NextTabField(text), "");
    EXPECT_EQ(NextTabField(text), "four");
    EXPECT_EQ(text, "");
    EXPECT_EQ(NextTabField(text), "");

    QString csv = "\"Smith, J\"::\"\"::\"::x";
    EXPECT_EQ(NextDelimitedField(csv, "::"), "Smith, J");
    EXPECT_EQ(NextDelimitedField(csv, "::"), "");          // two quotes lose both
    EXPECT_EQ(NextDelimitedField(csv, "::"), "\"");        // one quote is kept
    EXPECT_EQ(NextDelimitedField(csv, "::"), "x");
    EXPECT_TRUE(csv.isEmpty());
}

TEST(EntryParseFunctionCall, NameArgumentsAndCallText)
{
    QString name;
    QStringList args;
    EXPECT_EQ(ParseFunctionCall("x + @SUM(<A>, @MAX(<B>,<C>)) + 1", name, args), "@SUM(<A>, @MAX(<B>,<C>))");
    EXPECT_EQ(name, "@SUM");
    EXPECT_EQ(args, QStringList({"<A>", "@MAX(<B>,<C>)"}));

    EXPECT_EQ(ParseFunctionCall("@ROUND ( 2.5 , 0 )", name, args), "@ROUND ( 2.5 , 0 )");
    EXPECT_EQ(name, "@ROUND");
    EXPECT_EQ(args, QStringList({"2.5", "0"}));

    args = QStringList{"stale"};
    EXPECT_EQ(ParseFunctionCall("no call here", name, args), "");
    EXPECT_TRUE(args.isEmpty());
    EXPECT_EQ(ParseFunctionCall("@SUM(<A>, (<B>)", name, args), "");   // never closed
    EXPECT_TRUE(args.isEmpty());
}

} // namespace

// Grammar, functions, error codes and stack depth of TMathParser.

#include "forms/mathparser.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <clocale>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace pm {
namespace {

struct Outcome {
    long double value = 0;
    bool error = false;
    int code = 0;
    bool math = false;
    int position = 0;
};

Outcome Evaluate(const QString& text, TMathParser::TGetVarEvent getVar = {})
{
    TMathParser p;
    p.ParseString = text;
    p.OnGetVar = std::move(getVar);
    p.Parse();
    return {p.ParseValue(), p.ParseError(), p.TokenError(), p.MathError(), p.Position()};
}

QString Nested(int pairs, const QString& inner = "7")
{
    return QString(pairs, '(') + inner + QString(pairs, ')');
}

struct ValueCase {
    const char* text;
    long double expected;
};

TEST(MathParserGrammar, EvaluatesValidFormulas)
{
    const std::vector<ValueCase> cases = {
        {"1+2*3", 7},
        {"(1+2)*3", 9},
        {"10-2-3", 5},            // left-associative
        {"8/4/2", 1},
        {"2^3^2", 512},           // right-associative power
        {"2*3^2", 18},            // power binds tighter than "*"
        {"2^-1", 0.5},
        {"2*-3", -6},
        {"10--3", 13},
        {"-(3)", -3},
        {"-ABS(2)", -2},
        {"-3+5", 2},
        {".5*2", 1},              // a number may start with a point
        {"1+.", 1},               // a lone point away from position 1 reads as 0
        {"1.", 1},
        {"  1 +  1  ", 2},
        {"1E3", 1000},
        {"1.5e+2", 150},
        {"25e-1", 2.5},
        {"1E4000/1E3999", 10},    // the extended range, beyond double
        {"0.1+0.2", 0.3L},
        {"((((((((((((7))))))))))))", 7},
    };
    for (const auto& c : cases) {
        const Outcome r = Evaluate(c.text);
        EXPECT_FALSE(r.error) << c.text;
        EXPECT_EQ(r.code, 0) << c.text;
        EXPECT_NEAR(double(r.value), double(c.expected), 1e-12 * std::max(1.0, std::fabs(double(c.expected))))
            << c.text;
    }
}

// An independent recursive-descent reading of the same grammar, used to check
// the automaton's tables on many generated formulas. Tokens are separated by
// blanks; any failure (syntax, domain, division by zero, overflow) is one
// outcome.
class ReferenceEvaluator {
public:
    explicit ReferenceEvaluator(std::vector<std::string> tokens) : t(std::move(tokens)) {}

    bool Evaluate(long double& value)
    {
        value = Sum();
        if (!failed && i != t.size())
            failed = true;
        return !failed;
    }

private:
    std::vector<std::string> t;
    size_t i = 0;
    bool failed = false;

    const std::string& Peek() const
    {
        static const std::string end;
        return i < t.size() ? t[i] : end;
    }
    long double Check(long double v)
    {
        if (!std::isfinite(v))
            failed = true;
        return failed ? 0 : v;
    }
    long double Sum()
    {
        long double v = Product();
        while (!failed && (Peek() == "+" || Peek() == "-")) {
            const bool plus = t[i++] == "+";
            const long double r = Product();
            v = Check(plus ? v + r : v - r);
        }
        return v;
    }
    long double Product()
    {
        long double v = Power();
        while (!failed && (Peek() == "*" || Peek() == "/")) {
            const bool times = t[i++] == "*";
            const long double r = Power();
            if (!times && r == 0)
                failed = true;
            v = Check(times ? v * r : v / r);
        }
        return v;
    }
    long double Power()
    {
        const long double base = Signed();
        if (failed || Peek() != "^")
            return base;
        ++i;
        const long double exponent = Power();
        const long double e = base > 0 ? exponent * std::log(base) : 0;
        if (!(base > 0) || e < -11356.0L || e > 11356.0L)
            failed = true;
        return Check(std::exp(e));
    }
    long double Signed()
    {
        if (Peek() == "-") {
            ++i;
            return Check(-Primary());
        }
        return Primary();
    }
    long double Primary()
    {
        if (failed)
            return 0;
        const std::string tok = Peek();
        if (tok == "(") {
            ++i;
            const long double v = Sum();
            if (Peek() != ")")
                failed = true;
            ++i;
            return v;
        }
        if (tok == "SQR" || tok == "ABS" || tok == "LN") {
            ++i;
            if (Peek() != "(")
                failed = true;
            ++i;
            const long double x = Sum();
            if (Peek() != ")")
                failed = true;
            ++i;
            if (tok == "LN" && !(x > 0))
                failed = true;
            return Check(tok == "SQR" ? x * x : tok == "ABS" ? std::fabs(x) : std::log(x));
        }
        if (!tok.empty() && (std::isdigit((unsigned char)tok[0]) || tok[0] == '.')) {
            ++i;
            return std::stold(tok.front() == '.' ? "0" + tok : tok);
        }
        failed = true;
        return 0;
    }
};

// Valid formulas from the grammar, with a bounded number of tokens.
void Generate(std::mt19937& rng, int depth, std::vector<std::string>& out)
{
    static const char* numbers[] = {"0", "1", "2", "3", ".5", "10", "0.25", "1E3"};
    static const char* operators[] = {"+", "-", "*", "/", "^"};
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const int kind = depth <= 0 ? 0 : pick(6);
    if (kind == 4 && pick(3) == 0)
        out.push_back("-");
    switch (kind) {
    case 0: case 4:
        out.push_back(numbers[pick(8)]);
        break;
    case 1: case 2:
        Generate(rng, depth - 1, out);
        out.push_back(operators[pick(5)]);
        Generate(rng, depth - 1, out);
        break;
    case 3:
        out.push_back("(");
        Generate(rng, depth - 1, out);
        out.push_back(")");
        break;
    case 5: {
        static const char* functions[] = {"SQR", "ABS", "LN"};
        out.push_back(functions[pick(3)]);
        out.push_back("(");
        Generate(rng, depth - 1, out);
        out.push_back(")");
        break;
    }
    }
}

TEST(MathParserGrammar, AgreesWithARecursiveDescentReading)
{
    // At most 14 tokens: every token pushes at most one entry, so the stack
    // never fills and the two readings must agree on every text.
    static const char* soup[] = {"1", "2", ".5", "0", "+", "-", "*", "/", "^", "(", ")",
                                 "SQR", "ABS", "LN", "!", "x"};
    std::mt19937 rng(20261211);
    int valid = 0;
    for (int n = 0; n < 20000; ++n) {
        std::vector<std::string> tokens;
        if (n % 2 == 0) {
            Generate(rng, 4, tokens);
        } else {
            const int count = 1 + int(rng() % 10u);
            for (int k = 0; k < count; ++k)
                tokens.push_back(soup[rng() % std::size(soup)]);
        }
        if (tokens.size() > 14)
            continue;
        std::string text;
        for (const auto& tok : tokens)
            text += (text.empty() ? "" : " ") + tok;

        long double expected = 0;
        const bool ok = ReferenceEvaluator(tokens).Evaluate(expected);
        const Outcome r = Evaluate(QString::fromStdString(text));
        ASSERT_EQ(!r.error, ok) << text;
        if (ok) {
            ++valid;
            ASSERT_EQ(r.value, expected) << text;
        } else {
            ASSERT_EQ(r.value, 0) << text;
        }
        ASSERT_GE(r.position, 1) << text;
        ASSERT_LE(r.position, int(text.size()) + 1) << text;
    }
    EXPECT_GT(valid, 3000);   // the generator does reach the value paths
}

TEST(MathParserGrammar, FunctionsAndTheirDomains)
{
    const std::vector<ValueCase> valid = {
        {"abs(-1)", 1},
        {"ATAN(1)", 0.785398163397448309616L},
        {"cos(0)", 1},
        {"Exp(1)", 2.718281828459045235360L},
        {"LN(EXP(2))", 2},
        {"ROUND(2.5)", 2},        // halves to the even neighbour
        {"ROUND(3.5)", 4},
        {"ROUND(-2.5)", -2},
        {"ROUND(2.6)", 3},
        {"SIN(0)", 0},
        {"SQRT(16)", 4},
        {"SQRT(0)", 0},
        {"SQR(-3)", 9},
        {"TRUNC(-2.7)", -2},
        {"TRUNC(2.7)", 2},
        {"ROUND(1E9)", 1e9},
        {"abs(sqr(2)+1)*2", 10},
    };
    for (const auto& c : valid) {
        const Outcome r = Evaluate(c.text);
        EXPECT_FALSE(r.error) << c.text;
        EXPECT_NEAR(double(r.value), double(c.expected), 1e-12) << c.text;
    }
    // EXP at the edge of its domain is still a finite extended value.
    const Outcome edge = Evaluate("EXP(11356)");
    EXPECT_FALSE(edge.error);
    EXPECT_TRUE(std::isfinite(edge.value));

    for (const char* text : {"LN(0)", "LN(-1)", "SQRT(-1)", "EXP(11357)", "EXP(-11357)",
                             "ROUND(1E10)", "TRUNC(-1.5E9)", "COS(1E19)", "SIN(-1E19)"}) {
        const Outcome r = Evaluate(text);
        EXPECT_TRUE(r.error) << text;
        EXPECT_TRUE(r.math) << text;
        EXPECT_EQ(r.code, 0) << text;
        EXPECT_EQ(r.value, 0) << text;
    }
}

struct ErrorCase {
    const char* text;
    int code;        // syntax error code, 0 for a math error only
    bool math;
    int position;    // 1-based; 0 = not checked
};

TEST(MathParserErrors, CodesMathErrorsAndPositions)
{
    const std::vector<ErrorCase> cases = {
        {"1/0", 7, true, 4},
        {"1/(2-2)", 7, true, 8},
        {"0^2", 0, true, 0},
        {"(-2)^2", 0, true, 0},
        {"-2^2", 0, true, 0},        // the minus binds to the primary
        {"- -3", 3, false, 3},
        {"ABSX", 3, false, 1},       // not a function name, no variable handler
        {"1+ABSX", 3, false, 3},
        {"ABS 2", 5, false, 5},
        {"ABS", 5, false, 4},
        {"2 3", 4, false, 3},
        {"2)", 4, false, 2},
        {"2!", 4, false, 2},
        {"!", 0, true, 0},           // "!" stops the parse with a math error
        {"1+!", 0, true, 0},
        {"(1+2", 6, false, 5},
        {"ABS(1 2)", 6, false, 7},
        {"1*(2", 6, false, 5},
        {"", 3, false, 1},
        {"   ", 3, false, 4},
        {"1+", 3, false, 3},
        {"*2", 3, false, 1},
        {"()", 3, false, 2},
        {".", 3, false, 1},          // a lone point at position 1 is a bad token
        {".5.5", 4, false, 3},       // a run starting with a point stops at the second
        {"1..2", 0, true, 0},        // a run starting with a digit takes it in and fails
        {"1.2.3", 0, true, 0},
        {"1E", 0, true, 0},          // an exponent without digits does not convert
        {"1E12345", 4, false, 7},    // at most four exponent digits; "5" follows
        {"1E5000", 0, true, 0},      // beyond the extended range
        {"1E4000*1E4000", 0, true, 0},
        {"N/A", 3, false, 1},
        {"\"N/A\"", 3, false, 1},
        {"'Yes'", 3, false, 1},
        {"\t1", 3, false, 1},        // only the blank is skipped
        {"1,5", 4, false, 2},
        {"<A>+1", 3, false, 1},      // an unreplaced field reference
        {"@MIN(1,2)", 3, false, 1},
        {"\u00e91", 3, false, 1},
    };
    for (const auto& c : cases) {
        const Outcome r = Evaluate(QString::fromUtf8(c.text));
        EXPECT_TRUE(r.error) << c.text;
        EXPECT_EQ(r.value, 0) << c.text;
        EXPECT_EQ(r.code, c.code) << c.text;
        EXPECT_EQ(r.math, c.math) << c.text;
        if (c.position) {
            EXPECT_EQ(r.position, c.position) << c.text;
        }
    }
}

TEST(MathParserErrors, OnParseErrorReceivesSyntaxCodesOnly)
{
    std::vector<int> codes;
    TMathParser p;
    p.OnParseError = [&](TMathParser& sender, qint32 code) {
        EXPECT_EQ(&sender, &p);
        codes.push_back(code);
    };
    for (const QString& text : {QString("2 3"), QString("1/0"), QString("LN(0)"), QString("!"),
                                QString("1+1"), Nested(13)}) {
        p.ParseString = text;
        p.Parse();
    }
    EXPECT_EQ(codes, (std::vector<int>{4, 7, 1}));
}

TEST(MathParserStack, FifteenEntriesWithTheStartState)
{
    // Twelve pairs fill the stack to its fifteenth entry at the innermost ")".
    const Outcome ok = Evaluate(Nested(12));
    EXPECT_FALSE(ok.error);
    EXPECT_EQ(ok.value, 7);

    const Outcome full = Evaluate(Nested(13));
    EXPECT_TRUE(full.error);
    EXPECT_EQ(full.code, TMathParser::ErrStackFull);
    EXPECT_EQ(full.position, 15);    // the ")" that needed the sixteenth entry
    EXPECT_EQ(full.value, 0);
    EXPECT_EQ(Evaluate(Nested(14)).code, TMathParser::ErrStackFull);

    // Depth counts pending operands too, not only parentheses: each level of
    // "1+(" holds three entries.
    EXPECT_FALSE(Evaluate("1+(1+(1+(1+(2))))").error);   // 15 entries at the deepest ")"
    EXPECT_EQ(Evaluate("1+(1+(1+(1+(1+2)))))").code, TMathParser::ErrStackFull);
    // A long flat formula reduces as it goes and never fills the stack.
    QString sum = "1";
    for (int i = 0; i < 200; ++i)
        sum += "+2*3^1";
    EXPECT_NEAR(double(Evaluate(sum).value), 1201, 1e-9);
}

TEST(MathParserScanner, OnGetVarResolvesOtherNames)
{
    QStringList asked;
    auto vars = [&](TMathParser&, const QString& name, long double& value, bool& found) {
        asked << name;
        if (name.compare("Rate", Qt::CaseInsensitive) == 0) {
            value = 0.25;
            found = true;
        } else if (name == "x_1") {
            value = 4;
            found = true;
        }
    };
    Outcome r = Evaluate("RATE*x_1+abs(-1)", vars);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.value, 2);
    EXPECT_EQ(asked, (QStringList{"RATE", "x_1"}));   // function names are never asked

    asked.clear();
    r = Evaluate("2*Missing", vars);
    EXPECT_EQ(r.code, TMathParser::ErrOperandExpected);
    EXPECT_EQ(r.position, 3);
    EXPECT_EQ(asked, QStringList{"Missing"});
}

TEST(MathParserScanner, ReuseResetsTheResult)
{
    TMathParser p;
    p.ParseString = "6*7";
    p.Parse();
    EXPECT_EQ(p.ParseValue(), 42);
    p.ParseString = "6*";
    p.Parse();
    EXPECT_TRUE(p.ParseError());
    EXPECT_EQ(p.ParseValue(), 0);
    EXPECT_EQ(p.TokenError(), TMathParser::ErrOperandExpected);
    p.ParseString = "LN(0)";
    p.Parse();
    EXPECT_EQ(p.TokenError(), 0);
    EXPECT_TRUE(p.MathError());
    p.ParseString = "1/4";
    p.Parse();
    EXPECT_FALSE(p.ParseError());
    EXPECT_FALSE(p.MathError());
    EXPECT_EQ(p.ParseValue(), 0.25);
}

TEST(MathParserScanner, LongTextsParseAndPositionSaturates)
{
    QString text = "1";
    while (text.size() < 70000)
        text += "+1";
    const Outcome ok = Evaluate(text);
    EXPECT_FALSE(ok.error);
    EXPECT_EQ(ok.value, 35001);

    const Outcome bad = Evaluate(text + " x");
    EXPECT_EQ(bad.code, TMathParser::ErrOperatorExpected);
    EXPECT_EQ(bad.position, 65535);
}

TEST(MathParserScanner, PointIsTheDecimalSeparatorInAnyLocale)
{
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before ? before : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE"))
        GTEST_SKIP() << "no German locale on this machine";
    const Outcome r = Evaluate("1.5*2");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.value, 3);
}

} // namespace
} // namespace pm

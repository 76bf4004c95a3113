#include "forms/mathparser.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <stdexcept>
#include <string>

namespace pm {

namespace {

// Bounds outside which a function or power leaves its domain. 11356 is just
// below the natural logarithm of the largest extended float.
constexpr long double kMaxExpArg = 11356.0L;
constexpr long double kMaxTrigArg = 9e18L;
constexpr long double kMaxRoundArg = 1e9L;

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Reads a whole number text ("12", "0.5", "1.E3", "2e-7") as an extended
// float with "." as the decimal point, whatever the process locale. False
// when the text is not one number (a second point, an exponent without
// digits) or overflows; an underflow gives the tiny or zero value. A leading
// point reads as if a "0" preceded it.
bool TextToExtended(QStringView text, long double& value)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    std::string bytes;
    bytes.reserve(size_t(text.size()) + 1);
    if (text.startsWith(u'.'))
        bytes += '0';
    for (QChar c : text)
        bytes += char(c.unicode());   // digits, points, "E", signs only
    const char* begin = bytes.c_str();
    char* end = nullptr;
    const long double v = strtold_l(begin, &end, cLocale);
    if (end != begin + bytes.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

} // namespace

TMathParser::TMathParser() = default;

quint16 TMathParser::Position() const
{
    return FPos + 1 > 65535 ? quint16(65535) : quint16(FPos + 1);
}

// The scanner: reads the token that starts at FPos (after blanks) into FToken
// and leaves FPos right after it.
void TMathParser::NextToken()
{
    const QString& s = ParseString;
    const qsizetype len = s.size();
    while (FPos < len && s[FPos] == u' ')
        ++FPos;
    FToken = TToken();
    FToken.Start = FPos;
    if (FPos >= len) {
        FToken.Type = ttEOL;
        return;
    }
    const QChar c = s[FPos];
    if (c == u'!') {
        FToken.Type = ttErr;
        ++FPos;
        return;
    }
    if (IsDigit(c) || c == u'.') {
        // The run of digits and points; one that starts with a point ends
        // before a second point.
        const bool leadingPoint = c == u'.';
        qsizetype p = FPos;
        bool seenPoint = false;
        while (p < len && (IsDigit(s[p]) || s[p] == u'.')) {
            if (s[p] == u'.') {
                if (leadingPoint && seenPoint)
                    break;
                seenPoint = true;
            }
            ++p;
        }
        // The exponent: "E" or "e", an optional sign, at most four digits.
        if (p < len && (s[p] == u'E' || s[p] == u'e')) {
            ++p;
            if (p < len && (s[p] == u'+' || s[p] == u'-'))
                ++p;
            for (int digits = 0; digits < 4 && p < len && IsDigit(s[p]); ++digits)
                ++p;
        }
        const QStringView number = QStringView(s).mid(FPos, p - FPos);
        if (number == u"." && FPos == 0) {
            FToken.Type = ttBad;
            FPos = p;
            return;
        }
        FToken.Type = ttNum;
        long double value = 0;
        if (TextToExtended(number, value))
            FToken.Value = value;
        else
            FMathError = true;
        FPos = p;
        return;
    }
    if (IsLetter(c)) {
        qsizetype p = FPos + 1;
        while (p < len && (IsLetter(s[p]) || IsDigit(s[p]) || s[p] == u'_'))
            ++p;
        const QStringView name = QStringView(s).mid(FPos, p - FPos);
        FPos = p;
        static const struct { const char16_t* name; TFunc func; } functions[] = {
            {u"ABS", fnAbs}, {u"ATAN", fnAtan}, {u"COS", fnCos}, {u"EXP", fnExp},
            {u"LN", fnLn}, {u"ROUND", fnRound}, {u"SIN", fnSin}, {u"SQRT", fnSqrt},
            {u"SQR", fnSqr}, {u"TRUNC", fnTrunc}};
        for (const auto& f : functions) {
            if (name.compare(QStringView(f.name), Qt::CaseInsensitive) == 0) {
                FToken.Type = ttFunc;
                FToken.Func = f.func;
                return;
            }
        }
        bool found = false;
        long double value = 0;
        if (OnGetVar)
            OnGetVar(*this, name.toString(), value, found);
        if (found) {
            FToken.Type = ttNum;
            FToken.Value = value;
        } else {
            FToken.Type = ttBad;
        }
        return;
    }
    ++FPos;
    switch (c.unicode()) {
    case u'+': FToken.Type = ttPlus; break;
    case u'-': FToken.Type = ttMinus; break;
    case u'*': FToken.Type = ttTimes; break;
    case u'/': FToken.Type = ttDivide; break;
    case u'^': FToken.Type = ttExpo; break;
    case u'(': FToken.Type = ttOParen; break;
    case u')': FToken.Type = ttCParen; break;
    default: FToken.Type = ttBad; break;
    }
}

void TMathParser::SetTokenError(quint8 code)
{
    FTokenError = code;
    FPos = FToken.Start;
}

void TMathParser::Push(quint8 state, long double value, TFunc func)
{
    if (FStackTop + 1 >= kStackSize) {
        SetTokenError(ErrStackFull);
        return;
    }
    TStackEntry& entry = FStack[++FStackTop];
    entry.State = state;
    entry.Value = value;
    entry.Func = func;
}

void TMathParser::Shift(quint8 state)
{
    Push(state, FToken.Value, FToken.Func);
    if (FTokenError == 0)
        NextToken();
}

// Returns false when the parse stops here ("!" or a syntax error).
bool TMathParser::OperandStart()
{
    switch (FToken.Type) {
    case ttMinus: Shift(5); break;
    case ttOParen: Shift(9); break;
    case ttNum: Shift(10); break;
    case ttFunc: Shift(11); break;
    case ttErr: FMathError = true; return false;
    default: SetTokenError(ErrOperandExpected); return false;
    }
    return FTokenError == 0;
}

quint8 TMathParser::GotoState(int production) const
{
    const quint8 top = FStack[FStackTop].State;
    switch (production) {
    case 1: case 2: case 3:
        switch (top) {
        case 0: return 1;
        case 9: return 19;
        case 20: return 28;
        }
        break;
    case 4: case 5: case 6:
        switch (top) {
        case 0: case 9: case 20: return 2;
        case 12: return 21;
        case 13: return 22;
        }
        break;
    case 7: case 8:
        switch (top) {
        case 0: case 9: case 12: case 13: case 20: return 3;
        case 14: return 23;
        case 15: return 24;
        case 16: return 25;
        }
        break;
    case 9: case 10:
        switch (top) {
        case 0: case 9: case 12: case 13: case 14: case 15: case 16: case 20: return 4;
        }
        break;
    case 11: case 12:
        switch (top) {
        case 0: case 9: case 12: case 13: case 14: case 15: case 16: case 20: return 6;
        case 5: return 17;
        }
        break;
    case 13: case 14: case 15: case 16:
        switch (top) {
        case 0: case 9: case 12: case 13: case 14: case 15: case 16: case 20: case 5: return 8;
        }
        break;
    }
    // The automaton never gets here: every reduction leaves one of the states
    // above on top.
    throw std::logic_error("Bad goto state");
}

long double TMathParser::ApplyFunction(TFunc func, long double x)
{
    switch (func) {
    case fnAbs: return std::fabs(x);
    case fnAtan: return std::atan(x);
    case fnCos:
        if (std::fabs(x) <= kMaxTrigArg)
            return std::cos(x);
        break;
    case fnExp:
        if (std::fabs(x) <= kMaxExpArg)
            return std::exp(x);
        break;
    case fnLn:
        if (x > 0)
            return std::log(x);
        break;
    case fnRound:
        // The default rounding mode: to nearest, halves to the even neighbour.
        if (std::fabs(x) <= kMaxRoundArg)
            return std::nearbyint(x);
        break;
    case fnSin:
        if (std::fabs(x) <= kMaxTrigArg)
            return std::sin(x);
        break;
    case fnSqrt:
        if (x >= 0)
            return std::sqrt(x);
        break;
    case fnSqr: return x * x;
    case fnTrunc:
        if (std::fabs(x) <= kMaxRoundArg)
            return std::trunc(x);
        break;
    case fnNone: break;
    }
    FMathError = true;
    return 0;
}

void TMathParser::Reduce(int production)
{
    const TStackEntry* s = FStack.data() + FStackTop;   // s[0] is the top
    long double value = 0;
    int pop = 1;
    switch (production) {
    case 1: value = s[-2].Value + s[0].Value; pop = 3; break;
    case 2: value = s[-2].Value - s[0].Value; pop = 3; break;
    case 4: value = s[-2].Value * s[0].Value; pop = 3; break;
    case 5:
        if (s[0].Value == 0) {
            FMathError = true;
            SetTokenError(ErrDivideByZero);
        } else {
            value = s[-2].Value / s[0].Value;
        }
        pop = 3;
        break;
    case 7: {
        const long double base = s[-2].Value;
        const long double exponent = s[0].Value;
        long double t = 0;
        if (base > 0)
            t = exponent * std::log(base);
        if (base > 0 && t >= -kMaxExpArg && t <= kMaxExpArg)
            value = std::exp(t);
        else
            FMathError = true;
        pop = 3;
        break;
    }
    case 9: value = -s[0].Value; pop = 2; break;
    case 3: case 6: case 8: case 10: case 12: case 15:
        value = s[0].Value;
        break;
    case 14: value = s[-1].Value; pop = 3; break;
    case 16: value = ApplyFunction(s[-3].Func, s[-1].Value); pop = 4; break;
    default:
        throw std::logic_error("Invalid reduction");
    }
    // An overflow of the extended range is a math error, not a value.
    if (!std::isfinite(value)) {
        FMathError = true;
        value = 0;
    }
    FStackTop -= pop;
    Push(GotoState(production), value, fnNone);
}

void TMathParser::Parse()
{
    FPos = 0;
    FStackTop = -1;
    FTokenError = 0;
    FMathError = false;
    Push(0, 0, fnNone);
    NextToken();

    bool accepted = false;
    bool stopped = false;
    while (!accepted && !stopped && FTokenError == 0) {
        switch (FStack[FStackTop].State) {
        case 0: case 9: case 12: case 13: case 14: case 15: case 16: case 20:
            stopped = !OperandStart();
            break;
        case 1:
            switch (FToken.Type) {
            case ttEOL: accepted = true; break;
            case ttPlus: Shift(12); break;
            case ttMinus: Shift(13); break;
            default: SetTokenError(ErrOperatorExpected); break;
            }
            break;
        case 2:
        case 21:
        case 22:
            if (FToken.Type == ttTimes)
                Shift(14);
            else if (FToken.Type == ttDivide)
                Shift(15);
            else
                Reduce(FStack[FStackTop].State == 2 ? 3 : FStack[FStackTop].State == 21 ? 1 : 2);
            break;
        case 3: Reduce(6); break;
        case 4:
            if (FToken.Type == ttExpo)
                Shift(16);
            else
                Reduce(8);
            break;
        case 5:
            switch (FToken.Type) {
            case ttNum: Shift(10); break;
            case ttFunc: Shift(11); break;
            case ttOParen: Shift(9); break;
            default: SetTokenError(ErrOperandExpected); break;
            }
            break;
        case 6: Reduce(10); break;
        case 7: Reduce(13); break;
        case 8: Reduce(12); break;
        case 10: Reduce(15); break;
        case 11:
            if (FToken.Type == ttOParen)
                Shift(20);
            else
                SetTokenError(ErrOpenParenExpected);
            break;
        case 17: Reduce(9); break;
        case 19:
        case 28:
            switch (FToken.Type) {
            case ttPlus: Shift(12); break;
            case ttMinus: Shift(13); break;
            case ttCParen: Shift(FStack[FStackTop].State == 19 ? 27 : 29); break;
            default: SetTokenError(ErrOpCloseExpected); break;
            }
            break;
        case 23: Reduce(4); break;
        case 24: Reduce(5); break;
        case 25: Reduce(7); break;
        case 26: Reduce(11); break;
        case 27: Reduce(14); break;
        case 29: Reduce(16); break;
        default:
            throw std::logic_error("Bad token state");
        }
    }

    if (FTokenError != 0 && OnParseError)
        OnParseError(*this, FTokenError);
    if (FTokenError != 0 || FMathError || !accepted) {
        FParseError = true;
        FParseValue = 0;
    } else {
        FParseError = false;
        FParseValue = FStack[FStackTop].Value;
    }
}

} // namespace pm

#pragma once
// TMathParser: the arithmetic evaluator of form formulas.
//
// A shift-reduce automaton over sums, products, right-associative powers,
// a unary minus on primaries, parentheses and ten built-in functions (ABS,
// ATAN, COS, EXP, LN, ROUND, SIN, SQRT, SQR, TRUNC). Values are 80-bit
// extended floats (long double). The parser knows nothing of forms: a name
// that is not a function is resolved through OnGetVar, and syntax errors are
// reported through OnParseError. The forms engine replaces field references
// and host function calls before the text reaches the parser, and sets
// neither event.
//
// Typical use:
//     TMathParser parser;
//     parser.ParseString = text;
//     parser.Parse();
//     if (!parser.ParseError()) use(parser.ParseValue());

#include <QString>

#include <array>
#include <functional>

namespace pm {

class TMathParser {
public:
    // Token types of the scanner.
    enum TTokenType : quint8 {
        ttPlus = 0,        // "+"
        ttMinus = 1,       // "-"
        ttTimes = 2,       // "*"
        ttDivide = 3,      // "/"
        ttExpo = 4,        // "^"
        ttOParen = 5,      // "("
        ttCParen = 6,      // ")"
        ttNum = 7,         // number (or a name OnGetVar resolved)
        ttFunc = 8,        // function name
        ttEOL = 9,         // end of text
        ttBad = 10,        // bad token
        ttErr = 11         // "!"
    };

    // Syntax error codes (TokenError, OnParseError); 0 when none.
    enum TParseErrorCode : quint8 {
        ErrNone = 0,
        ErrStackFull = 1,         // a 16th stack entry was needed
        ErrOperandExpected = 3,
        ErrOperatorExpected = 4,  // an operator or the end of text
        ErrOpenParenExpected = 5, // "(" after a function name
        ErrOpCloseExpected = 6,   // ")" or an operator inside parentheses
        ErrDivideByZero = 7
    };

    // Entries of the parser stack, the start entry included.
    static constexpr int kStackSize = 15;

    // Resolves a name that is not a function: set found and value.
    using TGetVarEvent = std::function<void(TMathParser& sender, const QString& varName,
                                            long double& value, bool& found)>;
    // Receives the syntax error code of a failed Parse.
    using TParseErrorEvent = std::function<void(TMathParser& sender, qint32 parseError)>;

    TMathParser();

    // Published members.
    QString ParseString;           // the text to evaluate
    TGetVarEvent OnGetVar;         // optional
    TParseErrorEvent OnParseError; // optional

    // Evaluates ParseString; sets ParseValue and ParseError, raises
    // OnParseError (when set) after a syntax error. Never throws for any text.
    void Parse();

    // 0 after an error. Always finite, but it may lie beyond the range of a
    // double ("1E400" parses): check before narrowing it.
    long double ParseValue() const { return FParseValue; }
    bool ParseError() const { return FParseError; }         // the last Parse failed
    // 1-based character position of the scan; after a syntax error the start
    // of the offending token. Saturates at 65535 for longer texts.
    quint16 Position() const;
    quint8 TokenError() const { return FTokenError; }       // TParseErrorCode
    bool MathError() const { return FMathError; }           // arithmetic or conversion

private:
    enum TFunc : quint8 { fnNone, fnAbs, fnAtan, fnCos, fnExp, fnLn, fnRound, fnSin, fnSqrt, fnSqr, fnTrunc };

    struct TStackEntry {
        quint8 State = 0;
        long double Value = 0;
        TFunc Func = fnNone;   // for a function-name entry
    };

    struct TToken {
        TTokenType Type = ttEOL;
        long double Value = 0;
        TFunc Func = fnNone;
        qsizetype Start = 0;   // 0-based index of its first character
    };

    void NextToken();
    void Shift(quint8 state);
    void Push(quint8 state, long double value, TFunc func);
    void Reduce(int production);
    bool OperandStart();       // false when the parse stops
    quint8 GotoState(int production) const;
    long double ApplyFunction(TFunc func, long double x);
    void SetTokenError(quint8 code);

    std::array<TStackEntry, kStackSize> FStack{};
    int FStackTop = -1;
    TToken FToken;
    qsizetype FPos = 0;        // 0-based index of the next character to scan
    long double FParseValue = 0;
    bool FParseError = false;
    quint8 FTokenError = 0;
    bool FMathError = false;
};

} // namespace pm

// TMathParser.Parse per call, on formulas as they reach the parser after the
// engine has replaced field references and host calls.

#include "forms/mathparser.h"

#include <benchmark/benchmark.h>

namespace {

void Parse(benchmark::State& state, const char* text)
{
    pm::TMathParser parser;
    parser.ParseString = QString::fromLatin1(text);
    for (auto _ : state) {
        parser.Parse();
        benchmark::DoNotOptimize(parser.ParseValue());
    }
    if (parser.ParseError())
        state.SkipWithError("the formula did not parse");
}

// A fresh parser per evaluation, as the engine uses it.
void ParseFresh(benchmark::State& state, const char* text)
{
    const QString formula = QString::fromLatin1(text);
    for (auto _ : state) {
        pm::TMathParser parser;
        parser.ParseString = formula;
        parser.Parse();
        benchmark::DoNotOptimize(parser.ParseValue());
    }
}

// A typical line total: a sum of substituted amounts less a rate.
constexpr const char* kTypical = "1250.5+310.25+(48.75-12)*0.0725-ROUND(12.5)";
constexpr const char* kShort = "1234.5-987.25";
constexpr const char* kText = "N/A";   // a text formula: fails at once

} // namespace

BENCHMARK_CAPTURE(Parse, typical, kTypical);
BENCHMARK_CAPTURE(ParseFresh, typical, kTypical);
BENCHMARK_CAPTURE(Parse, short_difference, kShort);
BENCHMARK_CAPTURE(ParseFresh, text_formula, kText);

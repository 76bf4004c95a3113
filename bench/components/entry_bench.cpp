// Typed-date normalising and number formatting, the routines every grid cell
// and form field goes through.
#include "components/entry.h"
#include "components/formatting.h"

#include <benchmark/benchmark.h>

using namespace pm;

namespace {

void BM_NormalizeDate(benchmark::State& state)
{
    const QString texts[] = {"9/30/10", "30-Sep-2010", "September 30 2010", "Q3 2010", "20100930", "10/2010"};
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NormalizeDate(texts[i++ % 6]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NormalizeDate);

void BM_ParseDate(benchmark::State& state)
{
    TDateTime d = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseDate("9/30/10", d));
    }
}
BENCHMARK(BM_ParseDate);

void BM_FormatFloatMoney(benchmark::State& state)
{
    double v = 1234567.891;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatFloat(",0.00;(,0.00)", v));
        v += 0.01;
    }
}
BENCHMARK(BM_FormatFloatMoney);

void BM_FormatMoneyCurrency(benchmark::State& state)
{
    int64_t units = 12345678910;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatMoney(Currency::FromUnits(units++)));
    }
}
BENCHMARK(BM_FormatMoneyCurrency);

void BM_FormatRounded(benchmark::State& state)
{
    double v = 2.675;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatRounded("#,##0.00", v));
    }
}
BENCHMARK(BM_FormatRounded);

void BM_FloatToStr(benchmark::State& state)
{
    double v = 12.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FloatToStr(v));
        v += 0.25;
    }
}
BENCHMARK(BM_FloatToStr);

} // namespace

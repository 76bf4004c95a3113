// The forms engine on a generated form of 4 pages and 400 fields, 100 of
// them with formulas: 10 chains of 10 fields, each field adding a value field
// to the next field of its chain, listed against the dependency order so
// that the first recalculation has to reorder them.

#include "forms/dfengine.h"

#include <benchmark/benchmark.h>

using namespace pm;

namespace {

void BuildForm(TDFEngine& engine)
{
    engine.NewForm();
    engine.AddPage();
    engine.AddPage();
    engine.AddPage();
    int formula = 0;
    for (int p = 0; p < 4; ++p) {
        TDFPage* page = engine.Pages(p);
        for (int i = 0; i < 100; ++i) {
            const int n = p * 100 + i;
            auto* f = page->AddNew<TDFField>();
            f->SetLeft(10 + (i % 5) * 150);
            f->SetTop(20 + (i / 5) * 40);
            f->SetAutosize(false);
            f->SetActive(true);
            f->SetTabOrder(n);
            if (i % 4 == 3) {
                // formula k of chain c refers to formula k+1 (listed after it)
                const int c = formula / 10, k = formula % 10;
                f->SetFieldName(QString("C%1K%2").arg(c).arg(k));
                f->SetFormat(dfFloat);
                f->SetDisplayFormat("#,##0.00");
                f->SetExpression(k < 9 ? QString("<C%1K%2>+<V%3>").arg(c).arg(k + 1).arg(n - 1)
                                       : QString("<V%1>*2").arg(n - 1));
                ++formula;
            } else {
                f->SetFieldName(QString("V%1").arg(n));
                f->SetFormat(dfFloat);
                f->SetDisplayFormat("#,##0.00");
                f->SetFieldLink(QString("Col%1").arg(n));
                f->SetAsFloat(n * 1.25);
            }
        }
    }
}

void BM_FormLoad(benchmark::State& state)
{
    TDFEngine engine;
    BuildForm(engine);
    const QByteArray bytes = engine.Form()->SaveToBytes();
    TDFEngine target;
    target.NewForm();
    for (auto _ : state) {
        target.Form()->LoadFromBytes(bytes);
        benchmark::DoNotOptimize(target.FieldCount());
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(BM_FormLoad)->Unit(benchmark::kMillisecond);

void BM_FormSave(benchmark::State& state)
{
    TDFEngine engine;
    BuildForm(engine);
    for (auto _ : state) {
        QByteArray bytes = engine.Form()->SaveToBytes();
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_FormSave)->Unit(benchmark::kMillisecond);

void BM_RecalculateFirst(benchmark::State& state)
{
    TDFEngine engine;
    BuildForm(engine);
    for (auto _ : state) {
        engine.CalcOrder.clear();   // as after NewForm: the order is built again
        engine.Recalculate();
    }
}
BENCHMARK(BM_RecalculateFirst)->Unit(benchmark::kMicrosecond);

void BM_RecalculateLater(benchmark::State& state)
{
    TDFEngine engine;
    BuildForm(engine);
    engine.Recalculate();
    for (auto _ : state)
        engine.Recalculate();
}
BENCHMARK(BM_RecalculateLater)->Unit(benchmark::kMicrosecond);

} // namespace

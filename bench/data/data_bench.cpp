// The cost of the dataset layer against plain SQLite, and of the totals and
// voucher clearing on realistic amounts of rows. Files live in a temporary
// folder on the same disk as the build.
#include "data/datamodule.h"
#include "data/dataset.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

using namespace pm;

namespace {

QString Schema()
{
    QFile f(QString::fromUtf8(PM_DATA_SCHEMA_FILE));
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

// A fresh database with the program's upgrades applied.
QString FreshDatabase(QTemporaryDir& dir)
{
    const QString path = dir.filePath("bench.db");
    QString error;
    CreateDatabaseFile(path, Schema(), error);
    TData upgrade([&] { return path; });
    return path;
}

void FillCash(TData& d, int rows)
{
    d.CashQuery.ParamByName("QReport").SetAsString("1");
    if (!d.CashQuery.Active()) d.CashQuery.Open();
    d.ADOConnection.BeginTrans();
    for (int i = 0; i < rows; ++i) {
        d.CashQuery.Append();
        d.CashQuery.FieldByName("SessionDate").SetAsDateTime(40000 + i % 90);
        d.CashQuery.FieldByName("PlayerCount").SetAsInteger(50 + i % 30);
        d.CashQuery.FieldByName("PaperSales").SetAsCurrency(Currency::FromUnits(10000000 + i));
        d.CashQuery.FieldByName("EntranceFees").SetAsCurrency(Currency::FromUnits(500000));
        d.CashQuery.FieldByName("PrizePayout").SetAsCurrency(Currency::FromUnits(9000000));
        d.CashQuery.FieldByName("Withholding").SetAsCurrency(Currency::FromUnits(2500));
        d.CashQuery.Post();
    }
    d.ADOConnection.CommitTrans();
}

// 10,000 Schedule A rows posted one by one through CashQuery, each post its
// own transaction written at once.
void BM_CashQueryPosts(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = FreshDatabase(dir);
        TData d([&] { return path; });
        if (state.range(1) == 0) d.ADOConnection.ExecRaw("PRAGMA synchronous = OFF");
        d.CashQuery.ParamByName("QReport").SetAsString("1");
        d.CashQuery.Open();
        state.ResumeTiming();
        for (int i = 0; i < rows; ++i) {
            d.CashQuery.Append();
            d.CashQuery.FieldByName("SessionDate").SetAsDateTime(40000 + i % 90);
            d.CashQuery.FieldByName("PlayerCount").SetAsInteger(50 + i % 30);
            d.CashQuery.FieldByName("PaperSales").SetAsCurrency(Currency::FromUnits(10000000 + i));
            d.CashQuery.FieldByName("EntranceFees").SetAsCurrency(Currency::FromUnits(500000));
            d.CashQuery.FieldByName("PrizePayout").SetAsCurrency(Currency::FromUnits(9000000));
            d.CashQuery.FieldByName("Withholding").SetAsCurrency(Currency::FromUnits(2500));
            d.CashQuery.Post();
        }
    }
    state.counters["posts/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsIterationInvariantRate);
}

// The same rows inserted with one prepared sqlite3 statement, each insert its
// own transaction, with the same connection settings (WAL, synchronous FULL
// or OFF).
void BM_RawSqliteInserts(benchmark::State& state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = FreshDatabase(dir);
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, state.range(1) ? "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL"
                                        : "PRAGMA journal_mode = WAL; PRAGMA synchronous = OFF",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v3(db,
                           "INSERT INTO QRCashDetail (QRID, SessionDate, PlayerCount, EntranceFees, GrossSales, "
                           "PrizePayout, NetProfit, NetLoss, Withholding, Shortage, Deposit, ExcessProceeds, "
                           "PaperSales, TEDSales, CashDeposit, CreditDeposit) "
                           "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                           -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
        state.ResumeTiming();
        for (int i = 0; i < rows; ++i) {
            const int64_t paper = 10000000 + i, fees = 500000, prizes = 9000000, withheld = 2500;
            const int64_t profit = paper + fees - prizes;
            sqlite3_reset(st);
            sqlite3_bind_int64(st, 1, 1);
            sqlite3_bind_double(st, 2, 40000 + i % 90);
            sqlite3_bind_int64(st, 3, (50 + i % 30) * 10000LL);
            sqlite3_bind_int64(st, 4, fees);
            sqlite3_bind_int64(st, 5, paper);
            sqlite3_bind_int64(st, 6, prizes);
            sqlite3_bind_int64(st, 7, profit);
            sqlite3_bind_int64(st, 8, 0);
            sqlite3_bind_int64(st, 9, withheld);
            sqlite3_bind_null(st, 10);
            sqlite3_bind_int64(st, 11, profit + withheld);
            sqlite3_bind_int64(st, 12, 0);
            sqlite3_bind_int64(st, 13, paper);
            sqlite3_bind_null(st, 14);
            sqlite3_bind_null(st, 15);
            sqlite3_bind_null(st, 16);
            if (sqlite3_step(st) != SQLITE_DONE) state.SkipWithError("insert failed");
        }
        state.PauseTiming();
        sqlite3_finalize(st);
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.counters["posts/s"] = benchmark::Counter(double(rows), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_CalcCashTotals(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = FreshDatabase(dir);
    TData d([&] { return path; });
    FillCash(d, int(state.range(0)));
    for (auto _ : state) {
        d.CalcCashTotals();
        benchmark::DoNotOptimize(d.TotGrossSales);
    }
    if (d.TotRows != state.range(0)) state.SkipWithError("wrong row count");
}

// 2,000 vouchers of 10 detail rows each, cleared as at an organization change.
void BM_ClearVouchers(benchmark::State& state)
{
    const int vouchers = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString path = FreshDatabase(dir);
        {
            sqlite3* db = nullptr;
            sqlite3_open(path.toUtf8().constData(), &db);
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            for (int v = 1; v <= vouchers; ++v) {
                const QByteArray sql =
                    QString("INSERT INTO Vouchers (VoucherID, OrgID, VoucherStatus, BookletFaces, LooseFaces) "
                            "VALUES (%1, '1', 'N', 18, 9);").arg(v).toUtf8();
                sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
                for (int k = 0; k < 10; ++k) {
                    const QByteArray det = QString("INSERT INTO VoucherDetail (VoucherID, UpCount, OnCount, Price) "
                                                   "VALUES (%1, %2, 3, 5000);").arg(v).arg(k % 7).toUtf8();
                    sqlite3_exec(db, det.constData(), nullptr, nullptr, nullptr);
                }
            }
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        TData d([&] { return path; });
        state.ResumeTiming();
        d.ClearVouchers();
    }
}

} // namespace

// Second argument 1: every commit waits for the disk, as the program runs.
// 0: the same without the disk wait, which shows what the layer itself costs.
BENCHMARK(BM_CashQueryPosts)->Args({10000, 1})->Args({10000, 0})->ArgNames({"rows", "sync"})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RawSqliteInserts)->Args({10000, 1})->Args({10000, 0})->ArgNames({"rows", "sync"})
    ->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CalcCashTotals)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearVouchers)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);

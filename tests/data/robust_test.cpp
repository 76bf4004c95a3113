// Faults from outside: a writer killed in the middle of its posts, and two
// copies of the program writing to one file.
#include "datatest.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pm;
using namespace pm::test;

namespace {

struct Raw {
    sqlite3* db = nullptr;
    explicit Raw(const QString& path) { sqlite3_open(path.toUtf8().constData(), &db); }
    ~Raw() { sqlite3_close(db); }
    int Exec(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    QString Text(const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        QString out;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return out;
    }
};

using DataRobust = DataFixture;

TEST_F(DataRobust, AKilledWriterLeavesEveryCompletedPostAndNoHalfRow)
{
    { TData upgrade([this] { return path; }); }   // the schedules exist before the child starts
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        try {
            TData d([this] { return path; });
            d.CashQuery.ParamByName("QReport").SetAsString("1");
            d.CashQuery.Open();
            for (int32_t i = 1; i < 1000000; ++i) {
                d.CashQuery.Append();
                d.CashQuery.FieldByName("QRID").SetAsInteger(1);
                d.CashQuery.FieldByName("PaperSales").SetAsCurrency(Currency::FromUnits(i));
                d.CashQuery.FieldByName("TEDSales").SetAsCurrency(Currency::FromUnits(2 * int64_t(i)));
                d.CashQuery.FieldByName("PlayerCount").SetAsInteger(i);
                d.CashQuery.Post();
                if (write(fds[1], &i, sizeof i) != sizeof i) break;
            }
        } catch (...) {
        }
        _exit(0);
    }
    close(fds[1]);
    int32_t last = 0;
    int32_t value = 0;
    pollfd p{fds[0], POLLIN, 0};
    while (last < 300 && poll(&p, 1, 30000) > 0 && read(fds[0], &value, sizeof value) == sizeof value) last = value;
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(fds[0], &value, sizeof value) == sizeof value) last = value;   // reported before the kill
    close(fds[0]);
    ASSERT_GE(last, 300);

    Raw raw(path);
    EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
    const int rows = raw.Text("SELECT count(*) FROM QRCashDetail").toInt();
    EXPECT_GE(rows, last);
    EXPECT_LE(rows, last + 1);   // the post under way may have finished before the kill
    // Every completed post is there, whole: the derived columns match the typed ones.
    EXPECT_EQ(raw.Text("SELECT count(*) FROM QRCashDetail WHERE PaperSales BETWEEN 1 AND (SELECT max(PaperSales) FROM QRCashDetail)"),
              QString::number(rows));
    EXPECT_EQ(raw.Text("SELECT count(DISTINCT PaperSales) FROM QRCashDetail"), QString::number(rows));
    EXPECT_EQ(raw.Text("SELECT count(*) FROM QRCashDetail WHERE TEDSales = 2 * PaperSales "
                       "AND GrossSales = 3 * PaperSales AND NetProfit = GrossSales AND NetLoss = 0 "
                       "AND Deposit = NetProfit AND ExcessProceeds = 0 AND PlayerCount = PaperSales * 10000 AND QRID = 1"),
              QString::number(rows));
    // And the file opens again for the program.
    TData& d = Open();
    d.CashQuery.ParamByName("QReport").SetAsString("1");
    d.CashQuery.Open();
    EXPECT_EQ(d.CashQuery.RecordCount(), rows);
}

TEST_F(DataRobust, ASecondWriterWaitsOrIsToldTheDatabaseIsBusy)
{
    TData first([this] { return path; }, 5000);
    TData second([this] { return path; }, 150);
    for (TData* d : {&first, &second}) {
        d->CashQuery.ParamByName("QReport").SetAsString("1");
        d->CashQuery.Open();
    }
    Raw other(path);   // another program in the middle of its own write
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE; INSERT INTO QRCashDetail (QRID, PaperSales) VALUES (1, 10000)"), SQLITE_OK);

    TDataSet& q = second.CashQuery;
    q.Append();
    q.FieldByName("QRID").SetAsInteger(1);
    q.FieldByName("PaperSales").SetAsString("5");
    try {
        q.Post();
        ADD_FAILURE() << "posted during another program's write";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("database is busy")) << e.Message().toStdString();
    }
    EXPECT_EQ(q.State(), TDataSetState::Insert);   // nothing lost: the row can be saved again
    EXPECT_EQ(q.FieldByName("PaperSales").AsCurrency(), Currency::FromUnits(50000));
    ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);
    q.Post();

    // With a longer wait the writer waits for the other write to finish.
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE; INSERT INTO QRCashDetail (QRID, PaperSales) VALUES (1, 20000)"), SQLITE_OK);
    std::thread finisher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.Exec("COMMIT");
    });
    first.CashQuery.Append();
    first.CashQuery.FieldByName("QRID").SetAsInteger(1);
    first.CashQuery.FieldByName("PaperSales").SetAsString("7");
    EXPECT_NO_THROW(first.CashQuery.Post());
    finisher.join();

    first.CashQuery.Requery();
    EXPECT_EQ(first.CashQuery.RecordCount(), 4);
    EXPECT_EQ(other.Text("PRAGMA integrity_check"), "ok");
}

} // namespace

// The schema upgrade at every connect, against real database files: a base
// schema file, a file that lacks only the newest step, and a current one.
#include "datatest.h"

#include <sqlite3.h>

using namespace pm;
using namespace pm::test;

namespace {

QStringList Columns(const QString& path, const QString& table)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    QStringList cols;
    if (sqlite3_prepare_v2(db, ("PRAGMA table_info(" + table + ")").toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) cols << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return cols;
}

// Adds a Schedule A session row with the given gross sales straight into the file.
void AddSession(const QString& path, int64_t grossUnits, const char* paperSql = nullptr)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const QByteArray sql = paperSql ? QByteArray(paperSql)
                                    : QString("INSERT INTO QRCashDetail (QRID, GrossSales) VALUES (1, %1)").arg(grossUnits).toUtf8();
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

using DataSchema = DataFixture;

TEST_F(DataSchema, ABaseSchemaFileGetsEveryStepOnceAndNothingMoreLater)
{
    AddSession(path, 12345678);
    AddSession(path, 0, "INSERT INTO QRCashDetail (QRID) VALUES (2)");
    {
        TData& d = Open();
        EXPECT_EQ(d.UpgradeSchema(), 0);   // already current: the first step fails
    }
    const QStringList qr = Columns(path, "QuarterlyReports");
    for (const char* c : {"LoansBeg", "LoansEnd", "LoansNet", "ProfitPaid", "Maintenance", "EPDate3", "EPPrize1",
                          "OEAmount9", "OEDescription1", "OEDescription9"})
        EXPECT_TRUE(qr.contains(c)) << c;
    // On a base file U1 runs first, so its columns come before U2's.
    EXPECT_LT(qr.indexOf("LoansNet"), qr.indexOf("ProfitPaid"));
    EXPECT_EQ(Columns(path, "QRCashDetail").mid(13),
              QStringList({"PaperSales", "TEDSales", "CashDeposit", "CreditDeposit"}));
    EXPECT_EQ(Columns(path, "QRPrizeDetail"),
              QStringList({"PrizeID", "QRID", "SessionDate", "WinnerName", "WinnerSSN", "Amount", "Withholding", "DateSubmitted"}));
    EXPECT_EQ(Columns(path, "QRInventoryDetail"),
              QStringList({"InventoryID", "QRID", "FacesOn", "FacesUp", "Serial", "SheetCount", "SheetValue", "TotalValue"}));

    // PaperSales was copied from GrossSales exactly once: a change made now
    // survives the next start.
    {
        TConnection c;
        c.Open(path);
        EXPECT_EQ(c.Execute("UPDATE QRCashDetail SET PaperSales = 5 WHERE QRID = 1"), 1);
    }
    TData& d = Open();
    TDataSet rows(d.ADOConnection, "Rows");
    rows.SetSQL("SELECT * FROM QRCashDetail ORDER BY QRID");
    rows.Open();
    EXPECT_EQ(rows.FieldByName("PaperSales").AsCurrency().Units(), 5);
    EXPECT_EQ(rows.FieldByName("GrossSales").AsCurrency().Units(), 12345678);
    rows.Next();
    EXPECT_TRUE(rows.FieldByName("PaperSales").IsNull());

    // The new columns have their Access kinds.
    d.QRQuery.ParamByName("OrgIDParam").SetAsString("x");
    d.QRQuery.Open();
    EXPECT_EQ(d.QRQuery.FieldByName("LoansBeg").Kind(), TFieldKind::Currency);
    EXPECT_EQ(d.QRQuery.FieldByName("EPDate1").Kind(), TFieldKind::DateTime);
    EXPECT_EQ(d.QRQuery.FieldByName("OEDescription4").Size(), 45);
    EXPECT_TRUE(d.QRQuery.IsEmpty());   // no report for that file number: empty, no error
}

TEST_F(DataSchema, AFileLackingOnlyTheLoansGetsThemAndNothingElse)
{
    path = MakeDatabase(dir.filePath("allbut1.db"), DbKind::AllButU1);
    AddSession(path, 0, "INSERT INTO QRCashDetail (QRID, GrossSales, PaperSales) VALUES (1, 70000, 30000)");
    EXPECT_FALSE(Columns(path, "QuarterlyReports").contains("LoansBeg"));
    TData& d = Open();
    EXPECT_EQ(d.UpgradeSchema(), 0);
    EXPECT_EQ(Columns(path, "QuarterlyReports").mid(Columns(path, "QuarterlyReports").size() - 3),
              QStringList({"LoansBeg", "LoansEnd", "LoansNet"}));
    TDataSet rows(d.ADOConnection, "Rows");
    rows.SetSQL("SELECT * FROM QRCashDetail");
    rows.Open();
    EXPECT_EQ(rows.FieldByName("PaperSales").AsCurrency().Units(), 30000);   // U6 did not run again
}

TEST_F(DataSchema, AStepFailsWholeAndStopsTheRest)
{
    // A file where U3's second column already exists: U3 fails as a whole
    // (no PaperSales either), and U4 to U6 do not run.
    {
        TConnection c;
        c.Open(path);
        c.Execute(TData::UpgradeCommands()[0]);
        c.Execute(TData::UpgradeCommands()[1]);
        c.Execute("ALTER TABLE QRCashDetail ADD TEDSales CURRENCY");
        EXPECT_THROW(c.Execute(TData::UpgradeCommands()[2]), EDatabaseError);
        c.Close();
    }
    EXPECT_FALSE(Columns(path, "QRCashDetail").contains("PaperSales"));
    TData& d = Open();
    EXPECT_EQ(d.UpgradeSchema(), 0);
    EXPECT_FALSE(Columns(path, "QRCashDetail").contains("PaperSales"));
    EXPECT_TRUE(Columns(path, "QRPrizeDetail").isEmpty());
}

TEST(DataSchemaFile, TheBuildWritesTheEmptyDatabaseNextToTheProgram)
{
    // The tests run in the folder of the executables.
    const QByteArray bin = qgetenv("PM_BIN_DIR");
    const QString built = (bin.isEmpty() ? QDir::currentPath() : QString::fromUtf8(bin)) + "/Pellmark.db";
    ASSERT_TRUE(QFile::exists(built));
    EXPECT_TRUE(Columns(built, "Organizations").contains("FileNumber"));
}

} // namespace

// The dataset layer on its own: Jet DDL, Access column kinds, states and
// events, navigation, parameters, observers, and opening failures.
#include "datatest.h"

#include "app/util/msgbox.h"
#include "data/jetsql.h"

#include <sqlite3.h>

#include <QFile>

using namespace pm;
using namespace pm::test;

namespace {

const char* KindsDdl =
    "CREATE TABLE Kinds\r\n(\r\n  ID IDENTITY PRIMARY KEY,\r\n  Amount CURRENCY,\r\n  Day DATETIME,\r\n"
    "  Flag BIT,\r\n  Name VARCHAR(5),\r\n  Note MEMO,\r\n  Rate DECIMAL(8,4),\r\n  Qty INTEGER\r\n)";

class DataLayer : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path;
    TConnection conn;
    std::unique_ptr<TDataSet> ds;

    void SetUp() override
    {
        path = MakeDatabase(dir.filePath("t.db"));
        conn.Open(path);
        conn.Execute(KindsDdl);
        ds = std::make_unique<TDataSet>(conn, "Kinds");
        ds->SetSQL("SELECT * FROM Kinds ORDER BY ID");
    }
    void AddRows(int n)
    {
        ds->Open();
        for (int i = 1; i <= n; ++i) {
            ds->Append();
            ds->FieldByName("Name").SetAsString(QString("n%1").arg(i));
            ds->FieldByName("Qty").SetAsInteger(i);
            ds->Post();
        }
    }
};

TEST(DataJetSql, TranslatesDdlAndLeavesQueriesAsWritten)
{
    struct Case { const char* jet; QStringList sqlite; };
    const Case cases[] = {
        {"ALTER TABLE QuarterlyReports\r\n  ADD LoansBeg MONEY,\r\n      LoansEnd MONEY",
         {"ALTER TABLE QuarterlyReports ADD COLUMN LoansBeg CURRENCY",
          "ALTER TABLE QuarterlyReports ADD COLUMN LoansEnd CURRENCY"}},
        {"ALTER TABLE T ADD D DATETIME, S VARCHAR(45), Y YESNO, N INTEGER",
         {"ALTER TABLE T ADD COLUMN D DATETIME", "ALTER TABLE T ADD COLUMN S TEXT(45) COLLATE NOCASE",
          "ALTER TABLE T ADD COLUMN Y YESNO", "ALTER TABLE T ADD COLUMN N LONGINT"}},
        {"CREATE TABLE P\r\n(\r\n  PrizeID IDENTITY PRIMARY KEY,\r\n  QRID INTEGER NOT NULL,\r\n  R DECIMAL(8, 4)\r\n)",
         {"CREATE TABLE P (PrizeID INTEGER PRIMARY KEY AUTOINCREMENT, QRID LONGINT NOT NULL, R DECIMAL(8,4))"}},
        {"UPDATE QRCashDetail\r\n  SET PaperSales = GrossSales", {"UPDATE QRCashDetail\r\n  SET PaperSales = GrossSales"}},
        {"SELECT * FROM T WHERE D = #12/30/1899# AND S = '#x#'", {"SELECT * FROM T WHERE D = 0 AND S = '#x#'"}},
    };
    for (const Case& c : cases) EXPECT_EQ(TranslateJetSql(c.jet), c.sqlite) << c.jet;

    for (const char* bad : {"CREATE TABLE X (A WIBBLE)", "ALTER TABLE X ADD A IDENTITY", "ALTER TABLE X ALTER COLUMN A MONEY"})
        EXPECT_THROW(TranslateJetSql(bad), EDatabaseError) << bad;
}

TEST(DataJetSql, ColumnKindsFromDeclaredTypes)
{
    struct Case { const char* decl; bool pk; TFieldKind kind; int size; };
    const Case cases[] = {
        {"INTEGER", true, TFieldKind::AutoInc, 0},   {"LONGINT", false, TFieldKind::Integer, 0},
        {"CURRENCY", false, TFieldKind::Currency, 0}, {"DECIMAL(8,4)", false, TFieldKind::Decimal, 0},
        {"DATETIME", false, TFieldKind::DateTime, 0}, {"YESNO", false, TFieldKind::Boolean, 0},
        {"TEXT(35)", false, TFieldKind::Text, 35},    {"LONGTEXT", false, TFieldKind::Memo, 0},
        {"", false, TFieldKind::Variant, 0},
    };
    for (const Case& c : cases) {
        const TColumnType t = ColumnTypeFromDecl(c.decl, c.pk);
        EXPECT_EQ(t.kind, c.kind) << c.decl;
        EXPECT_EQ(t.size, c.size) << c.decl;
    }
}

TEST_F(DataLayer, EveryKindIsStoredExactly)
{
    ds->Open();
    ds->Append();
    ds->FieldByName("Amount").SetAsString("922337203685477.5807");
    ds->FieldByName("Day").SetAsDateTime(40451.75);
    ds->FieldByName("Flag").SetAsBoolean(true);
    ds->FieldByName("Name").SetAsString("abcde");
    ds->FieldByName("Note").SetAsString(QString(5000, QChar('m')));
    ds->FieldByName("Rate").SetAsString("0.0525");
    ds->FieldByName("Qty").SetAsInteger(-2147483647 - 1);
    ds->Post();
    const int64_t id = ds->FieldByName("ID").AsInteger();
    EXPECT_GT(id, 0);
    ds->Close();
    ds->Open();
    ASSERT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->FieldByName("ID").Kind(), TFieldKind::AutoInc);
    EXPECT_EQ(ds->FieldByName("ID").AsInteger(), id);
    EXPECT_EQ(ds->FieldByName("Amount").AsCurrency().Units(), INT64_MAX);
    EXPECT_EQ(ds->FieldByName("Day").AsDateTime(), 40451.75);
    EXPECT_TRUE(ds->FieldByName("Flag").AsBoolean());
    EXPECT_EQ(ds->FieldByName("Name").Size(), 5);
    EXPECT_EQ(ds->FieldByName("Note").AsString().size(), 5000);
    EXPECT_EQ(ds->FieldByName("Rate").AsCurrency().Units(), 525);
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), -2147483648LL);
    // Currency is summed exactly: 0.1 + 0.2 is 0.3.
    EXPECT_EQ((Currency::FromUnits(1000) + Currency::FromUnits(2000)).Units(), 3000);

    // AutoNumber is filled by the database and cannot be set.
    ds->Edit();
    EXPECT_THROW(ds->FieldByName("ID").SetAsInteger(5), EDatabaseError);
    ds->Cancel();
}

TEST_F(DataLayer, RefusedValuesKeepTheStoredOne)
{
    struct Case { const char* field; const char* text; const char* error; };
    const Case cases[] = {
        {"Name", "abcdef", "at most 5 characters"},
        {"Amount", "$1,234.50", "not a valid floating point value"},
        {"Amount", "1e300", "out of range"},
        {"Qty", "12x", "not a valid integer value"},
        {"Qty", "3000000000", "out of range"},
        {"Day", "13/45/2020", "not a valid date"},
        {"Rate", "12345.5", "does not fit Decimal(8,4)"},
        {"Flag", "maybe", "not a valid boolean value"},
    };
    AddRows(1);
    ds->Edit();
    ds->FieldByName("Amount").SetAsString("5");
    ds->FieldByName("Day").SetAsDateTime(100);
    ds->FieldByName("Rate").SetAsString("1.5");
    ds->FieldByName("Flag").SetAsBoolean(false);
    ds->Post();
    for (const Case& c : cases) {
        ds->Edit();
        TField& f = ds->FieldByName(c.field);
        const TValue before = f.Value();
        try {
            f.SetText(c.text);
            ADD_FAILURE() << c.field << " took " << c.text;
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(c.error)) << e.Message().toStdString();
        }
        EXPECT_TRUE(f.Value() == before) << c.field;
        ds->Post();
    }
    ds->Requery();
    EXPECT_EQ(ds->FieldByName("Name").AsString(), "n1");
    EXPECT_EQ(ds->FieldByName("Amount").AsCurrency().Units(), 50000);
    // An empty entry empties a number column.
    ds->Edit();
    ds->FieldByName("Amount").SetText("");
    EXPECT_TRUE(ds->FieldByName("Amount").IsNull());
    ds->Cancel();
}

TEST_F(DataLayer, EventsRunInOrderAndPostsReachTheFileAtOnce)
{
    QStringList log;
    auto on = [&](const char* name) { return [&log, name](TDataSet&) { log << name; }; };
    ds->BeforeInsert = on("BeforeInsert");
    ds->OnNewRecord = [&](TDataSet& d) { log << "OnNewRecord"; d.FieldByName("Qty").SetAsInteger(7); };
    ds->AfterInsert = on("AfterInsert");
    ds->BeforeScroll = on("BeforeScroll");
    ds->AfterScroll = on("AfterScroll");
    ds->BeforePost = on("BeforePost");
    ds->AfterPost = on("AfterPost");
    ds->BeforeEdit = on("BeforeEdit");
    ds->AfterEdit = on("AfterEdit");
    ds->BeforeCancel = on("BeforeCancel");
    ds->AfterCancel = on("AfterCancel");
    ds->BeforeDelete = on("BeforeDelete");
    ds->AfterDelete = on("AfterDelete");
    ds->AfterOpen = on("AfterOpen");
    ds->Open();
    ds->Append();
    EXPECT_EQ(ds->State(), TDataSetState::Insert);
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 7);
    ds->Post();

    // Another connection sees the row while this one stays open.
    TConnection other;
    other.Open(path);
    TDataSet peek(other, "Peek");
    peek.SetSQL("SELECT * FROM Kinds");
    peek.Open();
    EXPECT_EQ(peek.RecordCount(), 1);

    ds->Edit();
    ds->Cancel();
    ds->Append();
    ds->Cancel();
    ds->Delete();
    EXPECT_EQ(log, QStringList({"AfterOpen", "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert",
                                "AfterScroll", "BeforePost", "AfterPost", "BeforeEdit", "AfterEdit",
                                "BeforeCancel", "AfterCancel", "BeforeInsert", "BeforeScroll", "OnNewRecord",
                                "AfterInsert", "AfterScroll", "BeforeCancel", "AfterCancel", "AfterScroll",
                                "BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
    EXPECT_TRUE(ds->IsEmpty());
    peek.Requery();
    EXPECT_TRUE(peek.IsEmpty());
    EXPECT_THROW(ds->Delete(), EDatabaseError);   // nothing left to delete

    // A field cannot be set while browsing.
    EXPECT_THROW(ds->FieldByName("Qty").SetAsInteger(1), EDatabaseError);
}

TEST_F(DataLayer, MovingOffAnEditedRowPostsItAndAnUntouchedInsertIsDropped)
{
    AddRows(2);
    ds->First();
    ds->Edit();
    ds->FieldByName("Qty").SetAsInteger(10);
    ds->Next();   // posts
    ds->Append();
    ds->First();  // unmodified insert: cancelled
    ds->Requery();
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 10);

    // The report editor's batch calls: a posted row stays after CancelBatch.
    ds->Edit();
    ds->FieldByName("Qty").SetAsInteger(11);
    ds->UpdateBatch();
    ds->Edit();
    ds->FieldByName("Qty").SetAsInteger(12);
    ds->CancelBatch();
    ds->Requery();
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 11);
}

TEST_F(DataLayer, NavigationLocateAndBookmarks)
{
    AddRows(5);
    ds->First();
    EXPECT_TRUE(ds->Bof());
    int seen = 0;
    while (!ds->Eof()) {
        ++seen;
        EXPECT_EQ(ds->RecNo(), seen);
        ds->Next();
    }
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(ds->RecNo(), 5);   // stays on the last row
    ds->Prior();
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 4);
    EXPECT_EQ(ds->MoveBy(-10), -3);
    EXPECT_TRUE(ds->Bof());

    EXPECT_TRUE(ds->Locate("Name", "N3", loCaseInsensitive));
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 3);
    EXPECT_FALSE(ds->Locate("Name", "N3"));
    EXPECT_TRUE(ds->Locate("Name", "n", loPartialKey));
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 1);
    EXPECT_TRUE(ds->Locate("Qty", "4"));

    const TBookmark mark = ds->GetBookmark();
    ds->First();
    ds->Delete();                        // another row goes
    ds->GotoBookmark(mark);
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 4);
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(mark));
    EXPECT_THROW(ds->GotoBookmark(mark), EDatabaseError);
}

TEST_F(DataLayer, ParametersAndRequeryFollowTheFile)
{
    AddRows(3);
    TDataSet q(conn, "Q");
    q.SetSQL("SELECT * FROM Kinds\r\n  WHERE Qty >= :Low");
    q.ParamByName("Low").SetAsInteger(2);
    q.SetPrepared(true);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
    q.ParamByName("Low").SetAsString("3");
    q.Requery();
    EXPECT_EQ(q.RecordCount(), 1);
    ds->Append();
    ds->FieldByName("Qty").SetAsInteger(9);
    ds->Post();
    q.Requery();
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_THROW(q.ParamByName("Nope"), EDatabaseError);
    // A query that is not over one table reads but does not edit.
    TDataSet sum(conn, "Sum");
    sum.SetSQL("SELECT count(*) AS N FROM Kinds");
    sum.Open();
    EXPECT_EQ(sum.FieldByName("N").AsInteger(), 4);
    EXPECT_THROW(sum.Edit(), EDatabaseError);
}

TEST_F(DataLayer, ObserversHearChangesUnlessTheDisplayIsSuspended)
{
    TField& doubled = ds->AddCalcField("Doubled", TFieldKind::Integer);
    ds->OnCalcFields = [](TDataSet& d) { d.FieldByName("Doubled").SetAsInteger(2 * d.FieldByName("Qty").AsInteger()); };
    AddRows(3);
    std::map<TDataEvent, int> heard;
    TField* changed = nullptr;
    const int id = ds->AddObserver([&](TDataSet&, TDataEvent e, TField* f) {
        ++heard[e];
        if (e == TDataEvent::FieldChange) changed = f;
    });
    ds->First();
    EXPECT_EQ(doubled.AsInteger(), 2);
    ds->Edit();
    ds->FieldByName("Qty").SetAsInteger(21);
    EXPECT_EQ(doubled.AsInteger(), 42);   // calculated fields follow the edit
    EXPECT_EQ(changed, &ds->FieldByName("Qty"));
    ds->Post();
    EXPECT_EQ(heard[TDataEvent::DataSetScroll], 1);
    EXPECT_EQ(heard[TDataEvent::RecordChange], 1);
    EXPECT_EQ(heard[TDataEvent::StateChange], 2);

    heard.clear();
    ds->DisableControls();
    ds->DisableControls();
    for (ds->First(); !ds->Eof(); ds->Next()) {}
    ds->EnableControls();
    EXPECT_TRUE(heard.empty());
    ds->EnableControls();
    EXPECT_EQ(heard[TDataEvent::DataSetChange], 1);
    EXPECT_EQ(heard.size(), 1u);
    ds->RemoveObserver(id);
    ds->Next();
    EXPECT_EQ(heard[TDataEvent::DataSetScroll], 0);
}

TEST_F(DataLayer, AChangeByAnotherProgramIsReportedNotOverwritten)
{
    AddRows(1);
    TConnection other;
    other.Open(path);
    TDataSet theirs(other, "Theirs");
    theirs.SetSQL("SELECT * FROM Kinds");
    theirs.Open();
    theirs.Edit();
    theirs.FieldByName("Qty").SetAsInteger(100);
    theirs.Post();

    ds->Edit();
    ds->FieldByName("Qty").SetAsInteger(200);
    try {
        ds->Post();
        ADD_FAILURE() << "stale row overwritten";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("another user has changed")) << e.Message().toStdString();
    }
    EXPECT_EQ(ds->State(), TDataSetState::Edit);   // the typed value is still there
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 200);
    ds->Cancel();
    ds->Requery();
    EXPECT_EQ(ds->FieldByName("Qty").AsInteger(), 100);
}

TEST(DataOpen, MissingForeignOrLockedFilesFailClearly)
{
    QTemporaryDir dir;
    const QString text = dir.filePath("notes.txt");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    const QString empty = dir.filePath("empty.db");
    QFile(empty).open(QIODevice::WriteOnly);
    const QString foreign = dir.filePath("foreign.db");
    {
        QString error;
        ASSERT_TRUE(CreateDatabaseFile(foreign, "CREATE TABLE Other (A INTEGER);", error));
    }
    struct Case { QString path; const char* error; };
    const Case cases[] = {
        {dir.filePath("missing.db"), "does not exist"},
        {dir.path(), "is not a database file"},
        {text, "is not a Pellmark database"},
        {empty, "is not a Pellmark database"},
        {foreign, "is not a Pellmark database"},
    };
    for (const Case& c : cases) {
        try {
            TData data([&] { return c.path; });
            ADD_FAILURE() << "opened " << c.path.toStdString();
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(c.error)) << e.Message().toStdString();
        }
    }
    EXPECT_EQ(QFile(dir.filePath("missing.db")).exists(), false);   // never created

    // The program's way in shows the reason in an error box and gets no module.
    QStringList shown;
    SetMessageBoxAnswerer([&](const TMessageBoxCall& call) {
        if (call.kind == TMsgKind::Error) shown << call.text;
        return int(mbOK);
    });
    EXPECT_EQ(CreateDataModule([&] { return dir.filePath("missing.db"); }), nullptr);
    SetMessageBoxAnswerer({});
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains("does not exist"));

    // Locked: another program holds the file exclusively.
    const QString locked = MakeDatabase(dir.filePath("locked.db"));
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(locked.toUtf8().constData(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                   "CREATE TABLE Hold (A); COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        TData data([&] { return locked; }, 100);
        ADD_FAILURE() << "opened a locked file";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("locked by another program")) << e.Message().toStdString();
    }
    sqlite3_close(holder);
    EXPECT_NO_THROW(TData data([&] { return locked; }));
}

} // namespace

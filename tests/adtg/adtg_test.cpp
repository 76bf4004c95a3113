#include "session/adtg.h"
#include "windows_vector.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pm;

namespace {

using K = TAdtgKind;

QByteArray WindowsVector()
{
    return QByteArray(reinterpret_cast<const char*>(kWindowsPublishers), sizeof kWindowsPublishers);
}

TAdtgRecordset MustRead(const QByteArray& data)
{
    TAdtgRecordset rs;
    QString error;
    EXPECT_TRUE(ReadAdtg(data, rs, error)) << error.toStdString();
    return rs;
}

QByteArray MustWrite(const TAdtgRecordset& rs)
{
    QByteArray out;
    QString error;
    EXPECT_TRUE(WriteAdtg(rs, out, error)) << error.toStdString();
    return out;
}

QString ReadError(const QByteArray& data)
{
    TAdtgRecordset rs;
    rs.tableName = "untouched";
    QString error;
    EXPECT_FALSE(ReadAdtg(data, rs, error));
    EXPECT_EQ(rs.tableName, "untouched");
    EXPECT_TRUE(rs.columns.empty());
    return error;
}

QString WriteError(const TAdtgRecordset& rs)
{
    QByteArray out;
    QString error;
    EXPECT_FALSE(WriteAdtg(rs, out, error));
    EXPECT_TRUE(WriteAdtg(rs).isEmpty());
    return error;
}

// Columns with the names and types of our tables.
struct Col {
    const char* name;
    K kind;
    uint32_t size = 0;
};

TAdtgRecordset Table(const QString& name, const std::vector<Col>& cols)
{
    TAdtgRecordset rs;
    rs.tableName = name;
    for (const Col& c : cols)
        rs.columns.push_back(c.kind == K::Decimal ? AdtgDecimalColumn(c.name, 8, 4)
                                                  : AdtgColumn(c.name, c.kind, c.size));
    return rs;
}

std::vector<Col> Series(const char* stem, int from, int to, K kind, uint32_t size = 0)
{
    static std::vector<QByteArray> names;  // keeps the generated names alive
    std::vector<Col> cols;
    for (int i = from; i <= to; ++i) {
        names.push_back(QByteArray(stem) + QByteArray::number(i));
        cols.push_back({names.back().constData(), kind, size});
    }
    return cols;
}

TAdtgRecordset QuarterlyReports()
{
    std::vector<Col> c = {{"QRID", K::AutoNumber}, {"OrgID", K::Text, 10}, {"Period", K::DateTime},
        {"eFiled", K::YesNo}, {"DateFiled", K::DateTime}, {"DLN", K::Text, 12},
        {"ModifiedBy", K::Text, 15}, {"FullName", K::Text, 35}, {"MailingAddr", K::Text, 35},
        {"MailingCity", K::Text, 20}, {"MailingState", K::Text, 2}, {"MailingZip", K::Text, 10},
        {"LocationAddr", K::Text, 35}, {"LocationCity", K::Text, 20}, {"LocationState", K::Text, 2},
        {"LocationZip", K::Text, 10}, {"Signed", K::Text, 35}, {"Title", K::Text, 35}};
    for (const char* n : {"GrossSales", "EntranceFees", "GrossIncome", "Payouts", "GrossProceeds",
             "Withholding", "NetLosses", "IncomeAdditions", "BankDeposits", "TaxPaid", "Supplies",
             "BldgLease", "EqptLease", "Utilities", "PromoterFees", "Payroll", "OtherExpenses",
             "TotalExpenses", "NetProceeds", "BankBegin", "Deposits", "DepositsInTransit",
             "OtherDeposit1", "OtherDeposit2", "BankCredits", "FundsAvailable", "ChecksCleared",
             "ChecksOutstanding", "OtherDebit1", "OtherDebit2", "OtherDebit3", "BankDebits",
             "BankEnd", "APEnd", "APBegin", "APNet", "ExcessProceeds"})
        c.push_back({n, K::Currency});
    for (const char* n : {"DepositDesc1", "DepositDesc2", "DebitDesc1", "DebitDesc2", "DebitDesc3"})
        c.push_back({n, K::Text, 30});
    for (const char* n : {"InvBegin", "Purchases", "InvAvailable", "InvReturned", "InvAdj1", "InvAdj2"})
        c.push_back({n, K::Currency});
    c.push_back({"InvAdjDesc1", K::Text, 35});
    c.push_back({"InvAdjDesc2", K::Text, 35});
    for (const char* n : {"InvAdjustments", "AvailableForSale", "InvEnd", "TotalSales", "Difference"})
        c.push_back({n, K::Currency});
    c.insert(c.end(), {{"LastVoucherDate", K::DateTime}, {"LastVoucherNum", K::Long},
        {"LastVoucherAmount", K::Currency}, {"Explanation", K::Memo}, {"ModifedOn", K::DateTime},
        {"DORNotes", K::Memo}, {"Shortages", K::Currency}});
    for (const char* n : {"ProfitPaid", "TEDExpense", "PayrollTaxes", "ProfessionalFees",
             "Advertising", "ServiceCharges", "Maintenance"})
        c.push_back({n, K::Currency});
    for (auto& s : {Series("EPDate", 1, 3, K::DateTime), Series("EPGross", 1, 3, K::Currency),
             Series("EPPrize", 1, 3, K::Currency), Series("OEAmount", 1, 9, K::Currency),
             Series("OEDescription", 1, 9, K::Text, 45)})
        c.insert(c.end(), s.begin(), s.end());
    c.insert(c.end(), {{"LoansBeg", K::Currency}, {"LoansEnd", K::Currency}, {"LoansNet", K::Currency}});
    return Table("QuarterlyReports", c);
}

TAdtgRecordset CashDetail()
{
    std::vector<Col> c = {{"DetailID", K::AutoNumber}, {"QRID", K::Long}, {"SessionDate", K::DateTime}};
    for (const char* n : {"PlayerCount", "EntranceFees", "GrossSales", "PrizePayout", "NetProfit",
             "NetLoss", "Withholding", "Shortage", "Deposit", "ExcessProceeds", "PaperSales",
             "TEDSales", "CashDeposit", "CreditDeposit"})
        c.push_back({n, K::Currency});
    return Table("QRCashDetail", c);
}

TAdtgRecordset InventoryDetail()
{
    TAdtgRecordset rs = Table("QRInventoryDetail", {{"InventoryID", K::AutoNumber}, {"QRID", K::Long},
        {"FacesOn", K::Long}, {"FacesUp", K::Long}, {"Serial", K::Text, 12}, {"SheetCount", K::Long},
        {"SheetValue", K::Currency}, {"TotalValue", K::Currency}});
    rs.columns[1].nullable = false;  // required
    return rs;
}

TAdtgRecordset PrizeDetail()
{
    TAdtgRecordset rs = Table("QRPrizeDetail", {{"PrizeID", K::AutoNumber}, {"QRID", K::Long},
        {"SessionDate", K::DateTime}, {"WinnerName", K::Text, 35}, {"WinnerSSN", K::Text, 4},
        {"Amount", K::Currency}, {"Withholding", K::Currency}, {"DateSubmitted", K::DateTime}});
    rs.columns[1].nullable = false;
    return rs;
}

TAdtgRecordset Organizations()
{
    std::vector<Col> c = {{"FileNumber", K::Text, 10}, {"FullName", K::Text, 35},
        {"MailingAddr", K::Text, 35}, {"MailingCity", K::Text, 20}, {"MailingState", K::Text, 2},
        {"MailingZip", K::Text, 10}};
    for (const char* d : {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat"})
        c.push_back({d, K::YesNo});
    c.insert(c.end(), {{"Email", K::Text, 35}, {"RASPassword", K::Text, 15}, {"ClassID", K::Text, 2},
        {"AllowEFW", K::YesNo}});
    return Table("Organizations", c);
}

// A recordset with one column of every kind we write, and rows that reach
// their edges.
TAdtgRecordset EveryKind()
{
    TAdtgRecordset rs = Table("Vouchers", {{"VoucherID", K::AutoNumber}, {"OrgID", K::Text, 10},
        {"DORVoucherID", K::Long}, {"VoucherTotal", K::Currency}, {"IssueDate", K::DateTime},
        {"AllowEFW", K::YesNo}, {"TaxRate", K::Decimal}, {"DORNotes", K::Memo},
        {"Code", K::AnsiText, 20}, {"Ratio", K::Double}, {"Small", K::Integer}});
    const QString memo = QString("Line one\r\nline two with \u00e9 and \u20ac ").repeated(20);
    rs.rows = {
        {int64_t(1), QString("1234567890"), int64_t(INT32_MAX), Currency::FromUnits(INT64_MAX),
         45657.75, true, TAdtgDecimal::FromUnits(625, 4), memo, QString("\u20acuro"), 0.1, int64_t(-32768)},
        {int64_t(2), QString(""), int64_t(INT32_MIN), Currency::FromUnits(-15000), -1.25, false,
         TAdtgDecimal::FromUnits(-123456789, 4), QString(""), QString(""), -1e300, int64_t(32767)},
        {int64_t(3), std::monostate(), std::monostate(), std::monostate(), std::monostate(),
         std::monostate(), std::monostate(), std::monostate(), std::monostate(), std::monostate(),
         std::monostate()},
        {int64_t(4), QString("\u03a9\U0001F600"), int64_t(0), Currency::FromUnits(INT64_MIN), 0.0, true,
         TAdtgDecimal::FromUnits(0, 4), QString("x"), QString("a"), 0.0, int64_t(0)},
    };
    return rs;
}

} // namespace

// ---------------------------------------------------------------- the Windows-written vector

TEST(AdtgWindowsVector, ReadsEveryField)
{
    const TAdtgRecordset rs = MustRead(WindowsVector());
    EXPECT_EQ(rs.tableName, "Publishers");
    ASSERT_EQ(rs.tables.size(), 1u);
    EXPECT_EQ(rs.tables[0].originalName, "\"pubs\"..\"Publishers\"");
    EXPECT_EQ(rs.tables[0].columnCount, 5);
    EXPECT_EQ(rs.tables[0].keyColumns, std::vector<uint16_t>{1});
    EXPECT_EQ(rs.asyncOptions, 3);

    struct Expected {
        const char* name;
        uint32_t size;
        bool nullable;
        bool key;
        uint32_t flags;
    };
    const Expected expected[] = {{"pub_id", 4, false, true, 0x8018}, {"pub_name", 40, true, false, 0x68},
                                 {"city", 20, true, false, 0x68}, {"state", 2, true, false, 0x78},
                                 {"country", 30, true, false, 0x68}};
    ASSERT_EQ(rs.columns.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        const TAdtgColumn& c = rs.columns[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(c.name, expected[i].name);
        EXPECT_EQ(c.baseColumn, expected[i].name);
        EXPECT_EQ(c.baseTable, "Publishers");
        EXPECT_EQ(c.baseColumnOrdinal, i + 1);
        EXPECT_EQ(c.baseCatalog, QString("pubs"));
        EXPECT_EQ(c.kind, K::AnsiText);
        EXPECT_EQ(c.dbType, 0x81);
        EXPECT_EQ(c.size, expected[i].size);
        EXPECT_EQ(c.nullable, expected[i].nullable);
        EXPECT_EQ(c.key, expected[i].key);
        EXPECT_EQ(c.flags, expected[i].flags);
        EXPECT_EQ(c.autoIncrement, false);
        EXPECT_TRUE(c.visible);
        EXPECT_FALSE(c.computed);
    }
    ASSERT_EQ(rs.rows.size(), 1u);
    const TAdtgRow expectedRow = {QString("0736"), QString("New Moon Books"), QString("New York"),
                                  QString("MA"), QString("USA")};
    EXPECT_EQ(rs.rows[0], expectedRow);
    EXPECT_EQ(std::get<QString>(rs.Value(0, "PUB_NAME")), "New Moon Books");

    // Booleans read 0xFFFF as true: the rowset is changeable and updatable.
    ASSERT_TRUE(rs.contextProperties);
    ASSERT_EQ(rs.contextProperties->size(), 2u);
    const TAdtgProperty& change = (*rs.contextProperties)[0].properties[0];
    EXPECT_EQ(change.id, 0x7Fu);
    EXPECT_EQ(change.type, TAdtgProperty::Boolean);
    EXPECT_TRUE(change.boolValue);
    EXPECT_EQ((*rs.contextProperties)[0].properties[2].intValue, 30);
    ASSERT_TRUE(rs.resultProperties);
    EXPECT_EQ((*rs.resultProperties)[0].properties.size(), 7u);
}

TEST(AdtgWindowsVector, WritesBackTheSameBytes)
{
    EXPECT_EQ(MustWrite(MustRead(WindowsVector())).toHex(), WindowsVector().toHex());
}

// The writer's own choices (property sets, handler options, precision and
// scale, presence of the auto-increment mark, the filled presence map) are
// those of Windows: a recordset described by hand gives the same bytes.
TEST(AdtgWindowsVector, HandBuiltRecordsetGivesTheSameBytes)
{
    TAdtgRecordset rs;
    rs.tableName = "Publishers";
    TAdtgTable table;
    table.originalName = "\"pubs\"..\"Publishers\"";
    table.updateName = "Publishers";
    table.columnCount = 5;
    table.keyColumns = {1};
    rs.tables = {table};
    for (auto [name, size] : {std::pair{"pub_id", 4}, {"pub_name", 40}, {"city", 20}, {"state", 2},
                              {"country", 30}}) {
        TAdtgColumn c = AdtgColumn(name, K::AnsiText, uint32_t(size));
        c.baseCatalog = "pubs";
        rs.columns.push_back(c);
    }
    rs.columns[0].flags = 0x8018;   // char(4), the key
    rs.columns[0].nullable = false;
    rs.columns[3].flags = 0x78;     // char(2)
    rs.rows = {{QString("0736"), QString("New Moon Books"), QString("New York"), QString("MA"),
                QString("USA")}};
    EXPECT_EQ(MustWrite(rs).toHex(), WindowsVector().toHex());
}

// ---------------------------------------------------------------- our column kinds

TEST(AdtgRoundTrip, EveryKindWithNullsAndEdges)
{
    const TAdtgRecordset rs = EveryKind();
    const QByteArray bytes = MustWrite(rs);
    const TAdtgRecordset back = MustRead(bytes);
    EXPECT_EQ(back.tableName, "Vouchers");
    ASSERT_EQ(back.columns.size(), rs.columns.size());
    for (size_t i = 0; i < rs.columns.size(); ++i) {
        SCOPED_TRACE(rs.columns[i].name.toStdString());
        EXPECT_EQ(back.columns[i].name, rs.columns[i].name);
        EXPECT_EQ(back.columns[i].kind, rs.columns[i].kind);
        EXPECT_EQ(back.columns[i].size, rs.columns[i].size);
        EXPECT_EQ(back.columns[i].nullable, rs.columns[i].nullable);
        EXPECT_EQ(back.columns[i].key, rs.columns[i].key);
    }
    EXPECT_EQ(back.columns[6].precision, 8u);
    EXPECT_EQ(back.columns[6].scale, 4);
    EXPECT_EQ(back.columns[0].autoIncrement, true);
    EXPECT_EQ(back.tables.at(0).keyColumns, std::vector<uint16_t>{1});
    EXPECT_EQ(back.rows, rs.rows);
    EXPECT_EQ(std::get<TAdtgDecimal>(back.rows[1][6]).ToString(), "-12345.6789");
    // Writing what was read gives the same bytes again.
    EXPECT_EQ(MustWrite(back).toHex(), bytes.toHex());
}

// The four report recordsets and the organization data, with every column of
// their tables: empty ones keep their columns, a filled one its values.
TEST(AdtgRoundTrip, OurTablesEmptyAndFilled)
{
    for (const TAdtgRecordset& empty : {QuarterlyReports(), CashDetail(), InventoryDetail(),
                                        PrizeDetail(), Organizations()}) {
        SCOPED_TRACE(empty.tableName.toStdString());
        const TAdtgRecordset back = MustRead(MustWrite(empty));
        EXPECT_EQ(back.tableName, empty.tableName);
        EXPECT_TRUE(back.rows.empty());
        ASSERT_EQ(back.columns.size(), empty.columns.size());
        for (size_t i = 0; i < empty.columns.size(); ++i) {
            EXPECT_EQ(back.columns[i].name, empty.columns[i].name);
            EXPECT_EQ(back.columns[i].kind, empty.columns[i].kind);
            EXPECT_EQ(back.columns[i].size, empty.columns[i].size);
            EXPECT_EQ(back.columns[i].nullable, empty.columns[i].nullable);
        }
    }

    // A report row: every column filled by its kind, every third one NULL.
    TAdtgRecordset qr = QuarterlyReports();
    TAdtgRow row;
    for (size_t i = 0; i < qr.columns.size(); ++i) {
        const TAdtgColumn& c = qr.columns[i];
        if (i % 3 == 2 && c.nullable) {
            row.push_back(std::monostate());
            continue;
        }
        switch (c.kind) {
        case K::AutoNumber: case K::Long: row.push_back(int64_t(i * 1000 + 7)); break;
        case K::Text: row.push_back(QString("T%1").arg(i).left(int(c.size))); break;
        case K::Memo: row.push_back(QString("memo %1").arg(i).repeated(50)); break;
        case K::Currency: row.push_back(Currency::FromUnits(int64_t(i) * 12345 - 500000)); break;
        case K::DateTime: row.push_back(40000.0 + double(i) + 0.5); break;
        case K::YesNo: row.push_back(i % 2 == 0); break;
        default: FAIL() << "unexpected kind";
        }
    }
    qr.rows = {row};
    const TAdtgRecordset back = MustRead(MustWrite(qr));
    EXPECT_EQ(back.rows, qr.rows);
    EXPECT_EQ(std::get<Currency>(back.Value(0, "GrossSales")), Currency::FromUnits(18 * 12345 - 500000));
}

// The bytes of one row: presence map first column in the highest bit, unused
// bits set; currency as a two's-complement count of 1/10000; true as 0xFFFF;
// Unicode text with a one-byte length in bytes; Windows-1252 for 8-bit text.
TEST(AdtgWire, RowBytes)
{
    TAdtgRecordset rs = Table("T", {{"Amount", K::Currency}, {"Flag", K::YesNo}, {"Count", K::Long},
                                    {"Name", K::Text, 10}, {"Code", K::AnsiText, 4}});
    rs.rows = {{Currency::FromUnits(-15000), true, std::monostate(), QString("\u00e9a"), QString("\u20ac")}};
    const QByteArray bytes = MustWrite(rs);
    const QByteArray row = QByteArray::fromHex("07" "df"  // presence 1101 1 + unused 111
                                               "68c5ffffffffffff" "ffff" "04" "e9006100" "01" "80" "0f");
    EXPECT_TRUE(bytes.endsWith(row)) << bytes.right(row.size()).toHex().toStdString();

    // A Memo's value carries a four-byte length.
    TAdtgRecordset memo = Table("T", {{"Notes", K::Memo}});
    memo.rows = {{QString("ab")}};
    EXPECT_TRUE(MustWrite(memo).endsWith(QByteArray::fromHex("07" "ff" "04000000" "61006200" "0f")));
}

// Inserted, changed and deleted rows as a recordset in batch mode would
// carry them.
TEST(AdtgRead, InsertChangeAndDeleteRows)
{
    const TAdtgRecordset shape = Table("T", {{"A", K::Long}, {"B", K::Text, 10}});
    QByteArray bytes = MustWrite(shape);
    ASSERT_TRUE(bytes.endsWith('\x0f'));
    bytes.chop(1);
    bytes += QByteArray::fromHex("0d" "c0" "40" "05000000"                   // insert [5, NULL]
                                 "07" "ff" "07000000" "027800" "0a" "40" "00" "027900"  // [7,"x"] -> [7,"y"]
                                 "07" "ff" "08000000" "027a00" "0c"          // [8,"z"] deleted
                                 "0f");
    const TAdtgRecordset rs = MustRead(bytes);
    const std::vector<TAdtgRow> expected = {{int64_t(5), std::monostate()}, {int64_t(7), QString("y")}};
    EXPECT_EQ(rs.rows, expected);
}

TEST(AdtgDecimal, TextAndUnits)
{
    struct Case {
        const char* text;
        const char* shown;
        std::optional<int64_t> units;
    };
    const Case cases[] = {{"0.0625", "0.0625", 625}, {"-12.5", "-12.5", -125}, {" 7 ", "7", 7},
                          {"0.0000", "0.0000", 0}, {"-0", "0", 0},
                          {"79228162514264337593543950335", "79228162514264337593543950335", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto d = TAdtgDecimal::Parse(c.text);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->ToString(), c.shown);
        EXPECT_EQ(d->Units(), c.units);
    }
    for (const char* bad : {"", "-", "1.2.3", "1e5", "1,000", "79228162514264337593543950336",
                            "0.00000000000000000000000000001"})
        EXPECT_FALSE(TAdtgDecimal::Parse(bad)) << bad;
    EXPECT_EQ(TAdtgDecimal::FromDouble(0.07, 4)->ToString(), "0.0700");
    EXPECT_DOUBLE_EQ(TAdtgDecimal::FromUnits(-625, 4).ToDouble(), -0.0625);
    EXPECT_FALSE(TAdtgDecimal::FromDouble(std::nan(""), 4));
}

// ---------------------------------------------------------------- bad input

TEST(AdtgBadInput, EveryTruncationFails)
{
    for (const QByteArray& whole : {WindowsVector(), MustWrite(EveryKind())}) {
        for (qsizetype n = 0; n < whole.size(); ++n) {
            const QString error = ReadError(whole.left(n));
            ASSERT_FALSE(error.isEmpty()) << n;
        }
    }
}

TEST(AdtgBadInput, CorruptionsGiveClearErrors)
{
    const QByteArray good = WindowsVector();
    // Offsets in the vector: the table descriptor's size at 0x10F, its first
    // name length at 0x113; the first column's type at 0x183; the row at 0x2C3.
    struct Case {
        const char* what;
        std::function<void(QByteArray&)> corrupt;
        const char* error;
    };
    const Case cases[] = {
        {"signature", [](QByteArray& b) { b[3] = 'X'; }, "no \"TG!\" signature"},
        {"big-endian", [](QByteArray& b) { b[7] = 1; }, "big-endian"},
        {"huge name length", [](QByteArray& b) { b[0x113] = '\xff'; b[0x114] = '\x7f'; }, "runs past"},
        {"element size beyond the end", [](QByteArray& b) { b[0x10F] = '\xff'; b[0x110] = '\xff'; }, "runs past"},
        {"chapter column", [](QByteArray& b) { b[0x183] = '\x88'; }, "chapter columns"},
        {"unknown column type", [](QByteArray& b) { b[0x183] = '\x99'; }, "column type 0x0099"},
        {"unknown row token", [](QByteArray& b) { b[0x2C3] = '\x42'; }, "unexpected token 0x42"},
        {"child row", [](QByteArray& b) { b[0x2C3] = '\x87'; }, "hierarchical"},
        {"no end mark", [](QByteArray& b) { b.chop(1); }, "end mark is missing"},
        {"empty", [](QByteArray& b) { b.clear(); }, "runs past"},
    };
    ASSERT_EQ(uint8_t(good[0x2C3]), 0x07);
    ASSERT_EQ(uint8_t(good[0x183]), 0x81);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bad = good;
        c.corrupt(bad);
        const QString error = ReadError(bad);
        EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
        EXPECT_TRUE(error.contains("at byte")) << error.toStdString();
    }
}

// Values that take no bytes cannot make the reader fill the memory: a
// stream of all-NULL rows is refused once it holds a million values.
TEST(AdtgBadInput, TooManyValuesRefused)
{
    TAdtgRecordset wide;
    wide.tableName = "T";
    for (int i = 0; i < 1000; ++i)
        wide.columns.push_back(AdtgColumn(QString("C%1").arg(i), K::Long));
    QByteArray bytes = MustWrite(wide);
    bytes.chop(1);
    const QByteArray nullRow = '\x07' + QByteArray(125, '\0');
    bytes += nullRow.repeated(1000);  // 1000 rows of 1000 NULLs
    bytes += '\x0f';
    EXPECT_TRUE(ReadError(bytes).contains("too many values"));
}

// Every single-byte change of the vector either reads or fails cleanly (the
// sanitizer build watches for anything worse).
TEST(AdtgBadInput, EveryByteChangedReadsOrFails)
{
    const QByteArray good = WindowsVector();
    for (qsizetype i = 0; i < good.size(); ++i) {
        for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(good[i] ^ 0x01), uint8_t(0x80)}) {
            QByteArray bad = good;
            bad[i] = char(v);
            TAdtgRecordset rs;
            QString error;
            if (!ReadAdtg(bad, rs, error)) {
                ASSERT_FALSE(error.isEmpty());
            }
        }
    }
}

// ---------------------------------------------------------------- writer refusals

TEST(AdtgWrite, RefusesInconsistentRecordsets)
{
    struct Case {
        const char* what;
        std::function<void(TAdtgRecordset&)> change;
        const char* error;
    };
    const Case cases[] = {
        {"row too short", [](TAdtgRecordset& rs) { rs.rows[0].pop_back(); }, "row 1 has 10 values for 11 columns"},
        {"wrong type", [](TAdtgRecordset& rs) { rs.rows[0][3] = 1.5; }, "row 1, column 4 (VoucherTotal): the value is of the wrong type"},
        {"NULL key", [](TAdtgRecordset& rs) { rs.rows[1][0] = std::monostate(); }, "NULL in a column that is not nullable"},
        {"text too long", [](TAdtgRecordset& rs) { rs.rows[0][1] = QString("12345678901"); }, "longer than the column"},
        {"Long out of range", [](TAdtgRecordset& rs) { rs.rows[0][2] = int64_t(1) << 31; }, "out of the column's range"},
        {"Integer out of range", [](TAdtgRecordset& rs) { rs.rows[0][10] = int64_t(40000); }, "out of the column's range"},
        {"text without size", [](TAdtgRecordset& rs) { rs.columns[1].size = 0; }, "needs its size"},
        {"type not of the kind", [](TAdtgRecordset& rs) { rs.columns[3].dbType = 0x82; }, "does not fit its kind"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TAdtgRecordset rs = EveryKind();
        c.change(rs);
        const QString error = WriteError(rs);
        EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
    }
}

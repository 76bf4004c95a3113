// The record rules inside the data module's datasets, on real database files:
// Schedule A sessions and totals, Schedules C and D, report headers,
// vouchers and their codes, organizations, and the field copy.
#include "datatest.h"

#include "app/util/utils.h"
#include "data/vouchercodes.h"

using namespace pm;
using namespace pm::test;

namespace {

double Date(int y, int m, int d)
{
    TDateTime t = 0;
    TryEncodeDate(y, m, d, t);
    return t;
}

Currency C(const char* text) { return *Currency::Parse(text); }

class DataRules : public DataFixture {
protected:
    TData* d = nullptr;
    bool newLayout = false;
    bool showing = false;
    int footerRefreshes = 0;
    void SetUp() override
    {
        DataFixture::SetUp();
        d = &Open();
        d->NewLayout = [this] { return newLayout; };
        d->ReportWindowShowing = [this] { return showing; };
        d->RefreshCashFooter = d->RefreshInventoryFooter = d->RefreshPrizeFooter = [this] { ++footerRefreshes; };
    }
    void AddOrg(const QString& fileNumber, const QString& name)
    {
        if (!d->OrgQuery.Active()) d->OrgQuery.Open();
        d->OrgQuery.Append();
        d->OrgQuery.FieldByName("FileNumber").SetAsString(fileNumber);
        d->OrgQuery.FieldByName("FullName").SetAsString(name);
        d->OrgQuery.Post();
    }
    void AddVoucher(const QString& org, int booklet, int loose, std::initializer_list<std::array<int, 3>> details)
    {
        if (!d->VouQuery.Active()) d->VouQuery.Open();
        d->VouQuery.Append();
        d->VouQuery.FieldByName("OrgID").SetAsString(org);
        d->VouQuery.FieldByName("BookletFaces").SetAsInteger(booklet);
        d->VouQuery.FieldByName("LooseFaces").SetAsInteger(loose);
        d->VouQuery.Post();
        d->OpenVoucherDetail();
        for (const auto& [up, on, cents] : details) {
            d->DetQuery.Append();
            d->DetQuery.FieldByName("UpCount").SetAsInteger(up);
            d->DetQuery.FieldByName("OnCount").SetAsInteger(on);
            d->DetQuery.FieldByName("Price").SetAsCurrency(Currency::FromUnits(int64_t(cents) * 100));
            d->DetQuery.Post();
        }
        d->VouQuery.CheckBrowseMode();
    }
    int64_t Count(const char* table)
    {
        TDataSet q(d->ADOConnection, "Count");
        q.SetSQL(QString("SELECT count(*) AS N FROM %1").arg(table));
        q.Open();
        return q.FieldByName("N").AsInteger();
    }
};

// ---------------------------------------------------------------- Schedule A

TEST_F(DataRules, SessionRowsStoreTheirDerivedAmounts)
{
    struct Case {
        const char *paper, *ted, *fees, *prizes, *withheld, *shortage, *cash, *credit;
        bool newLayout;
        const char *gross, *netProfit, *netLoss, *deposit;
    };
    const Case cases[] = {
        {"1000", "250", "100", "900", "20", "5", "", "", false, "1250", "450", "0", "475"},
        {"1000", "", "", "1500", "20", "5", "", "", false, "1000", "0", "-500", "25"},
        {"1000", "250", "100", "900", "20", "5", "300", "50.25", true, "1250", "450", "0", "350.25"},
        {"1000", "", "", "1500", "20", "5", "300", "", true, "1000", "0", "-500", "300"},
        {"500", "", "", "500", "", "", "", "", false, "500", "0", "0", "0"},       // break-even
        {"", "", "", "", "", "", "", "", false, "0", "0", "0", "0"},               // empty row
        {"0.0001", "0.0002", "", "", "", "", "", "", false, "0.0003", "0.0003", "0", "0.0003"},
    };
    OpenNewReport(*d, "123", Date(2010, 9, 30));
    TDataSet& q = d->CashQuery;
    for (const Case& c : cases) {
        newLayout = c.newLayout;
        q.Append();
        q.FieldByName("PaperSales").SetText(c.paper);
        q.FieldByName("TEDSales").SetText(c.ted);
        q.FieldByName("EntranceFees").SetText(c.fees);
        q.FieldByName("PrizePayout").SetText(c.prizes);
        q.FieldByName("Withholding").SetText(c.withheld);
        q.FieldByName("Shortage").SetText(c.shortage);
        q.FieldByName("CashDeposit").SetText(c.cash);
        q.FieldByName("CreditDeposit").SetText(c.credit);
        q.FieldByName("GrossSales").SetText("1");       // typed values are replaced
        q.FieldByName("ExcessProceeds").SetText("99");
        q.Post();
        q.Requery();
        q.Last();
        const std::string what = std::string(c.paper) + "/" + c.prizes + (c.newLayout ? " new" : " old");
        EXPECT_EQ(q.FieldByName("GrossSales").AsCurrency(), C(c.gross)) << what;
        EXPECT_EQ(q.FieldByName("NetProfit").AsCurrency(), C(c.netProfit)) << what;
        EXPECT_EQ(q.FieldByName("NetLoss").AsCurrency(), C(c.netLoss)) << what;
        EXPECT_EQ(q.FieldByName("Deposit").AsCurrency(), C(c.deposit)) << what;
        EXPECT_EQ(q.FieldByName("ExcessProceeds").AsCurrency(), Currency()) << what;
        EXPECT_FALSE(q.FieldByName("ExcessProceeds").IsNull()) << what;
        EXPECT_EQ(q.FieldByName("ProfitLossCalc").AsCurrency(), C(c.netProfit) + C(c.netLoss)) << what;
        EXPECT_TRUE(q.FieldByName("ExcessProceedsCalc").IsNull());
        q.Delete();
    }
    // The loss keeps its sign and shows in parentheses.
    q.Append();
    q.FieldByName("PrizePayout").SetText("150");
    EXPECT_EQ(q.FieldByName("NetLossCalc").DisplayText(), "(150.00)");
    EXPECT_EQ(q.FieldByName("NetProfitCalc").DisplayText(), " ");
    q.Cancel();
}

TEST_F(DataRules, TypedAmountsAreCleanedOnlyInTheOlderColumns)
{
    OpenNewReport(*d, "123", Date(2010, 6, 30));
    TDataSet& q = d->CashQuery;
    q.Append();
    struct Case { const char* field; const char* text; const char* stored; };   // stored null: refused
    const Case cases[] = {
        {"EntranceFees", "$1,234.50", "1234.5"},
        {"PlayerCount", " 1,200 ", "1200"},
        {"Withholding", "-$5", "-5"},
        {"Shortage", "$ ,", nullptr},        // empty after cleaning: empties the column
        {"PrizePayout", "(5.00)", "refused"},
        {"CashDeposit", "$1,234.50", "refused"},
        {"CreditDeposit", "1,234.50", "refused"},
        {"PaperSales", "1234.50", "1234.5"},
    };
    for (const Case& c : cases) {
        TField& f = q.FieldByName(c.field);
        f.SetAsString("7");
        const bool refused = c.stored && QString(c.stored) == "refused";
        if (refused) {
            EXPECT_THROW(f.SetText(c.text), EDatabaseError) << c.field << " " << c.text;
            EXPECT_EQ(f.AsCurrency(), C("7")) << c.field;
        } else {
            f.SetText(c.text);
            if (c.stored) EXPECT_EQ(f.AsCurrency(), C(c.stored)) << c.field;
            else EXPECT_TRUE(f.IsNull()) << c.field;
        }
    }
    q.Cancel();
}

TEST_F(DataRules, SumsBeyondTheCurrencyRangeAreRefusedNotWrapped)
{
    OpenNewReport(*d, "123", Date(2010, 6, 30));
    TDataSet& q = d->CashQuery;
    q.Append();
    q.FieldByName("PaperSales").SetAsString("922337203685477.5807");
    q.FieldByName("TEDSales").SetAsString("1");
    EXPECT_TRUE(q.FieldByName("GrossSalesCalc").IsNull());
    EXPECT_THROW(q.Post(), EDatabaseError);
    EXPECT_EQ(q.State(), TDataSetState::Insert);
    q.FieldByName("TEDSales").Clear();
    q.Post();
    EXPECT_EQ(q.FieldByName("GrossSales").AsCurrency().Units(), INT64_MAX);

    AddVoucher("1", 18, 9, {{1000, 1, 0}});
    d->DetQuery.Edit();
    d->DetQuery.FieldByName("Price").SetAsString("922337203685477");
    EXPECT_TRUE(d->DetQuery.FieldByName("Total").IsNull());
    EXPECT_THROW(d->CalcVoucherTotals(), EDatabaseError);   // never a total that leaves the row out
    d->DetQuery.Cancel();
}

TEST_F(DataRules, CashTotalsFollowTheirSwitchAndDeletes)
{
    OpenNewReport(*d, "123", Date(2010, 6, 30));
    TDataSet& q = d->CashQuery;
    const char* rows[][4] = {   // players, paper, prizes, withholding
        {"2.5", "1000", "900", "10"},
        {"3.5", "100", "300", "0.05"},
        {"10", "0.10", "", ""},
    };
    for (const auto& r : rows) {
        q.Append();
        q.FieldByName("SessionDate").SetAsDateTime(Date(2010, 4, 1));
        q.FieldByName("PlayerCount").SetText(r[0]);
        q.FieldByName("PaperSales").SetText(r[1]);
        q.FieldByName("PrizePayout").SetText(r[2]);
        q.FieldByName("Withholding").SetText(r[3]);
        q.Post();
    }
    EXPECT_EQ(d->TotRows, 0);   // the switch is off: saving does not touch the totals
    q.Locate("PaperSales", "100");
    const TBookmark here = q.GetBookmark();
    d->CalcCashTotals();
    EXPECT_EQ(q.GetBookmark(), here);   // back on the row that was current
    EXPECT_EQ(d->TotRows, 3);
    EXPECT_EQ(d->TotPlayers, 2 + 4 + 10);   // halves to even
    EXPECT_DOUBLE_EQ(double(d->TotGrossSales), 1100.10);
    EXPECT_DOUBLE_EQ(double(d->TotPaperSales), 1100.10);
    EXPECT_DOUBLE_EQ(double(d->TotNetProfit), 100.10);
    EXPECT_DOUBLE_EQ(double(d->TotNetLoss), -200.0);
    EXPECT_DOUBLE_EQ(double(d->TotWithholding), 10.05);
    EXPECT_DOUBLE_EQ(double(d->TotDeposit), 100.10 + 10.05);

    d->CashTotalsOnPost = true;
    q.Append();
    q.FieldByName("PaperSales").SetText("5");
    q.Post();
    EXPECT_EQ(d->TotRows, 4);

    // Deleting with the report window hidden leaves the totals; showing, they follow.
    q.Delete();
    EXPECT_EQ(d->TotRows, 4);
    EXPECT_EQ(footerRefreshes, 0);
    showing = true;
    while (!q.IsEmpty()) q.Delete();
    EXPECT_EQ(d->TotRows, 0);
    EXPECT_EQ(d->TotPlayers, 0);
    EXPECT_DOUBLE_EQ(double(d->TotGrossSales), 0.0);
    EXPECT_EQ(footerRefreshes, 3);
}

// ---------------------------------------------------------------- Schedules C and D, headers

TEST_F(DataRules, InventoryValueIsCountTimesValue)
{
    OpenNewReport(*d, "123", Date(2010, 9, 30));
    TDataSet& q = d->InvQuery;
    struct Case { const char* count; const char* value; const char* typed; const char* total; };
    const Case cases[] = {
        {"250", "0.35", "1", "87.5"},
        {"", "0.35", "", "0"},
        {"3", "", "4", "0"},
        {"7", "0.0001", "", "0.0007"},
    };
    for (const Case& c : cases) {
        q.Append();
        q.FieldByName("SheetCount").SetText(c.count);
        q.FieldByName("SheetValue").SetText(c.value);
        q.FieldByName("TotalValue").SetText(c.typed);
        q.Post();
        EXPECT_EQ(q.FieldByName("TotalValue").AsCurrency(), C(c.total)) << c.count << " x " << c.value;
        EXPECT_FALSE(q.FieldByName("TotalValue").IsNull());
    }
    EXPECT_TRUE(q.FieldByName("InventoryID").ReadOnly());
    d->CalcInventoryTotals();
    EXPECT_DOUBLE_EQ(double(d->TotInventoryValue), 87.5007);
    d->InventoryTotalsOnPost = true;
    q.Edit();
    q.FieldByName("SheetCount").SetAsInteger(10);
    q.Post();
    EXPECT_DOUBLE_EQ(double(d->TotInventoryValue), 87.501);
}

TEST_F(DataRules, PrizeTotalsDropWithADeletedRow)
{
    OpenNewReport(*d, "123", Date(2010, 9, 30));
    TDataSet& q = d->PrizeQuery;
    for (const auto& [name, amount, withheld] : {std::tuple{"Bea", "1500", "75"}, std::tuple{"Al", "2000", "100.5"}}) {
        q.Append();
        q.FieldByName("WinnerName").SetAsString(name);
        q.FieldByName("Amount").SetText(amount);
        q.FieldByName("Withholding").SetText(withheld);
        q.Post();
    }
    d->PrizeTotalsOnPost = true;
    q.Requery();   // ordered by date, then winner: Al first
    EXPECT_EQ(q.FieldByName("WinnerName").AsString(), "Al");
    d->CalcPrizeTotals();
    EXPECT_DOUBLE_EQ(double(d->TotPrizeAmount), 3500.0);
    showing = true;
    q.Delete();
    EXPECT_DOUBLE_EQ(double(d->TotPrizeAmount), 1500.0);
    EXPECT_DOUBLE_EQ(double(d->TotPrizeWithholding), 75.0);
    EXPECT_EQ(footerRefreshes, 1);
}

TEST_F(DataRules, ScheduleRowsBelongToTheOpenReportAndNeedOne)
{
    const int64_t qrid = OpenNewReport(*d, "123", Date(2010, 9, 30));
    d->InvQuery.Append();
    EXPECT_EQ(d->InvQuery.FieldByName("QRID").AsInteger(), qrid);
    d->InvQuery.Cancel();
    d->CashQuery.Append();
    EXPECT_EQ(d->CashQuery.FieldByName("QRID").AsInteger(), qrid);
    d->CashQuery.Cancel();

    // Without a current report a Schedule C row is refused (its QRID is required).
    d->QRQuery.Close();
    d->InvQuery.Append();
    d->InvQuery.FieldByName("SheetCount").SetAsInteger(1);
    EXPECT_THROW(d->InvQuery.Post(), EDatabaseError);
    d->InvQuery.Cancel();
}

TEST_F(DataRules, ANewReportHeaderIsNeverMarkedFiled)
{
    OpenNewReport(*d, "123", Date(2010, 6, 30));
    d->QRQuery.Edit();
    d->QRQuery.FieldByName("eFiled").SetAsBoolean(true);
    d->QRQuery.Post();
    d->QRQuery.Append();
    EXPECT_FALSE(d->QRQuery.FieldByName("eFiled").IsNull());
    EXPECT_FALSE(d->QRQuery.FieldByName("eFiled").AsBoolean());
    d->QRQuery.Cancel();
    EXPECT_EQ(d->QRQuery.FieldByName("Period").DisplayText(), "June 2010");
    d->QRQuery.Edit();
    d->QRQuery.FieldByName("NetProceeds").SetText("-1234.5");
    EXPECT_EQ(d->QRQuery.FieldByName("NetProceeds").DisplayText(), "(1,234.50)");
    d->QRQuery.Cancel();
}

// ---------------------------------------------------------------- vouchers

TEST(DataVoucherCodes, TextsOfTheCodeTables)
{
    const std::pair<const char*, const char*> status[] = {
        {"N", "NEW"}, {"n", "NEW"}, {"approved", "APPROVED"}, {"I", "IN TRANSIT"}, {"D", "DELIVERED"},
        {"V", "VOIDED"}, {"x", "X"}, {"", ""}};
    for (const auto& [code, text] : status) EXPECT_EQ(VoucherStatusText(code), text) << code;
    EXPECT_EQ(VoucherStatusCode("approved"), "a");
    EXPECT_EQ(VoucherStatusCode(""), "");

    const std::pair<const char*, const char*> colors[] = {
        {"q", "AQUA"}, {"Y", "YELLOW"}, {"H", "WHITE"}, {"Z", "ELECTRONIC"}, {"W", "RAINBOW"}, {"J", ""}, {"", ""}};
    for (const auto& [code, text] : colors) EXPECT_EQ(ColorText(code), text) << code;
    const std::pair<const char*, const char*> styles[] = {
        {"B", "BORDER"}, {"c", "TINT-ST"}, {"X", "SPECTRM"}, {"Z", "TICKETS"}, {"Q", ""}};
    for (const auto& [code, text] : styles) EXPECT_EQ(StyleText(code), text) << code;
    EXPECT_EQ(ColorNames().size(), ColorLetters.size());
    EXPECT_EQ(StyleNames().size(), StyleLetters.size());
}

TEST_F(DataRules, DetailRowsDeriveFacesSheetsAndTotal)
{
    struct Case { int booklet, loose, up, on, cents; int faces, sheets; const char* total; };
    const Case cases[] = {
        {18, 9, 6, 3, 50, 18, 36, "18"},
        {18, 20, 1, 3, 100, 20, 6, "6"},     // one up: loose faces, remainder dropped
        {18, 20, 0, 3, 100, 20, 0, "0"},     // zero up: loose faces, no sheets
        {18, 9, 6, 0, 500, 18, 0, "0"},      // no on-count
        {18, 9, 4, 99, 25, 0, 100, "25"},    // a lot
    };
    for (const Case& c : cases) {
        AddVoucher("1", c.booklet, c.loose, {{c.up, c.on, c.cents}});
        TDataSet& q = d->DetQuery;
        q.First();
        const std::string what = std::to_string(c.up) + "x" + std::to_string(c.on);
        EXPECT_EQ(q.FieldByName("FaceCount").AsInteger(), c.faces) << what;
        EXPECT_EQ(q.FieldByName("Sheets").AsInteger(), c.sheets) << what;
        EXPECT_EQ(q.FieldByName("Total").AsCurrency(), C(c.total)) << what;
        // The header carries the sums, left in edit mode for the caller to post.
        EXPECT_EQ(d->VouQuery.FieldByName("TotalSheets").AsInteger(), c.sheets) << what;
        EXPECT_EQ(d->VouQuery.FieldByName("VoucherTotal").AsCurrency(), C(c.total)) << what;
        EXPECT_EQ(d->VouQuery.FieldByName("TotalFaces").AsInteger(), int64_t(c.faces) * q.FieldByName("UpCount").AsInteger()) << what;
    }
    TDataSet& q = d->DetQuery;   // the lot
    EXPECT_EQ(q.FieldByName("OnCount").DisplayText(), "LOT");
    EXPECT_EQ(q.FieldByName("OnCount").Text(), "99");
    EXPECT_EQ(q.FieldByName("UpCount").AsInteger(), 1);
    EXPECT_EQ(q.FieldByName("Color").DisplayText(), "ELECTRONIC");
    EXPECT_EQ(q.FieldByName("Style").DisplayText(), "TICKETS");
}

TEST_F(DataRules, VoucherTotalsSumTheDetailRows)
{
    AddVoucher("1", 18, 9, {{6, 3, 50}, {1, 3, 100}, {2, 99, 25}});
    EXPECT_EQ(d->VouQuery.State(), TDataSetState::Browse);
    d->CalcVoucherTotals();
    EXPECT_EQ(d->VouQuery.State(), TDataSetState::Edit);
    EXPECT_EQ(d->VouQuery.FieldByName("VoucherTotal").AsCurrency(), C("18") + C("3") + C("25"));
    EXPECT_EQ(d->VouQuery.FieldByName("TotalSheets").AsInteger(), 36 + 3 + 100);
    EXPECT_EQ(d->VouQuery.FieldByName("TotalFaces").AsInteger(), 108 + 9 + 0);
    d->VouQuery.Post();
    EXPECT_EQ(d->VouQuery.FieldByName("VoucherTotal").DisplayText(), "46.00");

    // A new voucher starts as "N"; a typed status keeps its first letter.
    d->VouQuery.Append();
    EXPECT_EQ(d->VouQuery.FieldByName("VoucherStatus").DisplayText(), "NEW");
    d->VouQuery.FieldByName("VoucherStatus").SetText("approved");
    EXPECT_EQ(d->VouQuery.FieldByName("VoucherStatus").AsString(), "a");
    EXPECT_EQ(d->VouQuery.FieldByName("VoucherStatus").DisplayText(), "APPROVED");
    d->VouQuery.Post();
    // A voucher without detail rows shows an empty detail list.
    d->OpenVoucherDetail();
    EXPECT_TRUE(d->DetQuery.IsEmpty());
    // The tab of vouchers that are not new lists the approved one only.
    d->VouQuery.SetSQL(TData::VouSQLNotNew);
    d->VouQuery.Open();
    EXPECT_EQ(d->VouQuery.RecordCount(), 1);
}

TEST_F(DataRules, ClearingVouchersEmptiesBothTablesForEveryOrganization)
{
    AddVoucher("1", 18, 9, {{6, 3, 50}, {1, 3, 100}});
    AddVoucher("2", 18, 9, {{2, 3, 50}});
    AddVoucher("2", 18, 9, {});
    EXPECT_EQ(Count("VoucherDetail"), 3);
    d->ClearVouchers();
    EXPECT_EQ(Count("Vouchers"), 0);
    EXPECT_EQ(Count("VoucherDetail"), 0);
    EXPECT_FALSE(d->VouQuery.Active());
    EXPECT_EQ(d->VouQuery.SQL(), "SELECT * FROM Vouchers");
}

TEST_F(DataRules, OpeningVoucherDetailRestoresTheCursorAlsoOnError)
{
    AddVoucher("1", 18, 9, {{6, 3, 50}});
    d->OpenVoucherDetail();
    EXPECT_EQ(BusyCount(), 0);
    d->DetQuery.Close();
    d->ADOConnection.Close();
    EXPECT_THROW(d->OpenVoucherDetail(), EDatabaseError);
    EXPECT_EQ(BusyCount(), 0);
    EXPECT_FALSE(BusyCursorShown());
}

// ---------------------------------------------------------------- organizations

TEST_F(DataRules, OrganizationRowsAndTheirChange)
{
    int navigatorCalls = 0;
    bool navigatorShown = true;
    d->SetNavigatorVisible = [&](bool on) { ++navigatorCalls; navigatorShown = on; };
    AddVoucher("x", 1, 1, {{1, 1, 1}});
    d->VouQuery.Close();

    d->OrgQuery.Open();               // empty: no change runs
    EXPECT_EQ(navigatorCalls, 0);
    d->OrgQuery.Append();             // the change runs for the new, empty row
    EXPECT_EQ(navigatorCalls, 1);
    EXPECT_EQ(Count("Vouchers"), 0);
    EXPECT_TRUE(d->QRQuery.Active());
    EXPECT_TRUE(d->QRQuery.IsEmpty());
    TField& sun = d->OrgQuery.FieldByName("Sun");
    EXPECT_FALSE(sun.IsNull());
    EXPECT_EQ(sun.DisplayText(), " ");
    EXPECT_FALSE(d->OrgQuery.FieldByName("AllowEFW").AsBoolean());
    EXPECT_TRUE(d->OrgQuery.FieldByName("FullName").IsNull());
    sun.SetAsBoolean(true);
    EXPECT_EQ(sun.DisplayText(), "X");
    d->OrgQuery.FieldByName("FileNumber").SetAsString("E");
    d->OrgQuery.FieldByName("FullName").SetAsString("Eagles");
    d->OrgQuery.Post();
    for (const auto& [num, name] : {std::pair{"A", "Acorn"}, {"D", "Dove"}, {"C", "Cedar"}, {"B", "Birch"}}) AddOrg(num, name);
    OpenNewReport(*d, "C", Date(2010, 6, 30));
    OpenNewReport(*d, "C", Date(2010, 9, 30));

    d->OrgQuery.Close();
    navigatorCalls = 0;
    d->OrgQuery.Open();               // ordered by name; the change runs for the first row
    EXPECT_EQ(d->OrgQuery.FieldByName("FullName").AsString(), "Acorn");
    EXPECT_TRUE(navigatorShown);
    for (int i = 0; i < 4; ++i) d->OrgQuery.Next();
    EXPECT_EQ(navigatorCalls, 5);
    EXPECT_EQ(d->OrgQuery.FieldByName("FullName").AsString(), "Eagles");
    ASSERT_TRUE(d->OrgQuery.Locate("FileNumber", "C"));
    EXPECT_EQ(d->QRQuery.RecordCount(), 2);
    EXPECT_EQ(d->QRQuery.ParamByName("OrgIDParam").Value(), TValue("C"));

    // A second row with the same file number (in any case) is refused; the
    // previous organization is current again after the cancel.
    d->OrgQuery.Append();
    d->OrgQuery.FieldByName("FileNumber").SetAsString("c");
    try {
        d->OrgQuery.Post();
        ADD_FAILURE() << "duplicate file number stored";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("FileNumber")) << e.Message().toStdString();
    }
    d->OrgQuery.Cancel();
    EXPECT_EQ(d->OrgQuery.FieldByName("FileNumber").AsString(), "C");
    EXPECT_EQ(d->OrgQuery.RecordCount(), 5);
    EXPECT_EQ(Count("Organizations"), 5);

    // Deleting leaves the reports in the file; the last delete leaves QRQuery as it was.
    while (d->OrgQuery.RecordCount() > 1) d->OrgQuery.Delete();
    EXPECT_FALSE(navigatorShown);
    d->OrgQuery.Delete();
    EXPECT_TRUE(d->OrgQuery.IsEmpty());
    EXPECT_TRUE(d->QRQuery.Active());
    EXPECT_EQ(Count("QuarterlyReports"), 2);
    EXPECT_THROW(d->OrgQuery.Delete(), EDatabaseError);
}

TEST_F(DataRules, CopyMatchingFieldsCopiesByNameAndCountsFailures)
{
    AddOrg("111", "Old Name");
    TConnection other;
    const QString srcPath = MakeDatabase(dir.filePath("src.db"));
    other.Open(srcPath);
    other.Execute("CREATE TABLE Downloaded (FileNumber VARCHAR(10), FullName VARCHAR(40), Sun BIT, "
                  "Email VARCHAR(40), RASPassword VARCHAR(15))");
    other.Execute("INSERT INTO Downloaded VALUES ('999', 'New Name', 1, '" + QString(36, 'e') + "', 'secret')");
    TDataSet src(other, "Source");
    src.SetSQL("SELECT * FROM Downloaded");
    src.Open();

    EXPECT_TRUE(CopyMatchingFields(src, d->OrgQuery, "rasPassword;FILENUMBER"));
    EXPECT_EQ(d->OrgQuery.State(), TDataSetState::Edit);   // not posted
    EXPECT_EQ(d->OrgQuery.FieldByName("FullName").AsString(), "New Name");
    EXPECT_TRUE(d->OrgQuery.FieldByName("Sun").AsBoolean());
    EXPECT_TRUE(d->OrgQuery.FieldByName("Email").IsNull());   // too long for Text(35): skipped
    EXPECT_EQ(d->OrgQuery.FieldByName("FileNumber").AsString(), "111");
    EXPECT_TRUE(d->OrgQuery.FieldByName("RASPassword").IsNull());
    d->OrgQuery.Post();

    TDataSet none(other, "None");
    none.SetSQL("SELECT 1 AS Unrelated");
    none.Open();
    EXPECT_FALSE(CopyMatchingFields(none, d->OrgQuery));
    EXPECT_EQ(d->OrgQuery.FieldByName("FullName").AsString(), "New Name");
    d->OrgQuery.Cancel();
}

} // namespace

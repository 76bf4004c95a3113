#include "data/datamodule.h"

#include "app/util/msgbox.h"
#include "app/util/utils.h"
#include "data/vouchercodes.h"

#include <limits>

namespace pm {

namespace {

const QString MoneyFormat = QStringLiteral(",##.00;(,##.00); ");
const QString HeaderMoneyFormat = QStringLiteral(",.00;(,.00)");

bool FitsInt64(__int128 v)
{
    return v >= std::numeric_limits<int64_t>::min() && v <= std::numeric_limits<int64_t>::max();
}

__int128 Units(const TField* f) { return f->AsCurrency().Units(); }

// Sets a currency field from an exact sum; a sum beyond the currency range
// leaves the field empty (the row is then refused when saved).
void SetUnits(TField* f, __int128 v)
{
    if (FitsInt64(v)) f->SetAsCurrency(Currency::FromUnits(int64_t(v)));
    else f->Clear();
}

long double ToUnits(Currency c) { return static_cast<long double>(c.Units()) / 10000.0L; }

// Walks every row of a dataset with its display suspended, returning to the
// row that was current.
template <typename Fn>
void WalkRows(TDataSet& ds, Fn&& fn)
{
    ds.DisableControls();
    try {
        const TBookmark bm = ds.GetBookmark();
        ds.First();
        while (!ds.Eof()) {
            fn();
            ds.Next();
        }
        if (ds.BookmarkValid(bm)) ds.GotoBookmark(bm);
    } catch (...) {
        ds.EnableControls();
        throw;
    }
    ds.EnableControls();
}

QString Lines(std::initializer_list<const char*> lines)
{
    QStringList l;
    for (const char* s : lines) l << QString::fromLatin1(s);
    return l.join("\r\n");
}

} // namespace

const QString TData::OrgSQL = Lines({"SELECT * FROM Organizations", "  ORDER BY FullName"});
const QString TData::QRSQL = Lines({"SELECT * FROM QuarterlyReports", "    WHERE (OrgID = :OrgIDParam)"});
const QString TData::CashSQL = Lines({"SELECT * FROM QRCashDetail", "  WHERE QRID = :QReport", "  ORDER BY SessionDate"});
const QString TData::InvSQL = Lines({"SELECT * FROM QRInventoryDetail", "  WHERE QRID = :QReport", "  ORDER BY InventoryID"});
const QString TData::PrizeSQL =
    Lines({"SELECT * FROM QRPrizeDetail", "  WHERE QRID = :QReport", "  ORDER BY SessionDate, WinnerName"});
const QString TData::VouSQL = QStringLiteral("SELECT * FROM Vouchers");
const QString TData::DetSQL = Lines({"SELECT * FROM VoucherDetail", "  WHERE VoucherID = :Voucher"});
const QString TData::VouSQLNotNew = QStringLiteral("SELECT * FROM Vouchers WHERE VoucherStatus <> 'N' ");
const QString TData::VouSQLNew = QStringLiteral("SELECT * FROM Vouchers WHERE VoucherStatus = 'N' ");

const QStringList& TData::UpgradeCommands()
{
    static const QStringList commands = [] {
        QStringList u2 = {"ALTER TABLE QuarterlyReports", "  ADD ProfitPaid CURRENCY,"};
        for (const char* c : {"TEDExpense", "PayrollTaxes", "ProfessionalFees", "Advertising", "ServiceCharges", "Maintenance"})
            u2 << QString("      %1 CURRENCY,").arg(c);
        for (int i = 1; i <= 3; ++i) u2 << QString("      EPDate%1 DATETIME,").arg(i);
        for (int i = 1; i <= 3; ++i) u2 << QString("      EPGross%1 CURRENCY,").arg(i);
        for (int i = 1; i <= 3; ++i) u2 << QString("      EPPrize%1 CURRENCY,").arg(i);
        for (int i = 1; i <= 9; ++i) u2 << QString("      OEAmount%1 CURRENCY,").arg(i);
        for (int i = 1; i <= 9; ++i) u2 << QString("      OEDescription%1 VARCHAR(45)%2").arg(i).arg(i < 9 ? "," : "");
        return QStringList{
            // U1 (ADOCommand6)
            Lines({"ALTER TABLE QuarterlyReports", "  ADD LoansBeg MONEY,", "      LoansEnd MONEY,", "      LoansNet MONEY"}),
            // U2 (ADOCommand1)
            u2.join("\r\n"),
            // U3 (ADOCommand2)
            Lines({"ALTER TABLE QRCashDetail", "  ADD PaperSales CURRENCY,", "      TEDSales CURRENCY,",
                   "      CashDeposit CURRENCY,", "      CreditDeposit CURRENCY"}),
            // U4 (ADOCommand3)
            Lines({"CREATE TABLE QRPrizeDetail", "(", "  PrizeID IDENTITY PRIMARY KEY,", "  QRID INTEGER NOT NULL,",
                   "  SessionDate DATETIME,", "  WinnerName VARCHAR(35),", "  WinnerSSN VARCHAR(4),",
                   "  Amount CURRENCY,", "  Withholding CURRENCY,", "  DateSubmitted DATETIME", ")"}),
            // U5 (ADOCommand4)
            Lines({"CREATE TABLE QRInventoryDetail", "(", "  InventoryID IDENTITY PRIMARY KEY,", "  QRID INTEGER NOT NULL,",
                   "  FacesOn INTEGER,", "  FacesUp INTEGER,", "  Serial VARCHAR(12),", "  SheetCount INTEGER,",
                   "  SheetValue CURRENCY,", "  TotalValue CURRENCY", ")"}),
            // U6 (ADOCommand5)
            Lines({"UPDATE QRCashDetail", "  SET PaperSales = GrossSales"}),
        };
    }();
    return commands;
}

QString TData::DefaultDatabasePath()
{
    return AppFile("Pellmark.db");
}

TData::TData(PathProvider databasePath, int busyTimeoutMs)
    : QRQuery(ADOConnection, "QRQuery"),
      CashQuery(ADOConnection, "CashQuery"),
      OrgQuery(ADOConnection, "OrgQuery"),
      VouQuery(ADOConnection, "VouQuery"),
      DetQuery(ADOConnection, "DetQuery"),
      InvQuery(ADOConnection, "InvQuery"),
      PrizeQuery(ADOConnection, "PrizeQuery"),
      databasePath_(std::move(databasePath))
{
    ADOConnection.SetBusyTimeout(busyTimeoutMs);
    ADOConnection.AfterConnect = [this] { UpgradeSchema(); };
    SetUpOrganizations();
    SetUpReports();
    SetUpCash();
    SetUpInventory();
    SetUpPrizes();
    SetUpVouchers();
    Connect();
}

TData::~TData() = default;

void TData::Connect()
{
    QString path = databasePath_ ? databasePath_() : QString();
    if (path.isEmpty()) path = DefaultDatabasePath();
    ADOConnection.Open(path);
}

int TData::UpgradeSchema()
{
    int ran = 0;
    try {
        for (const QString& command : UpgradeCommands()) {
            ADOConnection.Execute(command);
            ++ran;
        }
    } catch (const EDatabaseError&) {
        // The need for a step shows only by its failure: an up-to-date
        // database refuses the first one. Nothing is reported.
    }
    return ran;
}

// ---------------------------------------------------------------- organizations

void TData::SetUpOrganizations()
{
    OrgQuery.SetSQL(OrgSQL);
    OrgQuery.OnNewRecord = [](TDataSet& ds) {
        // OrgQueryNewRecord
        for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat", "AllowEFW"})
            ds.FieldByName(day).SetAsBoolean(false);
    };
    // DayGetText: "X" for a day that is played, one blank otherwise.
    for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat"}) {
        OrgQuery.DefineField(day).OnGetText = [](TField& f, QString& text, bool) {
            text = f.AsBoolean() ? QStringLiteral("X") : QStringLiteral(" ");
        };
    }
    for (const char* name : {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat", "AllowEFW"}) OrgQuery.DefineField(name);
    OrgQuery.DefineField("FileNumber");
    OrgQuery.AfterScroll = [this](TDataSet&) { OrganizationChanged(); };
}

void TData::OrganizationChanged()
{
    ClearVouchers();
    if (!OrgQuery.IsEmpty()) {
        QRQuery.ParamByName("OrgIDParam").SetAsString(OrgQuery.FieldByName("FileNumber").AsString());
        if (QRQuery.Active()) QRQuery.Requery();
        else QRQuery.Open();
    }
    if (SetNavigatorVisible) SetNavigatorVisible(OrgQuery.RecordCount() > 1);
}

// ---------------------------------------------------------------- report header

void TData::SetUpReports()
{
    QRQuery.SetSQL(QRSQL);
    QRQuery.ParamByName("OrgIDParam").SetDataType(TParamType::String);
    QRQuery.SetPrepared(true);
    QRQuery.DefineField("QRID");
    QRQuery.DefineField("Period").SetDisplayFormat("mmmm yyyy");
    QRQuery.DefineField("eFiled").SetDisplayLabel("e-Filed");
    QRQuery.DefineField("DateFiled").SetDisplayLabel("Date Filed");
    for (const char* name : {"GrossSales", "EntranceFees", "GrossIncome", "Payouts", "GrossProceeds", "Withholding",
                             "NetLosses", "IncomeAdditions", "BankDeposits", "NetProceeds"})
        QRQuery.DefineField(name).SetDisplayFormat(HeaderMoneyFormat);
    QRQuery.FieldByName("GrossSales").SetDisplayLabel("Gross Sales");
    QRQuery.FieldByName("NetProceeds").SetDisplayLabel("Net Proceeds");
    QRQuery.OnNewRecord = [](TDataSet& ds) { ds.FieldByName("eFiled").SetAsBoolean(false); };
}

// ---------------------------------------------------------------- Schedule A

QString CleanAmountText(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (c != ' ' && c != '$' && c != ',') s += c;
    return s;
}

void TData::SetUpCash()
{
    TDataSet& q = CashQuery;
    q.SetSQL(CashSQL);
    q.ParamByName("QReport").SetDataType(TParamType::FixedChar);
    q.SetPrepared(true);
    q.DefineField("SessionDate").SetDisplayFormat("mm/dd ddd");
    q.FieldByName("SessionDate").SetDisplayLabel("Session Date");
    auto money = [&](const char* name, const char* label = nullptr) {
        TField& f = q.DefineField(name);
        f.SetDisplayFormat(MoneyFormat);
        if (label) f.SetDisplayLabel(label);
        return &f;
    };
    cash_.QRID = &q.DefineField("QRID");
    cash_.PlayerCount = &q.DefineField("PlayerCount");
    cash_.PlayerCount->SetDisplayLabel("Player Count");
    cash_.EntranceFees = money("EntranceFees", "Entrance Fees");
    cash_.GrossSales = money("GrossSales", "Gross Sales");
    cash_.PrizePayout = money("PrizePayout", "Prize Payout");
    cash_.NetProfit = money("NetProfit", "Net Profit");
    cash_.NetLoss = money("NetLoss", "Net Loss");
    cash_.Withholding = money("Withholding");
    cash_.Shortage = money("Shortage");
    cash_.Deposit = money("Deposit");
    cash_.ExcessProceeds = money("ExcessProceeds", "Excess Proceeds");
    cash_.PaperSales = money("PaperSales");
    cash_.TEDSales = money("TEDSales");
    cash_.CashDeposit = money("CashDeposit");
    cash_.CreditDeposit = money("CreditDeposit");
    cash_.GrossSalesCalc = &q.AddCalcField("GrossSalesCalc", TFieldKind::Currency, MoneyFormat);
    cash_.ProfitLossCalc = &q.AddCalcField("ProfitLossCalc", TFieldKind::Currency, MoneyFormat);
    cash_.NetProfitCalc = &q.AddCalcField("NetProfitCalc", TFieldKind::Currency, MoneyFormat);
    cash_.NetLossCalc = &q.AddCalcField("NetLossCalc", TFieldKind::Currency, MoneyFormat);
    cash_.DepositCalc = &q.AddCalcField("DepositCalc", TFieldKind::Currency, MoneyFormat);
    cash_.DepositNewCalc = &q.AddCalcField("DepositNewCalc", TFieldKind::Currency, MoneyFormat);
    cash_.ExcessProceedsCalc = &q.AddCalcField("ExcessProceedsCalc", TFieldKind::Currency, MoneyFormat);

    // CashDetailSetText: blanks, dollar signs and commas are dropped before
    // the amount is read. The four newer columns read the text as typed.
    for (TField* f : {cash_.PlayerCount, cash_.EntranceFees, cash_.GrossSales, cash_.PrizePayout, cash_.NetProfit,
                      cash_.NetLoss, cash_.Withholding, cash_.Shortage, cash_.Deposit, cash_.ExcessProceeds}) {
        f->OnSetText = [](TField& field, const QString& text) {
            const QString cleaned = CleanAmountText(text);
            if (cleaned.isEmpty()) field.Clear();
            else field.SetAsString(cleaned);
        };
    }

    q.OnNewRecord = [this](TDataSet& ds) {
        ds.FieldByName("QRID").SetValue(QRQuery.FieldByName("QRID").Value());
    };
    q.OnCalcFields = [this](TDataSet&) {
        const CashFields& c = cash_;
        const __int128 gross = Units(c.PaperSales) + Units(c.TEDSales);
        const __int128 p = gross + Units(c.EntranceFees) - Units(c.PrizePayout);
        SetUnits(c.GrossSalesCalc, gross);
        SetUnits(c.ProfitLossCalc, p);
        const __int128 profit = p >= 0 ? p : 0;
        SetUnits(c.NetLossCalc, p >= 0 ? 0 : p);
        SetUnits(c.NetProfitCalc, profit);
        SetUnits(c.DepositCalc, profit + Units(c.Withholding) + Units(c.Shortage));
        SetUnits(c.DepositNewCalc, Units(c.CashDeposit) + Units(c.CreditDeposit));
    };
    q.BeforePost = [this](TDataSet&) {
        const CashFields& c = cash_;
        for (TField* f : {c.GrossSalesCalc, c.ProfitLossCalc, c.DepositCalc, c.DepositNewCalc})
            if (f->IsNull())
                throw EDatabaseError("The amounts of this session are too large to add up; the row was not saved.");
        const bool newLayout = NewLayout && NewLayout();
        c.Deposit->SetAsCurrency(newLayout ? c.DepositNewCalc->AsCurrency() : c.DepositCalc->AsCurrency());
        c.NetProfit->SetAsCurrency(c.NetProfitCalc->AsCurrency());
        c.NetLoss->SetAsCurrency(c.NetLossCalc->AsCurrency());
        c.ExcessProceeds->SetAsCurrency(c.ExcessProceedsCalc->AsCurrency());
        c.GrossSales->SetAsCurrency(c.GrossSalesCalc->AsCurrency());
    };
    q.AfterPost = [this](TDataSet&) {
        if (CashTotalsOnPost) CalcCashTotals();
    };
    q.AfterDelete = [this](TDataSet&) {
        if (IsReportWindowShowing()) {
            CalcCashTotals();
            if (RefreshCashFooter) RefreshCashFooter();
        }
    };
}

void TData::CalcCashTotals()
{
    TotRows = 0;
    TotPlayers = 0;
    TotEntranceFees = TotGrossSales = TotPrizePayout = TotNetProfit = TotNetLoss = TotWithholding = TotDeposit =
        TotShortage = TotPaperSales = TotTEDSales = TotCashDeposit = TotCreditDeposit = 0;
    if (!CashQuery.Active()) return;
    const CashFields& c = cash_;
    WalkRows(CashQuery, [&] {
        ++TotRows;
        TotPlayers += c.PlayerCount->AsInteger();   // rounded, halves to even
        TotEntranceFees += ToUnits(c.EntranceFees->AsCurrency());
        TotGrossSales += ToUnits(c.GrossSales->AsCurrency());
        TotPaperSales += ToUnits(c.PaperSales->AsCurrency());
        TotTEDSales += ToUnits(c.TEDSales->AsCurrency());
        TotPrizePayout += ToUnits(c.PrizePayout->AsCurrency());
        TotNetProfit += ToUnits(c.NetProfit->AsCurrency());
        TotNetLoss += ToUnits(c.NetLoss->AsCurrency());
        TotWithholding += ToUnits(c.Withholding->AsCurrency());
        TotDeposit += ToUnits(c.Deposit->AsCurrency());
        TotCashDeposit += ToUnits(c.CashDeposit->AsCurrency());
        TotCreditDeposit += ToUnits(c.CreditDeposit->AsCurrency());
        TotShortage += ToUnits(c.Shortage->AsCurrency());
    });
}

// ---------------------------------------------------------------- Schedules C and D

void TData::SetUpInventory()
{
    TDataSet& q = InvQuery;
    q.SetSQL(InvSQL);
    q.ParamByName("QReport").SetDataType(TParamType::WideString);
    q.SetPrepared(true);
    q.DefineField("InventoryID").SetReadOnly(true);
    q.DefineField("QRID");
    q.DefineField("SheetCount");
    q.DefineField("SheetValue").SetDisplayFormat(MoneyFormat);
    q.DefineField("TotalValue").SetDisplayFormat(MoneyFormat);
    q.AddCalcField("TotalValueCalc", TFieldKind::Currency, MoneyFormat);
    q.OnNewRecord = [this](TDataSet& ds) {
        ds.FieldByName("QRID").SetValue(QRQuery.FieldByName("QRID").Value());
    };
    q.OnCalcFields = [](TDataSet& ds) {
        // An integer count times a currency value is exact; empty counts as 0.
        const __int128 v = __int128(ds.FieldByName("SheetCount").AsInteger()) * Units(&ds.FieldByName("SheetValue"));
        SetUnits(&ds.FieldByName("TotalValueCalc"), v);
    };
    q.BeforePost = [](TDataSet& ds) {
        TField& calc = ds.FieldByName("TotalValueCalc");
        if (calc.IsNull())
            throw EDatabaseError("The total value of this inventory row is too large; the row was not saved.");
        ds.FieldByName("TotalValue").SetAsCurrency(calc.AsCurrency());
    };
    q.AfterPost = [this](TDataSet&) {
        if (InventoryTotalsOnPost) CalcInventoryTotals();
    };
    q.AfterDelete = [this](TDataSet&) {
        if (IsReportWindowShowing()) {
            CalcInventoryTotals();
            if (RefreshInventoryFooter) RefreshInventoryFooter();
        }
    };
}

void TData::SetUpPrizes()
{
    TDataSet& q = PrizeQuery;
    q.SetSQL(PrizeSQL);
    q.ParamByName("QReport").SetDataType(TParamType::WideString);
    q.SetPrepared(true);
    q.DefineField("PrizeID").SetReadOnly(true);
    q.DefineField("QRID");
    q.DefineField("Amount").SetDisplayFormat(MoneyFormat);
    q.DefineField("Withholding").SetDisplayFormat(MoneyFormat);
    q.DefineField("WinnerSSN").SetDisplayLabel("Last Four Digits SSN");
    q.OnNewRecord = [this](TDataSet& ds) {
        ds.FieldByName("QRID").SetValue(QRQuery.FieldByName("QRID").Value());
    };
    q.AfterPost = [this](TDataSet&) {
        if (PrizeTotalsOnPost) CalcPrizeTotals();
    };
    q.AfterDelete = [this](TDataSet&) {
        if (IsReportWindowShowing()) {
            CalcPrizeTotals();
            if (RefreshPrizeFooter) RefreshPrizeFooter();
        }
    };
}

void TData::CalcInventoryTotals()
{
    TotInventoryValue = 0;
    if (!InvQuery.Active()) return;
    TField& value = InvQuery.FieldByName("TotalValue");
    WalkRows(InvQuery, [&] { TotInventoryValue += ToUnits(value.AsCurrency()); });
}

void TData::CalcPrizeTotals()
{
    TotPrizeAmount = 0;
    TotPrizeWithholding = 0;
    if (!PrizeQuery.Active()) return;
    TField& amount = PrizeQuery.FieldByName("Amount");
    TField& withheld = PrizeQuery.FieldByName("Withholding");
    WalkRows(PrizeQuery, [&] {
        TotPrizeAmount += ToUnits(amount.AsCurrency());
        TotPrizeWithholding += ToUnits(withheld.AsCurrency());
    });
}

// ---------------------------------------------------------------- vouchers

void TData::SetUpVouchers()
{
    TDataSet& v = VouQuery;
    v.SetSQL(VouSQL);
    v.SetPrepared(true);
    for (const char* name : {"VoucherID", "BookletFaces", "LooseFaces"}) v.DefineField(name);
    v.DefineField("VoucherTotal").SetDisplayFormat(",#.00");
    v.DefineField("TaxAmount").SetDisplayFormat(",#.00");
    v.DefineField("TotalFaces").SetDisplayFormat(",0");
    v.DefineField("TotalSheets").SetDisplayFormat(",0");
    TField& status = v.DefineField("VoucherStatus");
    status.OnGetText = [](TField& f, QString& text, bool) { text = VoucherStatusText(f.AsString()); };
    status.OnSetText = [](TField& f, const QString& text) { f.SetAsString(VoucherStatusCode(text)); };
    v.OnNewRecord = [](TDataSet& ds) { ds.FieldByName("VoucherStatus").SetAsString("N"); };

    TDataSet& d = DetQuery;
    d.SetSQL(DetSQL);
    d.ParamByName("Voucher").SetDataType(TParamType::Integer);
    det_.VoucherID = &d.DefineField("VoucherID");
    det_.UpCount = &d.DefineField("UpCount");
    det_.OnCount = &d.DefineField("OnCount");
    det_.Price = &d.DefineField("Price");
    det_.Price->SetDisplayFormat("#.00");
    det_.Color = &d.DefineField("Color");
    det_.Style = &d.DefineField("Style");
    d.DefineField("Series").SetDisplayFormat("#");
    det_.Total = &d.AddCalcField("Total", TFieldKind::Currency, ",#.00");
    det_.Sheets = &d.AddCalcField("Sheets", TFieldKind::Integer, ",#");
    det_.FaceCount = &d.AddCalcField("FaceCount", TFieldKind::Integer);
    det_.Color->OnGetText = [](TField& f, QString& text, bool) { text = ColorText(f.AsString()); };
    det_.Style->OnGetText = [](TField& f, QString& text, bool) { text = StyleText(f.AsString()); };
    det_.OnCount->OnGetText = [](TField& f, QString& text, bool displayText) {
        text = f.IsNull() ? QString() : QString::number(f.AsInteger());
        if (displayText && !f.IsNull() && f.AsInteger() == LotOnCount) text = LotText;
    };
    d.OnNewRecord = [this](TDataSet& ds) {
        ds.FieldByName("VoucherID").SetValue(VouQuery.FieldByName("VoucherID").Value());
    };
    d.OnCalcFields = [this](TDataSet&) {
        const DetFields& f = det_;
        const int64_t u = f.UpCount->AsInteger();
        const int64_t o = f.OnCount->AsInteger();
        const __int128 p = Units(f.Price);
        int64_t faces = (u <= 1 ? VouQuery.FieldByName("LooseFaces") : VouQuery.FieldByName("BookletFaces")).AsInteger();
        __int128 sheets = 0;
        __int128 total = 0;
        if (o != 0) {
            sheets = __int128(u) * (__int128(faces) / o);
            total = sheets * p;
        }
        if (o == LotOnCount) {
            // A lot of tickets: one lot of 100, electronic tickets.
            if (u != 1) f.UpCount->SetAsInteger(1);
            faces = 0;
            sheets = 100;
            total = 100 * p;
            if (f.Color->AsString() != "Z") f.Color->SetAsString("Z");
            if (f.Style->AsString() != "Z") f.Style->SetAsString("Z");
        }
        SetUnits(f.Total, total);
        if (sheets >= std::numeric_limits<int32_t>::min() && sheets <= std::numeric_limits<int32_t>::max())
            f.Sheets->SetAsInteger(int64_t(sheets));
        f.FaceCount->SetAsInteger(faces);
    };
    d.AfterPost = [this](TDataSet&) { CalcVoucherTotals(); };
    d.AfterDelete = [this](TDataSet&) { CalcVoucherTotals(); };
}

void TData::OpenVoucherDetail()
{
    BeginDbBusy();
    try {
        DetQuery.ParamByName("Voucher").SetAsInteger(VouQuery.FieldByName("VoucherID").AsInteger());
        if (DetQuery.Active()) DetQuery.Requery();
        else DetQuery.Open();
    } catch (...) {
        EndBusy();
        throw;
    }
    EndBusy();
}

void TData::CalcVoucherTotals()
{
    __int128 total = 0;
    __int128 sheets = 0;
    __int128 faces = 0;
    if (DetQuery.Active()) {
        const DetFields& f = det_;
        WalkRows(DetQuery, [&] {
            if ((f.Total->IsNull() || f.Sheets->IsNull()) && f.OnCount->AsInteger() != 0)
                throw EDatabaseError("The figures of a voucher detail row are too large to add up.");
            total += Units(f.Total);
            sheets += f.Sheets->AsInteger();
            faces += __int128(f.FaceCount->AsInteger()) * f.UpCount->AsInteger();
        });
    }
    // Without a voucher to hold them there is nothing to set.
    if (!VouQuery.Active() || VouQuery.IsEmpty()) return;
    if (VouQuery.State() == TDataSetState::Browse) VouQuery.Edit();
    if (!FitsInt64(total))
        throw EDatabaseError("The voucher total is too large.");
    VouQuery.FieldByName("VoucherTotal").SetAsCurrency(Currency::FromUnits(int64_t(total)));
    VouQuery.FieldByName("TotalFaces").SetAsInteger(FitsInt64(faces) ? int64_t(faces) : std::numeric_limits<int64_t>::max());
    VouQuery.FieldByName("TotalSheets").SetAsInteger(FitsInt64(sheets) ? int64_t(sheets) : std::numeric_limits<int64_t>::max());
}

void TData::ClearVouchers()
{
    // One transaction: a crash midway leaves the vouchers as they were,
    // never a voucher without its detail rows.
    ADOConnection.BeginTrans();
    try {
        VouQuery.Close();
        VouQuery.SetSQL(VouSQL);
        VouQuery.Open();
        while (!VouQuery.IsEmpty()) {
            OpenVoucherDetail();
            while (!DetQuery.IsEmpty()) DetQuery.Delete();
            VouQuery.Delete();
        }
        VouQuery.Close();
        ADOConnection.CommitTrans();
    } catch (...) {
        ADOConnection.RollbackTrans();
        VouQuery.Close();
        try {
            if (DetQuery.Active()) DetQuery.Requery();
        } catch (const EDatabaseError&) {
            DetQuery.Close();
        }
        throw;
    }
}

// ---------------------------------------------------------------- shared routines

bool CopyMatchingFields(TDataSet& source, TDataSet& target, const QString& excludedNames)
{
    QStringList excluded;
    for (const QString& n : excludedNames.split(';', Qt::SkipEmptyParts)) excluded << n.trimmed().toLower();
    if (target.State() == TDataSetState::Browse) target.Edit();
    int failed = 0;
    const std::vector<TField*> fields = target.Fields();
    for (TField* f : fields) {
        if (excluded.contains(f->FieldName().toLower())) continue;
        try {
            TField& src = source.FieldByName(f->FieldName());
            if (src.Kind() == TFieldKind::Boolean) {
                f->SetAsBoolean(src.AsBoolean());
            } else {
                f->SetValue(src.Value());
            }
        } catch (const EDatabaseError&) {
            ++failed;
        }
    }
    return failed < target.FieldCount();
}

std::unique_ptr<TData> CreateDataModule(TData::PathProvider databasePath)
{
    try {
        return std::make_unique<TData>(std::move(databasePath));
    } catch (const EDatabaseError& e) {
        ShowError(e.Message());
        return nullptr;
    }
}

} // namespace pm

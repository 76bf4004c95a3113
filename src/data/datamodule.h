#pragma once
// The data module: the one database connection, the seven datasets every
// window reads and writes through, the schema upgrade run at each connect,
// the record rules inside the datasets, and the schedule totals of the open
// report.

#include "data/dataset.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace pm {

class TData {
public:
    // Where the database is: the preference AccessFilename. Without one,
    // the file "Pellmark.db" next to the executable.
    using PathProvider = std::function<QString()>;

    // Opens the database at once (as the module's creation did); throws
    // EDatabaseError when the file is missing, not a database, or locked.
    explicit TData(PathProvider databasePath = {}, int busyTimeoutMs = 5000);
    ~TData();
    TData(const TData&) = delete;
    TData& operator=(const TData&) = delete;

    static QString DefaultDatabasePath();   // AppFile("Pellmark.db")

    TConnection ADOConnection;
    TDataSet QRQuery;
    TDataSet CashQuery;
    TDataSet OrgQuery;
    TDataSet VouQuery;
    TDataSet DetQuery;
    TDataSet InvQuery;
    TDataSet PrizeQuery;

    // (Re)opens the connection at the current database path and upgrades it.
    void Connect();

    // The upgrade steps in the order they run: U1 (ADOCommand6), then U2 to
    // U6 (ADOCommand1 to ADOCommand5). Each text's lines are joined by CR LF.
    static const QStringList& UpgradeCommands();
    // Runs them in order; the first that fails ends the sequence silently.
    // Returns how many ran (for tests).
    int UpgradeSchema();

    // Schedule A totals (floating values in currency units).
    int TotRows = 0;
    int64_t TotPlayers = 0;
    long double TotEntranceFees = 0, TotGrossSales = 0, TotPrizePayout = 0, TotNetProfit = 0,
                TotNetLoss = 0, TotWithholding = 0, TotDeposit = 0, TotShortage = 0,
                TotPaperSales = 0, TotTEDSales = 0, TotCashDeposit = 0, TotCreditDeposit = 0;
    // Schedules C and D.
    long double TotInventoryValue = 0, TotPrizeAmount = 0, TotPrizeWithholding = 0;

    bool CashTotalsOnPost = false;
    bool InventoryTotalsOnPost = false;
    bool PrizeTotalsOnPost = false;

    // Filled in by the windows built on this module.
    std::function<bool()> NewLayout;                 // the report editor's flag for the open report
    std::function<bool()> ReportWindowShowing;       // the report editor window is showing
    std::function<void()> RefreshCashFooter;         // footers of the Schedule A, C, D grids
    std::function<void()> RefreshInventoryFooter;
    std::function<void()> RefreshPrizeFooter;
    std::function<void(bool)> SetNavigatorVisible;   // the main window's organization navigator

    void CalcCashTotals();
    void CalcInventoryTotals();
    void CalcPrizeTotals();
    void OrganizationChanged();
    void OpenVoucherDetail();
    void CalcVoucherTotals();
    void ClearVouchers();

    // The SQL texts of the datasets.
    static const QString OrgSQL, QRSQL, CashSQL, InvSQL, PrizeSQL, VouSQL, DetSQL;
    static const QString VouSQLNotNew;   // "SELECT * FROM Vouchers WHERE VoucherStatus <> 'N' "
    static const QString VouSQLNew;      // "SELECT * FROM Vouchers WHERE VoucherStatus = 'N' "

private:
    void SetUpOrganizations();
    void SetUpReports();
    void SetUpCash();
    void SetUpInventory();
    void SetUpPrizes();
    void SetUpVouchers();
    bool IsReportWindowShowing() const { return ReportWindowShowing && ReportWindowShowing(); }

    PathProvider databasePath_;

    // Fields the rules use on every row.
    struct CashFields {
        TField *PlayerCount, *EntranceFees, *GrossSales, *PrizePayout, *NetProfit, *NetLoss, *Withholding,
            *Shortage, *Deposit, *ExcessProceeds, *PaperSales, *TEDSales, *CashDeposit, *CreditDeposit, *QRID;
        TField *GrossSalesCalc, *ProfitLossCalc, *NetProfitCalc, *NetLossCalc, *DepositCalc, *DepositNewCalc,
            *ExcessProceedsCalc;
    } cash_{};
    struct DetFields {
        TField *UpCount, *OnCount, *Price, *Color, *Style, *VoucherID;
        TField *Total, *Sheets, *FaceCount;
    } det_{};
};

// The Schedule A cleaning of a typed amount: blanks, dollar signs and commas
// removed.
QString CleanAmountText(const QString& text);

// Copies every field of target whose name is not excluded (a ";" list,
// without regard to case) from the same-named field of source; target is put
// into edit mode when browsing and not posted. A field that is missing in the
// source or whose copy fails counts as failed; true when fewer failed than
// target has fields.
bool CopyMatchingFields(TDataSet& source, TDataSet& target, const QString& excludedNames = QString());

// Creates the data module for the program: on failure shows the error (the
// shell then ends) and returns null.
std::unique_ptr<TData> CreateDataModule(TData::PathProvider databasePath);

} // namespace pm

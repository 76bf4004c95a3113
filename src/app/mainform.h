#pragma once
// The main window: the current organization, its quarterly reports, the
// vouchers awaiting payment and approval, the menus and the status line.
// It holds no data of its own; everything comes from the data module.

#include "app/kvcontrols.h"
#include "components/datetime.h"

#include <QMainWindow>

#include <array>
#include <functional>

class QMenu;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace pm {

class TShell;
class TDataSetGrid;

// The end of the previous calendar quarter: the last day of the quarter that
// holds the date three months before `today`.
TDateTime ProposedEndingDate(TDateTime today);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(TShell& shell, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Makes the grids and data links once the data module exists.
    void ConnectData();

    void SetStatusText(const QString& text);
    QString StatusText() const;
    // Runs the show handler of the active tab (after a server session).
    void RefreshActiveTab();

    // Work of later subsystems, attached when they exist.
    std::function<void(TDateTime period)> OnNewReport;   // NewReport of the report editor
    std::function<void()> OnEditReport;
    std::function<void()> OnDeleteReport;
    std::function<void()> OnViewVoucher;
    std::function<void()> OnApproveVoucher;
    std::function<void()> OnPayVoucher;
    std::function<void()> OnCheckForUpdate;
    std::function<void()> OnConnectSupport;
    std::function<void()> OnDisconnectSupport;

    // Menus.
    QMenu* FileMenu;
    QMenu* HelpMenu;
    TMenuItem* PreferencesItem;
    TMenuItem* ChangeOrganization1;
    TMenuItem* ChangeQUELMPassword1;
    TMenuItem* Addneworganization1;
    TMenuItem* DeleteOrganization1;
    TMenuItem* ExitItem;
    TMenuItem* ProgramHelpItem;
    TMenuItem* QUARNHelpItem;
    TMenuItem* ConnecttoQUARNSupport1;
    TMenuItem* DisconnectRemoteSupport1;
    TMenuItem* AboutItem;

    QTabWidget* PageControl;
    QWidget* OrgSheet;
    QWidget* QRSheet;
    QWidget* ePaySheet;
    QWidget* eSignSheet;
    QWidget* HistorySheet;
    QLabel* MsgLabel;

    // Organization tab.
    TkvEdit* LastOrg;
    QLabel* FullName;
    QLabel* FileNumber;
    QLabel* MailingAddr;
    QLabel* MailingCity;
    QLabel* MailingState;
    QLabel* MailingZip;
    QLabel* Email;
    std::array<QLabel*, 7> Days{};   // Sun .. Sat
    QWidget* DBNav;
    QToolButton* NavPrior;
    QToolButton* NavNext;
    QPushButton* PreNoteBtn;

    // Quarterly Reports tab.
    QLabel* QRLabel;
    TDataSetGrid* QRGrid = nullptr;
    QPushButton* ViewBtn;
    QPushButton* NewBtn;
    QPushButton* DeleteBtn;
    QLabel* QRNotice;

    // ePay tab.
    QLabel* PayLabel;
    TDataSetGrid* PayGrid = nullptr;
    QPushButton* PayCheckBtn;
    QPushButton* PayViewBtn;
    QPushButton* PayBtn;
    QLabel* PayNotice;

    // eSign tab.
    QLabel* SignLabel;
    TDataSetGrid* SignGrid = nullptr;
    QPushButton* SignCheckBtn;
    QPushButton* SignViewBtn;
    QPushButton* ApproveBtn;
    QLabel* SignNotice;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    void OrgSheetShow();
    void QRSheetShow();
    void ePaySheetShow();
    void eSignSheetShow();
    void NewBtnClick();
    void ViewBtnClick();
    void DeleteBtnClick();
    void CheckBtnClick();
    void ViewVoucherBtnClick();
    void PayBtnClick();
    void ApproveBtnClick();
    void PreferencesItemClick();
    void ChangeOrganization1Click();
    void ChangeQUELMPassword1Click();
    void Addneworganization1Click();
    void DeleteOrganization1Click();
    void ExitItemClick();
    void HelpMenuItemClick();
    void ProgramHelpItemClick();
    void QUARNHelpItemClick();
    void AboutItemClick();
    void CustomHelpClick(int number);

    // Whether at least one organization exists.
    bool HasOrganization() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenus();
    void BuildOrgSheet();
    QWidget* BuildListSheet(QLabel*& label, QLabel*& notice, QPushButton* (&buttons)[3], const char* caption,
                            const QStringList& buttonCaptions, QWidget*& gridPlace);
    void ShowOrganization();
    void TabShown(int index);
    void SetNavigatorVisible(bool visible);
    void ReopenVouchers(const QString& sql);

    TShell& shell_;
    QWidget* qrGridPlace_ = nullptr;
    QWidget* payGridPlace_ = nullptr;
    QWidget* signGridPlace_ = nullptr;
    int orgObserver_ = 0;
    bool shown_ = false;
    bool closed_ = false;
};

} // namespace pm

#include "app/mainform.h"

#include "app/appinfo.h"
#include "app/configform.h"
#include "app/datasetgrid.h"
#include "app/dialogs.h"
#include "app/orgforms.h"
#include "app/serversession.h"
#include "app/settings.h"
#include "app/shell.h"
#include "app/splash.h"
#include "app/util/inifile.h"
#include "app/util/msgbox.h"
#include "app/util/utils.h"
#include "components/entry.h"
#include "components/formatting.h"
#include "data/datamodule.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace pm {

namespace {

const QString kNoOrganization = QStringLiteral("You must first add an organization.");
const QString kMoneyFormat = QStringLiteral(",.00;(,.00)");
constexpr int kFixedHelpItems = 7;

// Runs a handler; a database error that escapes it is shown, and the action
// is abandoned (the application's default error handling).
template <typename Fn>
void Guarded(Fn&& fn)
{
    try {
        fn();
    } catch (const EDatabaseError& e) {
        ShowError(e.Message());
    }
}

QLabel* ValueBox(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font("Liberation Sans", 10);
    label->setFont(font);
    label->setStyleSheet("QLabel { color: blue; background: white; border: 1px solid #a0a0a0; padding: 1px 4px; }");
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumHeight(QFontMetrics(font).height() + 6);
    return label;
}

} // namespace

TDateTime ProposedEndingDate(TDateTime today)
{
    return EndOfQuarter(IncMonth(today, -3));
}

TMainForm::TMainForm(TShell& shell, QWidget* parent) : QMainWindow(parent), shell_(shell)
{
    setObjectName("MainForm");
    setWindowTitle(kMainCaption);
    QFont font("Liberation Sans", 8);
    setFont(font);

    BuildMenus();

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    BuildOrgSheet();
    QPushButton* qrButtons[3];
    QRSheet = BuildListSheet(QRLabel, QRNotice, qrButtons, "Quarterly reports found on this computer:",
                             {"View/Edit", "Add New", "Erase"}, qrGridPlace_);
    ViewBtn = qrButtons[0];
    NewBtn = qrButtons[1];
    DeleteBtn = qrButtons[2];
    QPushButton* payButtons[3];
    ePaySheet = BuildListSheet(PayLabel, PayNotice, payButtons, "Vouchers awaiting payment at DOR",
                               {"Check", "View", "Pay"}, payGridPlace_);
    PayCheckBtn = payButtons[0];
    PayViewBtn = payButtons[1];
    PayBtn = payButtons[2];
    QPushButton* signButtons[3];
    eSignSheet = BuildListSheet(SignLabel, SignNotice, signButtons, "Vouchers awaiting approval at DOR",
                                {"Check", "View", "Approve"}, signGridPlace_);
    SignCheckBtn = signButtons[0];
    SignViewBtn = signButtons[1];
    ApproveBtn = signButtons[2];
    HistorySheet = new QWidget(PageControl);
    HistorySheet->setObjectName("HistorySheet");
    new QLabel("Vouchers issued in past 6 months", HistorySheet);

    QRSheet->setObjectName("QRSheet");
    ePaySheet->setObjectName("ePaySheet");
    eSignSheet->setObjectName("eSignSheet");
    PageControl->addTab(OrgSheet, "Organization");
    PageControl->addTab(QRSheet, "Quarterly Reports");
    PageControl->addTab(ePaySheet, "ePay");
    PageControl->addTab(eSignSheet, "eSign");
    const int history = PageControl->addTab(HistorySheet, "History");
    PageControl->setTabVisible(history, false);
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(6, 6, 6, 2);
    centralLayout->addWidget(PageControl);
    setCentralWidget(central);

    MsgLabel = new QLabel(" ", this);
    MsgLabel->setObjectName("MsgLabel");
    statusBar()->addWidget(MsgLabel, 1);
    statusBar()->setSizeGripEnabled(true);

    connect(ViewBtn, &QPushButton::clicked, this, &TMainForm::ViewBtnClick);
    connect(NewBtn, &QPushButton::clicked, this, &TMainForm::NewBtnClick);
    connect(DeleteBtn, &QPushButton::clicked, this, &TMainForm::DeleteBtnClick);
    connect(PayCheckBtn, &QPushButton::clicked, this, &TMainForm::CheckBtnClick);
    connect(SignCheckBtn, &QPushButton::clicked, this, &TMainForm::CheckBtnClick);
    connect(PayViewBtn, &QPushButton::clicked, this, &TMainForm::ViewVoucherBtnClick);
    connect(SignViewBtn, &QPushButton::clicked, this, &TMainForm::ViewVoucherBtnClick);
    connect(PayBtn, &QPushButton::clicked, this, &TMainForm::PayBtnClick);
    connect(ApproveBtn, &QPushButton::clicked, this, &TMainForm::ApproveBtnClick);
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::TabShown);

    // The window's designed size; the layouts may make it larger.
    resize(600, 340);
    FormCreate();
}

TMainForm::~TMainForm()
{
    if (orgObserver_ && shell_.Data)
        shell_.Data->OrgQuery.RemoveObserver(orgObserver_);
}

void TMainForm::BuildMenus()
{
    FileMenu = menuBar()->addMenu("&File");
    FileMenu->setObjectName("FileMenu");
    auto item = [this](QMenu* menu, const QString& caption, std::function<void()> handler) {
        auto* a = new TMenuItem(caption, menu);
        a->OnClick = std::move(handler);
        menu->addAction(a);
        return a;
    };
    PreferencesItem = item(FileMenu, "&Preferences..", [this] { PreferencesItemClick(); });
    ChangeOrganization1 = item(FileMenu, "&Change Organization", [this] { ChangeOrganization1Click(); });
    ChangeQUELMPassword1 = item(FileMenu, "Change QUELM Password...", [this] { ChangeQUELMPassword1Click(); });
    FileMenu->addSeparator();
    Addneworganization1 = item(FileMenu, "&Add New Organization", [this] { Addneworganization1Click(); });
    DeleteOrganization1 = item(FileMenu, "&Delete Organization", [this] { DeleteOrganization1Click(); });
    FileMenu->addSeparator();
    ExitItem = item(FileMenu, "E&xit", [this] { ExitItemClick(); });

    HelpMenu = menuBar()->addMenu("&Help");
    HelpMenu->setObjectName("HelpMenu");
    ProgramHelpItem = item(HelpMenu, "QUELM Bingo Help", [this] { ProgramHelpItemClick(); });
    QUARNHelpItem = item(HelpMenu, "QUARN Home Page", [this] { QUARNHelpItemClick(); });
    HelpMenu->addSeparator();
    ConnecttoQUARNSupport1 = item(HelpMenu, "Connect to QUARN Support...", [this] { if (OnConnectSupport) OnConnectSupport(); });
    DisconnectRemoteSupport1 = item(HelpMenu, "Disconnect Remote Support", [this] { if (OnDisconnectSupport) OnDisconnectSupport(); });
    HelpMenu->addSeparator();
    AboutItem = item(HelpMenu, "&About..", [this] { AboutItemClick(); });
    connect(HelpMenu, &QMenu::aboutToShow, this, &TMainForm::HelpMenuItemClick);
}

void TMainForm::BuildOrgSheet()
{
    OrgSheet = new QWidget(PageControl);
    OrgSheet->setObjectName("OrgSheet");
    auto* v = new QVBoxLayout(OrgSheet);
    v->setContentsMargins(12, 10, 12, 8);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    FullName = ValueBox(OrgSheet, "FullName");
    FileNumber = ValueBox(OrgSheet, "FileNumber");
    MailingAddr = ValueBox(OrgSheet, "MailingAddr");
    MailingCity = ValueBox(OrgSheet, "MailingCity");
    MailingState = ValueBox(OrgSheet, "MailingState");
    MailingZip = ValueBox(OrgSheet, "MailingZip");
    Email = ValueBox(OrgSheet, "Email");
    auto caption = [this](const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), OrgSheet);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    grid->addWidget(caption("Name of Organization"), 0, 0);
    grid->addWidget(FullName, 0, 1, 1, 5);
    grid->addWidget(caption("File Number"), 1, 0);
    grid->addWidget(FileNumber, 1, 1);
    grid->addWidget(caption("Address"), 2, 0);
    grid->addWidget(MailingAddr, 2, 1, 1, 5);
    grid->addWidget(caption("City"), 3, 0);
    grid->addWidget(MailingCity, 3, 1);
    grid->addWidget(caption("State"), 3, 2);
    grid->addWidget(MailingState, 3, 3);
    grid->addWidget(caption("Zip"), 3, 4);
    grid->addWidget(MailingZip, 3, 5);
    grid->addWidget(caption("E-mail"), 4, 0);
    grid->addWidget(Email, 4, 1, 1, 5);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 0);
    grid->setColumnStretch(5, 1);
    MailingState->setMinimumWidth(40);
    MailingZip->setMinimumWidth(80);
    v->addLayout(grid);

    auto* bottom = new QHBoxLayout;
    auto* days = new QGridLayout;
    days->setHorizontalSpacing(2);
    days->setVerticalSpacing(1);
    auto* daysCaption = new QLabel("Days game is played:", OrgSheet);
    days->addWidget(daysCaption, 1, 0);
    const char* letters[7] = {"S", "M", "T", "W", "T", "F", "S"};
    const char* names[7] = {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i) {
        auto* letter = new QLabel(QString::fromLatin1(letters[i]), OrgSheet);
        letter->setAlignment(Qt::AlignCenter);
        days->addWidget(letter, 0, i + 1);
        QLabel* cell = ValueBox(OrgSheet, names[i]);
        cell->setAlignment(Qt::AlignCenter);
        cell->setFixedWidth(22);
        Days[size_t(i)] = cell;
        days->addWidget(cell, 1, i + 1);
    }
    days->setColumnMinimumWidth(0, 0);
    bottom->addLayout(days);
    bottom->addStretch(1);

    DBNav = new QWidget(OrgSheet);
    DBNav->setObjectName("DBNav");
    auto* nav = new QHBoxLayout(DBNav);
    nav->setContentsMargins(0, 0, 0, 0);
    nav->setSpacing(0);
    NavPrior = new QToolButton(DBNav);
    NavPrior->setArrowType(Qt::LeftArrow);
    NavPrior->setToolTip("Prior organization");
    NavNext = new QToolButton(DBNav);
    NavNext->setArrowType(Qt::RightArrow);
    NavNext->setToolTip("Next organization");
    nav->addWidget(NavPrior);
    nav->addWidget(NavNext);
    DBNav->setVisible(false);
    connect(NavPrior, &QToolButton::clicked, this, [this] { Guarded([this] { shell_.Data->OrgQuery.Prior(); }); });
    connect(NavNext, &QToolButton::clicked, this, [this] { Guarded([this] { shell_.Data->OrgQuery.Next(); }); });
    bottom->addWidget(DBNav, 0, Qt::AlignBottom);
    PreNoteBtn = new QPushButton("PreNote", OrgSheet);
    PreNoteBtn->setObjectName("PreNoteBtn");
    PreNoteBtn->setEnabled(false);
    bottom->addSpacing(8);
    bottom->addWidget(PreNoteBtn, 0, Qt::AlignBottom);
    v->addSpacing(6);
    v->addLayout(bottom);
    v->addStretch(1);

    LastOrg = new TkvEdit(OrgSheet);
    LastOrg->setObjectName("LastOrg");
    SetTag(LastOrg, 1);
    LastOrg->setVisible(false);
}

QWidget* TMainForm::BuildListSheet(QLabel*& label, QLabel*& notice, QPushButton* (&buttons)[3], const char* caption,
                                   const QStringList& buttonCaptions, QWidget*& gridPlace)
{
    auto* sheet = new QWidget(PageControl);
    auto* h = new QHBoxLayout(sheet);
    h->setContentsMargins(8, 8, 8, 8);
    auto* left = new QVBoxLayout;
    label = new QLabel(QString::fromLatin1(caption), sheet);
    left->addWidget(label);
    gridPlace = new QWidget(sheet);
    auto* placeLayout = new QVBoxLayout(gridPlace);
    placeLayout->setContentsMargins(0, 0, 0, 0);
    left->addWidget(gridPlace, 1);
    notice = new QLabel(kNoOrganization, sheet);
    notice->setObjectName("Notice");
    notice->setAlignment(Qt::AlignCenter);
    QFont bold = notice->font();
    bold.setPointSize(10);
    bold.setBold(true);
    notice->setFont(bold);
    notice->setStyleSheet("color: red;");
    left->addWidget(notice, 1);
    h->addLayout(left, 1);
    auto* right = new QVBoxLayout;
    right->addSpacing(label->sizeHint().height() + 6);
    for (int i = 0; i < 3; ++i) {
        buttons[i] = new QPushButton(buttonCaptions.value(i), sheet);
        buttons[i]->setMinimumWidth(80);
        right->addWidget(buttons[i]);
    }
    right->addStretch(1);
    h->addLayout(right);
    return sheet;
}

void TMainForm::ConnectData()
{
    if (QRGrid || !shell_.Data)
        return;
    TData& data = *shell_.Data;
    const auto right = Qt::AlignRight | Qt::AlignVCenter;
    QRGrid = new TDataSetGrid(
        data.QRQuery,
        {{"Period", "Period", Qt::AlignLeft | Qt::AlignVCenter, {}, [](const TField& f) { return f.IsNull() ? QString() : FormatDateTime("mmmm yyyy", f.AsDateTime()); }, 0},
         {"GrossSales", "Gross Sales", right, kMoneyFormat, {}, 100},
         {"NetProceeds", "Net Proceeds", right, kMoneyFormat, {}, 100},
         {"eFiled", "e-Filed", Qt::AlignCenter, {}, [](const TField& f) { return f.AsBoolean() ? QStringLiteral("True") : QStringLiteral("False"); }, 60}},
        qrGridPlace_);
    QRGrid->setObjectName("QRGrid");
    qrGridPlace_->layout()->addWidget(QRGrid);
    PayGrid = new TDataSetGrid(data.VouQuery,
                               {{"VoucherNumber", "Voucher No.", Qt::AlignLeft | Qt::AlignVCenter, {}, {}, 0},
                                {"DueDate", "Due Date", Qt::AlignLeft | Qt::AlignVCenter, {}, {}, 90},
                                {"VoucherTotal", "Voucher Total", right, kMoneyFormat, {}, 100},
                                {"TaxAmount", "Tax Amount", right, kMoneyFormat, {}, 90}},
                               payGridPlace_);
    PayGrid->setObjectName("PayGrid");
    payGridPlace_->layout()->addWidget(PayGrid);
    SignGrid = new TDataSetGrid(data.VouQuery,
                                {{"IssueDate", "Date", Qt::AlignLeft | Qt::AlignVCenter, {}, {}, 0},
                                 {"VoucherTotal", "Voucher Total", right, kMoneyFormat, {}, 100},
                                 {"TaxAmount", "Tax Amount", right, kMoneyFormat, {}, 90},
                                 {"TotalSheets", "Total Sheets", right, {}, {}, 90}},
                                signGridPlace_);
    SignGrid->setObjectName("SignGrid");
    signGridPlace_->layout()->addWidget(SignGrid);
    connect(QRGrid, &QAbstractItemView::doubleClicked, this, &TMainForm::ViewBtnClick);

    data.SetNavigatorVisible = [this](bool visible) { SetNavigatorVisible(visible); };
    orgObserver_ = data.OrgQuery.AddObserver([this](TDataSet&, TDataEvent, TField*) { ShowOrganization(); });
    ShowOrganization();
}

void TMainForm::SetNavigatorVisible(bool visible)
{
    DBNav->setVisible(visible);
}

bool TMainForm::HasOrganization() const
{
    return shell_.Data && shell_.Data->OrgQuery.Active() && shell_.Data->OrgQuery.RecordCount() > 0;
}

void TMainForm::ShowOrganization()
{
    if (!shell_.Data)
        return;
    TDataSet& org = shell_.Data->OrgQuery;
    auto show = [&org](QLabel* label, const char* field) {
        TField* f = org.Active() && !org.IsEmpty() ? org.FindField(QString::fromLatin1(field)) : nullptr;
        label->setText(f ? f->DisplayText() : QString());
    };
    show(FullName, "FullName");
    show(FileNumber, "FileNumber");
    show(MailingAddr, "MailingAddr");
    show(MailingCity, "MailingCity");
    show(MailingState, "MailingState");
    show(MailingZip, "MailingZip");
    show(Email, "Email");
    const char* names[7] = {"Sun", "Mon", "Tue", "Wed", "Thr", "Fri", "Sat"};
    for (int i = 0; i < 7; ++i)
        show(Days[size_t(i)], names[i]);
}

void TMainForm::SetStatusText(const QString& text)
{
    MsgLabel->setText(text);
}

QString TMainForm::StatusText() const
{
    return MsgLabel->text();
}

// ---------------------------------------------------------------- life

void TMainForm::FormCreate()
{
    const TIniFile ini(IniFileName());
    RestoreWindowPosition(ini, this);
    ReadTaggedControls(ini, "Organization", OrgSheet);
    PageControl->setCurrentWidget(OrgSheet);
    SetImmediateRestore(true);
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    if (shell_.ConfigurationForm && shell_.ConfigurationForm->AutomaticUpdateOn() && OnCheckForUpdate)
        OnCheckForUpdate();
    if (!shell_.Data)
        return;
    Guarded([this] {
        TDataSet& org = shell_.Data->OrgQuery;
        if (!org.Active())
            org.Open();
        // LastOrg holds the file number as we wrote it; text that is not a
        // whole number looks for file number 0, which matches nothing.
        const QString last = LastOrg->text().trimmed();
        bool whole = false;
        last.toLongLong(&whole);
        org.Locate("FileNumber", TValue(whole ? last : QStringLiteral("0")));
    });
    RefreshActiveTab();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    QMainWindow::closeEvent(event);
}

void TMainForm::FormClose()
{
    TIniFile ini(IniFileName());
    SaveWindowPosition(ini, this);
    if (HasOrganization())
        LastOrg->setText(shell_.Data->OrgQuery.FieldByName("FileNumber").AsString());
    WriteTaggedControls(ini, "Organization", OrgSheet);
}

// ---------------------------------------------------------------- tabs

void TMainForm::TabShown(int index)
{
    QWidget* page = PageControl->widget(index);
    if (page == OrgSheet)
        OrgSheetShow();
    else if (page == QRSheet)
        QRSheetShow();
    else if (page == ePaySheet)
        ePaySheetShow();
    else if (page == eSignSheet)
        eSignSheetShow();
}

void TMainForm::RefreshActiveTab()
{
    TabShown(PageControl->currentIndex());
}

void TMainForm::OrgSheetShow()
{
    SetStatusText(" ");
    SetNavigatorVisible(shell_.Data && shell_.Data->OrgQuery.Active() && shell_.Data->OrgQuery.RecordCount() > 1);
    ShowOrganization();
}

void TMainForm::QRSheetShow()
{
    const bool has = HasOrganization();
    if (has)
        SetStatusText(QStringLiteral(" ") + QString::number(shell_.Data->QRQuery.Active() ? shell_.Data->QRQuery.RecordCount() : 0)
                      + " quarterly report(s).");
    for (QWidget* w : std::initializer_list<QWidget*>{ViewBtn, NewBtn, DeleteBtn, qrGridPlace_, QRLabel})
        w->setVisible(has);
    QRNotice->setVisible(!has);
}

void TMainForm::ReopenVouchers(const QString& sql)
{
    TDataSet& vou = shell_.Data->VouQuery;
    vou.DisableControls();
    try {
        vou.Close();
        vou.SetSQL(sql);
        vou.Open();
    } catch (...) {
        vou.EnableControls();
        throw;
    }
    vou.EnableControls();
}

void TMainForm::ePaySheetShow()
{
    const bool has = HasOrganization();
    for (QWidget* w : std::initializer_list<QWidget*>{PayCheckBtn, PayViewBtn, PayBtn, payGridPlace_, PayLabel})
        w->setVisible(has);
    PayNotice->setVisible(!has);
    if (!has)
        return;
    Guarded([this] {
        ReopenVouchers(TData::VouSQLNotNew);
        TDataSet& vou = shell_.Data->VouQuery;
        const bool any = vou.RecordCount() > 0;
        PayBtn->setEnabled(shell_.Data->OrgQuery.FieldByName("AllowEFW").AsBoolean() && any);
        PayViewBtn->setEnabled(any);
        SetStatusText(QStringLiteral(" ") + QString::number(vou.RecordCount()) + " voucher(s) listed.");
    });
}

void TMainForm::eSignSheetShow()
{
    const bool has = HasOrganization();
    if (has) {
        Guarded([this] {
            ReopenVouchers(TData::VouSQLNotNew);
            bool approve = shell_.Data->VouQuery.RecordCount() == 0;
            ReopenVouchers(TData::VouSQLNew);
            approve = approve && shell_.Data->VouQuery.RecordCount() > 0;
            ApproveBtn->setEnabled(approve);
            SetStatusText(QStringLiteral(" ") + QString::number(shell_.Data->VouQuery.RecordCount()) + " voucher(s) listed.");
        });
    }
    for (QWidget* w : std::initializer_list<QWidget*>{SignCheckBtn, SignViewBtn, ApproveBtn, signGridPlace_, SignLabel})
        w->setVisible(has);
    SignNotice->setVisible(!has);
    SignViewBtn->setEnabled(has && shell_.Data->VouQuery.Active() && shell_.Data->VouQuery.RecordCount() > 0);
}

// ---------------------------------------------------------------- buttons

void TMainForm::NewBtnClick()
{
    QString text = FormatDateTime("mm/dd/yyyy", ProposedEndingDate(Today()));
    if (!InputQuery("New Quarterly Report", "Ending Date: ", text, this))
        return;
    TDateTime date = 0;
    if (!ParseDate(text, date))
        return;
    if (OnNewReport)
        Guarded([&] { OnNewReport(EndOfQuarter(date)); });
}

void TMainForm::ViewBtnClick()
{
    if (shell_.Data && shell_.Data->QRQuery.Active() && shell_.Data->QRQuery.RecordCount() > 0 && OnEditReport)
        Guarded([this] { OnEditReport(); });
}

void TMainForm::DeleteBtnClick()
{
    if (shell_.Data && shell_.Data->QRQuery.Active() && shell_.Data->QRQuery.RecordCount() > 0 && OnDeleteReport)
        Guarded([this] { OnDeleteReport(); });
}

void TMainForm::CheckBtnClick()
{
    Guarded([this] { shell_.ServerSessionForm->CheckVouchers(); });
}

void TMainForm::ViewVoucherBtnClick()
{
    if (OnViewVoucher)
        Guarded([this] { OnViewVoucher(); });
}

void TMainForm::PayBtnClick()
{
    if (OnPayVoucher)
        Guarded([this] { OnPayVoucher(); });
}

void TMainForm::ApproveBtnClick()
{
    if (OnApproveVoucher)
        Guarded([this] { OnApproveVoucher(); });
}

// ---------------------------------------------------------------- menus

void TMainForm::PreferencesItemClick()
{
    ExecDialog(*shell_.ConfigurationForm);
}

void TMainForm::ChangeOrganization1Click()
{
    shell_.SelectOrgForm->ConnectData();
    ExecDialog(*shell_.SelectOrgForm);
}

void TMainForm::ChangeQUELMPassword1Click()
{
    Guarded([this] {
        TDataSet& org = shell_.Data->OrgQuery;
        const QString password = shell_.ServerSessionForm->ConfirmPassword(
            QStringLiteral("Please enter your assigned QUELM password for: \n\n") + org.FieldByName("FullName").AsString());
        if (password.isEmpty())
            return;
        org.Edit();
        org.FieldByName("RASPassword").SetAsString(ScrambleText(password));
        org.Post();
    });
}

void TMainForm::Addneworganization1Click()
{
    ExecDialog(*shell_.NewOrgForm);
    RefreshActiveTab();
}

void TMainForm::DeleteOrganization1Click()
{
    if (!ConfirmDelete())
        return;
    Guarded([this] {
        TDataSet& org = shell_.Data->OrgQuery;
        if (!org.Active())
            org.Open();
        if (org.IsEmpty())
            throw EDatabaseError("Cannot perform this operation on an empty dataset");
        org.Delete();
    });
    PageControl->setCurrentWidget(OrgSheet);
    OrgSheetShow();
}

void TMainForm::ExitItemClick()
{
    close();
}

void TMainForm::HelpMenuItemClick()
{
    // Take away the custom items of the previous opening with their leading
    // separator; a separator stays in that place.
    while (HelpMenu->actions().size() > kFixedHelpItems) {
        QAction* a = HelpMenu->actions().at(5);
        HelpMenu->removeAction(a);
        delete a;
    }
    if (!shell_.ConfigurationForm || !shell_.ConfigurationForm->UseCustomHelpOn())
        return;
    // Result from the second separator on: separator, the custom items,
    // separator, "&About..".
    QAction* separator = HelpMenu->actions().at(5);
    for (int i = 1; i <= 5; ++i) {
        const QString caption = shell_.ConfigurationForm->HelpCaption(i);
        if (caption.isEmpty())
            continue;
        auto* item = new TMenuItem(caption, HelpMenu);
        item->Tag = i;
        item->OnClick = [this, i] { CustomHelpClick(i); };
        HelpMenu->insertAction(separator, item);
    }
    auto* leading = new QAction(HelpMenu);
    leading->setSeparator(true);
    HelpMenu->insertAction(HelpMenu->actions().at(5), leading);
}

void TMainForm::CustomHelpClick(int number)
{
    ShellOpen(shell_.ConfigurationForm->HelpCommand(number));
}

void TMainForm::ProgramHelpItemClick()
{
    ShellOpen(AppFile(kHelpFileName));
}

void TMainForm::QUARNHelpItemClick()
{
    ShellOpen(kQuarnHomePage);
}

void TMainForm::AboutItemClick()
{
    ExecDialog(*shell_.AboutBox);
}

} // namespace pm

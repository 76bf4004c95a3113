#include "app/configform.h"

#include "app/appinfo.h"
#include "app/settings.h"
#include "app/util/inifile.h"
#include "app/util/utils.h"
#include "components/formatting.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPrinterInfo>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace pm {

namespace {

const QString kSection = QStringLiteral("Configuration");

template <class T>
T* Tagged(T* control, const char* name)
{
    control->setObjectName(QString::fromLatin1(name));
    SetTag(control, 1);
    return control;
}

} // namespace

TConfigurationForm::TConfigurationForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("ConfigurationForm");
    setWindowTitle("Preferences");
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    ToolBar1->setMovable(false);
    ToolButton1 = ToolBar1->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), "Save");
    ToolButton2 = ToolBar1->addAction(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel");
    connect(ToolButton1, &QAction::triggered, this, &TConfigurationForm::ToolButton1Click);
    connect(ToolButton2, &QAction::triggered, this, &TConfigurationForm::ToolButton2Click);
    layout->addWidget(ToolBar1);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    OptionsSheet = new QWidget(PageControl);
    UpdateSheet = new QWidget(PageControl);
    HelpSheet = new QWidget(PageControl);
    PageControl->addTab(OptionsSheet, "Options");
    PageControl->addTab(UpdateSheet, "Update");
    PageControl->addTab(HelpSheet, "Help");
    auto* pageBox = new QVBoxLayout;
    pageBox->setContentsMargins(8, 8, 8, 8);
    pageBox->addWidget(PageControl);
    layout->addLayout(pageBox, 1);

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    layout->addWidget(StatusBar);

    BuildOptions();
    BuildUpdate();
    BuildHelp();

    for (QWidget* w : findChildren<QWidget*>())
        if (IsEntryControl(w))
            w->installEventFilter(this);

    // FormCreate
    AccessFilename->setText(AppFile("Pellmark.db"));
    Load();
    resize(520, 400);
}

void TConfigurationForm::BuildOptions()
{
    auto* v = new QVBoxLayout(OptionsSheet);
    auto* server = new QGroupBox("Bingo Internet Server", OptionsSheet);
    auto* form = new QFormLayout(server);
    DORServer = Tagged(new TkvEdit(server), "DORServer");
    DORServer->setText(kDefaultDORServer);
    Port = Tagged(new TkvEdit(server), "Port");
    Port->setText("588");
    Port->setMaximumWidth(80);
    form->addRow("Server IP", DORServer);
    form->addRow("Port", Port);
    ShowPollProgress = Tagged(new TkvCheckBox("Show progress dialog when connecting to Internet Server", server), "ShowPollProgress");
    form->addRow(ShowPollProgress);
    v->addWidget(server);

    auto* local = new QGroupBox("Local Settings", OptionsSheet);
    auto* grid = new QGridLayout(local);
    AccessFilename = Tagged(new TkvEdit(local), "AccessFilename");
    AccessBrowseBtn = new QPushButton("...", local);
    AccessBrowseBtn->setObjectName("AccessBrowseBtn");
    AccessBrowseBtn->setFixedWidth(32);
    connect(AccessBrowseBtn, &QPushButton::clicked, this, &TConfigurationForm::AccessBrowseBtnClick);
    grid->addWidget(new QLabel("Database Location", local), 0, 0);
    grid->addWidget(AccessFilename, 0, 1);
    grid->addWidget(AccessBrowseBtn, 0, 2);
    DefaultPrinter = Tagged(new TkvComboBox(local), "DefaultPrinter");
    DefaultPrinter->setEditable(true);
    DefaultPrinter->addItem("Windows Default");
    DefaultPrinter->setCurrentIndex(0);
    grid->addWidget(new QLabel("Printer", local), 1, 0);
    grid->addWidget(DefaultPrinter, 1, 1, 1, 2);
    v->addWidget(local);
    v->addStretch(1);
}

void TConfigurationForm::BuildUpdate()
{
    auto* v = new QVBoxLayout(UpdateSheet);
    AutomaticUpdate = Tagged(new TkvCheckBox("Automatically check for updates at program start-up", UpdateSheet), "AutomaticUpdate");
    AutomaticUpdate->setChecked(true);
    ShowUpdate = Tagged(new TkvCheckBox("Show progress dialog when checking", UpdateSheet), "ShowUpdate");
    v->addWidget(AutomaticUpdate);
    v->addWidget(ShowUpdate);

    auto* source = new QGroupBox("Update Source", UpdateSheet);
    auto* grid = new QGridLayout(source);
    UseURL = Tagged(new QRadioButton("Use Website", source), "UseURL");
    UseURL->setChecked(true);
    UpdateURL = Tagged(new TkvEdit(source), "UpdateURL");
    UpdateURL->setText(kDefaultUpdateURL);
    UseFTP = Tagged(new QRadioButton("Use FTP Site", source), "UseFTP");
    FtpSite = Tagged(new TkvEdit(source), "FtpSite");
    FtpUserLabel = new QLabel("User ID", source);
    FtpUser = Tagged(new TkvEdit(source), "FtpUser");
    FtpPasswordLabel = new QLabel("Password", source);
    FtpPassword = Tagged(new TkvEdit(source), "FtpPassword");
    FtpPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(UseURL, 0, 0, 1, 4);
    grid->addWidget(UpdateURL, 1, 0, 1, 4);
    grid->addWidget(UseFTP, 2, 0, 1, 4);
    grid->addWidget(FtpSite, 3, 0, 1, 4);
    grid->addWidget(FtpUserLabel, 4, 0);
    grid->addWidget(FtpUser, 4, 1);
    grid->addWidget(FtpPasswordLabel, 4, 2);
    grid->addWidget(FtpPassword, 4, 3);
    connect(UseURL, &QRadioButton::clicked, this, &TConfigurationForm::UpdateSourceChange);
    connect(UseFTP, &QRadioButton::clicked, this, &TConfigurationForm::UpdateSourceChange);
    v->addWidget(source);

    auto* info = new QGroupBox("Program Information ", UpdateSheet);
    auto* h = new QHBoxLayout(info);
    auto* form = new QFormLayout;
    ExeDate = new QLabel(info);
    ExeDate->setObjectName("ExeDate");
    VersionNumber = new QLabel(info);
    VersionNumber->setObjectName("VersionNumber");
    LastUpdate = Tagged(new TStaticText("Never", info), "LastUpdate");
    form->addRow("EXE Date", ExeDate);
    form->addRow("Version Number", VersionNumber);
    form->addRow("Last Update:", LastUpdate);
    h->addLayout(form, 1);
    auto* buttons = new QVBoxLayout;
    BitBtn9 = new QPushButton("Check Now", info);
    BitBtn3 = new QPushButton("Re-Install ", info);
    BitBtn6 = new QPushButton("View Readme", info);
    for (QPushButton* b : {BitBtn9, BitBtn3, BitBtn6}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(BitBtn9, &QPushButton::clicked, this, [this] { if (OnCheckForUpdate) OnCheckForUpdate(false); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { if (OnCheckForUpdate) OnCheckForUpdate(true); });
    connect(BitBtn6, &QPushButton::clicked, this, [] { ShellOpen(AppFile("ReadMe.txt")); });
    h->addLayout(buttons);
    v->addWidget(info);
    v->addStretch(1);
    AccessBrowseBtn->setAutoDefault(false);
}

void TConfigurationForm::BuildHelp()
{
    auto* v = new QVBoxLayout(HelpSheet);
    UseCustomHelp = Tagged(new TkvCheckBox("Use custom Help Menu items", HelpSheet), "UseCustomHelp");
    UseCustomHelp->setChecked(true);
    v->addWidget(UseCustomHelp);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Menu Caption", HelpSheet), 0, 1);
    grid->addWidget(new QLabel("URL, Help File, or Command", HelpSheet), 0, 2);
    for (int i = 0; i < 5; ++i) {
        HelpCaption_[size_t(i)] = new TkvEdit(HelpSheet);
        HelpCaption_[size_t(i)]->setObjectName(QString("HelpCaption%1").arg(i + 1));
        SetTag(HelpCaption_[size_t(i)], 1);
        HelpCommand_[size_t(i)] = new TkvEdit(HelpSheet);
        HelpCommand_[size_t(i)]->setObjectName(QString("HelpCommand%1").arg(i + 1));
        SetTag(HelpCommand_[size_t(i)], 1);
        grid->addWidget(new QLabel(QString("%1.").arg(i + 1), HelpSheet), i + 1, 0);
        grid->addWidget(HelpCaption_[size_t(i)], i + 1, 1);
        grid->addWidget(HelpCommand_[size_t(i)], i + 1, 2);
    }
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);
    HelpCaption_[0]->setText("QUELM Home Page");
    HelpCommand_[0]->setText(kDefaultHelpCommand1);
    v->addLayout(grid);
    v->addStretch(1);
}

void TConfigurationForm::Load()
{
    const TIniFile ini(IniFileName());
    ReadTaggedControls(ini, kSection, PageControl);
    ApplyRunOnce();
    UpdateSourceChange();
    const QFileInfo exe(ExePath());
    ExeDate->setText(exe.exists() ? FormatDateTime("mm/dd/yyyy  hh:nna/p", FromQDateTime(exe.lastModified())) : QString());
    VersionNumber->setText(FileVersionString());
}

void TConfigurationForm::ApplyRunOnce()
{
    const QString runOnce = AppFile("RunOnce.ini");
    if (!QFile::exists(runOnce))
        return;
    ReadTaggedControls(TIniFile(runOnce), kSection, PageControl);
    Save();
    // One that cannot be deleted is applied again at the next start.
    QFile::remove(runOnce);
}

void TConfigurationForm::Save()
{
    TIniFile ini(IniFileName());
    ini.EraseSection(kSection);
    WriteTaggedControls(ini, kSection, PageControl);
}

void TConfigurationForm::StampLastUpdate()
{
    LastUpdate->setText(FormatDateTime("dd/mm/yyyy hh:nna/p", Now()));
    Save();
}

QString TConfigurationForm::ServerHost() const { return DORServer->text().trimmed(); }
int TConfigurationForm::ServerPort() const { return StrToIntDef(Port->text().trimmed(), 0); }
bool TConfigurationForm::ShowPollProgressOn() const { return ShowPollProgress->isChecked(); }
bool TConfigurationForm::AutomaticUpdateOn() const { return AutomaticUpdate->isChecked(); }
bool TConfigurationForm::UseCustomHelpOn() const { return UseCustomHelp->isChecked(); }
QString TConfigurationForm::DatabasePath() const { return AccessFilename->text(); }

QString TConfigurationForm::HelpCaption(int number) const
{
    return number >= 1 && number <= 5 ? HelpCaption_[size_t(number - 1)]->text() : QString();
}

QString TConfigurationForm::HelpCommand(int number) const
{
    return number >= 1 && number <= 5 ? HelpCommand_[size_t(number - 1)]->text() : QString();
}

void TConfigurationForm::ToolButton1Click()
{
    Save();
    accept();
}

void TConfigurationForm::ToolButton2Click()
{
    Load();
    reject();
}

void TConfigurationForm::AccessBrowseBtnClick()
{
    QFileDialog dialog(this, "Local Access File", QFileInfo(IniFileName()).absolutePath(), "Database Files (*.db)");
    dialog.setDefaultSuffix("db");
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        AccessFilename->setText(dialog.selectedFiles().constFirst());
}

void TConfigurationForm::UpdateSourceChange()
{
    UpdateURL->setEnabled(UseURL->isChecked());
    const bool ftp = UseFTP->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{FtpSite, FtpUser, FtpPassword, FtpUserLabel, FtpPasswordLabel})
        w->setEnabled(ftp);
}

void TConfigurationForm::showEvent(QShowEvent* event)
{
    if (!printersListed_) {
        // The printers are asked for only when the window is first shown:
        // asking the print system costs time the start-up does not have.
        printersListed_ = true;
        const QString current = DefaultPrinter->currentText();
        for (const QString& name : QPrinterInfo::availablePrinterNames())
            if (DefaultPrinter->findText(name) < 0)
                DefaultPrinter->addItem(name);
        ApplyControlValue(DefaultPrinter, current);
    }
    QDialog::showEvent(event);
}

bool TConfigurationForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* w = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_F10)
            return true;
        if ((key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)
            && (qobject_cast<QLineEdit*>(w) || qobject_cast<QCheckBox*>(w))) {
            FocusNextControl(this, key->key() == Qt::Key_Down);
            return true;
        }
        if (HandleEnterKey(this, key))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pm

#include "app/orgforms.h"

#include "app/datasetgrid.h"
#include "app/mainform.h"
#include "app/serversession.h"
#include "app/shell.h"
#include "app/util/msgbox.h"
#include "data/datamodule.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pm {

QString CleanFileNumber(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('-'))
            result += c;
    return result;
}

// ---------------------------------------------------------------- TNewOrgForm

TNewOrgForm::TNewOrgForm(TShell& shell, QWidget* parent) : QDialog(parent), shell_(shell)
{
    setObjectName("NewOrgForm");
    setWindowTitle("New Organization");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(16, 14, 16, 12);
    Label1 = new QLabel("Enter the file number and DOR assigned password below, and click download.  An  Internet "
                        "connection is required.",
                        this);
    Label1->setWordWrap(true);
    Label1->setStyleSheet("color: navy;");
    v->addWidget(Label1);
    v->addSpacing(8);
    auto* grid = new QGridLayout;
    eFileNum = new TkvEdit(this);
    eFileNum->setObjectName("eFileNum");
    ePassword = new TkvEdit(this);
    ePassword->setObjectName("ePassword");
    ePassword->setEchoMode(QLineEdit::Password);
    auto* fileLabel = new QLabel("File Number", this);
    fileLabel->setBuddy(eFileNum);
    auto* passwordLabel = new QLabel("Password", this);
    passwordLabel->setBuddy(ePassword);
    grid->addWidget(fileLabel, 0, 0);
    grid->addWidget(eFileNum, 0, 1);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(ePassword, 1, 1);
    grid->setColumnStretch(1, 1);
    v->addLayout(grid);
    v->addStretch(1);
    auto* buttons = new QHBoxLayout;
    OkBtn = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), "Download Info", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    v->addLayout(buttons);
    connect(eFileNum, &QLineEdit::textChanged, this, &TNewOrgForm::eEditChange);
    connect(ePassword, &QLineEdit::textChanged, this, &TNewOrgForm::eEditChange);
    connect(eFileNum, &QLineEdit::editingFinished, this, &TNewOrgForm::eFileNumExit);
    connect(OkBtn, &QPushButton::clicked, this, &TNewOrgForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    eFileNum->installEventFilter(this);
    setFixedSize(360, 190);
    eEditChange();
}

void TNewOrgForm::showEvent(QShowEvent* event)
{
    eFileNum->clear();
    ePassword->clear();
    eFileNum->setFocus();
    QDialog::showEvent(event);
}

bool TNewOrgForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == eFileNum && event->type() == QEvent::FocusOut)
        eFileNumExit();
    return QDialog::eventFilter(watched, event);
}

void TNewOrgForm::eEditChange()
{
    OkBtn->setEnabled(!eFileNum->text().isEmpty() && !ePassword->text().isEmpty());
}

void TNewOrgForm::eFileNumExit()
{
    const QString cleaned = CleanFileNumber(eFileNum->text());
    if (cleaned != eFileNum->text())
        eFileNum->setText(cleaned);
}

void TNewOrgForm::OkBtnClick()
{
    eFileNumExit();
    TDataSet& org = shell_.Data->OrgQuery;
    bool posted = false;
    try {
        if (!org.Active())
            org.Open();
        org.Append();
        org.FieldByName("FileNumber").SetAsString(eFileNum->text());
        org.FieldByName("RASPassword").SetAsString(ScrambleText(ePassword->text()));
        org.Post();
        posted = true;
    } catch (const EDatabaseError&) {
    }
    if (!posted) {
        if (org.Active() && org.State() != TDataSetState::Browse)
            org.Cancel();
        ShowError("That file number already exists.");
        accept();
        return;
    }
    // The window goes before the session starts, so that its progress
    // window and prompts are not hidden behind this one.
    accept();
    shell_.ServerSessionForm->NewOrganization();
}

// ---------------------------------------------------------------- TSelectOrgForm

TSelectOrgForm::TSelectOrgForm(TShell& shell, QWidget* parent) : QDialog(parent), shell_(shell)
{
    setObjectName("SelectOrgForm");
    setWindowTitle("Select Organization");
    setModal(true);
    new QVBoxLayout(this);
    resize(420, 300);
}

void TSelectOrgForm::ConnectData()
{
    if (DBGrid1 || !shell_.Data)
        return;
    DBGrid1 = new TDataSetGrid(shell_.Data->OrgQuery,
                               {{"FullName", "Full Name", Qt::AlignLeft | Qt::AlignVCenter, {}, {}, 0},
                                {"FileNumber", "File Number", Qt::AlignLeft | Qt::AlignVCenter, {}, {}, 110}},
                               this);
    DBGrid1->setObjectName("DBGrid1");
    layout()->addWidget(DBGrid1);
    DBGrid1->installEventFilter(this);
    connect(DBGrid1, &QAbstractItemView::doubleClicked, this, [this] { accept(); });   // DBGrid1DblClick
}

bool TSelectOrgForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {   // DBGrid1KeyPress
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- TPasswordDlg

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("PasswordDlg");
    setWindowTitle("Enter Password");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* h = new QHBoxLayout;
    Label1 = new QLabel("Password:", this);
    Password = new TkvEdit(this);
    Password->setObjectName("Password");
    Password->setEchoMode(QLineEdit::Password);
    h->addWidget(Label1);
    h->addWidget(Password, 1);
    v->addLayout(h);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    v->addLayout(buttons);
    setFixedSize(300, 100);
}

void TPasswordDlg::showEvent(QShowEvent* event)
{
    Password->clear();
    Password->setFocus();
    QDialog::showEvent(event);
}

} // namespace pm

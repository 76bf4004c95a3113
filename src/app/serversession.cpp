#include "app/serversession.h"

#include "app/configform.h"
#include "app/dialogs.h"
#include "app/mainform.h"
#include "app/orgforms.h"
#include "app/shell.h"
#include "app/util/msgbox.h"
#include "app/util/utils.h"
#include "components/win1252.h"
#include "data/datamodule.h"
#include "session/adtg.h"
#include "session/protocol.h"
#include "session/receiverlink.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTcpSocket>
#include <QTimer>
#include <QVBoxLayout>

namespace pm {

namespace {

// The byte every character of a stored password is combined with.
constexpr unsigned char kScrambleByte = 0xA7;

const QString kReportReceived = QStringLiteral("Quarterly Report received successfully!");
const QString kLoginRefused = QStringLiteral("Incorrect login attempt. (IP address logged)");

// A received value in the kind of the local field (conversion by the field).
TValue ToValue(const TAdtgValue& value, bool& usable)
{
    usable = true;
    return std::visit(
        [&usable](const auto& v) -> TValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return TValue();
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                usable = false;
                return TValue();
            } else if constexpr (std::is_same_v<T, TAdtgDecimal>) {
                if (v.scale <= 4) {
                    if (auto units = v.Units()) {
                        int64_t u = *units;
                        for (int s = v.scale; s < 4; ++s)
                            u *= 10;
                        return TValue(Currency::FromUnits(u));
                    }
                }
                return TValue(v.ToDouble());
            } else {
                return TValue(v);
            }
        },
        value);
}

} // namespace

QString ScrambleText(const QString& text)
{
    QByteArray bytes = ToWin1252(text);
    for (char& c : bytes)
        c = char(static_cast<unsigned char>(c) ^ kScrambleByte);
    return FromWin1252(bytes);
}

int WinSockErrorCode(int qtSocketError)
{
    switch (QAbstractSocket::SocketError(qtSocketError)) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;     // WSAECONNREFUSED
    case QAbstractSocket::HostNotFoundError: return 11001;          // WSAHOST_NOT_FOUND
    case QAbstractSocket::SocketTimeoutError: return 10060;         // WSAETIMEDOUT
    case QAbstractSocket::RemoteHostClosedError: return 10054;      // WSAECONNRESET
    case QAbstractSocket::SocketAccessError: return 10013;          // WSAEACCES
    case QAbstractSocket::SocketResourceError: return 10055;        // WSAENOBUFS
    case QAbstractSocket::DatagramTooLargeError: return 10040;      // WSAEMSGSIZE
    case QAbstractSocket::NetworkError: return 10050;               // WSAENETDOWN
    case QAbstractSocket::AddressInUseError: return 10048;          // WSAEADDRINUSE
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;   // WSAEADDRNOTAVAIL
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;  // WSAEOPNOTSUPP
    case QAbstractSocket::TemporaryError: return 10035;             // WSAEWOULDBLOCK
    default: return 10022;                                          // WSAEINVAL
    }
}

// ---------------------------------------------------------------- TConfirmDlg

TConfirmDlg::TConfirmDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName("ConfirmDlg");
    setWindowTitle("Confirm Action");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName("Memo");
    Memo->setReadOnly(true);
    Memo->setFocusPolicy(Qt::NoFocus);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont font("Liberation Sans");
    font.setPixelSize(15);
    Memo->setFont(font);
    Memo->setStyleSheet("QPlainTextEdit { color: blue; background: rgb(255, 255, 183); }");
    v->addWidget(Memo, 1);
    auto* h = new QHBoxLayout;
    Label2 = new QLabel("Enter DOR Password", this);
    ePassword = new TkvEdit(this);
    ePassword->setObjectName("ePassword");
    ePassword->setEchoMode(QLineEdit::Password);
    h->addWidget(Label2);
    h->addWidget(ePassword, 1);
    v->addLayout(h);
    auto* buttons = new QHBoxLayout;
    OkBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addStretch(1);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    v->addLayout(buttons);
    resize(475, 301);
}

// ---------------------------------------------------------------- TServerSessionForm

TServerSessionForm::TServerSessionForm(TShell& shell, QWidget* parent)
    : QDialog(parent), FKeyPhrase(kKeyPhrase), shell_(shell)
{
    setObjectName("ServerSessionForm");
    setWindowTitle("Download");
    setModal(false);
    auto* v = new QVBoxLayout(this);
    Label1 = new QLabel("Messages", this);
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName("Memo");
    Memo->setReadOnly(true);
    v->addWidget(Label1);
    v->addWidget(Memo, 1);
    auto* buttons = new QHBoxLayout;
    HideBtn = new QPushButton("&Hide", this);
    HideBtn->setObjectName("HideBtn");
    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setEnabled(false);
    HideBtn->setAutoDefault(false);
    CancelBtn->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(HideBtn);
    buttons->addWidget(CancelBtn);
    v->addLayout(buttons);
    resize(379, 305);
    connect(HideBtn, &QPushButton::clicked, this, &TServerSessionForm::HideBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TServerSessionForm::CancelBtnClick);

    ClientSocket = new QTcpSocket(this);
    ClientSocket->setObjectName("ClientSocket");
    link_ = new TReceiverLink(ClientSocket, TMessageReceiver::Role::Client, this);
    connect(ClientSocket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if ((state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState) && !connectingLogged_)
            ClientSocketConnecting();
    });
    connect(ClientSocket, &QAbstractSocket::connected, this, &TServerSessionForm::ClientSocketConnect);
    connect(ClientSocket, &QAbstractSocket::disconnected, this, &TServerSessionForm::ClientSocketDisconnect);
    connect(ClientSocket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { ClientSocketError(int(error)); });
    connect(link_, &TReceiverLink::messageReceived, this, &TServerSessionForm::MessageReceived);
    connect(link_, &TReceiverLink::streamReceived, this, &TServerSessionForm::StreamReceived);
    connect(link_, &TReceiverLink::closeRequested, this, [this](quint16) { CloseSocket(); });
    connect(link_, &TReceiverLink::sessionFailed, this, &TServerSessionForm::Fail);
    connect(link_, &TReceiverLink::cipherFailed, this, [](const QString& text) { ShowError(text); });

    Timer = new QTimer(this);
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, &TServerSessionForm::TimerTimer);
    Timer->start();

    ConnectTimer = new QTimer(this);
    ConnectTimer->setSingleShot(true);
    ConnectTimer->setInterval(21000);
    connect(ConnectTimer, &QTimer::timeout, this, [this] {
        if (ClientSocket->state() == QAbstractSocket::HostLookupState || ClientSocket->state() == QAbstractSocket::ConnectingState)
            ClientSocketError(int(QAbstractSocket::SocketTimeoutError));
    });
    connect(ClientSocket, &QAbstractSocket::connected, ConnectTimer, &QTimer::stop);

    passwordDlg_ = new TPasswordDlg(this);
}

TServerSessionForm::~TServerSessionForm()
{
    sessionActive_ = false;
    ClientSocket->disconnect(this);
    ClientSocket->abort();
}

void TServerSessionForm::AddLogLine(const QString& text)
{
    Memo->appendPlainText(text);
    if (shell_.MainForm)
        shell_.MainForm->SetStatusText(QStringLiteral(" ") + text);
}

void TServerSessionForm::Fail(const QString& text)
{
    AddLogLine(text);
    pendingError_ = text;
    CloseSocket();
}

QString TServerSessionForm::ConfirmPassword(const QString& message)
{
    TConfirmDlg* dlg = shell_.ConfirmDlg;
    dlg->Memo->setPlainText(message);
    dlg->ePassword->clear();
    dlg->ePassword->setFocus();
    if (!ExecDialog(*dlg))
        return QString();
    return dlg->ePassword->text();
}

QString TServerSessionForm::StoredPassword()
{
    TDataSet& org = shell_.Data->OrgQuery;
    QString password = ScrambleText(org.FieldByName("RASPassword").AsString());
    if (password.isEmpty()) {
        const bool ok = ExecDialog(*passwordDlg_);
        password = ok ? passwordDlg_->Password->text() : QString();
        org.Edit();
        org.FieldByName("RASPassword").SetAsString(ScrambleText(password));
        org.Post();
    }
    return password;
}

void TServerSessionForm::NewOrganization()
{
    FSessionPassword = StoredPassword();
    FSessionKind = skNewOrganization;
    StartSession();
}

void TServerSessionForm::CheckVouchers()
{
    if (!shell_.Data || shell_.Data->OrgQuery.IsEmpty())
        return;
    FSessionPassword = StoredPassword();
    FSessionKind = skCheckVouchers;
    StartSession();
}

void TServerSessionForm::StartSession()
{
    if (FSessionPassword.isEmpty())
        return;
    PriorityMsg.clear();
    if (ClientSocket->state() != QAbstractSocket::UnconnectedState)
        CloseSocket();
    const QString host = shell_.ConfigurationForm->ServerHost();
    const int port = shell_.ConfigurationForm->ServerPort();
    sessionActive_ = true;
    connectingLogged_ = false;
    pendingError_.clear();
    // The receiver starts every connection in its header state.
    link_->Receiver().Reset();
    ClientSocket->setProperty("host", host);
    if (port <= 0 || port > 65535) {
        ClientSocketConnecting();
        ClientSocketError(int(QAbstractSocket::SocketAddressNotAvailableError));
        return;
    }
    ConnectTimer->start();
    ClientSocket->connectToHost(host, quint16(port));
}

void TServerSessionForm::ClientSocketConnecting()
{
    connectingLogged_ = true;
    BeginBusy();
    Memo->clear();
    CancelBtn->setEnabled(true);
    AddLogLine(QStringLiteral("Connecting to DOR server (") + ClientSocket->property("host").toString() + ")");
    if (shell_.ConfigurationForm->ShowPollProgressOn())
        show();
}

void TServerSessionForm::ClientSocketConnect()
{
    AddLogLine("Connected");
    FCipherKey = DeriveKey(FKeyPhrase);
    try {
        SendRequests();
    } catch (const EProtocolError& e) {
        Fail(e.Message());
    }
}

void TServerSessionForm::SendLogin()
{
    const QString fileNumber = shell_.Data->OrgQuery.FieldByName("FileNumber").AsString();
    SendMessage(*ClientSocket, rtLogin, LoginPayload(fileNumber, FSessionPassword, ukOrganization), FCipherKey);
}

void TServerSessionForm::SendRequests()
{
    SendLogin();
    const QByteArray noPayload(2, '\0');
    switch (FSessionKind) {
    case skFileReport:
        if (OnSendReport)
            OnSendReport(*this);
        break;
    case skCheckVouchers:
        SendMessage(*ClientSocket, rtGetVouchers, noPayload, FCipherKey);
        break;
    case skNewOrganization:
        break;
    case skApproveVoucher:
    case skPayVoucher: {
        const int id = CurrentVoucherID ? CurrentVoucherID() : 0;
        SendMessage(*ClientSocket, FSessionKind == skApproveVoucher ? rtApproveVoucher : rtPayVoucher,
                    VoucherRequestPayload(id), FCipherKey);
        SendMessage(*ClientSocket, rtGetVouchers, noPayload, FCipherKey);
        break;
    }
    }
    if (ClientSocket->state() == QAbstractSocket::ConnectedState)
        SendMessage(*ClientSocket, rtEnd, noPayload, FCipherKey);
}

void TServerSessionForm::MessageReceived(quint16 type, const QByteArray& payload)
{
    if (type == rtText)
        HandleText(payload);
    else if (type == rtNotice)
        HandleNotice(payload);
}

void TServerSessionForm::StreamReceived(quint16 type, const QByteArray& body)
{
    try {
        if (type == rtOrgData)
            UpdateOrganization(body);
        else if (type == rtVoucherData && OnVoucherData)
            OnVoucherData(*this, body);
    } catch (const EProtocolError& e) {
        ShowError(e.Message());
    } catch (const EDatabaseError& e) {
        ShowError(e.Message());
    }
}

void TServerSessionForm::HandleText(const QByteArray& payload)
{
    if (payload.size() != PayloadSize(rtText)) {
        Fail("Error");
        return;
    }
    const QString text = ParseTextPayload(payload);
    AddLogLine(text);
    if (text == kReportReceived && OnMarkFiled)
        OnMarkFiled(*this);
    if (text == kLoginRefused)
        LoginFailed();
}

void TServerSessionForm::HandleNotice(const QByteArray& payload)
{
    HandleText(payload);
    if (payload.size() == PayloadSize(rtNotice))
        PriorityMsg << ParseTextPayload(payload);
}

void TServerSessionForm::LoginFailed()
{
    CloseSocket();
    ShowError("Server Login Failed.");
    TDataSet& org = shell_.Data->OrgQuery;
    if (org.IsEmpty())
        return;
    try {
        org.Edit();
        org.FieldByName("RASPassword").SetAsString(QString());
        org.Post();
        if (FSessionKind == skNewOrganization)
            org.Delete();
    } catch (const EDatabaseError& e) {
        if (org.State() != TDataSetState::Browse && org.Active())
            org.Cancel();
        ShowError(e.Message());
    }
    // The disconnection refreshed the tab before the organization went.
    if (shell_.MainForm)
        shell_.MainForm->RefreshActiveTab();
}

void TServerSessionForm::UpdateOrganization(const QByteArray& body)
{
    const QByteArray data = InflateRaw(body);
    if (data.isEmpty())
        return;
    AddLogLine("Updating organization data...");
    const QString fileName = AppFile("Orginfo.ADT");
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        ShowError(QStringLiteral("Cannot write ") + fileName);
        return;
    }
    file.close();
    QByteArray stored;
    if (file.open(QIODevice::ReadOnly)) {
        stored = file.readAll();
        file.close();
    }
    TAdtgRecordset received;
    QString error;
    if (!ReadAdtg(stored, received, error)) {
        // The file stays for a look; the next update overwrites it.
        ShowError(error);
        return;
    }
    TDataSet& org = shell_.Data->OrgQuery;
    if (received.rows.empty() || org.IsEmpty()) {
        QFile::remove(fileName);
        return;
    }
    org.Edit();
    for (TField* field : org.Fields()) {
        if (field->Calculated() || field->ReadOnly())
            continue;
        const QString name = field->FieldName();
        if (name.compare("RASPassword", Qt::CaseInsensitive) == 0 || name.compare("FileNumber", Qt::CaseInsensitive) == 0)
            continue;
        const int column = received.ColumnIndex(name);
        if (column < 0)
            continue;
        bool usable = false;
        const TValue value = ToValue(received.rows.front()[size_t(column)], usable);
        if (!usable)
            continue;
        try {
            field->SetValue(value);
        } catch (const EDatabaseError&) {
            // A value the local column cannot take is skipped.
        }
    }
    try {
        org.Post();
    } catch (const EDatabaseError&) {
        org.Cancel();
        throw;
    }
    QFile::remove(fileName);
}

void TServerSessionForm::ClientSocketError(int error)
{
    if (error == int(QAbstractSocket::RemoteHostClosedError) && ClientSocket->state() != QAbstractSocket::UnconnectedState) {
        // The server ended the session: the disconnection follows.
        return;
    }
    EndBusy();
    AddLogLine(QStringLiteral("Socket Error: ") + QString::number(WinSockErrorCode(error)));
    CloseSocket();
}

void TServerSessionForm::CloseSocket()
{
    if (ClientSocket->state() != QAbstractSocket::UnconnectedState)
        ClientSocket->abort();
    // A connection that never opened ends here too.
    if (sessionActive_)
        ClientSocketDisconnect();
}

void TServerSessionForm::ClientSocketDisconnect()
{
    if (!sessionActive_)
        return;
    sessionActive_ = false;
    ConnectTimer->stop();
    AddLogLine("Disconnected.");
    AddLogLine("Done.");
    if (shell_.MainForm)
        shell_.MainForm->RefreshActiveTab();
    CancelBtn->setEnabled(false);
    if (!shell_.ConfigurationForm->ShowPollProgressOn())
        close();
    if (!PriorityMsg.isEmpty()) {
        QApplication::beep();
        ShowMessageBox(TMsgKind::Information, mbOKOnly, PriorityMsg.join('\n'));
    }
    EndBusy();
    if (!pendingError_.isEmpty()) {
        const QString text = pendingError_;
        pendingError_.clear();
        ShowError(text);
    }
}

void TServerSessionForm::TimerTimer()
{
    if (ClientSocket->state() == QAbstractSocket::ConnectedState && ClientSocket->bytesAvailable() > 0)
        link_->Pump();
}

void TServerSessionForm::HideBtnClick()
{
    close();
}

void TServerSessionForm::CancelBtnClick()
{
    CloseSocket();
    close();
}

} // namespace pm

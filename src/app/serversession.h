#pragma once
// The session window: the one client socket to the department's server, one
// transaction per connection, the session log (mirrored into the main
// window's status line), the confirmation dialog, and the login and
// organization data transactions.
//
// Belongs to the server session subsystem; it lives here until that
// subsystem's window layer is in place.

#include "session/cipher.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QStringList>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTcpSocket;
class QTimer;

namespace pm {

class TShell;
class TReceiverLink;
class TkvEdit;
class TPasswordDlg;

enum TSessionKind { skFileReport = 0, skCheckVouchers = 1, skNewOrganization = 2, skApproveVoucher = 3, skPayVoucher = 4 };

// The stored password's scrambled form: every 8-bit character combined with
// one fixed byte by exclusive-or; applying it twice gives the text back.
QString ScrambleText(const QString& text);

// The Windows socket error number of a Qt socket error ("Socket Error: ").
int WinSockErrorCode(int qtSocketError);

// "Confirm Action": the transaction's message and the DOR password.
class TConfirmDlg : public QDialog {
    Q_OBJECT
public:
    explicit TConfirmDlg(QWidget* parent = nullptr);
    QPlainTextEdit* Memo;
    QLabel* Label2;
    TkvEdit* ePassword;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;
};

class TServerSessionForm : public QDialog {
    Q_OBJECT
public:
    explicit TServerSessionForm(TShell& shell, QWidget* parent = nullptr);
    ~TServerSessionForm() override;

    QLabel* Label1;
    QPlainTextEdit* Memo;
    QPushButton* HideBtn;
    QPushButton* CancelBtn;
    QStringList PriorityMsg;
    QTcpSocket* ClientSocket;
    QTimer* Timer;
    // A connection not made within this time fails as timed out (10060), as
    // the Windows socket did; the system's own wait is far longer.
    QTimer* ConnectTimer;

    QString FReportID;
    TSessionKind FSessionKind = skNewOrganization;
    QString FSessionPassword;
    TCipherKey FCipherKey{};
    QByteArray FKeyPhrase;

    // Entry points.
    void NewOrganization();
    void CheckVouchers();
    void StartSession();
    // Shows "Confirm Action" with the message; the typed password, or empty
    // text when cancelled.
    QString ConfirmPassword(const QString& message);
    // The current organization's stored password, asked for (and stored)
    // when there is none.
    QString StoredPassword();

    void AddLogLine(const QString& text);
    // Logs the text, closes the connection; the text is shown in an error box
    // once the disconnection has been handled.
    void Fail(const QString& text);
    void SendLogin();
    void SendRequests();
    void HandleText(const QByteArray& payload);
    void HandleNotice(const QByteArray& payload);
    void LoginFailed();
    void UpdateOrganization(const QByteArray& body);

    // Whether a connection of a session is open or being made.
    bool SessionActive() const { return sessionActive_; }

    // Hooks of the transactions that other subsystems complete: the report
    // streams of a filing, marking the report filed, the voucher data.
    std::function<void(TServerSessionForm&)> OnSendReport;
    std::function<void(TServerSessionForm&)> OnMarkFiled;
    std::function<void(TServerSessionForm&, const QByteArray& body)> OnVoucherData;
    // The DORVoucherID of the voucher being approved or paid.
    std::function<int()> CurrentVoucherID;

    void HideBtnClick();
    void CancelBtnClick();

private:
    void ClientSocketConnecting();
    void ClientSocketConnect();
    void ClientSocketDisconnect();
    void ClientSocketError(int error);
    void TimerTimer();
    void CloseSocket();
    void MessageReceived(quint16 type, const QByteArray& payload);
    void StreamReceived(quint16 type, const QByteArray& body);

    TShell& shell_;
    TReceiverLink* link_;
    TPasswordDlg* passwordDlg_;
    bool sessionActive_ = false;
    bool connectingLogged_ = false;
    QString pendingError_;
};

} // namespace pm

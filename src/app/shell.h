#pragma once
// The long-lived windows of the program and the data module, created once at
// start-up in a fixed order and reached by every window through the shell.
// Windows of later subsystems (report editor, voucher window, update and
// print windows) hook into the shell through the callbacks of the windows
// here.

#include <QPointer>
#include <QString>

#include <memory>

class QDialog;

namespace pm {

class TData;
class TMainForm;
class TAboutBox;
class TConfigurationForm;
class TServerSessionForm;
class TSelectOrgForm;
class TConfirmDlg;
class TNewOrgForm;

class TShell {
public:
    TShell();
    ~TShell();
    TShell(const TShell&) = delete;
    TShell& operator=(const TShell&) = delete;

    // The one shell of the process (null before it is made).
    static TShell* Instance();

    // Creates every window and the data module in their order: the main
    // window, the About window, the preferences (before the data module,
    // which takes the database path from them), the login window, the data
    // module, the session window, the organization picker, the confirmation
    // dialog and the new organization window. False when the database could
    // not be opened (the error has been shown).
    bool Create();

    TMainForm* MainForm = nullptr;
    TAboutBox* AboutBox = nullptr;
    TConfigurationForm* ConfigurationForm = nullptr;
    QDialog* LoginForm = nullptr;
    std::unique_ptr<TData> Data;
    TServerSessionForm* ServerSessionForm = nullptr;
    TSelectOrgForm* SelectOrgForm = nullptr;
    TConfirmDlg* ConfirmDlg = nullptr;
    TNewOrgForm* NewOrgForm = nullptr;

private:
    std::unique_ptr<TMainForm> mainForm_;
    std::unique_ptr<TAboutBox> aboutBox_;
    std::unique_ptr<TConfigurationForm> configurationForm_;
    std::unique_ptr<QDialog> loginForm_;
    std::unique_ptr<TServerSessionForm> serverSessionForm_;
    std::unique_ptr<TSelectOrgForm> selectOrgForm_;
    std::unique_ptr<TConfirmDlg> confirmDlg_;
    std::unique_ptr<TNewOrgForm> newOrgForm_;
};

} // namespace pm

#include "app/shell.h"

#include "app/configform.h"
#include "app/mainform.h"
#include "app/orgforms.h"
#include "app/serversession.h"
#include "app/splash.h"
#include "data/datamodule.h"

#include <QDialog>

namespace pm {

namespace {
TShell* gShell = nullptr;
}

TShell::TShell()
{
    if (!gShell)
        gShell = this;
}

TShell::~TShell()
{
    // The windows that hang on the main window go first, then the main
    // window, then the data module: the grids still speak to the datasets.
    NewOrgForm = nullptr;
    ConfirmDlg = nullptr;
    SelectOrgForm = nullptr;
    ServerSessionForm = nullptr;
    LoginForm = nullptr;
    AboutBox = nullptr;
    ConfigurationForm = nullptr;
    newOrgForm_.reset();
    confirmDlg_.reset();
    selectOrgForm_.reset();
    serverSessionForm_.reset();
    loginForm_.reset();
    aboutBox_.reset();
    configurationForm_.reset();
    MainForm = nullptr;
    mainForm_.reset();
    Data.reset();
    if (gShell == this)
        gShell = nullptr;
}

TShell* TShell::Instance()
{
    return gShell;
}

bool TShell::Create()
{
    mainForm_ = std::make_unique<TMainForm>(*this);
    MainForm = mainForm_.get();
    aboutBox_ = std::make_unique<TAboutBox>(MainForm);
    AboutBox = aboutBox_.get();
    configurationForm_ = std::make_unique<TConfigurationForm>(MainForm);
    ConfigurationForm = configurationForm_.get();
    // The login window of the Windows program was never shown.
    loginForm_ = std::make_unique<QDialog>(MainForm);
    loginForm_->setObjectName("LoginForm");
    LoginForm = loginForm_.get();
    TConfigurationForm* preferences = ConfigurationForm;
    Data = CreateDataModule([preferences] { return preferences->DatabasePath(); });
    if (!Data)
        return false;
    serverSessionForm_ = std::make_unique<TServerSessionForm>(*this, MainForm);
    ServerSessionForm = serverSessionForm_.get();
    selectOrgForm_ = std::make_unique<TSelectOrgForm>(*this, MainForm);
    SelectOrgForm = selectOrgForm_.get();
    confirmDlg_ = std::make_unique<TConfirmDlg>(MainForm);
    ConfirmDlg = confirmDlg_.get();
    newOrgForm_ = std::make_unique<TNewOrgForm>(*this, MainForm);
    NewOrgForm = newOrgForm_.get();
    MainForm->ConnectData();
    return true;
}

} // namespace pm
